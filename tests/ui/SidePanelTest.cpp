// The main form's side panel: which controls the current pane offers (a
// table over state, group, model, codec, sound device, sensor/output and
// talking), where each control sits and what its tooltip says, the check
// buttons following the pane's switches, and, through a form whose panes
// run over a fake link, what every button sends to the current pane's
// camera: clicks, zoom and focus repeating while held, presets stored by a
// long press (on an injected clock), and the volume bar.
#include <QtTest>

#include "FakeAudioDevices.h"
#include "FakePaneLink.h"
#include "RecordingPresenter.h"
#include "base/MRegistry.h"
#include "base/SettingsIndex.h"
#include "controls/MInfoBox.h"
#include "controls/MessageBoxes.h"
#include "form/MFormView.h"
#include "form/SidePanel.h"
#include "pane/MViewer.h"

namespace {

using Lines = QList<QByteArray>;
using TimePoint = HoldRepeater::TimePoint;

const QList<int> kLive{kIdSetupButton, kIdLogOutButton, kIdSnapshotButton, kIdRecordButton};
const QList<int> kPresets{2500, 2501, 2502, 2503};
const QList<int> kPanTiltOnly{2310, 2311, 2312, 2313, 2504, 2505, 2506};
// Every control that Apply shows or hides (the combos are not among them).
const QList<int> kAllControls{2300, 2302, 2303, 2304, 2305, 2306, 2307, 2308, 2309, 2310, 2311, 2312, 2313,
                              2314, 2315, 2500, 2501, 2502, 2503, 2504, 2505, 2506, 2507, 2508};

QList<int> Sorted(QList<int> ids) {
  std::sort(ids.begin(), ids.end());
  return ids;
}

PaneStatus Status(int state, int group, int model, int codec, bool talking) {
  PaneStatus s;
  s.state = state;
  s.group = group;
  s.model = model;
  s.codec = codec;
  s.talking = talking;
  return s;
}

LoginInfo Camera(int model) {
  LoginInfo info{};
  info.model = model;
  info.ioEnabled = 1;
  return info;
}

Lines Sent(FakePaneLink& link) {
  Lines out;
  for (const std::string& l : link.Sent()) out << QByteArray::fromStdString(l);
  return out;
}

void Mouse(QWidget* w, QEvent::Type type) {
  const QPointF at(w->width() / 2.0, w->height() / 2.0);
  const Qt::MouseButtons held = type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton;
  QMouseEvent e(type, at, w->mapToGlobal(at), Qt::LeftButton, held, Qt::NoModifier);
  QApplication::sendEvent(w, &e);
}

struct FakeClock {
  TimePoint start{std::chrono::milliseconds(1'000'000)};
  TimePoint now = start;
  void At(int ms) { now = start + std::chrono::milliseconds(ms); }
  HoldTimer::Clock Fn() {
    return [this] { return now; };
  }
};

// A shown 2 x 2 form whose first pane is live over a fake link and current.
struct LiveForm {
  FakePaneLink link;
  FakeAudioFactory audio;
  MFormView form;
  explicit LiveForm(const LoginInfo& info, int group = 0) : form(nullptr, Options(&audio, &link)) {
    form.show();
    QTRY_VERIFY(form.Pane(0)->Session().Audio().Selected());  // the start-up pass is over
    DriveSession(Session(), link, kPaneLive, group, info);
    PostWindowMessage(&form, WM_PANE_SELECT, 0, 0);
    QCoreApplication::processEvents();
    link.ClearSent();
  }
  ~LiveForm() { form.Pane(0)->LogOut(); }
  static FormOptions Options(AudioDeviceFactory* audio, PaneLink* link) {
    FormOptions o;
    o.audio = audio;
    o.autoSignInStep = std::chrono::milliseconds(1);
    o.workArea = QSize(1920, 1080);
    o.pane.link = link;
    return o;
  }
  ViewerSession& Session() { return form.Pane(0)->Session(); }
  SidePanel* Panel() { return form.Panel(); }
};

}  // namespace

Q_DECLARE_METATYPE(Lines)
Q_DECLARE_METATYPE(PaneStatus)

class SidePanelTest : public QObject {
  Q_OBJECT
  QTemporaryDir dir_;
  RecordingPresenter boxes_;

