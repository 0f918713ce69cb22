// A pane's alarms on a fake link, a fake clock and alarm timers that run a
// thousand times faster: who reacts to motion and sensor events, the clip's
// file and length rule, events during a clip, what ends a clip, sensor
// counting by rises, the sound and the activation of the main window, the
// pause of a hidden pane's pictures, and the motion label's colour.
#include <QtTest>

#include <QLabel>
#include <filesystem>

#include "AlarmSound.h"
#include "FakePaneLink.h"
#include "RecordingPresenter.h"
#include "TopMost.h"
#include "base/HDDManager.h"
#include "controls/MInfoBox.h"
#include "controls/MessageBoxes.h"
#include "link/LinkMessages.h"
#include "pane/MViewer.h"

namespace fs = std::filesystem;

Q_DECLARE_METATYPE(std::vector<int>)

namespace {

// One designed second of the alarm's timers.
constexpr std::chrono::milliseconds kSecond{1};
// Generous: the timers are short, the machine is shared.
constexpr int kDeadlineMs = 10000;

struct FakeClock {
  LocalTime now{2009, 10, 21, 13, 56, 56};
  LocalClock Clock() {
    return [this] { return now; };
  }
};

// Collects what a pane posts to its form.
class FormSpy : public QObject {
 public:
  QList<unsigned> posted;

 protected:
  bool event(QEvent* e) override {
    if (auto* m = dynamic_cast<WindowMessageEvent*>(e)) {
      posted << m->message();
      return true;
    }
    return QObject::event(e);
  }
};

LoginInfo Switches(bool motion, bool sensor) {
  LoginInfo info{};
  info.motionEnabled = motion ? 1 : 0;
  info.ioEnabled = 1;
  info.sensorEnabled = sensor ? 1 : 0;
  return info;
}

// The pane's own boxes shown now.
int OpenInfoBoxes() {
  int n = 0;
  for (QWidget* w : QApplication::topLevelWidgets()) n += qobject_cast<MInfoBox*>(w) != nullptr && w->isVisible();
  return n;
}

bool RegisteredWithDiskManager(const std::string& dir) {
  for (int i = 0; i < HDDManager::kEntries; ++i) {
    const HDDManager::EntryView e = HDDManager::Instance().Entry(i);
    if (e.inUse && e.dir == dir) return true;
  }
  return false;
}

// A shown pane on a fake link recording into |records|.
struct Pane {
  FakePaneLink link;
  FakeClock clock;
  FormSpy form;
  std::unique_ptr<MViewer> pane;
  Pane(const std::string& records, int group, const LoginInfo& info, int state = kPaneLive) {
    SessionOptions o;
    o.link = &link;
    o.clock = clock.Clock();
    o.alarmSecond = kSecond;
    pane = std::make_unique<MViewer>(nullptr, &form, 0, 0, QRect(0, 0, 220, 200), o);
    WriteSettingString(S().Settings(), settings::kRecordDir, QString::fromStdString(records));
    pane->show();
    DriveSession(S(), link, state, group, info);
    QCoreApplication::processEvents();
  }
  ViewerSession& S() { return pane->Session(); }
  PaneAlarms& A() { return S().Alarms(); }
  void Set(const settings::DwordSetting& s, int v) { WriteSettingDword(S().Settings(), s, v); }
  void Motion() { DeliverToSession(S(), WM_MOTION_ALARM); }
  void Sensor(int active) { DeliverToSession(S(), WM_SENSOR_ALARM, static_cast<std::uintptr_t>(active)); }
  bool LabelRed() const { return pane->MotionLabel()->palette().color(QPalette::WindowText) == QColor(255, 0, 0); }
};

}  // namespace

class AlarmTest : public QObject {
  Q_OBJECT
  QTemporaryDir dir_;
  RecordingPresenter boxes_;
  std::string records_;
  QStringList sounds_;

  std::string PaneDir() const { return records_ + "/VIEWER00"; }

 private slots:
  void initTestCase() {
    qputenv("XDG_CONFIG_HOME", dir_.filePath("config").toUtf8());
    qputenv("XDG_DATA_HOME", dir_.filePath("data").toUtf8());
    SetBoxPresenter(&boxes_);
    records_ = dir_.filePath("records").toStdString();
    SetAlarmSoundHook([this](const QString& file) { sounds_ << file; });
  }
  void cleanupTestCase() {
    SetAlarmSoundHook(nullptr);
    SetBoxPresenter(nullptr);
  }
  // Each test records into an empty folder: the recorder never writes over
  // a file an earlier test left with the same name (it adds a number).
  void init() {
    std::filesystem::remove_all(records_);
    boxes_.shown.clear();
    sounds_.clear();
  }

