// One pane's connection to its camera, without widgets: sign-in, the state
// machine driven by the link's window messages (the session is the slot's
// window), the live start of the render, log out, the once-a-second tick with
// the keep-alive and the stall watchdog, the reconnect thread, and the pane's
// listening, talking and video pause switches. The pane widget (MViewer) puts
// a face on it through ViewerHost.
#pragma once

#include <QObject>
#include <QString>
#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <thread>

#include "base/MRegistry.h"
#include "WindowMessage.h"
#include "audio/MAudio.h"
#include "link/ControlChannel.h"
#include "video/MVideoRender.h"

class VideoSurface;

// Pane states.
inline constexpr int kPaneIdle = 0;
inline constexpr int kPaneReconnecting = 1;
inline constexpr int kPaneSignInSent = 2;
inline constexpr int kPaneControlOpen = 3;
inline constexpr int kPaneVideoOpen = 5;
inline constexpr int kPaneLive = 6;
inline constexpr int kPaneLiveAudio = 8;

// Messages a pane posts to its parent (wParam: the slot).
inline constexpr unsigned WM_PANE_STATUS = 1025;
inline constexpr unsigned WM_PANE_SELECT = 1026;
inline constexpr unsigned WM_PANE_ENLARGE = 1027;
inline constexpr unsigned WM_PANE_FULLSCREEN = 1028;
// The pane's log-out command (posted to itself as a command message).
inline constexpr unsigned WM_PANE_COMMAND = 0x0111;  // WM_COMMAND
inline constexpr int kCmdLogOut = 33003;

// Box kinds of a pane.
inline constexpr int kBoxError = 1;
inline constexpr int kBoxWarning = 2;
inline constexpr int kBoxNotice = 3;

// MODEL values that change what a pane offers.
inline constexpr int kModelPanTilt = 33554432;
inline constexpr int kModelFixed = 67108864;

// What the sign-in panel holds (copied when a sign-in starts, so the
// reconnect thread never reads a widget).
struct SignInFields {
  QString url;
  QString port;
  QString id;
  QString password;
  QString alias;
  bool useMjpeg = false;
  bool saveId = false;
  bool autoSignIn = false;
};

// The face of a pane: boxes, repaints, the sign-in panel and the parent
// window. Every call comes on the UI thread. The defaults show every box
// through the process-wide presenter (MessageBoxes.h), so a test can record
// them.
class ViewerHost {
 public:
  virtual ~ViewerHost() = default;
  // Modeless box owned by the pane, closing itself after 5 s.
  virtual void OpenViewerBox(int messageId, int kind);
  // Modal box.
  virtual void ShowViewerBox(int messageId, int kind);
  // A box with a text of the pane's own (no string id).
  virtual void OpenViewerTextBox(const QString& text, int kind);
  virtual void CloseCurrentBox() {}
  virtual void RepaintPane() {}
  virtual void ShowSignInPanel(bool /*show*/) {}
  virtual void PostToParent(unsigned /*message*/, std::uintptr_t /*wParam*/, std::intptr_t /*lParam*/) {}
};

class ViewerSession : public QObject {
  Q_OBJECT
 public:
  // |surface| presents the pictures (null: Start of the render fails).
  // |host| may be null (boxes then go to the presenter).
  ViewerSession(int slot, int settingsIndex, VideoSurface* surface, ViewerHost* host,
                QObject* parent = nullptr);
  ~ViewerSession() override;

  int Slot() const { return slot_; }
  int State() const { return state_.load(); }
  int Group() const { return group_.load(); }
  bool Reconnecting() const { return reconnecting_.load() != 0; }
  // The session number, changed by LogOut and by every new sign-in.
  std::uint64_t Epoch() const { return epoch_.load(); }
  bool VideoPaused() const { return videoPaused_.load(); }
  bool MicOn() const { return micOn_.load(); }
  bool SpeakerOn() const { return speakerOn_.load(); }
  int Volume() const { return volume_.load(); }
  const LoginInfo& Info() const { return loginInfo_; }  // UI thread
  const VideoFormat& Format() const { return format_; }  // UI thread
  QString Banner() const;
  MVideoRender& Render() { return render_; }
  const SettingsKey& Settings() const { return settingsKey_; }
  WindowTarget* Target() { return &target_; }

  // The stored "Signin" values, read at creation. |autoSignIn| tells that a
  // stored password was found.
  SignInFields StoredFields() const { return stored_; }
  bool AutoSignIn() const { return autoSignIn_; }

  // Sign-in with the given panel values (any thread): a new session (see
  // epoch_). Sign-ins of one pane run one at a time. Returns 1 when the login
  // message was sent.
  int SignIn(const SignInFields& fields);
  // Ends the session: the reconnect thread and every step still under way for
  // the session give up without changing the pane or showing a box.
  void LogOut();
  void Tick();
  void StartReconnect();
  // Listening, talking, camera speaker volume, and the video pause of a
  // hidden pane.
  int SetMic(int on, int save);
  int SetSpeaker(int on, int save);
  int SetVolume(int volume, int save);
  void SetVideoPaused(int on);
  void SetSelected(bool selected) { selected_ = selected; }
  bool Selected() const { return selected_; }
  MAudioPlayer& Player() { return player_; }
  MAudioCapture& Capture() { return capture_; }
  void SetAudioDevices(AudioOutput* output, AudioInput* input);