 private slots:
  void initTestCase() {
    qputenv("XDG_CONFIG_HOME", dir_.filePath("config").toUtf8());
    SetBoxPresenter(&boxes_);
  }
  void cleanupTestCase() { SetBoxPresenter(nullptr); }

  void visibility_data() {
    QTest::addColumn<PaneStatus>("status");
    QTest::addColumn<bool>("audioReady");
    QTest::addColumn<bool>("gio");
    QTest::addColumn<QList<int>>("shown");
    QTest::addColumn<bool>("pad");
    QTest::addColumn<int>("motionLeft");
    const int pt = kModelPanTilt;
    const int fixed = kModelFixed;
    const QList<int> admin = kLive + QList<int>{2303, 2304, 2308, 2309, 2314, 2315} + kPresets;
    const QList<int> adminSilent = kLive + QList<int>{2308, 2309, 2314, 2315} + kPresets;
    QTest::newRow("idle") << Status(0, 0, pt, 2, false) << true << true << QList<int>{2300} << false << 0;
    QTest::newRow("reconnecting") << Status(1, 0, pt, 2, false) << true << true << QList<int>{2302} << false << 0;
    QTest::newRow("signing in") << Status(3, 0, pt, 2, false) << true << true << QList<int>{2302} << false << 0;
    QTest::newRow("video open, no picture yet") << Status(5, 0, 0, 2, false) << true << true << QList<int>{2302}
                                                << false << 0;
    QTest::newRow("administrator") << Status(6, 0, 0, 2, false) << true << false << admin << true << 90;
    QTest::newRow("administrator talking") << Status(6, 0, 0, 2, true) << true << false << (admin + QList<int>{2305})
                                           << true << 90;
    QTest::newRow("administrator, MPEG-4 with sound") << Status(8, 0, 0, 1, false) << true << false << admin << true
                                                      << 90;
    QTest::newRow("administrator, sensor and output") << Status(6, 0, 0, 2, false) << true << true
                                                      << (admin + QList<int>{2507, 2508}) << true << 90;
    QTest::newRow("administrator, pan/tilt model") << Status(6, 0, pt, 2, false) << true << false
                                                   << (admin + kPanTiltOnly) << true << 90;
    QTest::newRow("administrator, fixed model") << Status(6, 0, fixed, 2, true) << true << true
                                                << (kLive + QList<int>{2308, 2309, 2314, 2507, 2508}) << false << 20;
    QTest::newRow("administrator, MJPEG has no sound") << Status(6, 0, 0, 0, true) << true << false << adminSilent
                                                       << true << 90;
    QTest::newRow("administrator without a sound device") << Status(6, 0, 0, 2, true) << false << false
                                                          << adminSilent << true << 90;
    QTest::newRow("operator, pan/tilt model") << Status(6, 1, pt, 2, true) << true << true
                                              << (kLive + QList<int>{2303, 2308, 2309} + kPresets + kPanTiltOnly)
                                              << true << 0;
    QTest::newRow("operator, fixed model") << Status(6, 1, fixed, 2, false) << true << true
                                           << (kLive + QList<int>{2308, 2309}) << false << 0;
    QTest::newRow("user, pan/tilt model") << Status(6, 2, pt, 2, true) << true << true
                                          << (kLive + QList<int>{2303}) << false << 0;
    QTest::newRow("user, MJPEG") << Status(6, 3, 0, 0, false) << true << true << kLive << false << 0;
  }
  // The rule and the panel that applies it: exactly these controls show,
  // and motion detection sits where the row leaves room for it.
  void visibility() {
    QFETCH(PaneStatus, status);
    QFETCH(bool, audioReady);
    QFETCH(bool, gio);
    QFETCH(QList<int>, shown);
    QFETCH(bool, pad);
    QFETCH(int, motionLeft);
    PanelSwitches w;
    w.ioEnabled = gio;
    const SidePanelShown rule = SidePanelVisibility(status, w, audioReady);
    QCOMPARE(QList<int>(rule.ids.begin(), rule.ids.end()), Sorted(shown));
    QCOMPARE(rule.pad, pad);
    SidePanel panel(nullptr);
    panel.Apply(status, w, audioReady);
    for (int id : kAllControls) {
      QVERIFY2(panel.Control(id)->isHidden() == !shown.contains(id), qPrintable(QString::number(id)));
    }
    QCOMPARE(panel.Pad()->isHidden(), !pad);
    if (shown.contains(kIdMotionButton)) QCOMPARE(panel.Control(kIdMotionButton)->pos(), QPoint(motionLeft, 140));
  }

