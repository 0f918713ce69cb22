// One pane's connection to its camera, without widgets: the sign-in fields,
// sign-in, the state machine driven by the link's window messages (the
// session is the slot's window), the live start of the render, log out, the
// once-a-second tick with the keep-alive, and (ViewerReconnect.cpp) the stall
// watchdog and the reconnect thread. Everything else a pane does is a part of
// its own (see PaneContext.h) that registers its messages with the session's
// router and follows the connection's moments (PaneLifecycle.h): the sound
// and picture switches (PaneAudioVideo), the camera switches and steering
// (PaneCameraControls), recordings and snapshots (PaneRecording), the
// schedule (PaneSchedule), the alarms (PaneAlarms), the camera's upkeep
// notices (PaneMaintenance). The session is their composition root: it builds
// them and tells them the moments in the order Lifecycle() gives. The pane
// widget (MViewer) puts a face on it through ViewerHost.
#pragma once

#include <QObject>
#include <QString>
#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <array>
#include <thread>

#include "base/MRegistry.h"
#include "WindowMessage.h"
#include "link/ControlChannel.h"
#include "pane/PaneAlarms.h"
#include "pane/PaneAudioVideo.h"
#include "pane/PaneCameraControls.h"
#include "pane/PaneConstants.h"
#include "pane/PaneContext.h"
#include "pane/PaneLifecycle.h"
#include "pane/PaneMaintenance.h"
#include "pane/PaneRecording.h"
#include "pane/PaneSchedule.h"
#include "pane/PaneStatus.h"
#include "MessageRouter.h"
#include "video/MVideoRender.h"

class VideoSurface;

// What the sign-in panel shows: kept by the session (the widget's edits
// follow it), copied when a sign-in starts, so the reconnect thread never
// reads a widget.
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
  // Modeless box owned by the pane, closing itself after 5 s. |detail| goes
  // on a line of its own after the message (messageId 0: the detail alone).
  virtual void OpenViewerBox(int messageId, int kind, const QString& detail);
  void OpenViewerBox(int messageId, int kind) { OpenViewerBox(messageId, kind, QString()); }
  // Modal box.
  virtual void ShowViewerBox(int messageId, int kind, const QString& detail);
  void ShowViewerBox(int messageId, int kind) { ShowViewerBox(messageId, kind, QString()); }
  virtual void CloseCurrentBox() {}
  virtual void RepaintPane() {}
  virtual void ShowSignInPanel(bool /*show*/) {}
  virtual void PostToParent(unsigned /*message*/, std::uintptr_t /*wParam*/, std::intptr_t /*lParam*/) {}
  // An alarm brings the main window forward: restored, raised, its task bar
  // entry flashing, and on top of other windows until EndActivation.
  virtual void ActivateMainWindow() {}
  virtual void EndActivation() {}
  // An alarm on a pane shown full screen leaves full screen first.
  virtual void LeaveFullScreen() {}
  // Whether the pane can be seen (false while the program is in the tray).
  virtual bool PaneShown() const { return true; }
};

// How a session is built. Tests give a fake link and a short reconnect step.
struct SessionOptions {
  PaneLink* link = nullptr;  // null: the real link; else lives longer than the session
  std::chrono::milliseconds reconnectStep{1000};  // the reconnect thread's step
  LocalClock clock;  // the local time of recordings (null: the system's)
  std::function<std::int64_t()> realClock;  // seconds since 1970, UTC (null: the system's)
  std::chrono::milliseconds alarmSecond{1000};  // one second of the alarm's timers
  // Bytes free for a directory (null: the file system's); tests fill the disk.
  FreeSpaceProbe freeSpace;
};

class ViewerSession : public QObject, public PaneContext {
  Q_OBJECT
 public:
  // |surface| presents the pictures (null: Start of the render fails).
  // |host| may be null (boxes then go to the presenter).
  ViewerSession(int slot, int settingsIndex, VideoSurface* surface, ViewerHost* host,
                QObject* parent = nullptr, const SessionOptions& options = {});
  ~ViewerSession() override;

  // PaneContext.
  int Slot() const override { return slot_; }
  int State() const override { return state_.load(); }
  int Group() const override { return group_.load(); }
  const LoginInfo& Info() const override { return loginInfo_; }
  LoginInfo& EditInfo() override { return loginInfo_; }
  const VideoFormat& Format() const override { return format_; }
  const SettingsKey& Settings() const override { return settingsKey_; }
  MVideoRender& Render() override { return render_; }
  PaneLink& Link() override { return *link_; }
  void ChangeState(int state) override { SetState(state); }
  void Box(int messageId, int kind, bool modal) override { Box(messageId, kind, modal, 0); }
  void Box(int messageId, int kind, bool modal, const QString& detail) override {
    Box(messageId, kind, modal, 0, detail);
  }
  void CloseBox() override;
  void PostStatus() override;
  void PostCommand(int id) override;
  void AlarmLabelsChanged() override { emit alarmLabelsChanged(); }
  void ListeningChanged() override { recording_.OnListeningChanged(); }
  void EndAlarmRecording() override { alarms_.EndAlarmRecording(); }
  bool MotionDetectionOn() const override { return controls_.MotionOn(); }
  bool RecordingAny() const override { return recording_.RecordingAny(); }
  bool PaneShown() const override { return host_->PaneShown(); }

  // The pane as the main form shows it (UI thread).
  PaneStatus Status() const;