  // Only an administrator's live pane with motion detection on counts and
  // records a motion event.
  void motionReaction_data() {
    QTest::addColumn<int>("group");
    QTest::addColumn<int>("state");
    QTest::addColumn<bool>("motionOn");
    QTest::addColumn<bool>("reacts");
    QTest::newRow("administrator, live, on") << 0 << kPaneLive << true << true;
    QTest::newRow("administrator, live with sound") << 0 << kPaneLiveAudio << true << true;
    QTest::newRow("group 1") << 1 << kPaneLive << true << false;
    QTest::newRow("group 2") << 2 << kPaneLive << true << false;
    QTest::newRow("video open, not yet live") << 0 << kPaneVideoOpen << true << false;
    QTest::newRow("motion detection off") << 0 << kPaneLive << false << false;
  }
  void motionReaction() {
    QFETCH(int, group);
    QFETCH(int, state);
    QFETCH(bool, motionOn);
    QFETCH(bool, reacts);
    Pane p(records_, group, Switches(motionOn, false), state);
    p.Set(settings::kMdPlaySound, 1);
    p.Motion();
    QCOMPARE(p.S().Controls().MotionCount(), reacts ? 1 : 0);
    QCOMPARE(p.A().AlarmRecording(), reacts);
    QCOMPARE(p.S().Recording().FileOpen(), reacts);
    QCOMPARE(sounds_.size(), reacts ? 1 : 0);
    if (reacts) {
      QCOMPARE(p.S().Recording().CurrentFile(), PaneDir() + "/2009_10_21/13/MD_56_56.avi");
      QVERIFY(fs::exists(p.S().Recording().CurrentFile()));
      QVERIFY(RegisteredWithDiskManager(PaneDir()));
      QVERIFY(!p.S().Recording().Recording());  // not the manual recording
    }
  }

  // The stored length: a multiple of ten as it is, anything else a minute
  // (values outside 10..60 read as the default 10).
  void clipLength_data() {
    QTest::addColumn<int>("stored");
    QTest::addColumn<int>("seconds");
    QTest::newRow("10") << 10 << 10;
    QTest::newRow("30") << 30 << 30;
    QTest::newRow("60") << 60 << 60;
    QTest::newRow("25 is a minute") << 25 << 60;
    QTest::newRow("11 is a minute") << 11 << 60;
    QTest::newRow("0 is outside the range") << 0 << 10;
    QTest::newRow("70 is outside the range") << 70 << 10;
  }
  void clipLength() {
    QFETCH(int, stored);
    QFETCH(int, seconds);
    Pane p(records_, 0, Switches(true, false));
    p.Set(settings::kMdDuration, stored);
    p.Motion();
    QCOMPARE(p.A().AlarmSeconds(), seconds);
  }

  // Events during a clip are neither counted nor recorded; the clip ends by
  // its timer (file closed, directory let go, label white again), and the
  // next event starts a new one.
  void clipEndsAndTheNextEventCounts() {
    Pane p(records_, 0, Switches(true, false));
    p.Motion();
    const std::string first = p.S().Recording().CurrentFile();
    QVERIFY(p.LabelRed());
    p.Motion();
    p.Motion();
    QCOMPARE(p.S().Controls().MotionCount(), 1);
    QCOMPARE(p.S().Recording().CurrentFile(), first);
    QTRY_VERIFY_WITH_TIMEOUT(!p.A().AlarmRecording(), kDeadlineMs);
    QVERIFY(!p.S().Recording().FileOpen());
    QVERIFY(!RegisteredWithDiskManager(PaneDir()));
    QVERIFY(!p.LabelRed());
    QCOMPARE(p.pane->MotionLabel()->text(), QStringLiteral("MD:1"));
    p.clock.now.second = 58;
    p.Motion();
    QCOMPARE(p.S().Controls().MotionCount(), 2);
    QCOMPARE(p.S().Recording().CurrentFile(), PaneDir() + "/2009_10_21/13/MD_56_58.avi");
  }

