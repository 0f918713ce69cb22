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

void PresentBox(int messageId, int kind, const QString& text = {}) {
  BoxRequest r;
  r.messageId = messageId;
  r.detail = text;
  r.titleId = kind == kBoxError ? kTitleError : kind == kBoxWarning ? kTitleWarning : kTitleNotice;
  r.iconId = kind == kBoxError ? kIconError : kind == kBoxWarning ? kIconWarning : kIconNotice;
  if (text.isEmpty()) {
    ShowMessage(messageId, kind);
  } else {
    // A text of the pane's own goes to the presenter with its request.
    BoxPresenter* current = SetBoxPresenter(nullptr);
    SetBoxPresenter(current);
    current->Present(r, QApplication::activeWindow());
  }
}

bool OnUiThread(const QObject* o) { return QThread::currentThread() == o->thread(); }

}  // namespace

void ViewerHost::OpenViewerBox(int messageId, int kind) { PresentBox(messageId, kind); }
void ViewerHost::ShowViewerBox(int messageId, int kind) { PresentBox(messageId, kind); }
void ViewerHost::OpenViewerTextBox(const QString& text, int kind) { PresentBox(0, kind, text); }

ViewerSession::ViewerSession(int slot, int settingsIndex, VideoSurface* surface, ViewerHost* host,
                             QObject* parent)
    : QObject(parent),
      slot_(slot),
      host_(host ? host : &fallbackHost_),
      target_(this, &epoch_),
      tickCounter_(slot),
      render_(surface) {
  char name[16];
  std::snprintf(name, sizeof name, settings::kViewerKeyFormat, settingsIndex);
  if (OpenSettingsKey(QString::fromLatin1(name), &settingsKey_) != 1) LogMessage("%s:%d\r\n", LOGPOS);
  ReadSettingString(settingsKey_, settings::kSigninUrl, 260, &stored_.url);
  // As stored: a port that is not one stays visible and is refused at sign-in.
  stored_.port = ReadSettingNumberText(settingsKey_, settings::kSigninPort, 8);
  stored_.useMjpeg = ReadSettingDword(settingsKey_, settings::kSigninMjpeg) != 0;
  ReadSettingString(settingsKey_, settings::kSigninId, kIdBytes, &stored_.id);
  ReadSettingString(settingsKey_, settings::kSigninAlias, kIdBytes, &stored_.alias);
  stored_.saveId = !stored_.id.isEmpty();
  QString scrambled;
  ReadSettingString(settingsKey_, settings::kSigninPw, kScrambledBytes + 1, &scrambled);
  if (!scrambled.isEmpty()) {
    std::string plain = UnscrambleText(scrambled.toStdString());
    if (plain.size() > kIdBytes) plain.resize(kIdBytes);
    stored_.password = QString::fromLocal8Bit(plain.c_str());
    stored_.autoSignIn = true;
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
  capture_.Stop();
  if (IsValidSlot(slot_)) {
    LinkRecord& record = LinkSlot(slot_);
    if (record.window.Peek() == &target_) {
      // Still this pane's link: end it and let go of the window, the frame
      // queue and the player before they are freed.
      if (state_.load() != kPaneIdle) SendCloseRequest(slot_);
      CloseLink(slot_);
    }
    if (render_.Queue() != nullptr && record.video.frameSink.Peek() == render_.Queue()) ClearFrameSink(slot_);
    if (record.audio.audioSink.Peek() == &player_) ClearAudioSink(slot_);
  }
  render_.Stop();
  player_.Stop();
}

QString ViewerSession::Banner() const {
  std::lock_guard<std::mutex> hold(bannerMutex_);
  return banner_;
}

void ViewerSession::SetAudioDevices(AudioOutput* output, AudioInput* input) {
  player_.SetOutput(output);
  capture_.SetInput(input);
}

void ViewerSession::SetSignedInForTest(int state, int group, const LoginInfo& info,
                                       const VideoFormat& format) {
  group_.store(group);
  loginInfo_ = info;
  format_ = format;
  SetState(state);
  PostStatus();
}

void ViewerSession::SetAudioSwitchesForTest(bool micOn, bool speakerOn) {
  micOn_.store(micOn);
  speakerOn_.store(speakerOn);
}

void ViewerSession::SetState(int state) {
  state_.store(state);
  AnnounceState(state, epoch_.load());
}

void ViewerSession::AnnounceState(int state, std::uint64_t epoch) {
  if (OnUiThread(this)) {
    emit stateChanged(state);
  } else {
    QMetaObject::invokeMethod(this, [this, state, epoch] {
      if (epoch_.load() == epoch) emit stateChanged(state);
    }, Qt::QueuedConnection);
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
  ClearFrameSink(slot_);
  render_.Stop();
}

void ViewerSession::PostCommand(int id) { PostWindowMessage(this, WM_PANE_COMMAND, id, 0); }

void ViewerSession::PostStatus() {
  if (OnUiThread(this)) {
    host_->PostToParent(WM_PANE_STATUS, slot_, 0);
  } else {
    QMetaObject::invokeMethod(this, [this] { host_->PostToParent(WM_PANE_STATUS, slot_, 0); },
                              Qt::QueuedConnection);
  }
}

void ViewerSession::Box(int messageId, int kind, bool modal, std::uint64_t epoch) {
  if (epoch == 0) epoch = epoch_.load();
  auto show = [this, messageId, kind, modal, epoch] {
    if (epoch_.load() != epoch) return;  // asked for by a session that has ended
    if (modal) {
      host_->ShowViewerBox(messageId, kind);
    } else {
      host_->OpenViewerBox(messageId, kind);
    }
  };
  if (OnUiThread(this)) {
    show();
  } else {
    QMetaObject::invokeMethod(this, show, Qt::QueuedConnection);
  }
}

void ViewerSession::CloseBox() {
  if (OnUiThread(this)) {
    host_->CloseCurrentBox();
  } else {
    QMetaObject::invokeMethod(this, [this] { host_->CloseCurrentBox(); }, Qt::QueuedConnection);
  }
}

void ViewerSession::Repaint() {
  if (OnUiThread(this)) {
    host_->RepaintPane();
  } else {
    QMetaObject::invokeMethod(this, [this] { host_->RepaintPane(); }, Qt::QueuedConnection);
  }
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
  SendCloseRequest(slot_);
  CloseLink(slot_);
  const bool again = reconnecting_.load() != 0;
  if (!SetStateIf(epoch, again ? kPaneReconnecting : kPaneIdle, false)) return 0;
  PrepareLink(slot_, &target_, address, port);
  // 6. Connect and send the login.
  if (!SetStateIf(epoch, kPaneSignInSent)) {
    CloseLink(slot_);
    return 0;
  }
  const int opened = OpenControl(slot_, id.constData(), password.constData(), fields.useMjpeg ? 1 : 0);
  if (epoch_.load() != epoch) {
    // Logged out (or signed in anew) while connecting: this connection is
    // not wanted, and nothing about it is shown.
    if (opened == 1) SendCloseRequest(slot_);
    CloseLink(slot_);
    return 0;
  }
  if (opened != 1) {
    // 7.
    CloseLink(slot_);
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
  SetMic(0, 0);
  SetSpeaker(0, 0);
  SendCloseRequest(slot_);
  // Closing first also ends a frame the link is still reading, so that the
  // render's queue is let go of at once.
  CloseLink(slot_);
  StopRender();
  audioOpen_.store(false);
  // The link can no longer post for the old connection; what it posted
  // before is stale from now on.
  epoch_.fetch_add(1);
  videoPaused_.store(false);
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
  const auto lParam = m->lParam;
  // What the link said about a connection of an ended session is not acted on.
  if (m->message() != WM_PANE_COMMAND && IsStale(m)) return;
  switch (m->message()) {
    case WM_PANE_COMMAND:
      if (m->wParam == kCmdLogOut) LogOut();
      break;
    case WM_LOGIN_ACCEPTED:
      OnLoginAccepted(static_cast<int>(m->wParam), reinterpret_cast<const LoginInfo*>(lParam));
      break;
    case WM_LOGIN_REFUSED:
      OnLoginRefused(static_cast<int>(lParam));
      break;
    case WM_VSTREAM_OPENED:
      SetState(kPaneVideoOpen);
      if (SendSetupRequest(slot_, "VIDEO", "GET", nullptr) != 1) LogMessage("%s:%d\r\n", LOGPOS);
      break;
    case WM_VSTREAM_REFUSED:
      if (reconnecting_.load() == 0) PostCommand(kCmdLogOut);
      Box(20035, kBoxError, false);
      break;
    case WM_ASTREAM_OPENED:
      SetState(kPaneLiveAudio);
      break;
    case WM_ASTREAM_REFUSED:
      Box(20036, kBoxError, false);
      break;
    case WM_CAMERA_CLOSE:
      OnCameraClose(static_cast<int>(lParam));
      break;
    case WM_VIDEO_PLAY_ACK:
      OnLiveStart();
      break;
    case WM_VIDEO_STOP_ACK:
      if (render_.Queue() != nullptr) render_.Queue()->ResetQueue();
      break;
    case WM_VIDEO_FLIP_ACK:
      loginInfo_.horizontalFlip = static_cast<std::int32_t>(m->wParam);
      loginInfo_.verticalFlip = static_cast<std::int32_t>(lParam);
      if (loginInfo_.model == kModelPanTilt) render_.SetMirror(static_cast<int>(m->wParam));
      break;
    case WM_MIC_PLAY_NAK:
      CloseBox();
      Box(lParam == 0 ? 20112 : 20113, kBoxError, false);
      SetMic(0, 1);
      PostStatus();
      break;
    case WM_CAMERA_KEY:
      Box(20042, kBoxNotice, false);
      break;
    case WM_SETUP_NETWORK_SET:
      Box(20069, kBoxNotice, true);
      SendSetupRequest(slot_, "NETWORK", "RESTART", nullptr);
      break;
    case WM_SETUP_VIDEO_GET:
      OnVideoSettings(reinterpret_cast<const char*>(lParam));
      break;
    case WM_SETUP_VIDEO_SET:
    case WM_SETUP_VIDEO_ADJUST:
      OnVideoSettingsChanged(reinterpret_cast<const char*>(lParam));
      break;
    case WM_SETUP_MDALARM_CONNECT:
      Box(20172, kBoxError, false);
      break;
    case WM_UPDATE_PROGRESS:
      if (lParam == 405) updateInProgress_.store(1);
      if (lParam == 411) PostCommand(kCmdLogOut);
      break;
    case WM_UPDATE_FAILED:
      PostCommand(kCmdLogOut);
      break;
    case WM_CONTROL_CLOSED:
      OnControlClosed();
      break;
    case WM_AUDIO_CLOSED:
      OnAudioClosed();
      break;
    default:
      break;  // acknowledgements that need nothing
  }
}

void ViewerSession::OnLoginAccepted(int group, const LoginInfo* info) {
  group_.store(group);
  if (info != nullptr) loginInfo_ = *info;  // valid only during this call
  if (state_.load() != kPaneSignInSent) return;
  SetState(kPaneControlOpen);
  if (OpenVideoStream(slot_) != 1) {
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
    host_->OpenViewerTextBox(
        QString::fromUtf8("카메라가 로그인을 거부했습니다. (코드 %1)").arg(code), kBoxError);
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
  if (StartVideo(slot_, render_.Queue()) != 1) LogMessage("%s:%d\r\n", LOGPOS);
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
    SetMic(0, 0);
    SetSpeaker(0, 0);
    StopRender();
    if (StartRenderAndPlay(format) != 1 && reconnecting_.load() == 0) PostCommand(kCmdLogOut);
  } else if (format.quality != format_.quality) {
    format_.quality = format.quality;
    if (StartVideo(slot_, render_.Queue()) != 1) LogMessage("%s:%d\r\n", LOGPOS);
  }
}

void ViewerSession::OnLiveStart() {
  host_->ShowSignInPanel(false);
  host_->RepaintPane();
  stallCounter_ = 1;
  lastFrameCount_ = 0;
  if (loginInfo_.model == kModelPanTilt) render_.SetMirror(loginInfo_.horizontalFlip);
  if (format_.codec == kCodecMpeg4 || format_.codec == kCodecH264) {
    if (RequestKeyFrame(slot_) != 1) {
      LogMessage("%s:%d\r\n", LOGPOS);
      return;
    }
    SetMic(ReadSettingDword(settingsKey_, settings::kMicEnable), 0);
    SetSpeaker(ReadSettingDword(settingsKey_, settings::kSpkEnable), 0);
  } else {
    SetMic(0, 1);
    SetSpeaker(0, 1);
  }
  host_->PostToParent(WM_PANE_STATUS, slot_, 0);
  SetState(kPaneLive);
}

void ViewerSession::OnControlClosed() {
  if (updateInProgress_.load() == 0 && reconnecting_.load() == 0 && state_.load() >= kPaneVideoOpen) {
    StartReconnect();
  }
}

void ViewerSession::Tick() {
  tickCounter_ = (tickCounter_ + 1) % 60;
  if (tickCounter_ % 5 == 0) StallWatchdog();
  if (tickCounter_ % 10 == 0 && state_.load() >= kPaneVideoOpen) {
    if (SendAliveRequest(slot_) != 1) LogMessage("%s:%d\r\n", LOGPOS);
  }
}

void ViewerSession::StallWatchdog() {
  if (videoPaused_.load() || updateInProgress_.load() != 0) {
    stallCounter_ = 1;
    return;
  }
  if (state_.load() < kPaneVideoOpen) return;
  MFrameQueue* queue = render_.Queue();
  if (queue == nullptr) {
    stallCounter_ = 1;
    return;
  }
  const std::uint32_t last = queue->LastAcceptedSequence();
  if (last == lastFrameCount_) {
    --stallCounter_;
  } else {
    lastFrameCount_ = last;
    stallCounter_ = 1;
  }
  if (stallCounter_ < 0) StartReconnect();
}

void ViewerSession::StartReconnect() {
  const std::uint64_t epoch = epoch_.load();
  SetState(kPaneReconnecting);
  SetMic(0, 0);
  SetSpeaker(0, 0);
  StopRender();
  host_->ShowSignInPanel(false);
  {
    std::lock_guard<std::mutex> hold(bannerMutex_);
    banner_ = QStringLiteral("Reconnecting");
  }
  host_->RepaintPane();
  host_->PostToParent(WM_PANE_STATUS, slot_, 0);
  // A previous thread was told to end (reconnecting 0) and ends at its next
  // look; wait for it so that one thread per pane runs.
  if (reconnectThread_.joinable()) reconnectThread_.join();
  reconnecting_.store(1);
  try {
    reconnectThread_ = std::thread(&ViewerSession::ReconnectThread, this, epoch);
  } catch (...) {
    reconnecting_.store(0);
    LogMessage("%s:%d\r\n", LOGPOS);
  }
}

void ViewerSession::ReconnectThread(std::uint64_t epoch) {
  int dots = 0;
  auto current = [this, epoch] { return reconnecting_.load() != 0 && epoch_.load() == epoch; };
  while (current()) {
    if (SignInAgain(epoch) == 1) {
      bool done = false;
      for (int i = 0; i < 5 && !done; ++i) {
        std::this_thread::sleep_for(reconnectStep_);
        const int s = state_.load();
        done = s > kPaneVideoOpen || s == kPaneIdle || !current();
      }
      if (done) break;
    } else {
      if (!current()) break;  // logged out meanwhile: nothing more to show
      {
        std::lock_guard<std::mutex> hold(bannerMutex_);
        banner_ = QStringLiteral("Reconnecting") + QString(dots, QLatin1Char('.'));
      }
      Repaint();
      PostStatus();
      std::this_thread::sleep_for(reconnectStep_);
      dots = (dots + 1) % 5;
    }
  }
  reconnecting_.store(0);
}

int ViewerSession::EnsureAudioChannel() {
  if (!audioOpen_.load()) audioOpen_.store(OpenAudioStream(slot_) == 1);
  return audioOpen_.load() ? 1 : 0;
}

void ViewerSession::CloseAudioUnlessUsed() {
  if (!micOn_.load() && !speakerOn_.load() && audioOpen_.load()) {
    CloseAudioChannel(slot_);
    audioOpen_.store(false);
  }
}

int ViewerSession::SetMic(int on, int save) {
  int result = 1;
  if (on) {
    if (!micOn_.load()) {
      if (EnsureAudioChannel() != 1) {
        LogMessage("%s:%d\r\n", LOGPOS);
        result = 0;
      } else if (player_.Start() != 1) {
        LogMessage("%s:%d\r\n", LOGPOS);
        result = 0;
      } else if (CameraSoundOn(slot_, &player_) != 1) {
        LogMessage("%s:%d\r\n", LOGPOS);
        ClearAudioSink(slot_);
        player_.Stop();
        result = 0;
      } else {
        micOn_.store(true);
      }
    }
  } else {
    if (micOn_.load() && CameraSoundOff(slot_) != 1) LogMessage("%s:%d\r\n", LOGPOS);
    // The link lets go of the player before it frees its buffer.
    if (LinkSlot(slot_).audio.audioSink.Peek() == &player_) ClearAudioSink(slot_);
    player_.Stop();
    micOn_.store(false);
    CloseAudioUnlessUsed();
  }
  if (save) WriteSettingDword(settingsKey_, settings::kMicEnable, micOn_.load() ? 1 : 0);
  return result;
}

int ViewerSession::SetSpeaker(int on, int save) {
  if (group_.load() != 0) {
    speakerOn_.store(false);
    WriteSettingDword(settingsKey_, settings::kSpkEnable, 0);
    return 0;
  }
  int sent = 0;
  if (on) {
    if (!speakerOn_.load()) {
      // The capture thread sends through the link, tied to the audio
      // connection open now; a later connection never gets its bytes.
      if (EnsureAudioChannel() != 1 || BeginTalkBack(slot_) != 1 ||
          capture_.Start(SlotTalkBack(slot_)) != 1) {
        LogMessage("%s:%d\r\n", LOGPOS);
        EndTalkBack(slot_);
      } else if (TalkBackOn(slot_) != 1) {
        LogMessage("%s:%d\r\n", LOGPOS);
        capture_.Stop();
        EndTalkBack(slot_);
      } else {
        speakerOn_.store(true);
        const int v = ReadSettingDword(settingsKey_, settings::kSpkVolume);
        if (SetSpeakerVolume(slot_, v) == 1) volume_.store(v);
        sent = v;
      }
    } else {
      sent = volume_.load();
    }
  } else {
    if (speakerOn_.load()) {
      capture_.Stop();
      EndTalkBack(slot_);
      if (TalkBackOff(slot_) != 1) LogMessage("%s:%d\r\n", LOGPOS);
    }
    speakerOn_.store(false);
    CloseAudioUnlessUsed();
  }
  if (save) WriteSettingDword(settingsKey_, settings::kSpkEnable, speakerOn_.load() ? 1 : 0);
  return sent;
}

void ViewerSession::OnAudioClosed() {
  // The camera closed the audio channel: the capture thread has stopped (or
  // stops at its next send) and nothing more is heard. Open it again with the
  // switches as they were; when that fails, both are switched off with the
  // audio channel's box.
  audioOpen_.store(false);
  const bool listening = micOn_.load();
  const bool talking = speakerOn_.load();
  if (state_.load() < kPaneLive || (!listening && !talking)) return;
  SetMic(0, 0);
  SetSpeaker(0, 0);
  if (state_.load() == kPaneLiveAudio) SetState(kPaneLive);
  bool reopened = true;
  if (listening && (SetMic(1, 0) != 1 || !micOn_.load())) reopened = false;
  if (reopened && talking) {
    SetSpeaker(1, 0);
    reopened = speakerOn_.load();
  }
  if (!reopened) {
    LogMessage("%s:%d\r\n", LOGPOS);
    SetMic(0, 0);
    SetSpeaker(0, 0);
    CloseBox();
    Box(20036, kBoxError, false);
  }
  PostStatus();
}

int ViewerSession::SetVolume(int volume, int save) {
  if (SetSpeakerVolume(slot_, volume) != 1) {
    LogMessage("%s:%d\r\n", LOGPOS);
    return 0;
  }
  volume_.store(volume);
  if (save) WriteSettingDword(settingsKey_, settings::kSpkVolume, volume);
  return 1;
}

void ViewerSession::SetVideoPaused(int on) {
  if (state_.load() < kPaneVideoOpen) return;
  if (on) {
    if (!videoPaused_.load()) {
      if (StopVideo(slot_) != 1) LogMessage("%s:%d\r\n", LOGPOS);
      videoPaused_.store(true);
    }
  } else if (videoPaused_.load()) {
    if (StartVideo(slot_, render_.Queue()) != 1) LogMessage("%s:%d\r\n", LOGPOS);
    videoPaused_.store(false);
  }
}
