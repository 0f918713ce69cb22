#include "pane/PaneAudioVideo.h"

#include "base/MRegistry.h"
#include "base/SettingsIndex.h"
#include "base/base.h"
#include "link/LinkMessages.h"
#include "pane/PaneContext.h"
#include "pane/PaneLink.h"
#include "MessageRouter.h"
#include "pane/PaneConstants.h"
#include "video/VideoFormat.h"
#include "video/MVideoRender.h"

PaneAudioVideo::PaneAudioVideo(PaneContext& pane) : pane_(pane) {}

PaneAudioVideo::~PaneAudioVideo() {
  capture_.Stop();
  pane_.Link().EndTalkBack(pane_.Slot());
  if (pane_.Link().HoldsAudioSink(pane_.Slot(), &player_)) pane_.Link().ClearAudioSink(pane_.Slot());
  player_.Stop();
}

void PaneAudioVideo::Register(MessageRouter& router) {
  router.Register(WM_ASTREAM_OPENED, [this](WindowMessageEvent&) { pane_.ChangeState(kPaneLiveAudio); });
  router.Register(WM_ASTREAM_REFUSED, [this](WindowMessageEvent&) { pane_.Box(20036, kBoxError, false); });
  router.Register(WM_MIC_PLAY_NAK, [this](WindowMessageEvent& m) { OnMicRefused(m.lParam); });
  router.Register(WM_AUDIO_CLOSED, [this](WindowMessageEvent&) { OnAudioClosed(); });
  router.Register(WM_VIDEO_STOP_ACK, [this](WindowMessageEvent&) {
    if (pane_.Render().Queue() != nullptr) pane_.Render().Queue()->ResetQueue();
  });
}

void PaneAudioVideo::SetAudioDevices(AudioOutput* output, AudioInput* input) {
  player_.SetOutput(output);
  capture_.SetInput(input);
}

void PaneAudioVideo::SwitchOff() {
  SetMic(0, 0);
  SetSpeaker(0, 0);
}

void PaneAudioVideo::ForgetConnection() {
  audioOpen_.store(false);
  videoPaused_.store(false);
}

int PaneAudioVideo::EnsureAudioChannel() {
  if (!audioOpen_.load()) audioOpen_.store(pane_.Link().OpenAudioStream(pane_.Slot()) == 1);
  return audioOpen_.load() ? 1 : 0;
}

void PaneAudioVideo::CloseAudioUnlessUsed() {
  if (!micOn_.load() && !speakerOn_.load() && audioOpen_.load()) {
    pane_.Link().CloseAudioChannel(pane_.Slot());
    audioOpen_.store(false);
  }
}

int PaneAudioVideo::SetMic(int on, int save) {
  PaneLink& link = pane_.Link();
  const int slot = pane_.Slot();
  const bool wasOn = micOn_.load();
  int result = 1;
  if (on) {
    if (!micOn_.load()) {
      if (EnsureAudioChannel() != 1) {
        LogMessage("%s:%d\r\n", LOGPOS);
        result = 0;
      } else if (player_.Start() != 1) {
        LogMessage("%s:%d\r\n", LOGPOS);
        result = 0;
      } else if (link.CameraSoundOn(slot, &player_) != 1) {
        LogMessage("%s:%d\r\n", LOGPOS);
        link.ClearAudioSink(slot);
        player_.Stop();
        result = 0;
      } else {
        micOn_.store(true);
      }
    }
  } else {
    if (micOn_.load() && link.CameraSoundOff(slot) != 1) LogMessage("%s:%d\r\n", LOGPOS);
    // The link lets go of the player before it frees its buffer.
    if (link.HoldsAudioSink(slot, &player_)) link.ClearAudioSink(slot);
    player_.Stop();
    micOn_.store(false);
    CloseAudioUnlessUsed();
  }
  if (save) WriteSettingDword(pane_.Settings(), settings::kMicEnable, micOn_.load() ? 1 : 0);
  if (micOn_.load() != wasOn) pane_.ListeningChanged();
  return result;
}

