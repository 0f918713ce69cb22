// The pane's camera controls through a fake link: who may send what, the
// step a pan/tilt move really sends (flips, zoomed picture, model), the
// mouse on the pane as a table, the right-click menu as a table over state,
// group, model and codec, what its items do, and the form's commands that
// reach the current pane's camera.
#include <QtTest>
#include <QLabel>

#include "FakeAudioDevices.h"
#include "FakePaneLink.h"
#include "link/LinkEngine.h"
#include "base/MRegistry.h"
#include "base/SettingsIndex.h"
#include "RecordingPresenter.h"
#include "controls/MessageBoxes.h"
#include "form/CameraControlCommands.h"
#include "form/MFormView.h"
#include "form/SidePanel.h"
#include "link/LinkMessages.h"
#include "pane/MViewer.h"
#include "pane/MouseSteering.h"
#include "pane/PaneMenu.h"
#include "video/Convert.h"
#include "video/VideoSurface.h"

Q_DECLARE_METATYPE(std::vector<std::string>)
Q_DECLARE_METATYPE(LoginInfo)
Q_DECLARE_METATYPE(PaneMenuInputs)

namespace {

using Lines = std::vector<std::string>;

SessionOptions WithLink(PaneLink* link) {
  SessionOptions o;
  o.link = link;
  return o;
}

std::string Join(const Lines& lines) {
  std::string all;
  for (const std::string& l : lines) all += l + "; ";
  return all;
}

LoginInfo Camera(int model, int fhorz = 0, int fvert = 0) {
  LoginInfo info{};
  info.model = model;
  info.horizontalFlip = fhorz;
  info.verticalFlip = fvert;
  info.ioEnabled = 1;
  return info;
}

// Collects what a pane posts to its form.
class FormSpy : public QObject {
 public:
  QList<QPair<unsigned, std::uintptr_t>> posted;

 protected:
  bool event(QEvent* e) override {
    if (auto* m = dynamic_cast<WindowMessageEvent*>(e)) {
      posted << qMakePair(m->message(), m->wParam);
      return true;
    }
    return QObject::event(e);
  }
};

// A pane the tests click on: live with a fake link, current, 220 x 200.
struct LivePane {
  FakePaneLink link;
  FormSpy form;
  MViewer pane;
  LivePane(int group, const LoginInfo& info, int resolution = 2, int width = 220, int height = 200)
      : pane(nullptr, &form, 0, 0, QRect(0, 0, width, height), WithLink(&link)) {
    pane.SetSelected(true);
    pane.show();
    DriveSession(pane.Session(), link, kPaneLive, group, info, 2, false, resolution);
    QCoreApplication::processEvents();
    link.ClearSent();
    form.posted.clear();
  }
};

}  // namespace

class CameraControlsTest : public QObject {
  Q_OBJECT
  QTemporaryDir dir_;
  RecordingPresenter boxes_;

 private slots:
  void initTestCase() {
    qputenv("XDG_CONFIG_HOME", dir_.filePath("config").toUtf8());
    SetBoxPresenter(&boxes_);
  }
  void cleanupTestCase() { SetBoxPresenter(nullptr); }

