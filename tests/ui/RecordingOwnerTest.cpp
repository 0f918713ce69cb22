// Who owns a pane's recording file. The manual recording, the reservation
// and the alarm clip share one recorder: after every step of a table of
// interleavings at most one file is open, it belongs to the recording the
// rule names, a holder never closes another's file, the end of one never
// lets go of another's directory, and every file is made for the picture
// format of its moment (the camsim recording tests decode files with
// pictures in them). Also: a reservation across log-out,
// reconnection and a new picture format; a hidden pane keeps its pictures
// while it records; a camera that never acknowledges PLAY leaves the
// interface answering.
#include <QtTest>

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <mutex>

#include "RecordingPane.h"
#include "RecordingPresenter.h"
#include "StringTable.h"
#include "controls/MessageBoxes.h"

namespace fs = std::filesystem;

namespace {

// The picture formats a camera may switch between.
const char* const kH264Vga = "RES=2;VCODEC=2;QUALITY=6;";
const char* const kMpeg4Qvga = "RES=1;VCODEC=1;QUALITY=6;";

void ChangeFormat(ViewerSession& s, const char* var) {
  DeliverToSession(s, WM_SETUP_VIDEO_SET, 0, reinterpret_cast<std::intptr_t>(var));
  DeliverToSession(s, WM_VIDEO_PLAY_ACK);
}

// One reservation slot whose daily window 13:50-14:20 covers the fake
// clock's start.
void StoreReservation(const SettingsKey& key) {
  WriteSettingDword(key, settings::kReservationCount, 1);
  WriteSettingString(key, "Reservation", "Used0", QStringLiteral("O"));
  WriteSettingString(key, "Reservation", "PERIOD0", QStringLiteral("Daily"));
  WriteSettingString(key, "Reservation", "Duration0", QStringLiteral(" 0:30"));
  WriteSettingString(key, "Reservation", "Id0", QStringLiteral("7"));
  WriteSettingString(key, "Reservation", "Start Time0", QString::number(LocalToFiletime({2009, 10, 1, 13, 50, 0})));
}

// A pane host that can be hidden (the program in the tray).
class HiddenHost : public ViewerHost {
 public:
  bool shown = true;
  bool PaneShown() const override { return shown; }
  void OpenViewerBox(int, int, const QString&) override {}
  void ShowViewerBox(int, int, const QString&) override {}
};

}  // namespace

class RecordingOwnerTest : public QObject {
  Q_OBJECT
  QTemporaryDir dir_;
  RecordingPresenter boxes_;
  std::string records_;
  int settingsIndex_ = 0;

  std::string PaneDir() const { return records_ + "/VIEWER00"; }

  // Each test's pane has settings of its own.
  std::unique_ptr<RecordingPane> NewPane(ViewerHost* host = nullptr) {
    auto p = std::make_unique<RecordingPane>(records_, settingsIndex_++, host);
    WriteSettingDword(p->s->Settings(), settings::kRecordPeriod, 1);
    return p;
  }

  // The picture format the open file was made for: "codec width" (VCODEC
  // 1 MPEG-4, 2 H.264). The fake camera sends no pictures, so closed files
  // are removed (a file without a picture is not kept).
  static QString Shape(PaneRecording& rec) {
    return QStringLiteral("%1 %2").arg(rec.Recorder().FileCodec()).arg(rec.Recorder().FileWidth());
  }

 private slots:
  void initTestCase() {
    qputenv("XDG_CONFIG_HOME", dir_.filePath("config").toUtf8());
    qputenv("XDG_DATA_HOME", dir_.filePath("data").toUtf8());
    SetBoxPresenter(&boxes_);
    records_ = dir_.filePath("records").toStdString();
  }
  void cleanupTestCase() { SetBoxPresenter(nullptr); }
  void init() {
    boxes_.shown.clear();
    fs::remove_all(records_);
  }

