#include "base/TimedLock.h"

#include <chrono>

#include "base/base.h"

int TimedLock::Acquire(int milliseconds, const char* file, int line) {
  {
    std::unique_lock<std::mutex> hold(state_);
    if (released_.wait_for(hold, std::chrono::milliseconds(milliseconds < 0 ? 0 : milliseconds),
                           [this] { return !held_; })) {
      held_ = true;
      owner_.store(CurrentThreadId(), std::memory_order_relaxed);
      return 1;
    }
  }
  LogMessage("%s:%d (last=%d, current=%d)\r\n", file, line, static_cast<int>(Owner()),
             static_cast<int>(CurrentThreadId()));
  return 0;
}

void TimedLock::Release() {
  {
    std::lock_guard<std::mutex> hold(state_);
    held_ = false;
    owner_.store(0, std::memory_order_relaxed);
  }
  released_.notify_one();
}
