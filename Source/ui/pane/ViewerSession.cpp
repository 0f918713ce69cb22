#include "pane/ViewerSession.h"

#include <QApplication>
#include <QMetaObject>
#include <QThread>
#include <cstring>

#include "controls/MessageBoxes.h"
#include "controls/MInfoBox.h"
#include "base/base.h"
#include "link/CameraCommands.h"
#include "link/KeyValue.h"
#include "link/LinkMessages.h"
#include "link/MediaStream.h"
#include "pane/PaneLink.h"
#include "StringTable.h"

namespace {

constexpr int kIdBytes = 32;
constexpr int kScrambledBytes = 128;

// Boxes of the refusal and close codes.
int RefusalBox(int code) {
  switch (code) {
    case 501: return 20039;
    case 502: return 20040;
    case 503: return 20038;
    case 504: return 20037;
    case 505: return 20043;
    case 506: return 20041;
    default: return 0;
  }
}

int CameraCloseBox(int code) {
  switch (code) {
    case 401: return 20083;
    case 402: return 20080;
    case 403: return 20081;
    case 404: return 20082;
    default: return 0;
  }
}

void PresentBox(int messageId, int kind, const QString& detail) { ShowMessage(messageId, kind, detail); }

bool OnUiThread(const QObject* o) { return QThread::currentThread() == o->thread(); }

}  // namespace

void ViewerHost::OpenViewerBox(int messageId, int kind, const QString& detail) { PresentBox(messageId, kind, detail); }
void ViewerHost::ShowViewerBox(int messageId, int kind, const QString& detail) { PresentBox(messageId, kind, detail); }

ViewerSession::ViewerSession(int slot, int settingsIndex, VideoSurface* surface, ViewerHost* host,
                             QObject* parent, const SessionOptions& options)
    : QObject(parent),
      slot_(slot),
      host_(host ? host : &fallbackHost_),
      link_(options.link ? options.link : &LiveLink::Instance()),
      target_(this, &epoch_),
      tickCounter_(slot),
      reconnectStep_(options.reconnectStep),
      render_(surface),
      audio_(*this),
      controls_(*this),
      recording_(*this, audio_, options.clock, options.freeSpace),
      schedule_(*this, recording_, controls_, options.clock, options.realClock),
      alarms_(*this, controls_, recording_, *host_, options.alarmSecond),
      maintenance_(*this) {
  RegisterConnectionMessages();
  audio_.Register(router_);
  recording_.Register(router_);
  schedule_.Register(router_);
  alarms_.Register(router_);
  maintenance_.Register(router_);
  char name[16];
  std::snprintf(name, sizeof name, settings::kViewerKeyFormat, settingsIndex);
  if (OpenSettingsKey(QString::fromLatin1(name), &settingsKey_) != 1) LogMessage("%s:%d\r\n", LOGPOS);
  ReadSettingString(settingsKey_, settings::kSigninUrl, 260, &fields_.url);
  // As stored: a port that is not one stays visible and is refused at sign-in.
  fields_.port = ReadSettingNumberText(settingsKey_, settings::kSigninPort, 8);
  fields_.useMjpeg = ReadSettingDword(settingsKey_, settings::kSigninMjpeg) != 0;
  ReadSettingString(settingsKey_, settings::kSigninId, kIdBytes, &fields_.id);
  ReadSettingString(settingsKey_, settings::kSigninAlias, kIdBytes, &fields_.alias);
  fields_.saveId = !fields_.id.isEmpty();
  QString scrambled;
  ReadSettingString(settingsKey_, settings::kSigninPw, kScrambledBytes + 1, &scrambled);
  if (!scrambled.isEmpty()) {
    std::string plain = UnscrambleText(scrambled.toStdString());
    if (plain.size() > kIdBytes) plain.resize(kIdBytes);
    fields_.password = QString::fromLocal8Bit(plain.c_str());
    fields_.autoSignIn = true;
    autoSignIn_ = true;
  }
}

