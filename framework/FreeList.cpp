#include "framework/FreeList.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <type_traits>

namespace kb::detail {

constinit thread_local TFreeLists FreeLists = {};

namespace {

// The free blocks of one size that no thread's stack holds, and the slabs
// they are cut from. Blocks has room for every block ever cut, so a block
// given back always fits.
struct TDepot {
  std::mutex Lock;
  void** Blocks = nullptr;
  size_t Count = 0;
  size_t Capacity = 0;
  size_t Cut = 0;
  // The slabs, kept so that the memory stays reachable (leak checkers).
  void** Slabs = nullptr;
  size_t SlabCount = 0;
  size_t SlabCapacity = 0;
};

// Never destroyed: threads and static objects that go as the process ends
// still give blocks back.
static_assert(std::is_trivially_destructible_v<TDepot>);
constinit TDepot Depots[PoolSizes];

// Grows Array (of Size entries) to hold at least Needed; false when the
// heap has no room.
bool Reserve(void**& Array, size_t& Size, size_t Needed) noexcept {
  if (Needed <= Size) return true;
  const size_t grown = std::max(Needed, Size * 2);
  void* a = std::realloc(Array, grown * sizeof(void*));
  if (!a) return false;
  Array = static_cast<void**>(a);
  Size = grown;
  return true;
}

// Cuts a new slab of size class I into the depot, in address order from
// its top. REQUIRES the depot's lock. False when the heap has no room.
bool CutSlab(TDepot& Depot, size_t I) noexcept {
  const size_t size = (I + 1) * PoolGranule;
  const size_t n = SlabBytes / size;
  if (!Reserve(Depot.Blocks, Depot.Capacity, Depot.Cut + n) ||
      !Reserve(Depot.Slabs, Depot.SlabCapacity, Depot.SlabCount + 1))
    return false;
  // The heap's blocks are aligned for any fundamental type, and so are
  // the blocks cut from them (sizes are multiples of the alignment).
  char* slab = static_cast<char*>(std::malloc(n * size));
  if (!slab) return false;
  Depot.Slabs[Depot.SlabCount++] = slab;
  Depot.Cut += n;
  for (size_t k = n; k-- > 0;) Depot.Blocks[Depot.Count++] = slab + k * size;
  return true;
}

struct TRelease {
  ~TRelease() {
    TFreeLists& lists = FreeLists;
    for (size_t i = 0; i < PoolSizes; ++i) {
      if (lists.Count[i]) {
        TDepot& depot = Depots[i];
        std::lock_guard lock(depot.Lock);
        std::memcpy(depot.Blocks + depot.Count, lists.Blocks[i], lists.Count[i] * sizeof(void*));
        depot.Count += lists.Count[i];
      }
      delete[] lists.Blocks[i];
      lists.Blocks[i] = nullptr;
      lists.Count[i] = lists.Capacity[i] = 0;
    }
    // Blocks freed later on this thread (by other thread-local objects
    // going) go to the depot one by one.
    lists.State = psReleased;
  }
};

// Makes the thread's stack of size class I when it has none; false when
// the thread is ending or that fails (blocks then pass to and from the
// depot directly).
bool HasStack(TFreeLists& Lists, size_t I) noexcept {
  if (Lists.Capacity[I]) return true;
  if (Lists.State == psReleased) return false;
  try {
    if (Lists.State == psUnarranged) {
      // Registered with the thread's exit on first use.
      thread_local TRelease release;
      (void)release;
      Lists.State = psArranged;
    }
    Lists.Blocks[I] = new void*[ThreadBlocks];
  } catch (...) {
    return false;
  }
  Lists.Capacity[I] = ThreadBlocks;
  return true;
}

}  // namespace

void* RefillFreeList(size_t I) {
  TFreeLists& lists = FreeLists;
  const bool stack = HasStack(lists, I);
  TDepot& depot = Depots[I];
  std::lock_guard lock(depot.Lock);
  if (!depot.Count && !CutSlab(depot, I)) throw std::bad_alloc();
  if (!stack) return depot.Blocks[--depot.Count];
  // The depot's top batch, in its order: the next blocks handed out are
  // the ones the depot would have handed out next.
  const uint32_t n = static_cast<uint32_t>(std::min<size_t>(BatchBlocks, depot.Count));
  depot.Count -= n;
  std::memcpy(lists.Blocks[I], depot.Blocks + depot.Count, n * sizeof(void*));
  lists.Count[I] = n - 1;
  return lists.Blocks[I][n - 1];
}

void SpillFreeList(size_t I, void* Block) noexcept {
  TFreeLists& lists = FreeLists;
  TDepot& depot = Depots[I];
  if (!HasStack(lists, I)) {
    std::lock_guard lock(depot.Lock);
    depot.Blocks[depot.Count++] = Block;
    return;
  }
  void** blocks = lists.Blocks[I];
  if (lists.Count[I] == lists.Capacity[I]) {
    // The oldest batch (the bottom of the stack) goes; the newest blocks,
    // the likeliest still in the cache, stay.
    {
      std::lock_guard lock(depot.Lock);
      std::memcpy(depot.Blocks + depot.Count, blocks, BatchBlocks * sizeof(void*));
      depot.Count += BatchBlocks;
    }
    lists.Count[I] -= BatchBlocks;
    std::memmove(blocks, blocks + BatchBlocks, lists.Count[I] * sizeof(void*));
  }
  blocks[lists.Count[I]++] = Block;
}

}  // namespace kb::detail
