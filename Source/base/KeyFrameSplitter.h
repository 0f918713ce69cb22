// The recorder the render and sound threads write into while a recording
// moves from one file to the next. A file must begin with a key frame, so at
// a split the next file takes over only at the next key frame: until then
// the frames (and the sound) still go into the previous file, and nothing
// falls between the two files.
//
// Threads: the owner (the pane's UI thread) calls Reset, SplitAtKeyFrame,
// ForceSplit and SplitDone; the render thread calls WriteVideo and the
// playback thread WriteAudio. The recorder written now is handed over
// through a ConsumerBarrier, so once SplitDone (or Reset) returned true no
// thread writes into the recorder it replaced, which the owner may then
// close. No lock, no allocation per frame.
#pragma once

#include <atomic>

#include "base/ConsumerBarrier.h"
#include "base/MediaRecorder.h"

class KeyFrameSplitter : public MediaRecorder {
 public:
  // |current| is written from now on (null: nothing); no split is pending.
  // Returns once no thread writes into the recorder it replaced.
  void Reset(MediaRecorder* current) {
    next_.store(nullptr);
    current_.Replace(current, true);
  }
  // |next| takes over at the next video key frame.
  void SplitAtKeyFrame(MediaRecorder* next) { next_.store(next); }
  // The pending split happens now (no key frame came in time).
  void ForceSplit() {
    if (MediaRecorder* next = next_.exchange(nullptr)) current_.Exchange(next);
  }
  // Whether no split is pending any more; then returns only once no thread
  // writes into the recorder the split replaced.
  bool SplitDone() {
    if (next_.load() != nullptr) return false;
    current_.WaitForReaders();
    return true;
  }
  bool SplitPending() const { return next_.load() != nullptr; }
  MediaRecorder* Current() const { return current_.Peek(); }

  int WriteVideo(int size, const std::uint8_t* data, int keyFrame, int durationMs) override {
    if (keyFrame != 0) {
      MediaRecorder* next = next_.load();
      if (next != nullptr && next_.compare_exchange_strong(next, nullptr)) current_.Exchange(next);
    }
    auto recorder = current_.Acquire();
    return recorder ? recorder->WriteVideo(size, data, keyFrame, durationMs) : 0;
  }
  int WriteAudio(const std::uint8_t* data, int size) override {
    auto recorder = current_.Acquire();
    return recorder ? recorder->WriteAudio(data, size) : 0;
  }

 private:
  ConsumerBarrier<MediaRecorder> current_;
  std::atomic<MediaRecorder*> next_{nullptr};
};
