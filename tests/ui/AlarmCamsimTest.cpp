// Alarms of panes live on the camera simulator, driven by its motion and
// sensor commands: a motion event records an "MD_" clip of the set length
// (a length that is not a multiple of ten records a minute, run here with a
// faster alarm second), read by ffprobe and decoded by ffmpeg without an
// error, and a second event during the clip is not counted; panes of groups
// 1 and 2 ignore both kinds of event; the sensor counts each rise.
#include <QtTest>

#include <QProcess>
#include <filesystem>

#include "CamsimProcess.h"
#include "MediaProbe.h"
#include "RecordingPresenter.h"
#include "controls/MessageBoxes.h"
#include "link/LinkEngine.h"
#include "pane/ViewerSession.h"
#include "video/Convert.h"
#include "video/VideoSurface.h"

namespace fs = std::filesystem;

namespace {

using mediaprobe::DecodeErrors;
using mediaprobe::Duration;
using mediaprobe::Probe;

// Every file below |dir|.
std::vector<std::string> FilesBelow(const std::string& dir) {
  std::vector<std::string> files;
  std::error_code ec;
  if (!fs::exists(dir, ec)) return files;
  for (const auto& e : fs::recursive_directory_iterator(dir, ec)) {
    if (e.is_regular_file()) files.push_back(e.path().string());
  }
  return files;
}

// Generous deadlines: the machine is shared.
constexpr int kEventDeadlineMs = 10000;

}  // namespace

class AlarmCamsimTest : public QObject {
  Q_OBJECT

  QTemporaryDir dir_;
  CamsimProcess camsim_;
  RecordingPresenter presenter_;
  BoxPresenter* previous_ = nullptr;

  bool GoLive(ViewerSession& s, int camera, const char* user = "admin") {
    SignInFields f;
    f.url = QStringLiteral("127.0.0.1");
    f.port = QString::number(camsim_.Port(camera));
    f.id = QString::fromLatin1(user);
    f.password = QString::fromLatin1(user);
    if (s.SignIn(f) != 1) return false;
    for (int i = 0; i < 200 && s.State() < kPaneLive; ++i) QTest::qWait(50);
    return s.State() >= kPaneLive;
  }

  std::string Records(int camera) const { return dir_.filePath("records").toStdString() + "/VIEWER0" + std::to_string(camera); }

  // Waits until the simulator reports motion detection on for |camera|.
  bool CameraHasMotionDetection(int camera) {
    const std::string line = "camera " + std::to_string(camera) + " ";
    for (int i = 0; i < 200; ++i) {
      std::string answer;
      if (camsim_.Admin("status", &answer)) {
        const std::size_t at = answer.find(line);
        if (at != std::string::npos && answer.find(" md 1", at) < answer.find('\n', at)) return true;
      }
      QTest::qWait(50);
    }
    return false;
  }
  bool Admin(const std::string& command) {
    std::string answer;
    return camsim_.Admin(command, &answer) && answer.rfind("OK", 0) == 0;
  }

 private slots:
  void initTestCase() {
    if (QString::fromLatin1(FFPROBE).isEmpty() || QString::fromLatin1(FFMPEG).isEmpty()) {
      QSKIP("ffprobe and ffmpeg judge the recordings; they are not installed");
    }
    QVERIFY(dir_.isValid());
    if (!qEnvironmentVariableIsEmpty("TESSORA_KEEP_FILES")) {
      dir_.setAutoRemove(false);
      qInfo("files in %s", qPrintable(dir_.path()));
    }
    qputenv("XDG_CONFIG_HOME", dir_.filePath("config").toUtf8());
    qputenv("XDG_DATA_HOME", dir_.filePath("data").toUtf8());
    QVERIFY2(camsim_.Start(dir_.path(), 3), "camsim did not start");
    QCOMPARE(StartLinkEngine(), 1);
    previous_ = SetBoxPresenter(&presenter_);
  }

  void cleanupTestCase() {
    SetBoxPresenter(previous_);
    StopLinkEngine();
    camsim_.Stop();
  }