  // What each switch sends, and what it does locally, by group: only an
  // administrator tells the camera about motion detection, the lamp, the
  // sensor and the output; others switch the lamp off and keep sensor and
  // output as a local state.
  void switchesByGroup_data() {
    QTest::addColumn<int>("group");
    QTest::addColumn<Lines>("sent");
    QTest::addColumn<bool>("motion");
    QTest::addColumn<bool>("flash");
    QTest::addColumn<bool>("sensor");
    QTest::addColumn<bool>("output");
    QTest::newRow("administrator") << 0 << Lines{"MOTION 1", "LED 1", "SENSOR 1", "GIO 1"} << true << true << true << true;
    QTest::newRow("power user") << 1 << Lines{} << false << false << true << true;
    QTest::newRow("user") << 2 << Lines{} << false << false << true << true;
  }
  void switchesByGroup() {
    QFETCH(int, group);
    QFETCH(Lines, sent);
    LivePane p(group, Camera(kModelPanTilt));
    PaneCameraControls& c = p.pane.Session().Controls();
    c.SetMotionDetection(1);
    c.SetFlash(1);
    c.SetSensor(1);
    c.SetOutput(1);
    QCOMPARE(p.link.Sent(), sent);
    QTEST(c.MotionOn(), "motion");
    QTEST(c.FlashOn(), "flash");
    QTEST(c.SensorOn(), "sensor");
    QTEST(c.OutputOn(), "output");
    QCOMPARE(p.pane.Session().Info().sensorEnabled, 1);
    QCOMPARE(p.pane.Session().Info().generalOutput1, 1);
    // The administrator's labels count from 0 while the switches are on.
    QCOMPARE(p.pane.MotionLabel()->isVisibleTo(&p.pane), group == 0);
    QCOMPARE(p.pane.SensorLabel()->isVisibleTo(&p.pane), group == 0);
    if (group == 0) QCOMPARE(p.pane.MotionLabel()->text(), QStringLiteral("MD:0"));
  }

  // Motion detection comes from the camera's login record; an
  // administrator's stored switch turns it back on when the camera lost it.
  void motionDetectionAtLiveStart_data() {
    QTest::addColumn<int>("group");
    QTest::addColumn<int>("stored");
    QTest::addColumn<int>("camera");
    QTest::addColumn<bool>("motion");
    QTest::addColumn<Lines>("sent");
    QTest::newRow("camera on") << 0 << 0 << 1 << true << Lines{};
    QTest::newRow("both off") << 0 << 0 << 0 << false << Lines{};
    QTest::newRow("stored on, camera lost it") << 0 << 1 << 0 << true << Lines{"MOTION 1"};
    QTest::newRow("stored on, camera on") << 0 << 1 << 1 << true << Lines{};
    QTest::newRow("power user") << 1 << 1 << 0 << false << Lines{};
  }
  void motionDetectionAtLiveStart() {
    QFETCH(int, group);
    QFETCH(int, stored);
    QFETCH(int, camera);
    FakePaneLink link;
    FormSpy form;
    MViewer pane(nullptr, &form, 0, 0, QRect(0, 0, 220, 200), WithLink(&link));
    WriteSettingDword(pane.Session().Settings(), settings::kMdEnable, stored);
    LoginInfo info = Camera(kModelPanTilt);
    info.motionEnabled = camera;
    DriveSession(pane.Session(), link, kPaneLive, group, info);
    QTEST(pane.Session().Controls().MotionOn(), "motion");
    Lines motion;
    for (const std::string& line : link.Sent()) {
      if (line.rfind("MOTION", 0) == 0) motion.push_back(line);
    }
    QTEST(motion, "sent");
    WriteSettingDword(pane.Session().Settings(), settings::kMdEnable, 0);
  }

  // A command the link does not take (a send error, or no control
  // connection at all) changes nothing and stores nothing.
  void refusedCommandsChangeNothing_data() {
    QTest::addColumn<int>("answer");
    QTest::newRow("send error") << 0;
    QTest::newRow("not connected") << kSendNotConnected;
  }
  void refusedCommandsChangeNothing() {
    QFETCH(int, answer);
    LivePane p(0, Camera(kModelPanTilt));
    PaneCameraControls& c = p.pane.Session().Controls();
    WriteSettingDword(p.pane.Session().Settings(), settings::kMdEnable, 0);
    p.link.commands = answer;
    QCOMPARE(c.SetMotionDetection(1), 0);
    QCOMPARE(c.SetFlash(1), 0);
    QCOMPARE(c.SetSensor(1), 0);
    QCOMPARE(c.SetOutput(1), 0);
    QCOMPARE(c.SetMirror(1), 0);
    QVERIFY(!c.MotionOn() && !c.FlashOn() && !c.SensorOn() && !c.OutputOn() && !c.Mirrored());
    QVERIFY(!p.pane.MotionLabel()->isVisibleTo(&p.pane));
    QCOMPARE(ReadSettingDword(p.pane.Session().Settings(), settings::kMdEnable), 0);
  }