  // Tests: the reconnect thread's step (1 s as designed).
  void SetReconnectStep(std::chrono::milliseconds step) { reconnectStep_ = step; }
  // Tests without a camera: the values a signed-in pane holds (UI thread).
  // The state change is announced as a real one (stateChanged, 1025).
  void SetSignedInForTest(int state, int group, const LoginInfo& info, const VideoFormat& format);
  // Tests without a camera: the listening and talking switches.
  void SetAudioSwitchesForTest(bool micOn, bool speakerOn);

 signals:
  void stateChanged(int state);

 protected:
  bool event(QEvent* e) override;

 private:
  void HandleMessage(WindowMessageEvent* m);
  void OnLoginAccepted(int group, const LoginInfo* info);
  void OnLoginRefused(int code);
  void OnCameraClose(int code);
  void OnVideoSettings(const char* var);
  void OnVideoSettingsChanged(const char* var);
  void OnLiveStart();
  void OnControlClosed();
  void OnAudioClosed();
  // Sign-in for session |epoch|; 0 without a change when it has ended.
  int SignInFor(const SignInFields& fields, std::uint64_t epoch);
  // Again with the values of the last sign-in (the reconnect thread).
  int SignInAgain(std::uint64_t epoch);
  // Stores |state| (and announces it) only while session |epoch| lasts.
  bool SetStateIf(std::uint64_t epoch, int state, bool announce = true);
  // Whether a message from the link belongs to an ended session.
  bool IsStale(const WindowMessageEvent* m) const;
  // Ends the render after the link let go of its frame queue.
  void StopRender();
  // Opens the audio channel unless it is open. 1 when open.
  int EnsureAudioChannel();
  void CloseAudioUnlessUsed();
  bool ParseFormat(const char* var, VideoFormat* out) const;
  int StartRenderAndPlay(const VideoFormat& format);
  void StallWatchdog();
  void ReconnectThread(std::uint64_t epoch);
  void SetState(int state);
  // stateChanged on the UI thread (queued from another thread, and dropped
  // there once session |epoch| has ended).
  void AnnounceState(int state, std::uint64_t epoch);
  void PostCommand(int id);
  void PostStatus();
  // Boxes and repaints from any thread land on the UI thread.
  // A box from another thread is shown only while the session it was asked
  // for lasts.
  void Box(int messageId, int kind, bool modal, std::uint64_t epoch = 0);
  void CloseBox();
  void Repaint();
  void WriteSignInSettings(const SignInFields& f, const QByteArray& password);

  const int slot_;
  // The session number: bumped (under stateMutex_) by LogOut and by every
  // new sign-in; each asynchronous step (reconnect thread, sign-in from a
  // worker thread, a box or state change queued for the UI thread) carries
  // the number it began with and does nothing once it has changed. Messages
  // from the link carry it too (target_'s stamp).
  std::atomic<std::uint64_t> epoch_{1};
  std::mutex stateMutex_;   // held for an epoch check together with its state store
  std::mutex signInMutex_;  // held for a whole sign-in; never while waiting for the UI thread
  ViewerHost fallbackHost_;
  ViewerHost* host_;
  QtWindowTarget target_;
  SettingsKey settingsKey_;
  SignInFields stored_;
  bool autoSignIn_ = false;

  std::atomic<int> state_{kPaneIdle};
  std::atomic<int> group_{0};
  std::atomic<int> reconnecting_{0};
  std::atomic<int> updateInProgress_{0};
  std::atomic<bool> videoPaused_{false};
  std::atomic<bool> micOn_{false};
  std::atomic<bool> speakerOn_{false};
  std::atomic<int> volume_{0};
  std::atomic<bool> audioOpen_{false};  // the pane opened the audio channel (UI thread writes)
  bool selected_ = false;  // UI thread

  // UI thread only.
  LoginInfo loginInfo_{};
  VideoFormat format_{};
  int stallCounter_ = 1;
  std::uint32_t lastFrameCount_ = 0;
  int tickCounter_ = 0;

  std::mutex fieldsMutex_;
  SignInFields lastFields_;  // guarded by fieldsMutex_
  bool useMjpegRequested_ = false;  // guarded by fieldsMutex_

  mutable std::mutex bannerMutex_;
  QString banner_;  // guarded by bannerMutex_

  std::thread reconnectThread_;  // started and joined on the UI thread
  std::chrono::milliseconds reconnectStep_{1000};

  MAudioPlayer player_;
  MAudioCapture capture_;
  MVideoRender render_;
};
