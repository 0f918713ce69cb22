// The program's general lock: a mutex waited with a time limit that records
// its holder, so a wait that times out can say who held it.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

class TimedLock {
 public:
  // Waits used across the program.
  static constexpr int kDefaultWaitMs = 30000;

  TimedLock() = default;
  TimedLock(const TimedLock&) = delete;
  TimedLock& operator=(const TimedLock&) = delete;

  // Returns 1 when held, 0 when the wait timed out. A time-out logs
  // "%s:%d (last=%d, current=%d)" with the holder's and the caller's thread
  // ids; |file| and |line| name the caller.
  int Acquire(int milliseconds, const char* file, int line);
  void Release();

  // The thread id of the current holder, 0 when free.
  std::uint32_t Owner() const { return owner_.load(std::memory_order_relaxed); }

 private:
  // A mutex plus a held flag rather than std::timed_mutex: the timed wait is a
  // condition-variable wait, which the thread sanitizer understands.
  std::mutex state_;
  std::condition_variable released_;
  bool held_ = false;                      // guarded by state_
  std::atomic<std::uint32_t> owner_{0};    // written under state_, read anywhere
};

// Takes a TimedLock for a scope; test held() before touching guarded state.
//   TimedLockHolder hold(lock_, 30000, LOGPOS);
//   if (!hold.held()) return 0;
class TimedLockHolder {
 public:
  TimedLockHolder(TimedLock& lock, int milliseconds, const char* file, int line)
      : lock_(lock), held_(lock.Acquire(milliseconds, file, line) == 1) {}
  ~TimedLockHolder() {
    if (held_) lock_.Release();
  }
  TimedLockHolder(const TimedLockHolder&) = delete;
  TimedLockHolder& operator=(const TimedLockHolder&) = delete;
  bool held() const { return held_; }

 private:
  TimedLock& lock_;
  bool held_;
};
