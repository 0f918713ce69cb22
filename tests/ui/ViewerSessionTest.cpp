// A pane's connection logic against the camera simulator, through the real
// link: sign-in to live, the refusals and closes with their boxes, the stall
// watchdog counted in ticks, reconnection, the keep-alive, panes closed under
// full traffic, talk-back over a dropped audio channel, and log-out during a
// reconnection.
#include <QtTest>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "CamsimProcess.h"
#include "controls/MessageBoxes.h"
#include "pane/ViewerSession.h"
#include "link/LinkEngine.h"
#include "link/LinkMessages.h"
#include "video/Convert.h"
#include "video/VideoSurface.h"

namespace {

// Sessions whose reconnect thread steps faster than the designed second.
SessionOptions Step(int milliseconds) {
  SessionOptions o;
  o.reconnectStep = std::chrono::milliseconds(milliseconds);
  return o;
}

class RecordingPresenter : public BoxPresenter {
 public:
  int Present(const BoxRequest& r, QWidget*) override {
    boxes.push_back(r);
    return 1;
  }
  std::vector<BoxRequest> boxes;
};

// Accepts every box at once and remembers the pane's own ones.
class RecordingHost : public ViewerHost {
 public:
  void PostToParent(unsigned message, std::uintptr_t, std::intptr_t) override { parentMessages.push_back(message); }
  void ShowSignInPanel(bool show) override { panelShown = show; }
  std::vector<unsigned> parentMessages;
  bool panelShown = true;
};

// A playback device that takes everything.
class SilentOutput : public AudioOutput {
 public:
  int Open() override { return 1; }
  void Close() override {}
  int Play() override { return 1; }
  void Stop() override {}
  void Rewind() override {}
  int Restore() override { return 1; }
  int Write(const std::uint8_t*, int bytes) override { return bytes; }
};

// A microphone that has one 160 ms block ready every |period|.
class SteadyInput : public AudioInput {
 public:
  explicit SteadyInput(std::chrono::milliseconds period) : period_(period) {}
  int Open() override { return 1; }
  void Close() override {}
  int Start() override { return 1; }
  void Stop() override {}
  int Wait(int) override {
    std::this_thread::sleep_for(period_);
    return 1;
  }
  int Available() override { return MAudioCapture::kBlockBytes; }
  int Read(std::uint8_t* out, int bytes) override {
    std::memset(out, 0, static_cast<std::size_t>(bytes));
    return bytes;
  }

 private:
  std::chrono::milliseconds period_;
};

// A loopback listener whose queue is full: a connection to it is never
// answered, so a connect waits its whole time limit.
class SilentListener {
 public:
  SilentListener() {
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof a;
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(listener_, 0) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &length) != 0) {
      return;
    }
    port_ = ntohs(a.sin_port);
    // Fill the queue (a backlog of 0 still queues one) without accepting.
    for (int i = 0; i < 2; ++i) {
      const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
      ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
      fillers_.push_back(fd);
    }
    QTest::qWait(100);
  }
  ~SilentListener() {
    for (int fd : fillers_) ::close(fd);
    ::close(listener_);
  }
  int port() const { return port_; }

 private:
  int listener_ = -1;
  int port_ = 0;
  std::vector<int> fillers_;
};

}  // namespace

class ViewerSessionTest : public QObject {
  Q_OBJECT

  QTemporaryDir dir_;
  CamsimProcess camsim_;
  RecordingPresenter presenter_;
  BoxPresenter* previous_ = nullptr;

  SignInFields Fields(int camera, const char* id = "admin", const char* pw = "admin") const {
    SignInFields f;
    f.url = QStringLiteral("127.0.0.1");
    f.port = QString::number(camsim_.Port() + camera);
    f.id = QString::fromLatin1(id);
    f.password = QString::fromLatin1(pw);
    return f;
  }