  // Mirror and flip always send both values, the other one as it is.
  void mirrorAndFlipSendBothValues() {
    LivePane p(0, Camera(kModelPanTilt, 0, 1));
    PaneCameraControls& c = p.pane.Session().Controls();
    QCOMPARE(c.SetMirror(1), 1);
    QCOMPARE(c.SetFlip(0), 1);
    QCOMPARE(p.link.Sent(), (Lines{"FLIP 1 1", "FLIP 1 0"}));
    QVERIFY(c.Mirrored() && !c.Flipped());
  }

  // The move a request really sends: turned by the picture's flips, halved
  // in the zoomed picture, zoom and focus only for the pan/tilt model; and
  // nothing for a user, or before the control channel is open.
  void panTiltMove_data() {
    QTest::addColumn<int>("group");
    QTest::addColumn<int>("state");
    QTest::addColumn<LoginInfo>("info");
    QTest::addColumn<int>("resolution");
    QTest::addColumn<Lines>("sent");
    const LoginInfo ptz = Camera(kModelPanTilt);
    QTest::newRow("plain") << 0 << kPaneLive << ptz << 2 << Lines{"PTZ 5 -3 1 -1"};
    QTest::newRow("mirrored") << 0 << kPaneLive << Camera(kModelPanTilt, 1, 0) << 2 << Lines{"PTZ -5 -3 1 -1"};
    QTest::newRow("flipped") << 1 << kPaneLive << Camera(kModelPanTilt, 0, 1) << 2 << Lines{"PTZ 5 3 1 -1"};
    QTest::newRow("zoomed picture halves") << 0 << kPaneLive << ptz << 1 << Lines{"PTZ 2 -1 1 -1"};
    QTest::newRow("other model: no zoom") << 0 << kPaneLive << Camera(0) << 2 << Lines{"PTZ 5 -3 0 0"};
    QTest::newRow("control open") << 0 << kPaneControlOpen << ptz << 2 << Lines{"PTZ 5 -3 1 -1"};
    QTest::newRow("user") << 2 << kPaneLive << ptz << 2 << Lines{};
    QTest::newRow("sign-in sent") << 0 << kPaneSignInSent << ptz << 2 << Lines{};
  }
  void panTiltMove() {
    QFETCH(int, group);
    QFETCH(int, state);
    QFETCH(LoginInfo, info);
    QFETCH(int, resolution);
    FakePaneLink link;
    BufferSurface surface(kKindRGB32);
    ViewerSession s(0, 0, &surface, nullptr, nullptr, WithLink(&link));
    QCOMPARE(DriveSession(s, link, state, group, info, 2, false, resolution), state);
    s.Controls().MovePtz(5, -3, 1, -1);
    s.Controls().GotoPreset(2);
    Lines sent;
    for (const std::string& line : link.Sent()) {
      if (line.rfind("PTZ", 0) == 0) sent.push_back(line);
    }
    QTEST(sent, "sent");
    const bool presets = (group == 0 || group == 1) && state >= kPaneControlOpen;
    QCOMPARE(link.Sent().size(), sent.size() + (presets ? 1 : 0));
  }

