// The pane's sound and picture switches: listening to the camera's
// microphone (the player), talking to its speaker (the capture thread and the
// link's talk-back sender), the speaker volume, whether this pane is the one
// heard (selection), and the pause of the pictures of a hidden pane. It owns
// the audio channel the switches need and reopens it when the camera drops
// it. Messages it handles: the audio channel opened (1034) or refused (1035),
// the camera refusing its microphone (1047), the audio channel closed by the
// camera (1179), and the acknowledgement of a video stop (1040).
//
// Threads: every call on the UI thread. The switches are atomics because the
// form and tests read them from anywhere; audioOpen_ is written on the UI
// thread only. The player is the link's audio sink and the capture thread
// sends through the link's talk-back sender: both are let go of (ClearAudioSink,
// EndTalkBack, capture stop) before this part is destroyed.
#pragma once

#include <atomic>

#include "audio/MAudio.h"
#include "pane/PaneLifecycle.h"

class PaneContext;
class MessageRouter;

class PaneAudioVideo : public PaneLifecycle {
 public:
  explicit PaneAudioVideo(PaneContext& pane);
  ~PaneAudioVideo() override;
  PaneAudioVideo(const PaneAudioVideo&) = delete;
  PaneAudioVideo& operator=(const PaneAudioVideo&) = delete;

  void Register(MessageRouter& router);

  // Listening (1 on success), talking (the volume sent when talking started),
  // the camera speaker's volume (1 on success). |save| writes the switch.
  int SetMic(int on, int save);
  int SetSpeaker(int on, int save);
  int SetVolume(int volume, int save);
  // Stops the pictures of a pane nobody sees (not while anything records),
  // and starts them again.
  void SetVideoPaused(int on);

  bool MicOn() const { return micOn_.load(); }
  bool SpeakerOn() const { return speakerOn_.load(); }
  int Volume() const { return volume_.load(); }
  bool VideoPaused() const { return videoPaused_.load(); }

  // Only the selected pane is heard and talks (the form's rule).
  void SetSelected(bool selected) { selected_ = selected; }
  bool Selected() const { return selected_; }
  MAudioPlayer& Player() { return player_; }
  MAudioCapture& Capture() { return capture_; }
  void SetAudioDevices(AudioOutput* output, AudioInput* input);

  // The connection ended (log-out, reconnect, new picture format): both
  // switches off without saving; after a log-out the channel and the pause
  // are forgotten too.
  void SwitchOff();
  void ForgetConnection();
  // PaneLifecycle: the stored switches at live start; both off when the
  // connection ends, and after a log-out the channel and pause forgotten.
  void OnLive() override;
  void OnConnectionEnded(ConnectionEnd why) override;
  // Stops the capture thread (the pane is going away).
  void StopCapture() { capture_.Stop(); }

 private:
  int EnsureAudioChannel();  // 1 when the audio channel is open
  void CloseAudioUnlessUsed();
  void OnAudioClosed();
  void OnMicRefused(std::intptr_t reason);

  PaneContext& pane_;
  std::atomic<bool> micOn_{false};
  std::atomic<bool> speakerOn_{false};
  std::atomic<int> volume_{0};
  std::atomic<bool> videoPaused_{false};
  std::atomic<bool> audioOpen_{false};  // the pane opened the audio channel (UI thread writes)
  bool selected_ = false;  // UI thread
  MAudioPlayer player_;
  MAudioCapture capture_;
};
