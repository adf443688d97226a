// The engine's lock: the holder enters it again, other threads wait until
// it is let go as often as it was entered, and no increment made under it
// is lost when threads contend for it.
#include "framework/RecursiveLock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

namespace kb {
namespace {

TEST(RecursiveLockTest, TheHolderEntersAgainOthersWaitForTheLastUnlock) {
  TRecursiveLock lock;
  lock.lock();
  lock.lock();
  EXPECT_TRUE(lock.try_lock());
  std::atomic<bool> tried{false}, entered{false};
  bool took = false;
  std::thread other([&] {
    // Held by the first thread: not taken.
    took = lock.try_lock();
    if (took) lock.unlock();
    tried = true;
    lock.lock();
    entered = true;
    lock.unlock();
  });
  while (!tried) std::this_thread::yield();
  EXPECT_FALSE(took);
  lock.unlock();
  lock.unlock();
  // Still held once: the other thread cannot have entered.
  EXPECT_FALSE(entered);
  lock.unlock();
  other.join();
  EXPECT_TRUE(entered);
  // Free again: this thread takes it at once.
  EXPECT_TRUE(lock.try_lock());
  lock.unlock();
}

TEST(RecursiveLockTest, ContendingThreadsLoseNoUpdate) {
  TRecursiveLock lock;
  long counter = 0;
  constexpr int threads = 4, rounds = 20000;
  std::vector<std::thread> workers;
  for (int t = 0; t < threads; ++t)
    workers.emplace_back([&] {
      for (int i = 0; i < rounds; ++i) {
        std::lock_guard outer(lock);
        std::lock_guard inner(lock);
        ++counter;
      }
    });
  for (std::thread& w : workers) w.join();
  EXPECT_EQ(counter, long{threads} * rounds);
}

}  // namespace
}  // namespace kb
