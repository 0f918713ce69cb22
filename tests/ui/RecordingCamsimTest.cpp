// Recordings and snapshots of panes live on the camera simulator: a manual
// recording with a period of 1 minute, on a clock the test moves across
// midnight, gives three files in the right day and hour directories, each
// read by ffprobe with the camera's codec and its length and decoded by
// ffmpeg without an error, with the sound while listening; a snapshot is
// the camera's own picture at its size.
#include <QtTest>

#include <QImage>
#include <QProcess>
#include <cmath>
#include <filesystem>

#include "CamsimProcess.h"
#include "MediaProbe.h"
#include "FakeAudioDevices.h"
#include "RecordingPresenter.h"
#include "support/PatternRgb.h"
#include "controls/MessageBoxes.h"
#include "link/LinkEngine.h"
#include "pane/ViewerSession.h"
#include "video/Convert.h"
#include "video/VideoSurface.h"

namespace fs = std::filesystem;

namespace {

constexpr int kLoopFrames = 250;  // the simulator's 10 s loop at 25 fps

struct FakeClock {
  LocalTime now;
  LocalClock Clock() {
    return [this] { return now; };
  }
};

using mediaprobe::DecodeErrors;
using mediaprobe::Duration;
using mediaprobe::Probe;

// Mean difference per channel between |image| and frame |frame| of camera
// |camera| as the simulator draws it, on a grid of every 8th pixel.
double Difference(const QImage& image, int camera, int frame) {
  constexpr int w = 640, h = 480;
  const std::vector<unsigned char> ref = testsupport::PatternRgb(camera, frame, w, h);
  double sum = 0;
  int n = 0;
  for (int row = 0; row < h; row += 8) {
    for (int col = 0; col < w; col += 8) {
      const QRgb px = image.pixel(col, row);
      const int got[3] = {qRed(px), qGreen(px), qBlue(px)};
      for (int c = 0; c < 3; ++c) sum += std::abs(ref[(static_cast<std::size_t>(row) * w + col) * 3 + c] - got[c]);
      n += 3;
    }
  }
  return sum / n;
}

double BestDifference(const QImage& image, int camera) {
  double best = 1e9;
  for (int f = 0; f < kLoopFrames; ++f) best = std::min(best, Difference(image, camera, f));
  return best;
}

}  // namespace

class RecordingCamsimTest : public QObject {
  Q_OBJECT

  QTemporaryDir dir_;
  CamsimProcess camsim_;
  RecordingPresenter presenter_;
  BoxPresenter* previous_ = nullptr;

  bool GoLive(ViewerSession& s, int camera) {
    SignInFields f;
    f.url = QStringLiteral("127.0.0.1");
    f.port = QString::number(camsim_.Port() + camera);
    f.id = QStringLiteral("admin");
    f.password = QStringLiteral("admin");
    if (s.SignIn(f) != 1) return false;
    for (int i = 0; i < 200 && s.State() < kPaneLive; ++i) QTest::qWait(50);
    return s.State() >= kPaneLive;
  }

