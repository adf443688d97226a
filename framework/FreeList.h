// Per-thread free lists of small memory blocks, for the objects that the
// engine makes and frees at a high rate (values, facts, tokens, memory
// entries, activations).
//
// A block is asked for by size; sizes are rounded up to a multiple of 16
// (at most MaxPooledSize; larger blocks come from the heap directly).
// Blocks of the pooled sizes are cut from slabs of SlabBytes taken from
// the heap, not allocated one by one: a thread that makes many blocks and
// frees none yet (facts asserted and kept) pays one heap allocation per
// slab instead of one per block.
//
// Each thread keeps, per size, a stack of free blocks' addresses (at most
// ThreadBlocks): a freed block goes onto the freeing thread's stack and is
// handed out again, newest first, so that a block is usually still in the
// cache when it is reused. The stacks trade blocks with one shared depot
// per size, a batch (BatchBlocks) at a time under the depot's lock: an
// empty stack takes a batch (the depot cuts a new slab when it has none
// left), a full one gives its oldest batch back, and a thread that ends
// gives back all it holds. So the lock is taken once per batch, never per
// block, and the blocks one thread frees serve the others.
//
// Slabs are never returned to the heap: the memory held for the pooled
// sizes is at most what was in use at once, plus what the threads' stacks
// hold and the untouched rest of each size's last slab, and it is reused
// for the process's life. Returning a slab would need to know when every
// block of it is free, a count kept on every allocation and free, from
// any thread; the heap's blocks, allocated and freed one by one, cost far
// more than the memory kept. The depot has room for every block ever cut
// of its size, so giving back never allocates and cannot fail.
//
// The stacks are plain thread-local data (no constructor): reaching them
// is a load from the thread's block, with no initialization check.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>

// Under AddressSanitizer every block comes from the heap and goes back to
// it, so that a block used after it was freed is reported.
#if defined(__SANITIZE_ADDRESS__)
#define KB_POOL_BYPASS 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KB_POOL_BYPASS 1
#endif
#endif

namespace kb {

inline constexpr size_t MaxPooledSize = 512;
// The heap allocation blocks of one size are cut from.
inline constexpr size_t SlabBytes = size_t{16} << 10;
// The most free blocks of one size a thread keeps, and the blocks its
// stack takes from the depot or gives back at a time.
inline constexpr uint32_t ThreadBlocks = 256;
inline constexpr uint32_t BatchBlocks = 128;
static_assert(BatchBlocks <= ThreadBlocks && SlabBytes >= MaxPooledSize);

namespace detail {

inline constexpr size_t PoolGranule = 16;
inline constexpr size_t PoolSizes = MaxPooledSize / PoolGranule;

// What happens to the blocks a thread keeps when it ends.
enum TPoolState : uint8_t {
  psUnarranged,  // nothing yet: arranged when the first stack is made
  psArranged,    // they go back to the depot
  psReleased,    // the thread is ending: blocks go to the depot directly
};

// The free blocks of each size on a stack of their addresses (the blocks
// themselves are not read until handed out, so that taking one causes no
// cache miss before it is used). A size's stack is made on its first use:
// Capacity is ThreadBlocks from then on, 0 before.
struct TFreeLists {
  void** Blocks[PoolSizes];
  uint32_t Count[PoolSizes];
  uint32_t Capacity[PoolSizes];
  TPoolState State;
};

extern constinit thread_local TFreeLists FreeLists;

// A block of size class I when the thread's stack of that size is empty:
// a batch is taken from the depot first. Raises std::bad_alloc.
void* RefillFreeList(size_t I);
// Keeps Block (of size class I) when the thread's stack of that size is
// full or not made yet: its oldest batch goes back to the depot first.
void SpillFreeList(size_t I, void* Block) noexcept;

constexpr size_t PoolIndex(size_t Size) noexcept { return (Size - 1) / PoolGranule; }
constexpr size_t PoolBlockSize(size_t Size) noexcept { return (PoolIndex(Size) + 1) * PoolGranule; }

}  // namespace detail

// A block of at least Size bytes (Size > 0), aligned for any fundamental
// type. Raises std::bad_alloc.
inline void* AllocatePooled(size_t Size) {
#ifdef KB_POOL_BYPASS
  return ::operator new(Size);
#endif
  if (Size > MaxPooledSize) return ::operator new(Size);
  detail::TFreeLists& lists = detail::FreeLists;
  const size_t i = detail::PoolIndex(Size);
  if (uint32_t n = lists.Count[i]) {
    void** blocks = lists.Blocks[i];
    lists.Count[i] = --n;
    // The block after this one is probably the next asked for: its cache
    // lines, all of which its new owner will write, start on their way now.
    if (n) {
      const char* next = static_cast<const char*>(blocks[n - 1]);
      for (size_t at = 0; at < (i + 1) * detail::PoolGranule; at += 64)
        __builtin_prefetch(next + at, 1);
    }
    return blocks[n];
  }
  return detail::RefillFreeList(i);
}

// Gives back a block of AllocatePooled(Size).
inline void FreePooled(void* Block, size_t Size) noexcept {
  if (!Block) return;
#ifdef KB_POOL_BYPASS
  ::operator delete(Block);
  return;
#endif
  if (Size > MaxPooledSize) {
    ::operator delete(Block);
    return;
  }
  detail::TFreeLists& lists = detail::FreeLists;
  const size_t i = detail::PoolIndex(Size);
  if (lists.Count[i] < lists.Capacity[i]) {
    lists.Blocks[i][lists.Count[i]++] = Block;
    return;
  }
  detail::SpillFreeList(i, Block);
}

// A standard allocator over the free lists, for containers whose buffers
// come and go with the objects holding them (the items of a multifield).
template <class T>
struct TPooledAllocator {
  using value_type = T;
  TPooledAllocator() noexcept = default;
  template <class U>
  TPooledAllocator(const TPooledAllocator<U>&) noexcept {}
  T* allocate(size_t N) { return static_cast<T*>(AllocatePooled(N * sizeof(T))); }
  void deallocate(T* Block, size_t N) noexcept { FreePooled(Block, N * sizeof(T)); }
  template <class U>
  bool operator==(const TPooledAllocator<U>&) const noexcept {
    return true;
  }
};

}  // namespace kb