  // Presets 0..3; scan and the function key only on the pan/tilt model.
  void presetsAndPanTiltOnlyCommands() {
    LivePane ptz(1, Camera(kModelPanTilt));
    PaneCameraControls& c = ptz.pane.Session().Controls();
    QCOMPARE(c.SavePreset(3), 1);
    QCOMPARE(c.GotoPreset(0), 1);
    QCOMPARE(c.GotoPreset(4), 0);
    QCOMPARE(c.SavePreset(-1), 0);
    QCOMPARE(c.StartScan(), 1);
    QCOMPARE(c.StopScan(), 1);
    QCOMPARE(c.RunFunction1(), 1);
    QCOMPARE(ptz.link.Sent(), (Lines{"PRESET_SAVE 3", "PRESET_GOTO 0", "SCAN_START", "SCAN_STOP", "CUSTOM"}));

    LivePane fixed(0, Camera(kModelFixed));
    PaneCameraControls& f = fixed.pane.Session().Controls();
    QCOMPARE(f.StartScan(), 0);
    QCOMPARE(f.StopScan(), 0);
    QCOMPARE(f.RunFunction1(), 0);
    QCOMPARE(fixed.link.Sent(), Lines{});
  }

  // The mouse on a live, current pane of 220 x 200 (steps of 10 x 10): a
  // click turns toward the point, a drag moves once the pointer went two
  // steps; the fixed model, users and a pane still opening are not steered.
  void mouseSteering_data() {
    QTest::addColumn<int>("group");
    QTest::addColumn<LoginInfo>("info");
    QTest::addColumn<int>("resolution");
    // Press, moves..., release (QTest takes (0, 0) for the centre).
    QTest::addColumn<QList<QPoint>>("path");
    QTest::addColumn<Lines>("sent");
    const LoginInfo ptz = Camera(kModelPanTilt);
    using P = QList<QPoint>;
    QTest::newRow("click in the centre") << 0 << ptz << 2 << P{{110, 100}, {110, 100}} << Lines{"PTZ 0 0 0 0"};
    QTest::newRow("click at the left edge") << 0 << ptz << 2 << P{{0, 100}, {0, 100}} << Lines{"PTZ -11 0 0 0"};
    QTest::newRow("click at the top right") << 1 << ptz << 2 << P{{219, 0}, {219, 0}} << Lines{"PTZ 10 10 0 0"};
    QTest::newRow("small drag is a click") << 0 << ptz << 2 << P{{110, 100}, {125, 115}, {125, 115}}
                                           << Lines{"PTZ 0 0 0 0"};
    QTest::newRow("drag right") << 0 << ptz << 2 << P{{110, 100}, {135, 100}, {135, 100}} << Lines{"PTZ -2 0 0 0"};
    QTest::newRow("drag down") << 0 << ptz << 2 << P{{110, 100}, {110, 131}, {110, 131}} << Lines{"PTZ 0 3 0 0"};
    QTest::newRow("drag both, twice") << 0 << ptz << 2 << P{{110, 100}, {80, 70}, {55, 70}, {55, 70}}
                                      << Lines{"PTZ 3 -3 0 0", "PTZ 2 0 0 0"};
    QTest::newRow("mirrored and flipped") << 0 << Camera(kModelPanTilt, 1, 1) << 2 << P{{0, 1}, {0, 1}}
                                          << Lines{"PTZ 11 -9 0 0"};
    QTest::newRow("zoomed picture") << 0 << ptz << 1 << P{{0, 1}, {0, 1}} << Lines{"PTZ -5 4 0 0"};
    QTest::newRow("fixed model") << 0 << Camera(kModelFixed) << 2 << P{{0, 1}, {60, 60}, {60, 60}} << Lines{};
    QTest::newRow("user") << 2 << ptz << 2 << P{{0, 1}, {60, 60}, {60, 60}} << Lines{};
  }
  void mouseSteering() {
    QFETCH(int, group);
    QFETCH(LoginInfo, info);
    QFETCH(int, resolution);
    QFETCH(QList<QPoint>, path);
    LivePane p(group, info, resolution);
    QCOMPARE(p.pane.Session().State(), kPaneLive);
    QTest::mousePress(&p.pane, Qt::LeftButton, {}, path.front());
    for (int i = 1; i + 1 < path.size(); ++i) QTest::mouseMove(&p.pane, path[i]);
    QTest::mouseRelease(&p.pane, Qt::LeftButton, {}, path.back());
    QFETCH(Lines, sent);
    QCOMPARE(QString::fromStdString(Join(p.link.Sent())), QString::fromStdString(Join(sent)));
  }