  // What else ends a running clip at once: log-out and switching motion
  // detection off (which also hides the label).
  void clipEndsEarly_data() {
    QTest::addColumn<bool>("logOut");
    QTest::newRow("log-out") << true;
    QTest::newRow("motion detection off") << false;
  }
  void clipEndsEarly() {
    QFETCH(bool, logOut);
    Pane p(records_, 0, Switches(true, false));
    p.Set(settings::kMdDuration, 60);
    p.Motion();
    QVERIFY(p.A().AlarmRecording());
    const std::string file = p.S().Recording().CurrentFile();
    if (logOut) {
      p.S().LogOut();
    } else {
      QCOMPARE(p.S().Controls().SetMotionDetection(0), 1);
    }
    QVERIFY(!p.A().AlarmRecording());
    QVERIFY(!p.S().Recording().FileOpen());
    QVERIFY(!RegisteredWithDiskManager(PaneDir()));
    QVERIFY(!fs::exists(file));  // closed; the fake camera sent no picture, so it is not kept
    QVERIFY(!p.pane->MotionLabel()->isVisibleTo(p.pane.get()));
  }

  // A manual recording keeps its file: the event is counted, no clip, and
  // motion detection switched off does not end it.
  void manualRecordingKeepsItsFile() {
    Pane p(records_, 0, Switches(true, false));
    QCOMPARE(p.S().Recording().SetRecording(1, 0, 0), 1);
    const std::string manual = p.S().Recording().CurrentFile();
    p.Motion();
    QCOMPARE(p.S().Controls().MotionCount(), 1);
    QVERIFY(!p.A().AlarmRecording());
    QCOMPARE(p.S().Recording().CurrentFile(), manual);
    QVERIFY(p.S().Recording().Recording());
    // Switching motion detection off, with no clip running, leaves it alone.
    QCOMPARE(p.S().Controls().SetMotionDetection(0), 1);
    QVERIFY(p.S().Recording().FileOpen());
    QCOMPARE(p.S().Recording().CurrentFile(), manual);
    QVERIFY(RegisteredWithDiskManager(PaneDir()));
    QCOMPARE(p.S().Recording().SetRecording(0, 0, 0), 1);
  }

  // A clip whose file cannot be made shows the box once; its timer still
  // ends the alarm, so the next event counts again.
  void failedClipStillEnds() {
    Pane p(records_, 0, Switches(true, false));
    p.link.keyFrame = 0;  // the file's first key frame cannot be asked for
    p.Motion();
    QCOMPARE(OpenInfoBoxes(), 1);
    QVERIFY(!p.A().AlarmRecording());
    QVERIFY(!p.S().Recording().FileOpen());
    p.Motion();
    QCOMPARE(p.S().Controls().MotionCount(), 1);
    QCOMPARE(OpenInfoBoxes(), 1);
    QTRY_VERIFY_WITH_TIMEOUT(!RegisteredWithDiskManager(PaneDir()), kDeadlineMs);
    p.link.keyFrame = 1;
    p.Motion();
    QCOMPARE(p.S().Controls().MotionCount(), 2);
    QVERIFY(p.A().AlarmRecording());
  }

  // Sensor events count each rise of the input, follow its state in the
  // label's colour, and never record.
  void sensorCounting_data() {
    QTest::addColumn<int>("group");
    QTest::addColumn<bool>("sensorOn");
    QTest::addColumn<std::vector<int>>("events");
    QTest::addColumn<int>("count");
    QTest::addColumn<bool>("active");
    QTest::addColumn<int>("sounds");
    QTest::newRow("1 1 0 1") << 0 << true << std::vector<int>{1, 1, 0, 1} << 2 << true << 2;
    QTest::newRow("1 0") << 0 << true << std::vector<int>{1, 0} << 1 << false << 1;
    QTest::newRow("0 0 0") << 0 << true << std::vector<int>{0, 0, 0} << 0 << false << 0;
    QTest::newRow("any non-zero is active") << 0 << true << std::vector<int>{2, 0, 7} << 2 << true << 2;
    QTest::newRow("group 1") << 1 << true << std::vector<int>{1, 0, 1} << 0 << false << 0;
    QTest::newRow("group 2") << 2 << true << std::vector<int>{1, 0, 1} << 0 << false << 0;
    QTest::newRow("sensor off") << 0 << false << std::vector<int>{1, 0, 1} << 0 << false << 0;
  }
  void sensorCounting() {
    QFETCH(int, group);
    QFETCH(bool, sensorOn);
    QFETCH(std::vector<int>, events);
    QFETCH(int, count);
    QFETCH(bool, active);
    QFETCH(int, sounds);
    Pane p(records_, group, Switches(false, sensorOn));
    p.Set(settings::kMdPlaySound, 1);
    for (int e : events) p.Sensor(e);
    QCOMPARE(p.S().Controls().SensorCount(), count);
    QCOMPARE(p.S().Controls().SensorActive(), active);
    QCOMPARE(sounds_.size(), sounds);
    QVERIFY(!p.S().Recording().FileOpen());
    if (group == 0 && sensorOn) {
      QCOMPARE(p.pane->SensorLabel()->text(), QStringLiteral("SD:%1").arg(count));
      QCOMPARE(p.pane->SensorLabel()->palette().color(QPalette::WindowText) == QColor(255, 0, 0), active);
    }
  }