ViewerSession::~ViewerSession() {
  {
    std::lock_guard<std::mutex> hold(stateMutex_);
    epoch_.fetch_add(1);
  }
  reconnecting_.store(0);
  if (reconnectThread_.joinable()) reconnectThread_.join();
  audio_.StopCapture();
  if (link_->HoldsWindow(slot_, &target_)) {
    // Still this pane's link: end it and let go of the window, the frame
    // queue and the player before they are freed.
    if (state_.load() != kPaneIdle) link_->SendCloseRequest(slot_);
    link_->CloseLink(slot_);
  }
  if (link_->HoldsFrameSink(slot_, render_.Queue())) link_->ClearFrameSink(slot_);
  if (link_->HoldsAudioSink(slot_, &audio_.Player())) link_->ClearAudioSink(slot_);
  render_.Stop();
}

void ViewerSession::SetFields(const SignInFields& fields) {
  fields_ = fields;
  emit fieldsChanged();
}

QString ViewerSession::Banner() const {
  std::lock_guard<std::mutex> hold(bannerMutex_);
  return banner_;
}

void ViewerSession::SetState(int state) {
  state_.store(state);
  AnnounceState(state, epoch_.load());
}

void ViewerSession::AnnounceState(int state, std::uint64_t epoch) {
  if (OnUiThread(this)) {
    emit stateChanged(state);
  } else {
    QueueOnUi([this, state, epoch] {
      if (epoch_.load() == epoch) emit stateChanged(state);
    });
  }
}

bool ViewerSession::SetStateIf(std::uint64_t epoch, int state, bool announce) {
  {
    std::lock_guard<std::mutex> hold(stateMutex_);
    if (epoch_.load() != epoch) return false;
    state_.store(state);
  }
  if (announce) AnnounceState(state, epoch);
  return true;
}

bool ViewerSession::IsStale(const WindowMessageEvent* m) const {
  return m->stamp != 0 && m->stamp != epoch_.load();
}

void ViewerSession::StopRender() {
  // The link must no longer reach the queue the render frees.
  link_->ClearFrameSink(slot_);
  render_.Stop();
}

void ViewerSession::PostCommand(int id) { PostWindowMessage(this, WM_PANE_COMMAND, id, 0); }

void ViewerSession::PostStatus() {
  if (OnUiThread(this)) {
    host_->PostToParent(WM_PANE_STATUS, slot_, 0);
  } else {
    QueueOnUi([this] { host_->PostToParent(WM_PANE_STATUS, slot_, 0); });
  }
}

void ViewerSession::Box(int messageId, int kind, bool modal, std::uint64_t epoch, const QString& detail) {
  if (epoch == 0) epoch = epoch_.load();
  auto show = [this, messageId, kind, modal, epoch, detail] {
    if (epoch_.load() != epoch) return;  // asked for by a session that has ended
    if (modal) {
      host_->ShowViewerBox(messageId, kind, detail);
    } else {
      host_->OpenViewerBox(messageId, kind, detail);
    }
  };
  if (OnUiThread(this)) {
    show();
  } else {
    QueueOnUi(show);
  }
}

void ViewerSession::CloseBox() {
  if (OnUiThread(this)) {
    host_->CloseCurrentBox();
  } else {
    QueueOnUi([this] { host_->CloseCurrentBox(); });
  }
}

void ViewerSession::Repaint() {
  if (OnUiThread(this)) {
    host_->RepaintPane();
  } else {
    QueueOnUi([this] { host_->RepaintPane(); });
  }
}

void ViewerSession::QueueOnUi(std::function<void()> call) {
  {
    std::lock_guard<std::mutex> hold(queuedMutex_);
    queued_.push_back(std::move(call));
  }
  // Called by name: the call Qt queues carries nothing of ours, so whatever
  // the UI thread reads of the call went through queuedMutex_.
  QMetaObject::invokeMethod(this, "RunQueuedCall", Qt::QueuedConnection);
}