  void placesAndTooltips_data() {
    QTest::addColumn<int>("id");
    QTest::addColumn<int>("x");  // -1: placed within its row
    QTest::addColumn<int>("y");
    QTest::addColumn<int>("tooltip");
    const struct {
      int id, x, y, tooltip;
    } table[] = {{2300, 20, 65, 20019},   {2302, 85, 65, 20020},   {2507, 90, 110, 20150},  {2508, 118, 110, 20151},
                 {2303, 20, 140, 20021},  {2304, 48, 140, 20022},  {2314, 90, 140, 20023},  {2315, 118, 140, 20024},
                 {2504, -1, 220, 20147},  {2505, -1, 220, 20148},  {2506, -1, 220, 20149},  {2310, -1, 255, 20114},
                 {2311, -1, 255, 20115},  {2312, -1, 255, 20116},  {2313, -1, 255, 20117},  {2306, 15, 290, 20025},
                 {2307, 45, 290, 20026},  {2309, 85, 290, 20027},  {2308, 115, 290, 20028}, {2500, -1, 335, 20143},
                 {2501, -1, 335, 20144},  {2502, -1, 335, 20145},  {2503, -1, 335, 20146}};
    for (const auto& t : table) QTest::newRow(qPrintable(QString::number(t.id))) << t.id << t.x << t.y << t.tooltip;
  }
  void placesAndTooltips() {
    QFETCH(int, id);
    QFETCH(int, x);
    QFETCH(int, y);
    QFETCH(int, tooltip);
    SidePanel panel(nullptr);
    QWidget* w = panel.Control(id);
    QVERIFY(w != nullptr);
    QCOMPARE(w->objectName(), QString::number(id));
    QCOMPARE(w->y(), y);
    if (x >= 0) QCOMPARE(w->x(), x);
    QCOMPARE(w->toolTip(), StringText(tooltip));
  }

  // The rows hold their buttons inside the panel's 160 pixels without
  // overlapping; the bar, the pad and the combos are where they belong.
  void layoutFitsThePanel() {
    SidePanel panel(nullptr);
    for (int a : kAllControls) {
      const QRect ra = panel.Control(a)->geometry();
      QVERIFY2(ra.left() >= 0 && ra.right() < 160, qPrintable(QString::number(a)));
      for (int b : kAllControls) {
        if (a < b) QVERIFY2(!ra.intersects(panel.Control(b)->geometry()), qPrintable(QStringLiteral("%1 %2").arg(a).arg(b)));
      }
    }
    QCOMPARE(panel.VolumeBar()->pos(), QPoint(10, 175));
    QCOMPARE(panel.VolumeBar()->Range().maximum, 26);
    QCOMPARE(panel.VolumeBar()->objectName(), QStringLiteral("2305"));
    QCOMPARE(panel.Pad()->y(), 380);
    for (int id : {kIdLanCombo, kIdCameraListCombo}) {
      QCOMPARE(panel.Control(id)->geometry(), QRect(0, 29, 160, MComboBox::kClosedHeight));
      QCOMPARE(panel.Control(id)->objectName(), QString::number(id));
    }
    panel.SetCameraListEnabled(true);
    QVERIFY(panel.LanSearchCombo()->isHidden());
    QVERIFY(!panel.CameraListCombo()->isHidden());
  }