  // A press on a pane that is not current only makes it current.
  void firstClickSelectsThePane() {
    LivePane p(0, Camera(kModelPanTilt));
    p.pane.SetSelected(false);
    QTest::mouseClick(&p.pane, Qt::LeftButton, {}, QPoint(0, 100));
    QCOMPARE(p.link.Sent(), Lines{});
    QCoreApplication::processEvents();
    QCOMPARE(p.form.posted.size(), 1);
    QCOMPARE(p.form.posted.front().first, WM_PANE_SELECT);
  }

  // Steps are whole sizes of a pane even when it is tiny.
  void tinyPaneHasSteps() {
    MouseSteering s;
    s.Resize(10, 5);
    s.Press(0, 0);
    const auto step = s.Release();
    QVERIFY(step.has_value());
    QCOMPARE(*step, (PtzStep{-5, 2, 0, 0}));
  }

  // The wheel zooms the pan/tilt model only.
  void wheelZooms() {
    for (int model : {kModelPanTilt, 0}) {
      LivePane p(0, Camera(model));
      QWheelEvent forward(QPointF(50, 50), QPointF(50, 50), {}, QPoint(0, 120), Qt::NoButton, {}, Qt::NoScrollPhase, false);
      QWheelEvent back(QPointF(50, 50), QPointF(50, 50), {}, QPoint(0, -120), Qt::NoButton, {}, Qt::NoScrollPhase, false);
      QCoreApplication::sendEvent(&p.pane, &forward);
      QCoreApplication::sendEvent(&p.pane, &back);
      QCOMPARE(p.link.Sent(), model == kModelPanTilt ? (Lines{"PTZ 0 0 1 0", "PTZ 0 0 -1 0"}) : Lines{});
    }
  }