  // Signs in and waits for the live state, recording the states passed.
  bool GoLive(ViewerSession& s, int camera, std::vector<int>* states = nullptr) {
    QObject::connect(&s, &ViewerSession::stateChanged, &s, [states](int st) {
      if (states) states->push_back(st);
    });
    if (s.SignIn(Fields(camera)) != 1) return false;
    for (int i = 0; i < 200 && s.State() < kPaneLive; ++i) QTest::qWait(50);
    return s.State() >= kPaneLive;
  }

  std::vector<int> BoxIds() const {
    std::vector<int> ids;
    for (const auto& b : presenter_.boxes) ids.push_back(b.messageId);
    return ids;
  }

 private slots:
  void initTestCase() {
    QVERIFY(dir_.isValid());
    qputenv("XDG_CONFIG_HOME", dir_.filePath("config").toUtf8());
    QVERIFY2(camsim_.Start(dir_.path()), "camsim did not start");
    QCOMPARE(StartLinkEngine(), 1);
    previous_ = SetBoxPresenter(&presenter_);
  }

  void cleanupTestCase() {
    SetBoxPresenter(previous_);
    StopLinkEngine();
    camsim_.Stop();
  }

  void init() { presenter_.boxes.clear(); }

  void signInGoesThroughTheStatesToLive() {
    BufferSurface surface(kKindRGB32);
    RecordingHost host;
    ViewerSession s(0, 0, &surface, &host);
    std::vector<int> states;
    QVERIFY(GoLive(s, 0, &states));
    QCOMPARE(states, (std::vector<int>{kPaneSignInSent, kPaneControlOpen, kPaneVideoOpen, kPaneLive}));
    QCOMPARE(s.Format().codec, static_cast<std::uint8_t>(kCodecH264));
    QCOMPARE(s.Format().width, 640);
    QVERIFY(!host.panelShown);
    // Frames arrive in the render's queue.
    QTRY_VERIFY_WITH_TIMEOUT(s.Render().Queue()->LastAcceptedSequence() > 0, 10000);
    QVERIFY(presenter_.boxes.empty());
    s.LogOut();
    QCOMPARE(s.State(), kPaneIdle);
    QVERIFY(host.panelShown);
    QCOMPARE(s.Render().State(), MVideoRender::kStopped);
  }

  void signInFailuresShowTheirBoxAndStayIdle_data() {
    QTest::addColumn<QString>("url");
    QTest::addColumn<int>("portOffset");
    QTest::addColumn<QString>("id");
    QTest::addColumn<QString>("password");
    QTest::addColumn<int>("box");
    QTest::newRow("empty id") << "127.0.0.1" << 0 << "" << "admin" << 20072;
    QTest::newRow("empty password") << "127.0.0.1" << 0 << "admin" << "" << 20073;
    QTest::newRow("unresolvable address") << "http://no-such-camera.invalid" << 0 << "admin" << "admin" << 20017;
    QTest::newRow("closed port") << "127.0.0.1" << 7 << "admin" << "admin" << 20031;
  }
  void signInFailuresShowTheirBoxAndStayIdle() {
    QFETCH(QString, url);
    QFETCH(int, portOffset);
    QFETCH(QString, id);
    QFETCH(QString, password);
    QFETCH(int, box);
    ViewerSession s(0, 0, nullptr, nullptr);
    SignInFields f = Fields(portOffset, "", "");
    f.url = url;
    f.id = id;
    f.password = password;
    QCOMPARE(s.SignIn(f), 0);
    QCOMPARE(s.State(), kPaneIdle);
    QCOMPARE(BoxIds(), std::vector<int>{box});
    QCOMPARE(presenter_.boxes[0].titleId, 20084);  // error
  }

