// A pane's link without a camera: every request succeeds (unless a test says
// otherwise) and nothing is sent. Tests drive a session through its real
// states by handing it the messages a camera's replies would make
// (DriveSession), and switch listening and talking through the real calls.
#pragma once

#include <QCoreApplication>
#include <QString>
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "WindowMessage.h"
#include "link/LinkMessages.h"
#include "link/MediaSink.h"
#include "pane/PaneLink.h"
#include "pane/ViewerSession.h"

class FakePaneLink : public PaneLink {
 public:
  // What OpenControl answers (0: the camera does not answer).
  std::atomic<int> openControl{1};
  // What the camera answers to MIC PLAY (0: refused).
  std::atomic<int> microphone{1};
  std::atomic<int> audioOpens{0};

  // Called (on the signing-in thread) before OpenControl answers; a test
  // holds a sign-in there.
  std::function<void()> whileOpening;

  int PrepareLink(int, WindowTarget*, const char*, int) override { return 1; }
  int OpenControl(int, const char*, const char*, int) override {
    if (whileOpening) whileOpening();
    return openControl.load();
  }
  int OpenVideoStream(int) override { return 1; }
  int SendCloseRequest(int) override { return 1; }
  void CloseLink(int) override {}
  int SendAliveRequest(int) override { return 1; }
  int SendSetupRequest(int, const char*, const char*, const char*) override { return 1; }
  bool HoldsWindow(int, const WindowTarget*) override { return false; }
  bool HoldsFrameSink(int, const FrameSink*) override { return false; }
  bool HoldsAudioSink(int, const AudioSink*) override { return false; }
  void ClearFrameSink(int) override {}
  void ClearAudioSink(int) override {}
  // VIDEO PLAY and VIDEO STOP sent.
  std::atomic<int> videoStarts{0};
  std::atomic<int> videoStops{0};
  int StartVideo(int, FrameSink*) override {
    ++videoStarts;
    return 1;
  }
  int StopVideo(int) override {
    ++videoStops;
    return 1;
  }
  // Key-frame requests made, and what they answer (0: not sent).
  std::atomic<int> keyFrameRequests{0};
  std::atomic<int> keyFrame{1};
  int RequestKeyFrame(int) override {
    ++keyFrameRequests;
    return keyFrame.load();
  }
  int OpenAudioStream(int) override {
    ++audioOpens;
    return 1;
  }
  void CloseAudioChannel(int) override {}
  int CameraSoundOn(int, AudioSink*) override { return microphone.load(); }
  int CameraSoundOff(int) override { return 1; }
  int BeginTalkBack(int) override { return 1; }
  void EndTalkBack(int) override {}
  TalkBackSender* TalkBack(int) override { return &sender_; }
  int TalkBackOn(int) override { return 1; }
  int TalkBackOff(int) override { return 1; }
  int SetSpeakerVolume(int, int) override { return 1; }

  // The camera commands, each written down as "NAME a b ..." (Sent()).
  // |commands| is what they answer (0: the link did not take it).
  std::atomic<int> commands{1};
  int FlipPicture(int, int h, int v) override { return Note("FLIP", {h, v}); }
  int MovePanTilt(int, int pan, int tilt, int zoom, int focus) override {
    return Note("PTZ", {pan, tilt, zoom, focus});
  }
  int SavePreset(int, int n) override { return Note("PRESET_SAVE", {n}); }
  int GotoPreset(int, int n) override { return Note("PRESET_GOTO", {n}); }
  int StartScan(int) override { return Note("SCAN_START", {}); }
  int StopScan(int) override { return Note("SCAN_STOP", {}); }
  int ExecuteCustom(int) override { return Note("CUSTOM", {}); }
  int SetFlash(int, int on) override { return Note("LED", {on}); }
  int SetMotionDetection(int, int on) override { return Note("MOTION", {on}); }
  int SetSensorInput(int, int on) override { return Note("SENSOR", {on}); }
  int SetGeneralOutput(int, int on) override { return Note("GIO", {on}); }