void ViewerSession::RunQueuedCall() {
  std::function<void()> call;
  {
    std::lock_guard<std::mutex> hold(queuedMutex_);
    if (queued_.empty()) return;
    call = std::move(queued_.front());
    queued_.pop_front();
  }
  call();
}

int ViewerSession::SignIn(const SignInFields& fields) {
  std::uint64_t epoch;
  {
    std::lock_guard<std::mutex> hold(stateMutex_);
    epoch = epoch_.fetch_add(1) + 1;  // a new session: older steps give up
  }
  return SignInFor(fields, epoch);
}

int ViewerSession::SignInFor(const SignInFields& fields, std::uint64_t epoch) {
  // One sign-in at a time (UI thread, reconnect thread, automatic sign-in).
  std::lock_guard<std::mutex> serial(signInMutex_);
  if (epoch_.load() != epoch) return 0;
  // 1. The address, resolved to dotted text.
  QString url = fields.url.left(260);
  if (url.isEmpty()) url = QStringLiteral("0");
  char address[16] = "";
  if (ResolveHost(url.toLocal8Bit().constData(), address) != 0) {
    CloseBox();
    Box(20017, kBoxError, false, epoch);
    return 0;
  }
  // 2, 3. Port, user ID and password. A port outside 1..65535 is refused
  // rather than wrapped to another port the credentials would go to.
  const int port = ParsePort(fields.port.toLatin1().constData());
  if (port == 0) {
    LogMessage("%s:%d (port=%s)\r\n", LOGPOS, fields.port.left(16).toLatin1().constData());
    CloseBox();
    Box(20031, kBoxError, false, epoch);
    return 0;
  }
  const QByteArray id = fields.id.left(kIdBytes - 1).toLocal8Bit().left(kIdBytes - 1);
  if (id.isEmpty()) {
    Box(20072, kBoxError, false, epoch);
    return 0;
  }
  const QByteArray password = fields.password.left(kIdBytes - 1).toLocal8Bit().left(kIdBytes - 1);
  if (password.isEmpty()) {
    Box(20073, kBoxError, false, epoch);
    return 0;
  }
  {
    std::lock_guard<std::mutex> hold(fieldsMutex_);
    lastFields_ = fields;
    useMjpegRequested_ = fields.useMjpeg;
  }
  // 4, 5. End the previous connection and prepare the slot.
  link_->SendCloseRequest(slot_);
  link_->CloseLink(slot_);
  const bool again = reconnecting_.load() != 0;
  if (!SetStateIf(epoch, again ? kPaneReconnecting : kPaneIdle, false)) return 0;
  link_->PrepareLink(slot_, &target_, address, port);
  // 6. Connect and send the login.
  if (!SetStateIf(epoch, kPaneSignInSent)) {
    link_->CloseLink(slot_);
    return 0;
  }
  const int opened = link_->OpenControl(slot_, id.constData(), password.constData(), fields.useMjpeg ? 1 : 0);
  if (epoch_.load() != epoch) {
    // Logged out (or signed in anew) while connecting: this connection is
    // not wanted, and nothing about it is shown.
    if (opened == 1) link_->SendCloseRequest(slot_);
    link_->CloseLink(slot_);
    return 0;
  }
  if (opened != 1) {
    // 7.
    link_->CloseLink(slot_);
    if (!SetStateIf(epoch, reconnecting_.load() != 0 ? kPaneReconnecting : kPaneIdle)) return 0;
    if (reconnecting_.load() == 0) Box(20031, kBoxError, false, epoch);
    // The password is never written to the log.
    LogMessage("Open Control Fail. (%s:%d (%s:%s))\r\n", address, port, id.constData(), "***");
    return 0;
  }
  // 8. Remember what signed in.
  WriteSignInSettings(fields, password);
  return 1;
}

