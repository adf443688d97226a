// Per-thread free lists: blocks come back by size, big blocks bypass the
// lists, and what a thread keeps goes back to the heap when it ends (the
// sanitizer run checks that nothing leaks).
#include "framework/FreeList.h"

#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

namespace kb {
namespace {

// Under AddressSanitizer the lists are bypassed: blocks come from the heap.
#ifdef KB_POOL_BYPASS
#define SKIP_WITHOUT_LISTS() GTEST_SKIP() << "free lists are bypassed under AddressSanitizer"
#else
#define SKIP_WITHOUT_LISTS() (void)0
#endif

TEST(FreeListTest, BlocksAreReusedNewestFirstWithinTheirSize) {
  SKIP_WITHOUT_LISTS();
  void* a = AllocatePooled(40);
  void* b = AllocatePooled(48);  // the same size once rounded
  std::memset(a, 1, 40);
  std::memset(b, 2, 48);
  FreePooled(a, 40);
  FreePooled(b, 48);
  EXPECT_EQ(AllocatePooled(33), b);
  EXPECT_EQ(AllocatePooled(48), a);
  // Another size has its own list.
  void* c = AllocatePooled(64);
  EXPECT_NE(c, a);
  EXPECT_NE(c, b);
  FreePooled(a, 48);
  FreePooled(b, 48);
  FreePooled(c, 64);
  FreePooled(nullptr, 64);
  // Beyond the pooled sizes blocks come from the heap and go back to it.
  void* big = AllocatePooled(MaxPooledSize + 1);
  std::memset(big, 3, MaxPooledSize + 1);
  FreePooled(big, MaxPooledSize + 1);
}

TEST(FreeListTest, EachThreadKeepsItsOwnBlocksAndReleasesThemAtItsEnd) {
  SKIP_WITHOUT_LISTS();
  std::vector<void*> made;
  for (int i = 0; i < 100; ++i) made.push_back(AllocatePooled(96));
  void* kept = nullptr;
  std::thread other([&] {
    // Blocks made here and freed here stay here until the thread ends.
    for (int i = 0; i < 100; ++i) FreePooled(AllocatePooled(96), 96);
    // A block made on the first thread and freed here joins this thread's
    // list.
    FreePooled(made.back(), 96);
    kept = AllocatePooled(96);
    FreePooled(kept, 96);
  });
  other.join();
  EXPECT_EQ(kept, made.back());
  made.pop_back();
  for (void* p : made) FreePooled(p, 96);
}

}  // namespace
}  // namespace kb