int PaneAudioVideo::SetSpeaker(int on, int save) {
  PaneLink& link = pane_.Link();
  const int slot = pane_.Slot();
  if (pane_.Group() != 0) {
    speakerOn_.store(false);
    WriteSettingDword(pane_.Settings(), settings::kSpkEnable, 0);
    return 0;
  }
  int sent = 0;
  if (on) {
    if (!speakerOn_.load()) {
      // The capture thread sends through the link, tied to the audio
      // connection open now; a later connection never gets its bytes.
      if (EnsureAudioChannel() != 1 || link.BeginTalkBack(slot) != 1 ||
          capture_.Start(link.TalkBack(slot)) != 1) {
        LogMessage("%s:%d\r\n", LOGPOS);
        link.EndTalkBack(slot);
      } else if (link.TalkBackOn(slot) != 1) {
        LogMessage("%s:%d\r\n", LOGPOS);
        capture_.Stop();
        link.EndTalkBack(slot);
      } else {
        speakerOn_.store(true);
        const int v = ReadSettingDword(pane_.Settings(), settings::kSpkVolume);
        if (link.SetSpeakerVolume(slot, v) == 1) volume_.store(v);
        sent = v;
      }
    } else {
      sent = volume_.load();
    }
  } else {
    if (speakerOn_.load()) {
      capture_.Stop();
      link.EndTalkBack(slot);
      if (link.TalkBackOff(slot) != 1) LogMessage("%s:%d\r\n", LOGPOS);
    }
    speakerOn_.store(false);
    CloseAudioUnlessUsed();
  }
  if (save) WriteSettingDword(pane_.Settings(), settings::kSpkEnable, speakerOn_.load() ? 1 : 0);
  return sent;
}

void PaneAudioVideo::OnMicRefused(std::intptr_t reason) {
  pane_.CloseBox();
  pane_.Box(reason == 0 ? 20112 : 20113, kBoxError, false);
  SetMic(0, 1);
  pane_.PostStatus();
}

void PaneAudioVideo::OnAudioClosed() {
  // The camera closed the audio channel: the capture thread has stopped (or
  // stops at its next send) and nothing more is heard. Open it again with the
  // switches as they were; when that fails, both are switched off with the
  // audio channel's box.
  audioOpen_.store(false);
  const bool listening = micOn_.load();
  const bool talking = speakerOn_.load();
  if (pane_.State() < kPaneLive || (!listening && !talking)) return;
  SwitchOff();
  if (pane_.State() == kPaneLiveAudio) pane_.ChangeState(kPaneLive);
  bool reopened = true;
  if (listening && (SetMic(1, 0) != 1 || !micOn_.load())) reopened = false;
  if (reopened && talking) {
    SetSpeaker(1, 0);
    reopened = speakerOn_.load();
  }
  if (!reopened) {
    LogMessage("%s:%d\r\n", LOGPOS);
    SwitchOff();
    pane_.CloseBox();
    pane_.Box(20036, kBoxError, false);
  }
  pane_.PostStatus();
}

int PaneAudioVideo::SetVolume(int volume, int save) {
  if (pane_.Link().SetSpeakerVolume(pane_.Slot(), volume) != 1) {
    LogMessage("%s:%d\r\n", LOGPOS);
    return 0;
  }
  volume_.store(volume);
  if (save) WriteSettingDword(pane_.Settings(), settings::kSpkVolume, volume);
  return 1;
}

void PaneAudioVideo::SetVideoPaused(int on) {
  if (pane_.State() < kPaneVideoOpen) return;
  if (on) {
    // A recording needs its pictures whether or not anyone sees them.
    if (pane_.RecordingAny()) return;
    // Paused only when the camera was told: otherwise the pictures still
    // come and the watchdog must keep watching them.
    if (!videoPaused_.load()) {
      if (pane_.Link().StopVideo(pane_.Slot()) != 1) {
        LogMessage("%s:%d\r\n", LOGPOS);
      } else {
        videoPaused_.store(true);
      }
    }
  } else if (videoPaused_.load()) {
    if (pane_.Link().StartVideo(pane_.Slot(), pane_.Render().Queue()) != 1) LogMessage("%s:%d\r\n", LOGPOS);
    videoPaused_.store(false);
  }
}

void PaneAudioVideo::OnLive() {
  // The camera's sound goes with MPEG-4 and H.264 only: the stored switches
  // come back for them, and are cleared for Motion JPEG.
  const int codec = pane_.Format().codec;
  if (codec == kCodecMpeg4 || codec == kCodecH264) {
    SetMic(ReadSettingDword(pane_.Settings(), settings::kMicEnable), 0);
    SetSpeaker(ReadSettingDword(pane_.Settings(), settings::kSpkEnable), 0);
  } else {
    SetMic(0, 1);
    SetSpeaker(0, 1);
  }
}

void PaneAudioVideo::OnConnectionEnded(ConnectionEnd why) {
  if (why == ConnectionEnd::kNewQuality) return;  // the same picture and sound go on
  SwitchOff();
  if (why == ConnectionEnd::kLogOut) ForgetConnection();
}