void ViewerSession::WriteSignInSettings(const SignInFields& f, const QByteArray& password) {
  WriteSettingDword(settingsKey_, settings::kSigninMjpeg, f.useMjpeg ? 1 : 0);
  if (!f.saveId) return;
  WriteSettingString(settingsKey_, settings::kSigninUrl, f.url.left(260));
  WriteSettingDword(settingsKey_, settings::kSigninPort, ParsePort(f.port.toLatin1().constData()));
  WriteSettingString(settingsKey_, settings::kSigninId, f.id.left(kIdBytes - 1));
  WriteSettingString(settingsKey_, settings::kSigninAlias, f.alias.left(kIdBytes - 1));
  if (f.autoSignIn) {
    std::string scrambled = ScrambleText(std::string(password.constData()));
    if (scrambled.size() > kScrambledBytes) scrambled.resize(kScrambledBytes);
    WriteSettingString(settingsKey_, settings::kSigninPw, QString::fromLatin1(scrambled.c_str()));
  }
}

int ViewerSession::SignInAgain(std::uint64_t epoch) {
  SignInFields fields;
  {
    std::lock_guard<std::mutex> hold(fieldsMutex_);
    fields = lastFields_;
  }
  return SignInFor(fields, epoch);
}

void ViewerSession::LogOut() {
  {
    // From here on, every step of the ended session gives up.
    std::lock_guard<std::mutex> hold(stateMutex_);
    epoch_.fetch_add(1);
    reconnecting_.store(0);
    state_.store(kPaneIdle);
  }
  SetState(kPaneIdle);
  group_.store(0);
  EndConnection(ConnectionEnd::kLogOut);
  link_->SendCloseRequest(slot_);
  // Closing first also ends a frame the link is still reading, so that the
  // render's queue is let go of at once.
  link_->CloseLink(slot_);
  StopRender();
  // The link can no longer post for the old connection; what it posted
  // before is stale from now on.
  epoch_.fetch_add(1);
  host_->RepaintPane();
  host_->ShowSignInPanel(true);
  host_->PostToParent(WM_PANE_STATUS, slot_, 0);
}

bool ViewerSession::event(QEvent* e) {
  if (auto* m = dynamic_cast<WindowMessageEvent*>(e)) {
    HandleMessage(m);
    return true;
  }
  return QObject::event(e);
}

void ViewerSession::HandleMessage(WindowMessageEvent* m) {
  if (m->message() == WM_PANE_COMMAND) {
    router_.DispatchCommand(static_cast<int>(m->wParam));
    return;
  }
  // What the link said about a connection of an ended session is not acted on.
  if (IsStale(m)) return;
  router_.Dispatch(*m);  // acknowledgements no part registered need nothing
}

void ViewerSession::RegisterConnectionMessages() {
  router_.RegisterCommand(kCmdLogOut, [this] { LogOut(); });
  router_.Register(WM_LOGIN_ACCEPTED, [this](WindowMessageEvent& m) {
    OnLoginAccepted(static_cast<int>(m.wParam), reinterpret_cast<const LoginInfo*>(m.lParam));
  });
  router_.Register(WM_LOGIN_REFUSED, [this](WindowMessageEvent& m) { OnLoginRefused(static_cast<int>(m.lParam)); });
  router_.Register(WM_VSTREAM_OPENED, [this](WindowMessageEvent&) { OnVideoStreamOpened(); });
  router_.Register(WM_VSTREAM_REFUSED, [this](WindowMessageEvent&) { OnVideoStreamRefused(); });
  router_.Register(WM_CAMERA_CLOSE, [this](WindowMessageEvent& m) { OnCameraClose(static_cast<int>(m.lParam)); });
  router_.Register(WM_VIDEO_PLAY_ACK, [this](WindowMessageEvent&) { OnLiveStart(); });
  router_.Register(WM_VIDEO_FLIP_ACK, [this](WindowMessageEvent& m) {
    OnFlipAcknowledged(static_cast<int>(m.wParam), static_cast<int>(m.lParam));
  });
  router_.Register(WM_SETUP_VIDEO_GET, [this](WindowMessageEvent& m) {
    OnVideoSettings(reinterpret_cast<const char*>(m.lParam));
  });
  auto changed = [this](WindowMessageEvent& m) { OnVideoSettingsChanged(reinterpret_cast<const char*>(m.lParam)); };
  router_.Register(WM_SETUP_VIDEO_SET, changed);
  router_.Register(WM_SETUP_VIDEO_ADJUST, changed);
  router_.Register(WM_CONTROL_CLOSED, [this](WindowMessageEvent&) { OnControlClosed(); });
  // The camera closing the video channel stops the picture as surely as a
  // lost control channel: reconnect at once rather than after the watchdog.
  router_.Register(WM_VIDEO_CLOSED, [this](WindowMessageEvent&) { OnControlClosed(); });
}

