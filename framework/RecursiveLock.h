// A lock that the thread holding it may enter again (as
// std::recursive_mutex), made for a lock taken and let go at a high rate
// and hardly ever contended: the engine's lock, entered by the run loop
// around each firing so that a host's thread can hold the engine between
// two firings.
//
// Entering a free lock is one compare-exchange and letting it go one
// exchange, inline; the thread that holds it enters it again by counting.
// A thread that finds it held waits on the lock word (std::atomic::wait)
// and is woken by the holder that lets it go, which tells that someone
// waits by the word's value (free, held, held with waiters), so that
// letting go of an uncontended lock wakes nobody.
#pragma once

#include <atomic>
#include <cstdint>
#include <thread>

namespace kb {

class TRecursiveLock {
 public:
  TRecursiveLock() = default;
  TRecursiveLock(const TRecursiveLock&) = delete;
  TRecursiveLock& operator=(const TRecursiveLock&) = delete;

  void lock() {
    const std::thread::id me = std::this_thread::get_id();
    // Only the holder stores its own identifier here, so a thread reads
    // its own only while it holds the lock.
    if (Owner_.load(std::memory_order_relaxed) == me) {
      ++Depth_;
      return;
    }
    uint32_t seen = lsFree;
    if (!Word_.compare_exchange_strong(seen, lsHeld, std::memory_order_acquire,
                                       std::memory_order_relaxed))
      Wait(seen);
    Owner_.store(me, std::memory_order_relaxed);
    Depth_ = 1;
  }
  bool try_lock() {
    const std::thread::id me = std::this_thread::get_id();
    if (Owner_.load(std::memory_order_relaxed) == me) {
      ++Depth_;
      return true;
    }
    uint32_t seen = lsFree;
    if (!Word_.compare_exchange_strong(seen, lsHeld, std::memory_order_acquire,
                                       std::memory_order_relaxed))
      return false;
    Owner_.store(me, std::memory_order_relaxed);
    Depth_ = 1;
    return true;
  }
  // REQUIRES: the calling thread holds the lock.
  void unlock() {
    if (--Depth_) return;
    Owner_.store(std::thread::id(), std::memory_order_relaxed);
    if (Word_.exchange(lsFree, std::memory_order_release) == lsWaited) Word_.notify_one();
  }

 private:
  enum : uint32_t { lsFree, lsHeld, lsWaited };
  // Takes the lock held by another thread (Seen: the word as found).
  void Wait(uint32_t Seen) {
    // From now on the word says that someone waits, so that the holder
    // wakes a waiter; a thread that takes the lock this way keeps saying
    // so, which at worst wakes a thread for nothing.
    if (Seen != lsWaited) Seen = Word_.exchange(lsWaited, std::memory_order_acquire);
    while (Seen != lsFree) {
      Word_.wait(lsWaited, std::memory_order_relaxed);
      Seen = Word_.exchange(lsWaited, std::memory_order_acquire);
    }
  }

  std::atomic<uint32_t> Word_{lsFree};
  std::atomic<std::thread::id> Owner_{};
  uint32_t Depth_ = 0;
};

}  // namespace kb