  // A running reservation keeps running when the connection ends, but its
  // file closes with the connection's picture format; the next live start
  // inside its window opens a new file in the new format.
  void reservationAcrossConnectionEnds_data() {
    QTest::addColumn<int>("how");  // 0 log-out, 1 reconnection, 2 new picture format
    QTest::newRow("log-out") << 0;
    QTest::newRow("reconnection") << 1;
    QTest::newRow("new picture format") << 2;
  }
  void reservationAcrossConnectionEnds() {
    QFETCH(int, how);
    auto p = NewPane();
    StoreReservation(p->s->Settings());
    QCOMPARE(DriveSession(*p->s, p->link, kPaneLive), kPaneLive);
    PaneRecording& rec = p->Rec();
    QVERIFY(rec.ReservationRecording());
    QCOMPARE(rec.Holder(), RecordHolder::kReservation);
    const std::string first = rec.CurrentFile();
    QCOMPARE(Shape(rec), QStringLiteral("2 640"));

    p->clock.now.second = 58;
    if (how == 0) {
      p->s->LogOut();
    } else if (how == 1) {
      p->link.openControl = 0;
      p->s->StartReconnect();
    } else {
      DeliverToSession(*p->s, WM_SETUP_VIDEO_SET, 0, reinterpret_cast<std::intptr_t>(kMpeg4Qvga));
    }
    QVERIFY(!rec.FileOpen());
    QVERIFY(rec.ReservationRecording());
    QVERIFY(!p->s->Status().recording);  // nothing shown as recording without a file
    QVERIFY(!fs::exists(first));  // closed, and without a picture not kept

    if (how == 2) {
      DeliverToSession(*p->s, WM_VIDEO_PLAY_ACK);
    } else {
      if (how == 1) p->s->LogOut();  // ends the reconnection
      const QByteArray var(kMpeg4Qvga);
      SignInFields f = p->s->Fields();
      p->s->SetFields(f);
      p->link.openControl = 1;
      QCOMPARE(p->s->SignIn(), 1);
      LoginInfo info{};
      DeliverToSession(*p->s, WM_LOGIN_ACCEPTED, 0, reinterpret_cast<std::intptr_t>(&info));
      DeliverToSession(*p->s, WM_VSTREAM_OPENED);
      DeliverToSession(*p->s, WM_SETUP_VIDEO_GET, 0, reinterpret_cast<std::intptr_t>(var.constData()));
      DeliverToSession(*p->s, WM_VIDEO_PLAY_ACK);
    }
    QCOMPARE(rec.Holder(), RecordHolder::kReservation);
    const std::string second = rec.CurrentFile();
    QVERIFY(second != first);
    QVERIFY(p->s->Status().recording);
    QCOMPARE(Shape(rec), QStringLiteral("1 320"));
    p->s->LogOut();
    QCOMPARE(boxes_.shown, QList<int>{});
  }

  // A reservation falling due while the pane is signed out opens no file
  // (the old picture format would be written); it opens at the next live
  // start, in the camera's format of then.
  void reservationDueWhileSignedOut() {
    auto p = NewPane();
    QCOMPARE(DriveSession(*p->s, p->link, kPaneLive), kPaneLive);
    p->s->LogOut();
    StoreReservation(p->s->Settings());
    DeliverToSession(*p->s, WM_RESERVATIONS_CHANGED);
    PaneRecording& rec = p->Rec();
    QVERIFY(rec.ReservationRecording());
    QVERIFY(!rec.FileOpen());
    QVERIFY(!RegisteredWithDiskManager(PaneDir()));
    QCOMPARE(DriveSession(*p->s, p->link, kPaneLive, 0, {}, 1, false, 1), kPaneLive);
    QCOMPARE(rec.Holder(), RecordHolder::kReservation);
    QVERIFY(RegisteredWithDiskManager(PaneDir()));
    QCOMPARE(Shape(rec), QStringLiteral("1 320"));
    p->s->LogOut();
  }