void ViewerSession::OnVideoStreamOpened() {
  SetState(kPaneVideoOpen);
  if (link_->SendSetupRequest(slot_, "VIDEO", "GET", nullptr) != 1) LogMessage("%s:%d\r\n", LOGPOS);
}

void ViewerSession::OnVideoStreamRefused() {
  if (reconnecting_.load() == 0) PostCommand(kCmdLogOut);
  Box(20035, kBoxError, false);
}

// The camera's picture orientation belongs to its login record; a pan/tilt
// camera's picture is mirrored on screen to match.
void ViewerSession::OnFlipAcknowledged(int horizontal, int vertical) {
  loginInfo_.horizontalFlip = horizontal;
  loginInfo_.verticalFlip = vertical;
  if (loginInfo_.model == kModelPanTilt) render_.SetMirror(horizontal);
}

void ViewerSession::OnLoginAccepted(int group, const LoginInfo* info) {
  group_.store(group);
  if (info != nullptr) loginInfo_ = *info;  // valid only during this call
  if (state_.load() != kPaneSignInSent) return;
  SetState(kPaneControlOpen);
  if (link_->OpenVideoStream(slot_) != 1) {
    if (reconnecting_.load() == 0) PostCommand(kCmdLogOut);
    Box(20035, kBoxError, false);
  }
}

void ViewerSession::OnLoginRefused(int code) {
  if (reconnecting_.load() == 0) PostCommand(kCmdLogOut);
  host_->CloseCurrentBox();
  const int id = RefusalBox(code);
  if (id != 0) {
    host_->OpenViewerBox(id, kBoxError);
  } else {
    host_->OpenViewerBox(0, kBoxError, QString::fromUtf8(UiString(UiText::kSignInRefused)).arg(code));
  }
}

void ViewerSession::OnCameraClose(int code) {
  PostCommand(kCmdLogOut);
  const int id = CameraCloseBox(code);
  if (id != 0) host_->ShowViewerBox(id, kBoxError);
}

bool ViewerSession::ParseFormat(const char* var, VideoFormat* out) const {
  if (!ParseVideoFormat(var, out)) return false;
  bool mjpegRequested;
  {
    std::lock_guard<std::mutex> hold(const_cast<std::mutex&>(fieldsMutex_));
    mjpegRequested = useMjpegRequested_;
  }
  // A fixed camera asked for Motion JPEG sends it whatever VCODEC says.
  if (loginInfo_.model == kModelFixed && mjpegRequested) out->codec = kCodecMotionJpeg;
  return true;
}

int ViewerSession::StartRenderAndPlay(const VideoFormat& format) {
  format_ = format;
  if (render_.Start(&format_, &target_) != 1) {
    Box(20030, kBoxError, false);
    return 0;
  }
  if (link_->StartVideo(slot_, render_.Queue()) != 1) LogMessage("%s:%d\r\n", LOGPOS);
  RestartStallCount();
  return 1;
}

void ViewerSession::OnVideoSettings(const char* var) {
  VideoFormat format;
  if (!ParseFormat(var, &format)) return;
  if (state_.load() >= kPaneLive) {
    LogMessage("%s:%d (m_VS.iStatus=%d)\r\n", LOGPOS, state_.load());
    return;
  }
  if (StartRenderAndPlay(format) != 1 && reconnecting_.load() == 0) PostCommand(kCmdLogOut);
}

