// A recorder for the tests of the recorder hand-over (render and sound
// player): its next write can be held inside until the test lets it go.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "base/MediaRecorder.h"

class LatchRecorder : public MediaRecorder {
 public:
  int WriteVideo(int, const std::uint8_t*, int, int) override { return Write(0); }
  int WriteAudio(const std::uint8_t*, int size) override { return Write(size); }
  void HoldNextWrite() {
    std::lock_guard<std::mutex> lock(mutex_);
    hold_ = true;
  }
  // Waits (up to 10 s) until a write is held.
  bool WaitUntilHeld() {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(10), [&] { return held_; });
  }
  void Release() {
    std::lock_guard<std::mutex> lock(mutex_);
    hold_ = false;
    changed_.notify_all();
  }
  bool Writing() {
    std::lock_guard<std::mutex> lock(mutex_);
    return writing_;
  }
  // Writes begun so far, and the bytes they carried.
  int Writes() {
    std::lock_guard<std::mutex> lock(mutex_);
    return writes_;
  }
  int Bytes() {
    std::lock_guard<std::mutex> lock(mutex_);
    return bytes_;
  }

 private:
  int Write(int size) {
    std::unique_lock<std::mutex> lock(mutex_);
    ++writes_;
    bytes_ += size;
    writing_ = true;
    if (hold_) {
      held_ = true;
      changed_.notify_all();
      changed_.wait(lock, [&] { return !hold_; });
    }
    writing_ = false;
    return 1;
  }
  std::mutex mutex_;
  std::condition_variable changed_;
  bool hold_ = false, held_ = false, writing_ = false;  // guarded by mutex_
  int writes_ = 0, bytes_ = 0;                          // guarded by mutex_
};