  void refusalsLogOutWithTheirBox_data() {
    QTest::addColumn<QString>("id");
    QTest::addColumn<QString>("password");
    QTest::addColumn<int>("injected");
    QTest::addColumn<int>("box");
    QTest::newRow("501 unknown id") << "nobody" << "x" << 0 << 20039;
    QTest::newRow("502 wrong password") << "admin" << "wrong" << 0 << 20040;
    QTest::newRow("503") << "admin" << "admin" << 503 << 20038;
    QTest::newRow("504") << "admin" << "admin" << 504 << 20037;
    QTest::newRow("505") << "admin" << "admin" << 505 << 20043;
    QTest::newRow("506") << "admin" << "admin" << 506 << 20041;
    QTest::newRow("other code, own text") << "admin" << "admin" << 599 << 0;
  }
  void refusalsLogOutWithTheirBox() {
    QFETCH(QString, id);
    QFETCH(QString, password);
    QFETCH(int, injected);
    QFETCH(int, box);
    if (injected) QVERIFY(camsim_.Admin("refuse 1 " + std::to_string(injected)));
    ViewerSession s(1, 1, nullptr, nullptr);
    SignInFields f = Fields(1);
    f.id = id;
    f.password = password;
    QCOMPARE(s.SignIn(f), 1);
    QTRY_VERIFY_WITH_TIMEOUT(!presenter_.boxes.empty(), 10000);
    QTRY_COMPARE(s.State(), kPaneIdle);
    QCOMPARE(BoxIds(), std::vector<int>{box});
    if (box == 0) QVERIFY(presenter_.boxes[0].detail.contains(QString::number(injected)));
  }

  void cameraCloseCodesLogOutWithTheirBox_data() {
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("box");
    QTest::newRow("401") << 401 << 20083;
    QTest::newRow("402") << 402 << 20080;
    QTest::newRow("403") << 403 << 20081;
    QTest::newRow("404") << 404 << 20082;
  }
  void cameraCloseCodesLogOutWithTheirBox() {
    QFETCH(int, code);
    QFETCH(int, box);
    BufferSurface surface(kKindRGB32);
    ViewerSession s(1, 1, &surface, nullptr);
    QVERIFY(GoLive(s, 1));
    QVERIFY(camsim_.Admin("close 1 " + std::to_string(code)));
    QTRY_COMPARE_WITH_TIMEOUT(s.State(), kPaneIdle, 10000);
    QCOMPARE(BoxIds(), std::vector<int>{box});
    QVERIFY(!s.Reconnecting());
  }

  void stalledPictureReconnectsTenToFifteenTicksAfterTheLastFrame() {
    BufferSurface surface(kKindRGB32);
    ViewerSession s(0, 0, &surface, nullptr, nullptr, Step(100));
    QVERIFY(GoLive(s, 0));
    QTRY_VERIFY_WITH_TIMEOUT(s.Render().Queue()->LastAcceptedSequence() > 0, 10000);
    QVERIFY(camsim_.Admin("stall 0 4"));
    // Wait until no frame has arrived for a while: the last one is in.
    std::uint32_t last = 0;
    for (int quiet = 0; quiet < 6;) {
      QTest::qWait(100);
      const std::uint32_t now = s.Render().Queue()->LastAcceptedSequence();
      quiet = now == last ? quiet + 1 : 0;
      last = now;
    }
    int ticks = 0;
    while (s.State() != kPaneReconnecting && ticks < 30) {
      s.Tick();
      ++ticks;
    }
    QVERIFY2(ticks >= 10 && ticks <= 15, qPrintable(QString::number(ticks)));
    QVERIFY(s.Reconnecting() || s.State() >= kPaneSignInSent);
    // Once the camera sends again the reconnect thread brings the pane back.
    QTRY_VERIFY_WITH_TIMEOUT(s.State() >= kPaneLive, 20000);
    QTRY_VERIFY_WITH_TIMEOUT(!s.Reconnecting(), 5000);
    s.LogOut();
  }