void ViewerSession::OnVideoSettingsChanged(const char* var) {
  host_->RepaintPane();
  VideoFormat format;
  if (!ParseFormat(var, &format)) return;
  const bool shape = format.codec != format_.codec || format.resolution != format_.resolution ||
                     format.width != format_.width || format.height != format_.height ||
                     (loginInfo_.model == kModelFixed && format.codec == kCodecMotionJpeg);
  if (shape) {
    EndConnection(ConnectionEnd::kNewFormat);
    StopRender();
    if (StartRenderAndPlay(format) != 1 && reconnecting_.load() == 0) PostCommand(kCmdLogOut);
  } else if (format.quality != format_.quality) {
    format_.quality = format.quality;
    // The live start that follows the camera's answer records again at the
    // new bit rate.
    EndConnection(ConnectionEnd::kNewQuality);
    if (link_->StartVideo(slot_, render_.Queue()) != 1) LogMessage("%s:%d\r\n", LOGPOS);
  }
}

void ViewerSession::OnLiveStart() {
  host_->ShowSignInPanel(false);
  host_->RepaintPane();
  RestartStallCount();
  if (loginInfo_.model == kModelPanTilt) render_.SetMirror(loginInfo_.horizontalFlip);
  if ((format_.codec == kCodecMpeg4 || format_.codec == kCodecH264) && link_->RequestKeyFrame(slot_) != 1) {
    LogMessage("%s:%d\r\n", LOGPOS);
    return;
  }
  for (PaneLifecycle* part : Lifecycle()) part->OnLive();
  host_->PostToParent(WM_PANE_STATUS, slot_, 0);
  SetState(kPaneLive);
}

std::array<PaneLifecycle*, 5> ViewerSession::Lifecycle() {
  // Sound first (a recording takes the player when listening is on), then
  // the switches (motion detection decides whether the stored recording
  // starts), the recordings, the alarms and last the schedule (it sees
  // whether a manual recording runs).
  return {&audio_, &controls_, &recording_, &alarms_, &schedule_};
}

void ViewerSession::EndConnection(ConnectionEnd why) {
  const auto parts = Lifecycle();
  for (auto it = parts.rbegin(); it != parts.rend(); ++it) (*it)->OnConnectionEnded(why);
}

PaneStatus ViewerSession::Status() const {
  PaneStatus st;
  st.state = state_.load();
  st.group = group_.load();
  st.model = loginInfo_.model;
  st.codec = format_.codec;
  st.resolution = format_.resolution;
  st.renderStarted = render_.State() == MVideoRender::kRunning;
  st.listening = audio_.MicOn();
  st.talking = audio_.SpeakerOn();
  st.volume = audio_.Volume();
  st.recording = recording_.ShowsRecording();
  st.alarmRecording = alarms_.AlarmRecording();
  st.motionOn = controls_.MotionOn();
  st.flashOn = controls_.FlashOn();
  st.alias = fields_.alias;
  st.address = fields_.url;
  return st;
}

// The control or the video channel was closed by the camera.
void ViewerSession::OnControlClosed() {
  if (!maintenance_.UpdateInProgress() && reconnecting_.load() == 0 && state_.load() >= kPaneVideoOpen) {
    StartReconnect();
  }
}

void ViewerSession::Tick() {
  tickCounter_ = (tickCounter_ + 1) % 60;
  const auto parts = Lifecycle();
  for (auto it = parts.rbegin(); it != parts.rend(); ++it) (*it)->OnTick(tickCounter_);
  if (tickCounter_ % 5 == 0) StallWatchdog();
  if (tickCounter_ % 10 == 0 && state_.load() >= kPaneVideoOpen) {
    if (link_->SendAliveRequest(slot_) != 1) LogMessage("%s:%d\r\n", LOGPOS);
  }
}