  // Each check button shows its own state and no other.
  void checksShowTheirOwnState_data() {
    QTest::addColumn<QString>("state");
    QTest::addColumn<int>("id");
    const struct {
      const char* state;
      int id;
    } table[] = {{"listening", 2303}, {"talking", 2304}, {"motion", 2314}, {"flash", 2315}, {"sensor", 2507},
                 {"output", 2508},    {"flip", 2308},    {"mirror", 2309}, {"recording", 2307}};
    for (const auto& t : table) QTest::newRow(t.state) << QString::fromLatin1(t.state) << t.id;
  }
  void checksShowTheirOwnState() {
    QFETCH(QString, state);
    QFETCH(int, id);
    PaneStatus s = Status(6, 0, kModelPanTilt, 2, false);
    PanelSwitches w;
    w.ioEnabled = true;
    s.listening = state == "listening";
    s.talking = state == "talking";
    s.motionOn = state == "motion";
    s.flashOn = state == "flash";
    s.recording = state == "recording";
    w.sensorOn = state == "sensor";
    w.outputOn = state == "output";
    w.flipped = state == "flip";
    w.mirrored = state == "mirror";
    SidePanel panel(nullptr);
    panel.Apply(s, w, true);
    for (int other : {2303, 2304, 2307, 2308, 2309, 2314, 2315, 2507, 2508}) {
      QVERIFY2(panel.CheckButton(other)->Check() == (other == id), qPrintable(QString::number(other)));
    }
  }

  // A click on each button reaches the current pane's camera; a switch's
  // button is pressed while the switch is on and released when it goes off.
  void clicksReachTheCamera_data() {
    QTest::addColumn<int>("id");
    QTest::addColumn<Lines>("first");
    QTest::addColumn<Lines>("second");  // a switch's second click; empty: a plain button
    QTest::newRow("flip") << 2308 << Lines{"FLIP 0 1"} << Lines{"FLIP 0 0"};
    QTest::newRow("mirror") << 2309 << Lines{"FLIP 1 0"} << Lines{"FLIP 0 0"};
    QTest::newRow("motion detection") << 2314 << Lines{"MOTION 1"} << Lines{"MOTION 0"};
    QTest::newRow("flash") << 2315 << Lines{"LED 1"} << Lines{"LED 0"};
    QTest::newRow("sensor") << 2507 << Lines{"SENSOR 1"} << Lines{"SENSOR 0"};
    QTest::newRow("output") << 2508 << Lines{"GIO 1"} << Lines{"GIO 0"};
    QTest::newRow("scan start") << 2504 << Lines{"SCAN_START"} << Lines{};
    QTest::newRow("scan stop") << 2505 << Lines{"SCAN_STOP"} << Lines{};
    QTest::newRow("function") << 2506 << Lines{"CUSTOM"} << Lines{};
    QTest::newRow("zoom in") << 2310 << Lines{"PTZ 0 0 1 0"} << Lines{};
    QTest::newRow("zoom out") << 2311 << Lines{"PTZ 0 0 -1 0"} << Lines{};
    QTest::newRow("focus in") << 2312 << Lines{"PTZ 0 0 0 1"} << Lines{};
    QTest::newRow("focus out") << 2313 << Lines{"PTZ 0 0 0 -1"} << Lines{};
    QTest::newRow("preset 1") << 2500 << Lines{"PRESET_GOTO 0"} << Lines{};
    QTest::newRow("preset 4") << 2503 << Lines{"PRESET_GOTO 3"} << Lines{};
  }
  void clicksReachTheCamera() {
    QFETCH(int, id);
    QFETCH(Lines, first);
    QFETCH(Lines, second);
    LiveForm f(Camera(kModelPanTilt));
    MButton* button = f.Panel()->Button(id);
    QVERIFY(button->isVisible());
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(Sent(f.link), first);
    auto* check = qobject_cast<MCheckButton*>(button);
    if (second.isEmpty()) {
      QVERIFY(check == nullptr || !check->Check());
      return;
    }
    QVERIFY(check->Check());
    f.link.ClearSent();
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(Sent(f.link), second);
    QVERIFY(!check->Check());
  }

  // The switches the camera reported at sign-in show pressed.
  void checksShowTheCamerasSwitches() {
    LoginInfo info = Camera(kModelPanTilt);
    info.horizontalFlip = info.verticalFlip = info.flash = info.motionEnabled = 1;
    info.sensorEnabled = info.generalOutput1 = 1;
    LiveForm f(info);
    for (int id : {2308, 2309, 2314, 2315, 2507, 2508}) {
      QVERIFY2(f.Panel()->CheckButton(id)->Check(), qPrintable(QString::number(id)));
    }
    QVERIFY(!f.Panel()->RecordButton()->Check());
  }