  // The camera drops the whole connection or only its video channel: the
  // pane shows its reconnecting banner at once (well before the stall
  // watchdog's 10 s) and plays again.
  void droppedConnectionReconnects_data() {
    QTest::addColumn<QString>("drop");
    QTest::newRow("control connection") << "drop 0";
    QTest::newRow("video channel") << "drop 0 video";
  }
  void droppedConnectionReconnects() {
    QFETCH(QString, drop);
    BufferSurface surface(kKindRGB32);
    ViewerSession s(0, 0, &surface, nullptr, nullptr, Step(100));
    std::vector<int> states;
    QVERIFY(GoLive(s, 0, &states));
    states.clear();
    QVERIFY(camsim_.Admin(drop.toStdString()));
    QTRY_VERIFY_WITH_TIMEOUT(s.Reconnecting() || (!states.empty() && states.front() == kPaneReconnecting), 3000);
    QVERIFY(s.Banner().startsWith(QStringLiteral("Reconnecting")) || !states.empty());
    QTRY_VERIFY_WITH_TIMEOUT(!states.empty() && states.back() >= kPaneLive, 20000);
    QCOMPARE(states.front(), kPaneReconnecting);
    QTRY_VERIFY_WITH_TIMEOUT(!s.Reconnecting(), 5000);
    QVERIFY(presenter_.boxes.empty());
    s.LogOut();
  }

  void lostControlIsIgnoredBeforeLiveAndDuringAnUpdate_data() {
    QTest::addColumn<bool>("live");
    QTest::newRow("idle pane") << false;
    QTest::newRow("live pane during an update") << true;
  }
  void lostControlIsIgnoredBeforeLiveAndDuringAnUpdate() {
    QFETCH(bool, live);
    BufferSurface surface(kKindRGB32);
    ViewerSession s(0, 0, &surface, nullptr);
    if (live) {
      QVERIFY(GoLive(s, 0));
      PostWindowMessage(&s, WM_UPDATE_PROGRESS, 0, 405);
    }
    const int before = s.State();
    PostWindowMessage(&s, WM_CONTROL_CLOSED, 0, 0);
    QTest::qWait(300);
    QCOMPARE(s.State(), before);
    QVERIFY(!s.Reconnecting());
    if (live) s.LogOut();
  }

  void aliveIsSentEveryTenTicksWhileConnected() {
    BufferSurface surface(kKindRGB32);
    ViewerSession s(1, 1, &surface, nullptr);
    QVERIFY(GoLive(s, 1));
    // Paused, so that the watchdog does not count these quick ticks as a
    // stalled picture.
    s.Audio().SetVideoPaused(1);
    QVERIFY(s.Audio().VideoPaused());
    const int before = camsim_.CountEvents({"\"CMD\":\"ALIVE\""});
    for (int i = 0; i < 30; ++i) s.Tick();
    QTRY_COMPARE_WITH_TIMEOUT(camsim_.CountEvents({"\"CMD\":\"ALIVE\""}) - before, 3, 5000);
    QCOMPARE(s.State(), kPaneLive);
    s.LogOut();
    for (int i = 0; i < 30; ++i) s.Tick();
    QTest::qWait(300);
    QCOMPARE(camsim_.CountEvents({"\"CMD\":\"ALIVE\""}) - before, 3);
  }

  // Panes are opened and closed, signed in and out, listen and talk, while
  // the cameras send pictures, sound and replies at full rate. Every round
  // ends a pane at another point of its connection; the sanitizers watch the
  // link's threads reaching what the pane freed.
  void panesComeAndGoWhileTheCameraSends() {
    SilentOutput out;
    SteadyInput in(std::chrono::milliseconds(20));
    auto waitFor = [](const std::function<bool()>& done, int ms) {
      for (int i = 0; i < ms / 10 && !done(); ++i) QTest::qWait(10);
      return done();
    };
    int live = 0;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(12);
    for (int round = 0; round < 40 && std::chrono::steady_clock::now() < end; ++round) {
      const int camera = round % 2;
      BufferSurface surface(kKindRGB32);
      RecordingHost host;
      auto s = std::make_unique<ViewerSession>(camera, camera, &surface, &host, nullptr, Step(50));
      s->Audio().SetAudioDevices(&out, &in);
      if (s->SignIn(Fields(camera)) != 1) continue;
      switch (round % 5) {
        case 0:  // closed while the sign-in is under way
          break;
        case 1:  // closed once the control channel is open
          waitFor([&] { return s->State() >= kPaneControlOpen; }, 3000);
          break;
        case 2:  // live with sound, logged out, then closed
        case 3:  // live with sound, closed while live
          if (!waitFor([&] { return s->State() >= kPaneLive; }, 5000)) break;
          ++live;
          s->Audio().SetMic(1, 0);
          s->Audio().SetSpeaker(1, 0);
          for (int i = 0; i < 10; ++i) s->Tick();
          QTest::qWait(20 * (round % 7));
          if (round % 5 == 2) s->LogOut();
          break;
        default:  // closed while reconnecting
          if (!waitFor([&] { return s->State() >= kPaneLive; }, 5000)) break;
          ++live;
          s->StartReconnect();
          QTest::qWait(10 * (round % 11));
          break;
      }
      s.reset();
      // The pane is gone: nothing of it is left for the link to reach.
      QVERIFY(!AcquireWindow(camera));
      QVERIFY(LinkSlot(camera).video.frameSink.Peek() == nullptr);
      QVERIFY(LinkSlot(camera).audio.audioSink.Peek() == nullptr);
    }
    QVERIFY(live > 0);
    QTest::qWait(200);  // the last close reaches the camera
  }

