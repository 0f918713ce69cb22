#include <sys/socket.h>

#include <cerrno>
#include <chrono>

#include "audio/MAudio.h"
#include "audio/MuLaw.h"
#include "base/base.h"

long MAudioCapture::SocketSender::SendTalkBack(const std::uint8_t* bytes, int count) {
  return ::send(socket, bytes, static_cast<std::size_t>(count), MSG_NOSIGNAL | MSG_DONTWAIT);
}

int MAudioCapture::Start(int socket) {
  if (thread_.joinable()) {
    LogMessage("%s:%d\r\n", LOGPOS);
    return 0;
  }
  socketSender_.socket = socket;
  return Start(&socketSender_);
}

int MAudioCapture::Start(TalkBackSender* sender) {
  if (thread_.joinable() || sender == nullptr) {
    LogMessage("%s:%d\r\n", LOGPOS);
    return 0;
  }
  if (input_ == nullptr) {
    LogMessage("%s:%d\r\n", LOGPOS);
    return 0;
  }
  if (input_->Open() != 1) {
    LogMessage("%s:%d\r\n", LOGPOS);
    Stop();
    return 0;
  }
  opened_ = true;
  if (input_->Start() != 1) {
    LogMessage("%s:%d\r\n", LOGPOS);
    Stop();
    return 0;
  }
  sender_ = sender;
  paused_.store(false);
  sent_.store(0);
  state_.store(kAudioRunning);
  thread_ = std::thread(&MAudioCapture::ThreadMain, this);
  return 1;
}

int MAudioCapture::Stop() {
  StopAudioThread(thread_, state_, kStopWaitMs);
  if (input_ != nullptr && opened_) {
    input_->Stop();
    input_->Close();
  }
  opened_ = false;
  return 1;
}

void MAudioCapture::Pause() {
  paused_.store(true);
  if (input_ != nullptr && opened_) input_->Stop();
}

void MAudioCapture::Resume() {
  paused_.store(false);
  if (input_ != nullptr && opened_ && input_->Start() != 1) LogMessage("%s:%d\r\n", LOGPOS);
}

void MAudioCapture::ThreadMain() {
  while (state_.load() == kAudioRunning) {
    const int w = input_->Wait(kWaitMs);
    if (w < 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      continue;
    }
    // One block per turn, even when more is waiting.
    bool got = false;
    if (input_->Available() >= kBlockBytes) {
      const int n = input_->Read(pcmBytes_, kBlockBytes);
      if (n == kBlockBytes) got = true;
      else LogMessage("%s:%d (%d)\r\n", LOGPOS, n);
    }
    if (!got || paused_.load()) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      continue;
    }
    for (int i = 0; i < kBlockSamples; ++i) {
      samples_[i] = static_cast<std::int16_t>(pcmBytes_[2 * i] | pcmBytes_[2 * i + 1] << 8);
    }
    LinearToUlaw(samples_, kBlockSamples, ulaw_);
    const long sent = sender_->SendTalkBack(ulaw_, kBlockSamples);
    if (sent < 0) {
      if (errno == EAGAIN || errno == EWOULDBLOCK) continue;  // block dropped
      LogMessage("%s:%d (%d)\r\n", LOGPOS, errno);
      break;
    }
    if (sent < kBlockSamples) {
      LogMessage("%s:%d\r\n", LOGPOS);
      break;
    }
    sent_.fetch_add(1);
  }
  state_.store(kAudioStopped);
}