  // The table of interleavings. Steps: M+/M- manual on/off, R+/R- the
  // reservation on/off, A+ a motion event (motion detection on), A- the
  // clip's end, S a minute later (the split), F a new picture format, L
  // log-out and live again. After each step: whose file is open (-, M, R,
  // A) and whether the pane directory is registered.
  void interleavings_data() {
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QString>("holders");     // one letter per step
    QTest::addColumn<QString>("registered");  // one 0/1 per step
    QTest::newRow("manual takes over a reservation") << QStringList{"R+", "M+", "S", "M-"} << "RMM-" << "1110";
    QTest::newRow("a reservation does not start over manual") << QStringList{"M+", "R+", "M-"} << "MM-" << "110";
    QTest::newRow("a clip does not take a reservation's file")
        << QStringList{"R+", "A+", "A-", "S", "R-"} << "RRRR-" << "11110";
    QTest::newRow("a reservation waits for the clip")
        << QStringList{"A+", "R+", "S", "A-", "R+", "S", "R-"} << "AAA-RR-" << "1110110";
    QTest::newRow("manual ends a clip") << QStringList{"A+", "M+", "M-"} << "AM-" << "110";
    QTest::newRow("the clip ends with the connection") << QStringList{"A+", "L", "A-"} << "A--" << "100";
    QTest::newRow("manual and reservation across a new format")
        << QStringList{"M+", "F", "S", "M-", "R+", "F", "S", "R-"} << "MMM-RRR-" << "11101110";
    QTest::newRow("reservation across log-out") << QStringList{"R+", "L", "S", "R-"} << "RRR-" << "1110";
  }
  void interleavings() {
    QFETCH(QStringList, steps);
    QFETCH(QString, holders);
    QFETCH(QString, registered);
    auto p = NewPane();
    QCOMPARE(DriveSession(*p->s, p->link, kPaneLive), kPaneLive);
    PaneRecording& rec = p->Rec();
    const char* format = kH264Vga;
    for (int i = 0; i < steps.size(); ++i) {
      const QString& step = steps[i];
      // As the form does: the manual switch is stored; a reservation comes
      // from the editor and is stopped by hand.
      if (step == QLatin1String("M+")) {
        rec.SetRecording(1, 0, 1);
      } else if (step == QLatin1String("M-")) {
        rec.SetRecording(0, 0, 1);
      } else if (step == QLatin1String("R+")) {
        StoreReservation(p->s->Settings());
        DeliverToSession(*p->s, WM_RESERVATIONS_CHANGED);
      } else if (step == QLatin1String("R-")) {
        rec.SetReservationRecording(0, 1);
        p->s->Schedule().StopByUser();
      } else if (step == QLatin1String("A+")) {
        p->s->Controls().SetMotionDetection(1);
        DeliverToSession(*p->s, WM_MOTION_ALARM);
      } else if (step == QLatin1String("A-")) {
        p->s->Alarms().EndAlarmRecording();
        p->s->Controls().SetMotionDetection(0);
      } else if (step == QLatin1String("S")) {
        p->Run(60);
      } else if (step == QLatin1String("F")) {
        format = format == kH264Vga ? kMpeg4Qvga : kH264Vga;
        ChangeFormat(*p->s, format);
      } else if (step == QLatin1String("L")) {
        p->s->LogOut();
        QCOMPARE(DriveSession(*p->s, p->link, kPaneLive), kPaneLive);
      }
      const char held = "-MRA"[static_cast<int>(rec.Holder())];
      QVERIFY2(held == holders[i].toLatin1(),
               qPrintable(QStringLiteral("after step %1 (%2): %3").arg(i).arg(step).arg(QLatin1Char(held))));
      QCOMPARE(RegisteredWithDiskManager(PaneDir()), registered[i] == QLatin1Char('1'));
      // Shown as recording only with a manual or reservation file open.
      QCOMPARE(p->s->Status().recording, held == 'M' || held == 'R');
      // The open file is made for the picture format of now.
      if (rec.FileOpen()) QCOMPARE(rec.Recorder().FileCodec(), format == kH264Vga ? 2 : 1);
    }
    p->s->LogOut();
    QVERIFY(!rec.FileOpen());
  }

  // A hidden pane (the program in the tray) keeps its pictures while any
  // recording runs; a recording starting on a paused pane resumes them and
  // the last one ending pauses them again.
  void hiddenRecordingPaneKeepsItsPictures() {
    HiddenHost host;
    auto p = NewPane(&host);
    QCOMPARE(DriveSession(*p->s, p->link, kPaneLive), kPaneLive);
    PaneAudioVideo& av = p->s->Audio();
    QCOMPARE(p->Rec().SetRecording(1, 0, 0), 1);
    host.shown = false;
    av.SetVideoPaused(1);  // the main window went to the tray
    QVERIFY(!av.VideoPaused());
    QCOMPARE(p->link.videoStops.load(), 0);
    QCOMPARE(p->Rec().SetRecording(0, 0, 0), 1);
    QVERIFY(av.VideoPaused());
    QCOMPARE(p->link.videoStops.load(), 1);
    // A reservation falling due in the tray brings the pictures back.
    const int starts = p->link.videoStarts.load();
    QCOMPARE(p->Rec().SetReservationRecording(1, 0), 1);
    QVERIFY(!av.VideoPaused());
    QCOMPARE(p->link.videoStarts.load(), starts + 1);
    av.SetVideoPaused(1);
    QVERIFY(!av.VideoPaused());
    p->s->LogOut();
  }