  // A send from the link waits for the UI thread; unregistering the window
  // on that thread must neither wait for ever nor run the handler later with
  // the sender's pointers gone.
  void unregisteringTheWindowCancelsASendThatWaitsForIt() {
    ViewerSession s(2, 2, nullptr, nullptr);
    RegisterWindow(2, s.Target());
    std::atomic<bool> returned{false};
    std::thread link([&] {
      LoginInfo info;
      info.model = 5;
      if (auto window = AcquireWindow(2)) window->Send(WM_LOGIN_ACCEPTED, 7, reinterpret_cast<std::intptr_t>(&info));
      returned = true;
    });
    // The send is queued and waits for this thread, which does not run its
    // events until the window is unregistered.
    auto* target = static_cast<QtWindowTarget*>(s.Target());
    for (int i = 0; i < 20000 && target->PendingSends() == 0; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    QCOMPARE(target->PendingSends(), std::size_t{1});
    UnregisterWindow(2);
    link.join();
    QVERIFY(returned.load());
    QCoreApplication::processEvents();
    QCOMPARE(s.Group(), 0);  // the handler never ran
  }

  // The camera drops the audio channel while the pane talks. The talk-back
  // never reaches the connection that was given the closed socket number;
  // talking resumes on a new audio channel (or is switched off with the audio
  // channel's box).
  void talkBackSurvivesADroppedAudioChannel() {
    BufferSurface surface(kKindRGB32);
    SilentOutput out;
    SteadyInput in(std::chrono::milliseconds(40));
    ViewerSession s(0, 0, &surface, nullptr);
    s.Audio().SetAudioDevices(&out, &in);
    QVERIFY(GoLive(s, 0));
    s.Audio().SetSpeaker(1, 0);
    QVERIFY(s.Audio().SpeakerOn());
    QTRY_VERIFY_WITH_TIMEOUT(s.Audio().Capture().BlocksSent() > 1, 5000);
    const int number = LinkSlot(0).audio.socket.load();
    QVERIFY(number >= 0);
    ::shutdown(number, SHUT_RDWR);  // the channel ends as when the camera hangs up
    // Without letting the pane run, wait for the link to close the number,
    // then take it (and the next ones) with connections of our own.
    for (int i = 0; i < 5000000 && LinkSlot(0).audio.socket.load() == number; ++i) sched_yield();
    std::vector<int> ours;
    bool reused = false;
    for (int i = 0; i < 3; ++i) {
      int pair[2];
      QCOMPARE(::socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
      reused = reused || pair[0] == number || pair[1] == number;
      ours.insert(ours.end(), {pair[0], pair[1]});
    }
    QVERIFY2(reused, "the closed number was not handed out again");
    QTRY_VERIFY_WITH_TIMEOUT((s.Audio().SpeakerOn() && s.Audio().Capture().BlocksSent() > 3 &&
                              LinkSlot(0).audio.socket.load() >= 0) || !presenter_.boxes.empty(), 10000);
    if (presenter_.boxes.empty()) {
      QVERIFY(s.State() >= kPaneLive);
    } else {
      QCOMPARE(BoxIds(), std::vector<int>{20036});
      QVERIFY(!s.Audio().SpeakerOn());
    }
    char bytes[4096];
    for (int fd : ours) QCOMPARE(::recv(fd, bytes, sizeof bytes, MSG_DONTWAIT), -1L);
    for (int fd : ours) ::close(fd);
    s.LogOut();
  }

  // A log-out at each point of a reconnection: the pane stays logged out
  // (idle, no reconnect thread, no connection) and silent (no box, no state
  // announced after the log-out).
  void logOutDuringAReconnectStaysLoggedOut_data() {
    QTest::addColumn<int>("phase");  // the state to log out at; 0 at once; -1 while connecting
    QTest::newRow("before connecting") << 0;
    QTest::newRow("while connecting to an address that does not answer") << -1;
    QTest::newRow("after the login reply") << kPaneControlOpen;
    QTest::newRow("after the video channel opened") << kPaneVideoOpen;
  }
  void logOutDuringAReconnectStaysLoggedOut() {
    QFETCH(int, phase);
    BufferSurface surface(kKindRGB32);
    ViewerSession s(0, 0, &surface, nullptr, nullptr, Step(100));
    SilentListener silent;
    if (phase == -1) {
      // The last sign-in went to an address that does not answer.
      SignInFields f = Fields(0);
      f.port = QString::number(silent.port());
      QVERIFY(silent.port() != 0);
      QCOMPARE(s.SignIn(f), 0);  // the reconnect thread tries the same address
    } else {
      QVERIFY(GoLive(s, 0));
    }
    presenter_.boxes.clear();
    bool loggedOut = false;
    std::vector<int> after;
    QObject::connect(&s, &ViewerSession::stateChanged, &s, [&](int state) {
      if (loggedOut) {
        after.push_back(state);
      } else if (phase > 0 && state == phase) {
        // As the user would: once this message has been handled.
        QMetaObject::invokeMethod(&s, [&] {
          loggedOut = true;
          s.LogOut();
        }, Qt::QueuedConnection);
      }
    });
    s.StartReconnect();
    if (phase <= 0) {
      if (phase == -1) QTest::qWait(300);  // the attempt is connecting
      loggedOut = true;
      s.LogOut();
    } else {
      QTRY_VERIFY_WITH_TIMEOUT(loggedOut, 10000);
    }
    // Longer than a connection attempt may take, for late replies to arrive.
    QTest::qWait(3000);
    QCOMPARE(s.State(), kPaneIdle);
    QVERIFY(!s.Reconnecting());
    for (int state : after) QCOMPARE(state, kPaneIdle);
    QCOMPARE(BoxIds(), std::vector<int>{});
    QCOMPARE(LinkSlot(0).control.socket.load(), -1);
    QCOMPARE(s.Render().State(), MVideoRender::kStopped);
  }

  // The automatic sign-in thread and the UI thread sign one pane in at the
  // same moment: the sign-ins run one after the other, and the pane ends live
  // on one connection without a box.
  void signInsFromTwoThreadsRunOneAfterTheOther() {
    BufferSurface surface(kKindRGB32);
    ViewerSession s(1, 1, &surface, nullptr);
    const SignInFields f = Fields(1, "user", "user");
    std::atomic<int> fromWorker{-1};
    std::thread worker([&] { fromWorker = s.SignIn(f); });
    const int fromUi = s.SignIn(f);
    worker.join();
    QVERIFY(fromUi == 1 || fromWorker.load() == 1);
    QTRY_VERIFY_WITH_TIMEOUT(s.State() >= kPaneLive, 10000);
    QCOMPARE(BoxIds(), std::vector<int>{});
    s.LogOut();
  }
};

QTEST_MAIN(ViewerSessionTest)
#include "ViewerSessionTest.moc"
