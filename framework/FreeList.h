// Per-thread free lists of small memory blocks, for the objects that the
// network makes and frees at a high rate (tokens, memory entries,
// activations).
//
// A block is asked for by size; sizes are rounded up to a multiple of 16
// (at most MaxPooledSize; larger blocks come from the heap directly). A
// freed block goes to the free list of its size on the freeing thread and
// is handed out again, newest first, so that a block is usually still in
// the cache when it is reused. Each list keeps at most PooledBytesPerSize
// bytes: a burst of frees does not stay allocated for good. What a thread
// keeps is returned to the heap when the thread ends.
//
// The lists are plain thread-local data (no constructor): reaching them is
// a load from the thread's block, with no initialization check.
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
inline constexpr size_t PooledBytesPerSize = size_t{16} << 20;

namespace detail {

inline constexpr size_t PoolGranule = 16;
inline constexpr size_t PoolSizes = MaxPooledSize / PoolGranule;

// What happens to the blocks a thread keeps when it ends.
enum TPoolState : uint8_t {
  psUnarranged,  // nothing yet: arranged on the first block kept
  psArranged,    // they go back to the heap
  psReleased,    // the thread is ending: blocks are not kept any more
};

// The free blocks of each size on a stack of their addresses (the blocks
// themselves are not read until handed out, so that taking one causes no
// cache miss before it is used).
struct TFreeLists {
  void** Blocks[PoolSizes];
  uint32_t Count[PoolSizes];
  uint32_t Capacity[PoolSizes];
  TPoolState State;
};

extern constinit thread_local TFreeLists FreeLists;

// Makes room for more blocks of size class I (arranging for their release
// when the thread ends); false when that fails (the block is then not kept).
bool GrowFreeList(size_t I) noexcept;

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
  return ::operator new(detail::PoolBlockSize(Size));
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
  if (lists.Count[i] < lists.Capacity[i] || detail::GrowFreeList(i)) {
    lists.Blocks[i][lists.Count[i]++] = Block;
    return;
  }
  ::operator delete(Block);
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