  // The disk fills while recording: the file closes while whole, the pane
  // stops showing it as recording, the user is told once with the folder,
  // no file is started while there is no room, and the recording starts
  // again by itself at the next period once there is.
  void fullDiskSuspendsAndResumes() {
    auto p = NewPane();
    QCOMPARE(DriveSession(*p->s, p->link, kPaneLive), kPaneLive);
    PaneRecording& rec = p->Rec();
    QCOMPARE(rec.SetRecording(1, 0, 1), 1);
    p->freeBytes = PaneRecorder::kDiskReserveBytes - 1;
    p->Run(1);
    QVERIFY(!rec.FileOpen());
    QVERIFY(rec.Recording());  // still the user's choice
    QVERIFY(!p->s->Status().recording);
    QCOMPARE(boxes_.shown, QList<int>{0});
    QVERIFY(boxes_.details.last().contains(QString::fromStdString(PaneDir())));
    QVERIFY(boxes_.details.last().contains(QString::fromUtf8(UiString(UiText::kRecordingDiskFull))));
    for (int i = 0; i < 2 * 60; ++i) {  // two period boundaries without room: no file, no second box
      p->Run(1);
      QVERIFY(!rec.FileOpen());
    }
    QCOMPARE(boxes_.shown, QList<int>{0});
    p->freeBytes = PaneRecorder::kDiskResumeBytes;
    p->Run(60);
    QCOMPARE(rec.Holder(), RecordHolder::kManual);
    QVERIFY(p->s->Status().recording);
    QCOMPARE(rec.Recorder().FileStart().second, 0);
    // Filled again: told again.
    p->freeBytes = 0;
    p->Run(1);
    QCOMPARE(boxes_.shown, (QList<int>{0, 0}));
    p->s->LogOut();
  }

  // A recording that cannot start (the folder cannot be made): the box says
  // the folder and why; a start the program makes on its own says it once,
  // the user's own start every time.
  void failedStartSaysWhy() {
    const std::string blocker = dir_.filePath("not a folder").toStdString();
    std::FILE* f = std::fopen(blocker.c_str(), "w");
    QVERIFY(f != nullptr);
    std::fclose(f);
    auto p = NewPane();
    WriteSettingString(p->s->Settings(), settings::kRecordDir, QString::fromStdString(blocker + "/records"));
    WriteSettingDword(p->s->Settings(), settings::kRecordEnable, 1);
    QCOMPARE(DriveSession(*p->s, p->link, kPaneLive), kPaneLive);
    QTRY_COMPARE(boxes_.shown, QList<int>{20111});
    const QString reason = QString::fromLocal8Bit(std::strerror(ENOTDIR));
    QVERIFY2(boxes_.details.last().contains(reason), qPrintable(boxes_.details.last()));
    QVERIFY(boxes_.details.last().contains(QString::fromStdString(blocker)));
    p->s->LogOut();
    QCOMPARE(DriveSession(*p->s, p->link, kPaneLive), kPaneLive);  // the same failure again
    QCoreApplication::processEvents();
    QCOMPARE(boxes_.shown, QList<int>{20111});
    QCOMPARE(p->Rec().SetRecording(1, 0, 1), 0);  // the user's own start
    QTRY_COMPARE(boxes_.shown, (QList<int>{20111, 20111}));
    p->s->LogOut();
  }

  // A camera that accepts the sign-in but never acknowledges PLAY: the
  // watchdog starts one reconnection, and while that one signs in again the
  // pane's tick keeps returning (no second reconnection joins the first).
  void stalledReconnectionKeepsTheInterfaceAnswering() {
    auto p = NewPane();
    QCOMPARE(DriveSession(*p->s, p->link, kPaneVideoOpen), kPaneVideoOpen);
    const QByteArray var(kH264Vga);
    DeliverToSession(*p->s, WM_SETUP_VIDEO_GET, 0, reinterpret_cast<std::intptr_t>(var.constData()));
    std::mutex m;
    std::condition_variable cv;
    bool inside = false;
    bool released = false;
    bool timedOut = false;
    p->link.whileOpening = [&] {
      std::unique_lock<std::mutex> hold(m);
      inside = true;
      cv.notify_all();
      timedOut = !cv.wait_for(hold, std::chrono::seconds(20), [&] { return released; });
    };
    // No frame ever comes: three watchdog looks (every 5 s) start the
    // reconnection, whose sign-in then waits inside the link.
    for (int i = 0; i < 20 && !p->s->Reconnecting(); ++i) p->s->Tick();
    QVERIFY(p->s->Reconnecting());
    {
      std::unique_lock<std::mutex> hold(m);
      QVERIFY(cv.wait_for(hold, std::chrono::seconds(20), [&] { return inside; }));
    }
    for (int i = 0; i < 60; ++i) p->s->Tick();  // would join the waiting thread
    QCOMPARE(p->s->State(), kPaneSignInSent);
    {
      std::lock_guard<std::mutex> hold(m);
      released = true;
      cv.notify_all();
    }
    p->link.openControl = 0;
    p->s->LogOut();
    // The pane goes first: it joins its reconnect thread, which may still
    // look at the hook (and the locals it holds) until then.
    p.reset();
    QVERIFY(!timedOut);
  }
};

QTEST_MAIN(RecordingOwnerTest)
#include "RecordingOwnerTest.moc"