 private slots:
  void initTestCase() {
    if (QString::fromLatin1(FFPROBE).isEmpty() || QString::fromLatin1(FFMPEG).isEmpty()) {
      QSKIP("ffprobe and ffmpeg judge the recordings; they are not installed");
    }
    QVERIFY(dir_.isValid());
    // TESSORA_KEEP_FILES keeps the recordings for a look afterwards.
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

  void filesAcrossMidnight_data() {
    QTest::addColumn<int>("camera");
    QTest::addColumn<QString>("codec");
    QTest::addColumn<bool>("listening");
    QTest::newRow("H.264 with sound") << 0 << "h264" << true;
    QTest::newRow("MPEG-4") << 1 << "mpeg4" << false;
    QTest::newRow("Motion JPEG") << 2 << "mjpeg" << false;
  }
  void filesAcrossMidnight() {
    QFETCH(int, camera);
    QFETCH(QString, codec);
    QFETCH(bool, listening);
    FakeAudioFactory audio;
    auto output = audio.MakeOutput();
    auto input = audio.MakeInput();
    FakeClock clock;
    clock.now = LocalTime{2009, 12, 31, 23, 59, 58};
    SessionOptions o;
    o.clock = clock.Clock();
    BufferSurface surface(kKindRGB32);
    ViewerSession s(camera, camera, &surface, nullptr, nullptr, o);
    s.Audio().SetAudioDevices(output.get(), input.get());
    const std::string records = dir_.filePath("녹화 폴더").toStdString();
    WriteSettingString(s.Settings(), settings::kRecordDir, QString::fromStdString(records));
    WriteSettingDword(s.Settings(), settings::kRecordPeriod, 1);
    QVERIFY(GoLive(s, camera));
    if (listening) QCOMPARE(s.Audio().SetMic(1, 0), 1);
    const std::uint64_t before = s.Render().FramesPresented() + s.Render().FramesSkipped();

    QCOMPARE(s.Recording().SetRecording(1, 0, 0), 1);
    QTest::qWait(2500);
    clock.now = LocalTime{2010, 1, 1, 0, 0, 0};
    s.Recording().CheckRecordPeriod(1);
    QTest::qWait(2500);
    clock.now = LocalTime{2010, 1, 1, 0, 1, 0};
    s.Recording().CheckRecordPeriod(2);
    QTest::qWait(2500);
    QCOMPARE(s.Recording().SetRecording(0, 0, 0), 1);
    const std::uint64_t taken = s.Render().FramesPresented() + s.Render().FramesSkipped() - before;
    s.LogOut();

    const std::string pane = records + "/VIEWER0" + std::to_string(camera);
    const std::vector<std::string> files = {pane + "/2009_12_31/23/59_58.avi", pane + "/2010_01_01/00/00_00.avi",
                                            pane + "/2010_01_01/00/01_00.avi"};
    for (const std::string& file : files) {
      QVERIFY2(fs::exists(file), file.c_str());
      QCOMPARE(Probe(file, "v", "codec_name"), codec);
      QCOMPARE(Probe(file, "v", "width"), QStringLiteral("640"));
      const double seconds = Duration(file);
      QVERIFY2(seconds > 1.5 && seconds < 4.0, qPrintable(QStringLiteral("%1: %2 s").arg(QString::fromStdString(file)).arg(seconds)));
      // The sound track holds the camera's sound only while listening.
      QCOMPARE(Probe(file, "a", "codec_name"), QStringLiteral("pcm_mulaw"));
      const int soundPackets = Probe(file, "a", "nb_read_packets", true).toInt();
      QCOMPARE(soundPackets > 0, listening);
      QCOMPARE(DecodeErrors(file), QString());
    }
    // What the two splits cost: frames the render took while recording that
    // no file holds (counted by decoding every file).
    int decoded = 0;
    for (const std::string& file : files) {
      decoded += Probe(file, "v", "nb_read_frames", true).toInt();
    }
    qInfo("camera %d: render took %llu frames while recording, files hold %d (%d per split)", camera,
          static_cast<unsigned long long>(taken), decoded, static_cast<int>((static_cast<int>(taken) - decoded) / 2));
    QVERIFY(decoded > 0);
    QVERIFY2(static_cast<int>(taken) - decoded <= 2 * 10, "a split lost more than 10 frames");
  }

  // A snapshot of each codec's camera is its picture at 640 x 480.
  void snapshotIsTheCamerasPicture() {
    const QString captures = dir_.filePath("사진");
    QVERIFY(QDir().mkpath(captures));
    for (int camera = 0; camera < 3; ++camera) {
      presenter_.shown.clear();
      FakeClock clock;
      clock.now = LocalTime{2009, 10, 21, 13, 56, 56 + camera};
      SessionOptions o;
      o.clock = clock.Clock();
      BufferSurface surface(kKindRGB32);
      ViewerSession s(camera, 10 + camera, &surface, nullptr, nullptr, o);
      WriteSettingString(s.Settings(), settings::kCaptureDir, captures + QLatin1Char('/'));
      QVERIFY(GoLive(s, camera));
      QTRY_VERIFY_WITH_TIMEOUT(s.Render().FramesPresented() > 5, 10000);
      QCOMPARE(s.Recording().CaptureSnapshot(), 1);
      QTRY_COMPARE_WITH_TIMEOUT(presenter_.shown, QList<int>{20052}, 10000);
      s.LogOut();
      const QString file = QStringLiteral("%1/VIEWER0%2_2009-10-21_13-56-5%3.jpg").arg(captures).arg(camera).arg(6 + camera);
      QImage image(file);
      QVERIFY2(!image.isNull(), qPrintable(file));
      QCOMPARE(image.size(), QSize(640, 480));
      const double own = BestDifference(image, camera);
      const double other = BestDifference(image, (camera + 1) % 3);
      qInfo("camera %d: difference to its own picture %.1f, to another camera's %.1f", camera, own, other);
      QVERIFY(own < 12.0);
      QVERIFY(other > own * 1.5);
    }
  }
};

QTEST_MAIN(RecordingCamsimTest)
#include "RecordingCamsimTest.moc"
