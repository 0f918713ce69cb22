// A pane's connection logic against the camera simulator, through the real
// link: sign-in to live, the refusals and closes with their boxes, the stall
// watchdog counted in ticks, reconnection, and the keep-alive.
#include <QtTest>
#include <vector>

#include "CamsimProcess.h"
#include "MessageBoxes.h"
#include "ViewerSession.h"
#include "link/LinkEngine.h"
#include "link/LinkMessages.h"
#include "video/Convert.h"
#include "video/VideoSurface.h"

namespace {

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
    ViewerSession s(0, 0, &surface, nullptr);
    s.SetReconnectStep(std::chrono::milliseconds(100));
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

  void droppedControlConnectionReconnects() {
    BufferSurface surface(kKindRGB32);
    ViewerSession s(0, 0, &surface, nullptr);
    s.SetReconnectStep(std::chrono::milliseconds(100));
    std::vector<int> states;
    QVERIFY(GoLive(s, 0, &states));
    states.clear();
    QVERIFY(camsim_.Admin("drop 0"));
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
    s.SetVideoPaused(1);
    QVERIFY(s.VideoPaused());
    const int before = camsim_.CountEvents({"\"CMD\":\"ALIVE\""});
    for (int i = 0; i < 30; ++i) s.Tick();
    QTRY_COMPARE_WITH_TIMEOUT(camsim_.CountEvents({"\"CMD\":\"ALIVE\""}) - before, 3, 5000);
    QCOMPARE(s.State(), kPaneLive);
    s.LogOut();
    for (int i = 0; i < 30; ++i) s.Tick();
    QTest::qWait(300);
    QCOMPARE(camsim_.CountEvents({"\"CMD\":\"ALIVE\""}) - before, 3);
  }
};

QTEST_MAIN(ViewerSessionTest)
#include "ViewerSessionTest.moc"
