#include "framework/FreeList.h"

namespace kb::detail {

constinit thread_local TFreeLists FreeLists [[gnu::tls_model("initial-exec")]] = {};

namespace {

struct TRelease {
  ~TRelease() {
    TFreeLists& lists = FreeLists;
    for (size_t i = 0; i < PoolSizes; ++i) {
      while (TFreeBlock* b = lists.Head[i]) {
        lists.Head[i] = b->Next;
        ::operator delete(b);
      }
      lists.Count[i] = 0;
    }
    // Blocks freed later on this thread (by other thread-local objects
    // going) go to the heap.
    lists.State = psReleased;
  }
};

}  // namespace

bool ReleaseFreeListsAtExit() noexcept {
  try {
    // Registered with the thread's exit on first use.
    thread_local TRelease release;
    (void)release;
    FreeLists.State = psArranged;
  } catch (...) {
    return false;
  }
  return true;
}

}  // namespace kb::detail