  // The menu as a table over state, group, model and codec: the popup, and
  // the items that are disabled or checked (ids; everything else enabled and
  // unchecked).
  void menuModel_data() {
    QTest::addColumn<PaneMenuInputs>("in");
    QTest::addColumn<int>("popup");
    QTest::addColumn<QList<int>>("ids");  // in order, 0 for a separator, -1 for the camera submenu
    QTest::addColumn<QList<int>>("disabled");
    QTest::addColumn<QList<int>>("checked");
    const QList<int> admin = {33005, 33006, 0, 33014, 33017, 33009, 0, -1, 0, 33004, 33008, 0, 33003};
    const QList<int> user = {33005, 33006, 0, 33014, 33017, 33009, 0, 33011, 0, 33004, 33008, 0, 33003};
    auto in = [](int state, int group, int model, int codec) {
      PaneMenuInputs i;
      i.state = state;
      i.group = group;
      i.model = model;
      i.codec = codec;
      return i;
    };
    QTest::newRow("idle") << in(0, 0, 0, 2) << int(PanePopup::None) << QList<int>{} << QList<int>{} << QList<int>{};
    QTest::newRow("sign-in sent") << in(2, 0, 0, 2) << int(PanePopup::None) << QList<int>{} << QList<int>{} << QList<int>{};
    QTest::newRow("reconnecting") << in(1, 0, 0, 2) << int(PanePopup::Reconnect) << QList<int>{33003} << QList<int>{}
                                  << QList<int>{};
    QTest::newRow("admin, pan/tilt, H.264") << in(6, 0, kModelPanTilt, 2) << int(PanePopup::Admin) << admin
                                            << QList<int>{} << QList<int>{};
    QTest::newRow("admin, plain, Motion JPEG")
        << in(6, 0, 0, 0) << int(PanePopup::Admin) << admin << QList<int>{33011, 33012, 33020, 33021, 33022, 33023}
        << QList<int>{};
    QTest::newRow("power user, fixed, MPEG-4")
        << in(3, 1, kModelFixed, 1) << int(PanePopup::Admin) << admin
        << QList<int>{33011, 33012, 33013, 33018, 33020, 33021, 33022, 33023} << QList<int>{};
    QTest::newRow("user, H.264") << in(6, 2, 0, 2) << int(PanePopup::User) << user << QList<int>{} << QList<int>{};
    QTest::newRow("user, fixed") << in(6, 2, kModelFixed, 2) << int(PanePopup::User) << user << QList<int>{33011}
                                 << QList<int>{};
    PaneMenuInputs on = in(8, 0, kModelPanTilt, 2);
    on.micOn = on.speakerOn = on.flashOn = on.motionOn = on.mirrored = on.flipped = on.enlarged = on.alwaysOnTop = true;
    QTest::newRow("admin, everything on") << on << int(PanePopup::Admin) << admin << QList<int>{}
                                          << QList<int>{33014, 33017, 33011, 33012, 33013, 33018, 33015, 33016};
    PaneMenuInputs full = in(6, 2, 0, 2);
    full.fullScreen = true;
    full.micOn = true;
    QTest::newRow("user, full screen") << full << int(PanePopup::User) << user << QList<int>{33014, 33017}
                                       << QList<int>{33009, 33011};
  }
  void menuModel() {
    QFETCH(PaneMenuInputs, in);
    const PaneMenuModel m = BuildPaneMenu(in);
    QTEST(int(m.popup), "popup");
    QCOMPARE(m.selectsPane, m.popup != PanePopup::None);
    QList<int> ids, disabled, marked, submenu;
    auto note = [&](const PaneMenuItem& item) {
      if (!item.enabled) disabled << item.id;
      if (item.checked) marked << item.id;
    };
    for (const PaneMenuItem& item : m.items) {
      ids << (item.children.empty() ? item.id : -1);
      note(item);
      for (const PaneMenuItem& child : item.children) {
        submenu << child.id;
        note(child);
      }
    }
    QTEST(ids, "ids");
    std::sort(disabled.begin(), disabled.end());
    QTEST(disabled, "disabled");
    QFETCH(QList<int>, checked);
    QCOMPARE(QSet<int>(marked.begin(), marked.end()), QSet<int>(checked.begin(), checked.end()));
    if (m.popup == PanePopup::Admin) {
      QCOMPARE(submenu, (QList<int>{33011, 33012, 0, 33013, 33018, 0, 33015, 33016, 0, 33020, 33021, 0, 33022, 33023}));
    }
  }

  // The texts are the menu's own.
  void menuTexts() {
    PaneMenuInputs in;
    in.state = 6;
    const PaneMenuModel admin = BuildPaneMenu(in);
    QCOMPARE(admin.items[0].text, std::string("이미지 저장"));
    QCOMPARE(admin.items[7].text, std::string("카메라 제어"));
    QCOMPARE(admin.items[7].children[4].text, std::string("모션 디텍트 켜기"));
    QCOMPARE(admin.items[9].text, std::string("카메라 및 뷰어설정"));
    in.group = 2;
    QCOMPARE(BuildPaneMenu(in).items[9].text, std::string("뷰어 설정"));
  }