  // What an alarm announces by the settings: the sound with its stored file,
  // leaving full screen, and the main window on top for two seconds (the
  // user's own always-on-top choice stays).
  void announcement_data() {
    QTest::addColumn<bool>("motion");
    QTest::addColumn<bool>("playSound");
    QTest::addColumn<bool>("activate");
    QTest::addColumn<bool>("fullScreen");
    QTest::newRow("motion, nothing set") << true << false << false << false;
    QTest::newRow("motion, sound") << true << true << false << false;
    QTest::newRow("motion, activate, full screen") << true << false << true << true;
    QTest::newRow("sensor, sound and activate") << false << true << true << false;
    QTest::newRow("sensor, full screen") << false << false << false << true;
  }
  void announcement() {
    QFETCH(bool, motion);
    QFETCH(bool, playSound);
    QFETCH(bool, activate);
    QFETCH(bool, fullScreen);
    Pane p(records_, 0, Switches(true, true));
    p.Set(settings::kMdPlaySound, playSound ? 1 : 0);
    p.Set(settings::kMdActivateViewer, activate ? 1 : 0);
    p.Set(settings::kMdDuration, 60);
    WriteSettingString(p.S().Settings(), settings::kMdSoundFile, QStringLiteral("/alarm/Tür.wav"));
    p.pane->SetFullScreen(fullScreen);
    p.form.posted.clear();
    if (motion) {
      p.Motion();
    } else {
      p.Sensor(1);
    }
    QCOMPARE(sounds_, playSound ? QStringList{QStringLiteral("/alarm/Tür.wav")} : QStringList{});
    QCOMPARE(p.A().Activating(), activate);
    QCOMPARE(p.pane->windowFlags().testFlag(Qt::WindowStaysOnTopHint), activate);
    QCoreApplication::processEvents();
    QCOMPARE(p.form.posted.count(WM_PANE_FULLSCREEN), fullScreen ? 1 : 0);
    QTRY_VERIFY_WITH_TIMEOUT(!p.A().Activating(), kDeadlineMs);
    QVERIFY(!p.pane->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    if (activate) {
      // With the user's always-on-top on, the window stays on top.
      ToggleAlwaysOnTop(p.pane.get());
      p.A().EndAlarmRecording();
      p.Motion();
      p.Sensor(0);
      p.Sensor(1);
      QTRY_VERIFY_WITH_TIMEOUT(!p.A().Activating(), kDeadlineMs);
      QVERIFY(p.pane->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
      ToggleAlwaysOnTop(p.pane.get());
    }
  }

  // A program in the tray has its pictures paused: a clip starts them and,
  // when the window is still hidden at its end, pauses them again.
  void pausedPicturesDuringAClip_data() {
    QTest::addColumn<bool>("hiddenAtEnd");
    QTest::newRow("still hidden") << true;
    QTest::newRow("shown again") << false;
  }
  void pausedPicturesDuringAClip() {
    QFETCH(bool, hiddenAtEnd);
    Pane p(records_, 0, Switches(true, false));
    p.pane->hide();
    p.S().Audio().SetVideoPaused(1);
    QVERIFY(p.S().Audio().VideoPaused());
    p.Motion();
    QVERIFY(p.A().AlarmRecording());
    QVERIFY(!p.S().Audio().VideoPaused());
    if (!hiddenAtEnd) p.pane->show();
    QTRY_VERIFY_WITH_TIMEOUT(!p.A().AlarmRecording(), kDeadlineMs);
    QCOMPARE(p.S().Audio().VideoPaused(), hiddenAtEnd);
  }
};

QTEST_MAIN(AlarmTest)
#include "AlarmTest.moc"
