#include "framework/FreeList.h"

#include <algorithm>

namespace kb::detail {

constinit thread_local TFreeLists FreeLists = {};

namespace {

constexpr uint32_t InitialCapacity = 256;

struct TRelease {
  ~TRelease() {
    TFreeLists& lists = FreeLists;
    for (size_t i = 0; i < PoolSizes; ++i) {
      for (uint32_t k = 0; k < lists.Count[i]; ++k) ::operator delete(lists.Blocks[i][k]);
      delete[] lists.Blocks[i];
      lists.Blocks[i] = nullptr;
      lists.Count[i] = lists.Capacity[i] = 0;
    }
    // Blocks freed later on this thread (by other thread-local objects
    // going) go to the heap.
    lists.State = psReleased;
  }
};

}  // namespace

bool GrowFreeList(size_t I) noexcept {
  TFreeLists& lists = FreeLists;
  if (lists.State == psReleased) return false;
  const size_t most = PooledBytesPerSize / ((I + 1) * PoolGranule);
  const uint32_t capacity = lists.Capacity[I];
  if (capacity >= most) return false;
  try {
    if (lists.State == psUnarranged) {
      // Registered with the thread's exit on first use.
      thread_local TRelease release;
      (void)release;
      lists.State = psArranged;
    }
    const uint32_t grown = static_cast<uint32_t>(
        std::min<size_t>(most, capacity ? size_t{capacity} * 2 : InitialCapacity));
    void** blocks = new void*[grown];
    std::copy(lists.Blocks[I], lists.Blocks[I] + lists.Count[I], blocks);
    delete[] lists.Blocks[I];
    lists.Blocks[I] = blocks;
    lists.Capacity[I] = grown;
  } catch (...) {
    return false;
  }
  return true;
}

}  // namespace kb::detail
