#include "base/TimedLock.h"

#include <chrono>

#include "base/base.h"

int TimedLock::Acquire(int milliseconds, const char* file, int line) {
  if (mutex_.try_lock_for(std::chrono::milliseconds(milliseconds < 0 ? 0 : milliseconds))) {
    owner_.store(CurrentThreadId(), std::memory_order_relaxed);
    return 1;
  }
  LogMessage("%s:%d (last=%d, current=%d)\r\n", file, line, static_cast<int>(Owner()),
             static_cast<int>(CurrentThreadId()));
  return 0;
}

void TimedLock::Release() {
  owner_.store(0, std::memory_order_relaxed);
  mutex_.unlock();
}
