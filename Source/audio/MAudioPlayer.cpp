#include <chrono>
#include <cstring>

#include "audio/MAudio.h"
#include "audio/MuLaw.h"
#include "base/base.h"

namespace {
// The player whose playback thread this is, so that SetRecorder on that
// thread does not wait for the thread's own write.
thread_local const MAudioPlayer* t_playerOf = nullptr;
}  // namespace

void StopAudioThread(std::thread& thread, std::atomic<int>& state, int ms) {
  if (!thread.joinable()) {
    state.store(kAudioStopped);
    return;
  }
  if (state.load() == kAudioRunning) state.store(kAudioStopping);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (state.load() != kAudioStopped && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  if (state.load() == kAudioStopped) {
    thread.join();
  } else {
    LogMessage("%s:%d (%d)\r\n", LOGPOS, state.load());
    thread.detach();
  }
}

int MAudioPlayer::Start() {
  if (thread_.joinable()) {
    LogMessage("%s:%d\r\n", LOGPOS);
    return 0;
  }
  if (output_ == nullptr || output_->Open() != 1) {
    LogMessage("%s:%d (%x)\r\n", LOGPOS, 0u);
    return 0;
  }
  if (output_->Play() != 1) {
    LogMessage("%s:%d\r\n", LOGPOS);
    Stop();
    return 0;
  }
  {
    TimedLockHolder hold(lock_, TimedLock::kDefaultWaitMs, LOGPOS);
    if (!hold.held()) {
      Stop();
      return 0;
    }
    fifo_.Clear();
    fifoOpen_ = true;
  }
  mute_.store(false);
  state_.store(kAudioRunning);
  thread_ = std::thread(&MAudioPlayer::ThreadMain, this);
  return 1;
}

int MAudioPlayer::Stop() {
  StopAudioThread(thread_, state_, kStopWaitMs);
  if (output_ != nullptr) {
    output_->Stop();
    output_->Close();
  }
  TimedLockHolder hold(lock_, TimedLock::kDefaultWaitMs, LOGPOS);
  if (hold.held()) fifoOpen_ = false;
  return 1;
}

int MAudioPlayer::PushReceived(const std::uint8_t* bytes, int count) {
  TimedLockHolder hold(lock_, TimedLock::kDefaultWaitMs, LOGPOS);
  if (!hold.held() || !fifoOpen_ || bytes == nullptr) return 0;
  return fifo_.Write(bytes, count);
}

void MAudioPlayer::Silence() {
  mute_.store(true);
  if (output_ != nullptr) {
    output_->Stop();
    output_->Rewind();  // the buffer holds silence from its start
  }
  TimedLockHolder hold(lock_, TimedLock::kDefaultWaitMs, LOGPOS);
  if (hold.held()) fifo_.Clear();
}

void MAudioPlayer::Resume() {
  mute_.store(false);
  if (output_ != nullptr && output_->Play() != 1) LogMessage("%s:%d\r\n", LOGPOS);
}

void MAudioPlayer::SetRecorder(MediaRecorder* recorder) { recorder_.Replace(recorder, t_playerOf != this); }

void MAudioPlayer::WritePcm(int samples) {
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(pcm_);
  int rc = output_->Write(bytes, samples * 2);
  if (rc == AudioOutput::kLost && output_->Restore() == 1) rc = output_->Write(bytes, samples * 2);
  if (rc < 0) LogMessage("%s:%d\n", LOGPOS);
}

void MAudioPlayer::ThreadMain() {
  t_playerOf = this;
  while (state_.load() == kAudioRunning) {
    int n = 0;
    {
      TimedLockHolder hold(lock_, TimedLock::kDefaultWaitMs, LOGPOS);
      if (hold.held() && fifoOpen_) n = fifo_.Read(block_, kTurnBytes);
    }
    if (n == 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      continue;
    }
    if (recording_.load()) {
      // Held for this write only: SetRecorder waits for it to end.
      ConsumerGuard<MediaRecorder> rec = recorder_.Acquire();
      if (rec) rec->WriteAudio(block_, n);
    }
    if (mute_.load()) continue;
    UlawToLinear(block_, n, pcm_);
    WritePcm(n);
  }
  state_.store(kAudioStopped);
}