  // What the items do: forwards to the form's commands, the form's own
  // messages, setup and help leaving full screen first.
  void menuActions_data() {
    QTest::addColumn<int>("id");
    QTest::addColumn<bool>("fullScreen");
    QTest::addColumn<QList<int>>("actions");  // kind * 100000 + number
    using A = PaneMenuAction;
    auto code = [](A::Kind k, int n) { return int(k) * 100000 + n; };
    QTest::newRow("setup") << 33004 << false << QList<int>{code(A::Forward, 2300)};
    QTest::newRow("setup in full screen") << 33004 << true << QList<int>{code(A::PostToForm, 1028), code(A::Forward, 2300)};
    QTest::newRow("help in full screen") << 33008 << true << QList<int>{code(A::PostToForm, 1028), code(A::Forward, 2301)};
    QTest::newRow("snapshot") << 33005 << true << QList<int>{code(A::Forward, 2306)};
    QTest::newRow("record") << 33006 << false << QList<int>{code(A::Forward, 2307)};
    QTest::newRow("full screen") << 33009 << false << QList<int>{code(A::PostToForm, 1028)};
    QTest::newRow("enlarge") << 33014 << false << QList<int>{code(A::PostToForm, 1027)};
    QTest::newRow("mirror") << 33015 << false << QList<int>{code(A::Forward, 2309)};
    QTest::newRow("flip") << 33016 << false << QList<int>{code(A::Forward, 2308)};
    QTest::newRow("always on top") << 33017 << false << QList<int>{code(A::ToggleTopMost, 0)};
    QTest::newRow("motion") << 33018 << false << QList<int>{code(A::Forward, 2314)};
    QTest::newRow("flash") << 33013 << false << QList<int>{code(A::Forward, 2315)};
    QTest::newRow("focus out") << 33023 << false << QList<int>{code(A::Forward, 2313)};
    QTest::newRow("log out") << 33003 << false << QList<int>{code(A::LogOut, 33003)};
    QTest::newRow("unknown") << 33019 << false << QList<int>{};
  }
  void menuActions() {
    QFETCH(int, id);
    QFETCH(bool, fullScreen);
    QList<int> actions;
    for (const PaneMenuAction& a : PaneMenuActions(id, fullScreen)) actions << int(a.kind) * 100000 + a.number;
    QTEST(actions, "actions");
  }

  // The menu's items through the pane: a forwarded command reaches the form
  // as a command, log out ends the session.
  void paneRunsMenuItems() {
    LivePane p(0, Camera(kModelPanTilt));
    p.pane.RunMenuCommand(33015);
    p.pane.RunMenuCommand(33014);
    QCoreApplication::processEvents();
    QCOMPARE(p.form.posted, (QList<QPair<unsigned, std::uintptr_t>>{{WM_PANE_COMMAND, 2309}, {WM_PANE_ENLARGE, 0}}));
    p.pane.RunMenuCommand(33003);
    QCOMPARE(p.pane.Session().State(), kPaneIdle);
  }

  // The form acts on its current pane: the pad's click steers it, the
  // pane's menu items come back as the form's commands; a user's pane gets
  // no pad and no steps.
  void formCommandsReachTheCurrentPane() {
    for (int group : {0, 2}) {
      FakePaneLink link;
      FakeAudioFactory audio;
      FormOptions o;
      o.audio = &audio;
      o.workArea = QSize(1920, 1080);
      o.pane.link = &link;
      MFormView form(nullptr, o);
      form.show();
      MViewer* pane = form.Pane(0);
      DriveSession(pane->Session(), link, kPaneLive, group, Camera(kModelPanTilt));
      PostWindowMessage(&form, WM_PANE_SELECT, 0, 0);
      QCoreApplication::processEvents();
      link.ClearSent();
      MStaticPanTilt* pad = form.Panel()->Pad();
      QCOMPARE(pad->isVisible(), group == 0);
      const PtzStep up{0, 2, 0, 0};
      WindowMessageEvent step(WM_PAD_STEP, 0, reinterpret_cast<std::intptr_t>(&up));
      QCoreApplication::sendEvent(&form, &step);
      if (group == 0) QTest::mouseClick(pad, Qt::LeftButton, {}, QPoint(55, 30));  // the up arrow
      for (int id : {33015, 33018, 33020}) pane->RunMenuCommand(id);
      QCoreApplication::processEvents();
      QCOMPARE(Join(link.Sent()), group == 0 ? Join({"PTZ 0 2 0 0", "PTZ 0 2 0 0", "FLIP 1 0", "MOTION 1", "PTZ 0 0 1 0"})
                                             : Join({"FLIP 1 0"}));
      pane->LogOut();
    }
  }
};

QTEST_MAIN(CameraControlsTest)
#include "CameraControlsTest.moc"
