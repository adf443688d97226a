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

namespace kb {

inline constexpr size_t MaxPooledSize = 512;
inline constexpr size_t PooledBytesPerSize = size_t{16} << 20;

namespace detail {

inline constexpr size_t PoolGranule = 16;
inline constexpr size_t PoolSizes = MaxPooledSize / PoolGranule;

struct TFreeBlock {
  TFreeBlock* Next;
};

// What happens to the blocks a thread keeps when it ends.
enum TPoolState : uint8_t {
  psUnarranged,  // nothing yet: arranged on the first block kept
  psArranged,    // they go back to the heap
  psReleased,    // the thread is ending: blocks are not kept any more
};

struct TFreeLists {
  TFreeBlock* Head[PoolSizes];
  uint32_t Count[PoolSizes];
  TPoolState State;
};

extern constinit thread_local TFreeLists FreeLists [[gnu::tls_model("initial-exec")]];

// Arranges for this thread's lists to go back to the heap when it ends;
// false when that cannot be arranged (the block is then not kept).
bool ReleaseFreeListsAtExit() noexcept;

constexpr size_t PoolIndex(size_t Size) noexcept { return (Size - 1) / PoolGranule; }
constexpr size_t PoolBlockSize(size_t Size) noexcept { return (PoolIndex(Size) + 1) * PoolGranule; }

}  // namespace detail

// A block of at least Size bytes (Size > 0), aligned for any fundamental
// type. Raises std::bad_alloc.
inline void* AllocatePooled(size_t Size) {
  if (Size > MaxPooledSize) return ::operator new(Size);
  detail::TFreeLists& lists = detail::FreeLists;
  const size_t i = detail::PoolIndex(Size);
  if (detail::TFreeBlock* b = lists.Head[i]) {
    lists.Head[i] = b->Next;
    --lists.Count[i];
    return b;
  }
  return ::operator new(detail::PoolBlockSize(Size));
}

// Gives back a block of AllocatePooled(Size).
inline void FreePooled(void* Block, size_t Size) noexcept {
  if (!Block) return;
  if (Size > MaxPooledSize) {
    ::operator delete(Block);
    return;
  }
  detail::TFreeLists& lists = detail::FreeLists;
  const size_t i = detail::PoolIndex(Size);
  if (lists.Count[i] < PooledBytesPerSize / detail::PoolBlockSize(Size) &&
      (lists.State == detail::psArranged ||
       (lists.State == detail::psUnarranged && detail::ReleaseFreeListsAtExit()))) {
    auto* b = static_cast<detail::TFreeBlock*>(Block);
    b->Next = lists.Head[i];
    lists.Head[i] = b;
    ++lists.Count[i];
    return;
  }
  ::operator delete(Block);
}

}  // namespace kb