  std::vector<std::string> Sent() {
    std::lock_guard<std::mutex> hold(mutex_);
    return sent_;
  }
  void ClearSent() {
    std::lock_guard<std::mutex> hold(mutex_);
    sent_.clear();
  }

 private:
  int Note(const char* name, std::initializer_list<int> values) {
    std::string line = name;
    for (int v : values) line += " " + std::to_string(v);
    std::lock_guard<std::mutex> hold(mutex_);
    sent_.push_back(line);
    return commands.load();
  }
  std::mutex mutex_;
  std::vector<std::string> sent_;  // guarded by mutex_

  // Takes the talk-back bytes and drops them.
  class DropSender : public TalkBackSender {
   public:
    long SendTalkBack(const std::uint8_t*, int count) override { return count; }
  };
  DropSender sender_;
};

// Hands |s| the message a camera's reply makes, as the link would.
inline void DeliverToSession(ViewerSession& s, unsigned message, std::uintptr_t wParam = 0,
                             std::intptr_t lParam = 0) {
  WindowMessageEvent m(message, wParam, lParam);
  QCoreApplication::sendEvent(&s, &m);
}

// Signs |s| in over its fake link and walks it through the camera's replies
// up to |state| (2 sign-in sent, 3 control open, 5 video open, 6 live, 8 live
// with sound; 1 reconnecting, with a camera that no longer answers; with
// |pictureWhileReconnecting| the camera answered one attempt's VIDEO GET, so
// the render runs again), with |group|, |info| and the picture's VCODEC
// |codec| at RES |resolution| (2: VGA). Returns the state reached.
inline int DriveSession(ViewerSession& s, FakePaneLink& link, int state, int group = 0,
                        const LoginInfo& info = {}, int codec = 2, bool pictureWhileReconnecting = false,
                        int resolution = 2) {
  if (state == kPaneIdle) return s.State();
  // The address and alias stay as the test set them (empty: "0"); a pane
  // that never signed in shows the stored default "http://", which names no
  // host, so it signs in to this machine.
  SignInFields f = s.Fields();
  if (f.url == QLatin1String("http://")) f.url = QStringLiteral("127.0.0.1");
  if (f.port.isEmpty()) f.port = QStringLiteral("6001");
  if (f.id.isEmpty()) f.id = QStringLiteral("admin");
  if (f.password.isEmpty()) f.password = QStringLiteral("pw");
  s.SetFields(f);
  link.openControl = 1;
  if (s.SignIn() != 1 || state == kPaneSignInSent) return s.State();
  LoginInfo copy = info;
  DeliverToSession(s, WM_LOGIN_ACCEPTED, static_cast<std::uintptr_t>(group), reinterpret_cast<std::intptr_t>(&copy));
  if (state == kPaneControlOpen) return s.State();
  DeliverToSession(s, WM_VSTREAM_OPENED);
  if (state == kPaneVideoOpen) return s.State();
  const QByteArray var = QStringLiteral("RES=%1;VCODEC=%2;QUALITY=6;").arg(resolution).arg(codec).toLatin1();
  DeliverToSession(s, WM_SETUP_VIDEO_GET, 0, reinterpret_cast<std::intptr_t>(var.constData()));
  DeliverToSession(s, WM_VIDEO_PLAY_ACK);
  if (state == kPaneLiveAudio) DeliverToSession(s, WM_ASTREAM_OPENED);
  if (state == kPaneReconnecting) {
    link.openControl = 0;
    s.StartReconnect();
    if (pictureWhileReconnecting) {
      DeliverToSession(s, WM_SETUP_VIDEO_GET, 0, reinterpret_cast<std::intptr_t>(var.constData()));
    }
  }
  QCoreApplication::processEvents();
  return s.State();
}