  // The clip: one file named MD_mm_ss.avi of about the designed length, its
  // codec the camera's, decoded cleanly; a second event while it records is
  // not counted and starts no second file.
  void motionClip_data() {
    QTest::addColumn<int>("camera");
    QTest::addColumn<QString>("codec");
    QTest::addColumn<int>("stored");
    QTest::addColumn<int>("secondMs");  // one second of the alarm's timers
    QTest::addColumn<double>("seconds");  // the clip's expected length
    QTest::newRow("H.264, 10 s") << 0 << "h264" << 10 << 1000 << 10.0;
    QTest::newRow("MPEG-4, 25 is a minute (at a tenth of the time)") << 1 << "mpeg4" << 25 << 100 << 6.0;
  }
  void motionClip() {
    QFETCH(int, camera);
    QFETCH(QString, codec);
    QFETCH(int, stored);
    QFETCH(int, secondMs);
    QFETCH(double, seconds);
    SessionOptions o;
    o.alarmSecond = std::chrono::milliseconds(secondMs);
    BufferSurface surface(kKindRGB32);
    ViewerSession s(camera, camera, &surface, nullptr, nullptr, o);
    WriteSettingString(s.Settings(), settings::kRecordDir, dir_.filePath("records"));
    WriteSettingDword(s.Settings(), settings::kMdDuration, stored);
    QVERIFY(GoLive(s, camera));
    QCOMPARE(s.Controls().SetMotionDetection(1), 1);
    QVERIFY(CameraHasMotionDetection(camera));  // the camera took the switch before the event
    QVERIFY(Admin("motion " + std::to_string(camera)));
    QTRY_VERIFY_WITH_TIMEOUT(s.Alarms().AlarmRecording(), kEventDeadlineMs);
    QCOMPARE(s.Controls().MotionCount(), 1);
    QCOMPARE(s.Alarms().AlarmSeconds(), stored % 10 == 0 ? stored : 60);
    const std::string file = s.Recording().CurrentFile();
    QVERIFY2(fs::path(file).filename().string().rfind("MD_", 0) == 0, file.c_str());
    QTest::qWait(1000);
    QVERIFY(Admin("motion " + std::to_string(camera)));
    QTRY_VERIFY_WITH_TIMEOUT(!s.Alarms().AlarmRecording(), static_cast<int>(seconds * 1000) + 20000);
    QCOMPARE(s.Controls().MotionCount(), 1);
    QCOMPARE(s.Controls().SetMotionDetection(0), 1);
    s.LogOut();

    QCOMPARE(FilesBelow(Records(camera)), std::vector<std::string>{file});
    QCOMPARE(Probe(file, "v", "codec_name"), codec);
    const double length = Duration(file);
    qInfo("%s: %.2f s", fs::path(file).filename().c_str(), length);
    QVERIFY2(std::abs(length - seconds) < 1.5, qPrintable(QString::number(length)));
    QCOMPARE(DecodeErrors(file), QString());
    fs::remove_all(Records(camera));
  }

  // Panes signed in as group 1 or 2 ignore motion and sensor events, with
  // motion detection and the sensor input on at the camera.
  void otherGroupsIgnoreAlarms_data() {
    QTest::addColumn<QString>("user");
    QTest::newRow("group 1") << "power";
    QTest::newRow("group 2") << "user";
  }
  void otherGroupsIgnoreAlarms() {
    QFETCH(QString, user);
    constexpr int kCamera = 2;
    BufferSurface surface(kKindRGB32);
    {
      // An administrator switches motion detection on at the camera.
      ViewerSession admin(kCamera, kCamera, &surface, nullptr, nullptr, {});
      QVERIFY(GoLive(admin, kCamera));
      QCOMPARE(admin.Controls().SetMotionDetection(1), 1);
      QVERIFY(CameraHasMotionDetection(kCamera));
      admin.LogOut();
    }
    ViewerSession s(kCamera, kCamera, &surface, nullptr, nullptr, {});
    WriteSettingString(s.Settings(), settings::kRecordDir, dir_.filePath("records"));
    QVERIFY(GoLive(s, kCamera, user.toLatin1().constData()));
    QVERIFY(s.Group() != 0);
    QVERIFY(s.Controls().MotionOn());
    QVERIFY(Admin("motion 2"));
    QVERIFY(Admin("sensor 2 1"));
    QVERIFY(Admin("sensor 2 0"));
    QVERIFY(Admin("sensor 2 1"));
    QTest::qWait(1500);
    QCOMPARE(s.Controls().MotionCount(), 0);
    QCOMPARE(s.Controls().SensorCount(), 0);
    QVERIFY(!s.Alarms().AlarmRecording());
    s.LogOut();
    QCOMPARE(FilesBelow(Records(kCamera)), std::vector<std::string>{});
  }

  // The sensor input 1, 1, 0, 1 counts two rises, follows the input's
  // state, and records nothing.
  void sensorCountsRises() {
    constexpr int kCamera = 1;
    BufferSurface surface(kKindRGB32);
    ViewerSession s(kCamera, kCamera, &surface, nullptr, nullptr, {});
    WriteSettingString(s.Settings(), settings::kRecordDir, dir_.filePath("records"));
    QVERIFY(GoLive(s, kCamera));
    QVERIFY(s.Controls().SensorOn());
    QVERIFY(!s.Controls().SensorActive());
    QVERIFY(Admin("sensor 1 1"));
    QTRY_VERIFY_WITH_TIMEOUT(s.Controls().SensorActive(), kEventDeadlineMs);
    QCOMPARE(s.Controls().SensorCount(), 1);
    QVERIFY(Admin("sensor 1 1"));
    QVERIFY(Admin("sensor 1 0"));
    QTRY_VERIFY_WITH_TIMEOUT(!s.Controls().SensorActive(), kEventDeadlineMs);
    QCOMPARE(s.Controls().SensorCount(), 1);
    QVERIFY(Admin("sensor 1 1"));
    QTRY_VERIFY_WITH_TIMEOUT(s.Controls().SensorActive(), kEventDeadlineMs);
    QCOMPARE(s.Controls().SensorCount(), 2);
    QVERIFY(!s.Recording().FileOpen());
    s.LogOut();
    QCOMPARE(FilesBelow(Records(kCamera)), std::vector<std::string>{});
  }
};

QTEST_MAIN(AlarmCamsimTest)
#include "AlarmCamsimTest.moc"
