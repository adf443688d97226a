// Per-thread free lists: blocks come back by size, big blocks bypass the
// lists, full and empty stacks trade batches with the shared depot, and
// what a thread keeps goes back to the depot when it ends, for the other
// threads.
#include "framework/FreeList.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
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

TEST(FreeListTest, StacksTradeBatchesWithTheDepotAndLoseNoBlock) {
  SKIP_WITHOUT_LISTS();
  // More blocks than a stack holds, each written whole: they are distinct
  // and do not overlap (a block cut wrongly would overwrite a neighbour).
  constexpr size_t size = 208;
  const size_t count = 3 * ThreadBlocks + BatchBlocks / 2 + 1;
  std::vector<void*> made;
  for (size_t i = 0; i < count; ++i) {
    made.push_back(AllocatePooled(size));
    std::memset(made.back(), static_cast<int>(i & 0x7f), size);
  }
  for (size_t i = 0; i < count; ++i)
    ASSERT_EQ(static_cast<unsigned char*>(made[i])[size - 1], i & 0x7f) << i;
  std::set<void*> distinct(made.begin(), made.end());
  EXPECT_EQ(distinct.size(), count);
  for (size_t i = 0; i < count; ++i)
    EXPECT_EQ(reinterpret_cast<uintptr_t>(made[i]) % alignof(std::max_align_t), 0u);
  // Freed, the full stack spills its oldest batches into the depot; made
  // again, the empty stack refills from it: the same blocks come back.
  for (void* p : made) FreePooled(p, size);
  std::vector<void*> again;
  for (size_t i = 0; i < count; ++i) again.push_back(AllocatePooled(size));
  EXPECT_EQ(std::set<void*>(again.begin(), again.end()), distinct);
  for (void* p : again) FreePooled(p, size);
}

TEST(FreeListTest, AThreadThatEndsLeavesItsBlocksToTheOthers) {
  SKIP_WITHOUT_LISTS();
  // A size no other test uses, so that the depot holds only what the
  // first thread left.
  constexpr size_t size = MaxPooledSize - 16;
  std::vector<void*> freed;
  std::thread first([&] {
    for (int i = 0; i < 3; ++i) freed.push_back(AllocatePooled(size));
    for (void* p : freed) FreePooled(p, size);
  });
  first.join();
  std::vector<void*> taken;
  std::thread second([&] {
    for (int i = 0; i < 3; ++i) taken.push_back(AllocatePooled(size));
    for (void* p : taken) FreePooled(p, size);
  });
  second.join();
  // The newest blocks the first thread freed are the first the second
  // gets, newest first.
  EXPECT_EQ(taken, std::vector<void*>(freed.rbegin(), freed.rend()));
}

}  // namespace
}  // namespace kb