  bool Reconnecting() const { return reconnecting_.load() != 0; }
  // The session number, changed by LogOut and by every new sign-in.
  std::uint64_t Epoch() const { return epoch_.load(); }
  QString Banner() const;
  WindowTarget* Target() { return &target_; }
  MessageRouter& Router() { return router_; }

  // The pane's parts.
  PaneAudioVideo& Audio() { return audio_; }
  const PaneAudioVideo& Audio() const { return audio_; }
  PaneCameraControls& Controls() { return controls_; }
  PaneRecording& Recording() { return recording_; }
  const PaneRecording& Recording() const { return recording_; }
  PaneSchedule& Schedule() { return schedule_; }
  const PaneCameraControls& Controls() const { return controls_; }
  PaneAlarms& Alarms() { return alarms_; }
  const PaneAlarms& Alarms() const { return alarms_; }

  // The sign-in panel's values (UI thread). SetFields announces them
  // (fieldsChanged) so the panel shows them.
  const SignInFields& Fields() const { return fields_; }
  void SetFields(const SignInFields& fields);
  // The panel's edits as the user types them (no announcement).
  void EditFields(const SignInFields& fields) { fields_ = fields; }
  // A stored password was found at creation: the pane signs in at start-up.
  bool AutoSignIn() const { return autoSignIn_; }

  // Sign-in with the given panel values (any thread): a new session (see
  // epoch_). Sign-ins of one pane run one at a time. Returns 1 when the login
  // message was sent.
  int SignIn(const SignInFields& fields);
  // Sign-in with the fields the pane holds.
  int SignIn() { return SignIn(fields_); }
  // Ends the session: the reconnect thread and every step still under way for
  // the session give up without changing the pane or showing a box.
  void LogOut();
  void Tick();
  void StartReconnect();

 signals:
  void stateChanged(int state);
  // SetFields changed what the panel should show.
  void fieldsChanged();
  // The motion or sensor label should show something else.
  void alarmLabelsChanged();

 protected:
  bool event(QEvent* e) override;

 private:
  void RegisterConnectionMessages();
  void HandleMessage(WindowMessageEvent* m);
  void OnVideoStreamOpened();
  void OnVideoStreamRefused();
  void OnFlipAcknowledged(int horizontal, int vertical);
  void OnLoginAccepted(int group, const LoginInfo* info);
  void OnLoginRefused(int code);
  void OnCameraClose(int code);
  void OnVideoSettings(const char* var);
  void OnVideoSettingsChanged(const char* var);
  void OnLiveStart();
  // Tells the parts that the connection's picture ended (before the render
  // stops), in the reverse of their live order.
  void EndConnection(ConnectionEnd why);
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
  bool ParseFormat(const char* var, VideoFormat* out) const;
  int StartRenderAndPlay(const VideoFormat& format);
  void StallWatchdog();
  // The watchdog counts again from the frames the queue holds now.
  void RestartStallCount();
  void ReconnectThread(std::uint64_t epoch);
  void SetState(int state);
  // stateChanged on the UI thread (queued from another thread, and dropped
  // there once session |epoch| has ended).
  void AnnounceState(int state, std::uint64_t epoch);
  // Runs |call| on the UI thread after the calls queued before it (from any
  // thread). The call is handed over under queuedMutex_ rather than inside
  // Qt's event (Qt's own locks are invisible to the thread sanitizer); one
  // RunQueuedCall is queued per call, so they interleave with other events
  // exactly as queued functors would. Calls still queued when the session is
  // destroyed are dropped with it.
  void QueueOnUi(std::function<void()> call);
  Q_INVOKABLE void RunQueuedCall();
  // Boxes and repaints from any thread land on the UI thread.
  // A box from another thread is shown only while the session it was asked
  // for lasts (|epoch| 0: the present session).
  void Box(int messageId, int kind, bool modal, std::uint64_t epoch, const QString& detail = QString());
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
  PaneLink* const link_;  // lives longer than the session
  QtWindowTarget target_;
  SettingsKey settingsKey_;
  SignInFields fields_;  // UI thread
  bool autoSignIn_ = false;

  std::atomic<int> state_{kPaneIdle};
  std::atomic<int> group_{0};
  std::atomic<int> reconnecting_{0};

  // UI thread only.
  LoginInfo loginInfo_{};
  VideoFormat format_{};
  int stallCounter_ = 1;
  std::uint32_t lastFrameCount_ = 0;
  int tickCounter_ = 0;

  std::mutex fieldsMutex_;
  SignInFields lastFields_;  // guarded by fieldsMutex_
  bool useMjpegRequested_ = false;  // guarded by fieldsMutex_

  std::mutex queuedMutex_;
  std::deque<std::function<void()>> queued_;  // guarded by queuedMutex_

  mutable std::mutex bannerMutex_;
  QString banner_;  // guarded by bannerMutex_

  std::thread reconnectThread_;  // started and joined on the UI thread
  const std::chrono::milliseconds reconnectStep_;

  MVideoRender render_;
  // The parts in the order they hear OnLive; OnConnectionEnded and OnTick
  // go the other way (the recording's files close before the sound and the
  // switches they use; the schedule decides before the recording splits).
  std::array<PaneLifecycle*, 5> Lifecycle();
  // The router and the parts; the parts register with the router when the
  // session is built and die before the render and the session.
  MessageRouter router_;
  PaneAudioVideo audio_;
  PaneCameraControls controls_;
  PaneRecording recording_;
  PaneSchedule schedule_;
  PaneAlarms alarms_;
  PaneMaintenance maintenance_;
};
