// The audio engine of one pane: MAudioPlayer plays the camera's microphone
// (mu-law bytes from the audio channel) and hands them to the recorder while
// a recording runs; MAudioCapture captures the PC's microphone and sends it
// to the camera's speaker as mu-law through the link's talk-back sender (never
// on a bare socket number, which the link may close and hand out again).
#pragma once

#include <atomic>
#include <cstdint>
#include <thread>

#include "audio/AudioDevice.h"
#include "audio/AudioFifo.h"
#include "base/ConsumerBarrier.h"
#include "base/MediaRecorder.h"
#include "base/TimedLock.h"
#include "link/MediaSink.h"

// Worker states shared by both objects.
enum AudioThreadState { kAudioRunning = 11, kAudioStopping = 20, kAudioStopped = 21 };

// Waits up to |ms| for a worker to reach kAudioStopped, then joins it; one
// that does not end in time is logged and detached.
void StopAudioThread(std::thread& thread, std::atomic<int>& state, int ms);

class MAudioPlayer : public AudioSink {
 public:
  static constexpr int kTurnBytes = 320;  // 40 ms of mu-law per turn
  static constexpr int kStopWaitMs = 5000;

  explicit MAudioPlayer(AudioOutput* output = nullptr) : output_(output) {}
  ~MAudioPlayer() override { Stop(); }
  MAudioPlayer(const MAudioPlayer&) = delete;
  MAudioPlayer& operator=(const MAudioPlayer&) = delete;

  // The playback device (owned by the caller); set while stopped.
  void SetOutput(AudioOutput* output) { output_ = output; }

  // Opens the device, starts playback and the playback thread. 1 or 0.
  int Start();
  // Ends the thread, closes the device, frees the FIFO. Returns 1.
  int Stop();
  // Stores received bytes in the FIFO; returns how many were stored (0 when
  // stopped).
  int PushReceived(const std::uint8_t* bytes, int count) override;
  // Mutes: received audio is still consumed (and recorded) but not played.
  void Silence();
  // Unmutes and resumes playback.
  void Resume();

  // The recording hand-off: while on, every block taken from the FIFO is
  // written to |recorder| before any muting. Once SetRecorder returns the
  // playback thread writes nothing more into the recorder it replaced: a
  // block being written is waited for (on the playback thread itself it
  // returns at once). The playback thread never waits for this call.
  void SetRecorder(MediaRecorder* recorder);
  // The recorder set at this moment (for comparisons only).
  MediaRecorder* Recorder() const { return recorder_.Peek(); }
  void SetRecording(int on) { recording_.store(on != 0); }

  int State() const { return state_.load(); }
  bool IsMuted() const { return mute_.load(); }

 private:
  void ThreadMain();
  void WritePcm(int samples);

  AudioOutput* output_;  // window thread sets it; Write from the playback thread
  TimedLock lock_;
  // --- guarded by lock_ ---
  AudioFifo fifo_;
  bool fifoOpen_ = false;
  // --- playback thread only ---
  std::uint8_t block_[kTurnBytes] = {};
  std::int16_t pcm_[kTurnBytes] = {};
  // --- shared flags ---
  std::atomic<int> state_{kAudioStopped};
  std::atomic<bool> mute_{false};
  std::atomic<bool> recording_{false};
  ConsumerBarrier<MediaRecorder> recorder_;  // the playback thread reads it by a guard
  std::thread thread_;  // window thread
};

class MAudioCapture {
 public:
  static constexpr int kBlockBytes = 2560;    // 160 ms of 16-bit samples
  static constexpr int kBlockSamples = 1280;  // mu-law bytes per send
  static constexpr int kWaitMs = 160;
  static constexpr int kStopWaitMs = 5000;

  explicit MAudioCapture(AudioInput* input = nullptr) : input_(input) {}
  ~MAudioCapture() { Stop(); }
  MAudioCapture(const MAudioCapture&) = delete;
  MAudioCapture& operator=(const MAudioCapture&) = delete;

  void SetInput(AudioInput* input) { input_ = input; }

  // Opens and starts the capture device and the capture thread, which sends
  // through |sender| (the slot's audio channel; it must outlive the thread,
  // that is, live until Stop). The thread ends, logged, when a send fails
  // other than for a full socket. 1 or 0.
  int Start(TalkBackSender* sender);
  // The same over a socket that the caller owns and keeps open until Stop
  // (tests and benchmarks; the viewer sends through its link).
  int Start(int socket);
  // Ends the thread and closes the device. Returns 1.
  int Stop();
  // Stops capturing / starts again; nothing is sent while paused.
  void Pause();
  void Resume();

  int State() const { return state_.load(); }
  // Blocks sent since Start (diagnostics and tests).
  int BlocksSent() const { return sent_.load(); }

 private:
  void ThreadMain();

  AudioInput* input_;
  // Sends on a caller's socket (Start(int)).
  class SocketSender : public TalkBackSender {
   public:
    long SendTalkBack(const std::uint8_t* bytes, int count) override;
    int socket = -1;
  };
  TalkBackSender* sender_ = nullptr;  // set before the thread starts
  SocketSender socketSender_;         // set before the thread starts
  bool opened_ = false;  // window thread
  // --- capture thread only ---
  std::uint8_t pcmBytes_[kBlockBytes] = {};
  std::int16_t samples_[kBlockSamples] = {};
  std::uint8_t ulaw_[kBlockSamples] = {};
  // --- shared ---
  std::atomic<int> state_{kAudioStopped};
  std::atomic<bool> paused_{false};
  std::atomic<int> sent_{0};
  std::thread thread_;
};