  // Zoom and focus send again every 200 ms while held; a preset held 2 s
  // is stored instead of gone to, a shorter press goes to it.
  void holding_data() {
    QTest::addColumn<int>("id");
    QTest::addColumn<QList<int>>("polls");
    QTest::addColumn<int>("releaseAt");
    QTest::addColumn<Lines>("sent");
    QTest::newRow("preset 1 tapped") << 2500 << QList<int>{} << 300 << Lines{"PRESET_GOTO 0"};
    QTest::newRow("preset 3 held 2 s is stored") << 2502 << QList<int>{1000, 2000} << 2100 << Lines{"PRESET_SAVE 2"};
    QTest::newRow("preset 2 held 4 s is stored once") << 2501 << QList<int>{2000, 4000} << 4100
                                                     << Lines{"PRESET_SAVE 1"};
    QTest::newRow("preset 4 let go at 1.9 s goes") << 2503 << QList<int>{1000, 1900} << 1950 << Lines{"PRESET_GOTO 3"};
    QTest::newRow("zoom in held 1 s") << 2310 << QList<int>{200, 400, 600, 800, 1000} << 1000
                                      << Lines(5, QByteArray("PTZ 0 0 1 0"));
    QTest::newRow("focus out held 0.5 s") << 2313 << QList<int>{200, 400} << 500 << Lines(2, QByteArray("PTZ 0 0 0 -1"));
  }
  void holding() {
    QFETCH(int, id);
    QFETCH(QList<int>, polls);
    QFETCH(int, releaseAt);
    LiveForm f(Camera(kModelPanTilt));
    MButton* button = f.Panel()->Button(id);
    FakeClock clock;
    button->Hold()->SetClock(clock.Fn());
    Mouse(button, QEvent::MouseButtonPress);
    for (int t : polls) {
      clock.At(t);
      button->Hold()->Poll();
    }
    clock.At(releaseAt);
    Mouse(button, QEvent::MouseButtonRelease);
    QCoreApplication::processEvents();
    QTEST(Sent(f.link), "sent");
  }

  // The bar sets the talking camera's speaker volume (stored) where it is
  // let go, even when the pane's state is refreshed during the drag.
  void volumeBarSetsTheVolume_data() {
    QTest::addColumn<int>("pixel");
    QTest::addColumn<int>("volume");
    QTest::newRow("low end") << 7 << 0;
    QTest::newRow("10") << 57 << 10;
    QTest::newRow("high end") << 137 << 26;
  }
  void volumeBarSetsTheVolume() {
    QFETCH(int, pixel);
    QFETCH(int, volume);
    LiveForm f(Camera(0));
    // Each row starts from the stored defaults: not talking, volume 7.
    struct Defaults {
      const SettingsKey& key;
      Defaults(const SettingsKey& k) : key(k) { Write(); }
      ~Defaults() { Write(); }
      void Write() {
        WriteSettingDword(key, settings::kSpkEnable, 0);
        WriteSettingDword(key, settings::kSpkVolume, 7);
      }
    } defaults(f.Session().Settings());
    QVERIFY(!f.Session().Audio().SpeakerOn());
    QTest::mouseClick(f.Panel()->SpeakerButton(), Qt::LeftButton);
    QTRY_VERIFY(f.Session().Audio().SpeakerOn());
    MTrackBar* bar = f.Panel()->VolumeBar();
    QVERIFY(bar->isVisible());
    QCOMPARE(bar->Pos(), 7);
    const QPoint at(pixel, bar->height() / 2);
    QTest::mousePress(bar, Qt::LeftButton, {}, at);
    PostWindowMessage(&f.form, WM_PANE_STATUS, 0, 0);
    QCoreApplication::processEvents();
    QTest::mouseRelease(bar, Qt::LeftButton, {}, at);
    QCOMPARE(f.Session().Audio().Volume(), volume);
    QCOMPARE(ReadSettingDword(f.Session().Settings(), settings::kSpkVolume), volume);
    QCOMPARE(bar->Pos(), volume);
  }
};

QTEST_MAIN(SidePanelTest)
#include "SidePanelTest.moc"
