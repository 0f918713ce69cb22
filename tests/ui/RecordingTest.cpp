// A pane's recordings on a fake link and a fake clock: where files go, when
// they split, what a failing start leaves behind (nothing open, one box),
// the stored switch bringing a recording back when the pane goes live,
// log-out closing it, and the snapshot's directory and result boxes.
#include <QtTest>

#include <QLabel>
#include <QLineEdit>
#include <filesystem>

#include "FakeAudioDevices.h"
#include "FakePaneLink.h"
#include "RecordingPane.h"
#include "RecordingPresenter.h"
#include "base/HDDManager.h"
#include "base/Schedule.h"
#include "base/base.h"
#include "controls/MSelectRecordBox.h"
#include "controls/MessageBoxes.h"
#include "form/MFormView.h"
#include "form/SidePanel.h"
#include "pane/MViewer.h"
#include "pane/ViewerSession.h"
#include "video/Convert.h"
#include "video/MVideoRender.h"
#include "video/VideoSurface.h"

namespace fs = std::filesystem;


class RecordingTest : public QObject {
  Q_OBJECT
  QTemporaryDir dir_;
  RecordingPresenter boxes_;
  std::string records_;

  // A live H.264 VGA pane on a fake link recording into the test's folder.
  using Pane = RecordingPane;

  std::string PaneDir() const { return records_ + "/VIEWER00"; }

 private slots:
  void initTestCase() {
    qputenv("XDG_CONFIG_HOME", dir_.filePath("config").toUtf8());
    qputenv("XDG_DATA_HOME", dir_.filePath("data").toUtf8());
    SetBoxPresenter(&boxes_);
    records_ = dir_.filePath("기록 폴더").toStdString();
  }
  void cleanupTestCase() { SetBoxPresenter(nullptr); }
  // Each test records into an empty folder: the recorder never writes over
  // a file an earlier test left with the same name (it adds a number).
  void init() {
    boxes_.shown.clear();
    fs::remove_all(records_);
  }

  // A manual recording: the first file where the clock says, a key frame
  // asked for, the pane directory registered; each period boundary starts
  // the next file; stopping closes it and lets the directory go.
  void manualRecordingSplitsAtThePeriod() {
    Pane p(records_);
    WriteSettingDword(p.s->Settings(), settings::kRecordPeriod, 1);
    QCOMPARE(DriveSession(*p.s, p.link, kPaneLive), kPaneLive);
    const int keys = p.link.keyFrameRequests.load();
    QCOMPARE(p.Rec().SetRecording(1, 0, 1), 1);
    QCOMPARE(p.Rec().CurrentFile(), PaneDir() + "/2009_10_21/13/56_56.avi");
    QVERIFY(fs::exists(p.Rec().CurrentFile()));
    QCOMPARE(p.link.keyFrameRequests.load(), keys + 1);
    QVERIFY(RegisteredWithDiskManager(PaneDir()));
    QCOMPARE(ReadSettingDword(p.s->Settings(), settings::kRecordEnable), 1);

    p.Run(3, true);  // 13:56:59: the same file
    QCOMPARE(p.Rec().CurrentFile(), PaneDir() + "/2009_10_21/13/56_56.avi");
    p.Run(1, true);  // 13:57:00
    QCOMPARE(p.Rec().CurrentFile(), PaneDir() + "/2009_10_21/13/57_00.avi");
    QCOMPARE(p.link.keyFrameRequests.load(), keys + 2);
    p.Run(3 * 60);  // 14:00:00 comes in the next hour's directory
    QCOMPARE(p.Rec().CurrentFile(), PaneDir() + "/2009_10_21/14/00_00.avi");
    QVERIFY(p.Rec().Recording());
    QCOMPARE(boxes_.shown, QList<int>{});

    QCOMPARE(p.Rec().SetRecording(0, 0, 1), 1);
    QVERIFY(!p.Rec().FileOpen());
    QVERIFY(!RegisteredWithDiskManager(PaneDir()));
    QCOMPARE(ReadSettingDword(p.s->Settings(), settings::kRecordEnable), 0);
    p.s->LogOut();
  }

  // A stored period of 0 splits every minute instead of dividing by zero.
  void periodZeroCountsAsOne() {
    Pane p(records_);
    WriteSettingDword(p.s->Settings(), settings::kRecordPeriod, 0);
    DriveSession(*p.s, p.link, kPaneLive);
    QCOMPARE(p.Rec().SetRecording(1, 0, 0), 1);
    p.Run(4);
    QCOMPARE(p.Rec().CurrentFile(), PaneDir() + "/2009_10_21/13/57_00.avi");
    p.s->LogOut();
  }

  // Starts that fail: the directory cannot be made, or the key frame cannot
  // be asked for after the file was opened. One box, no file left open, the
  // pane stays live, and a later start works.
  void failedStartsLeaveNothingOpen() {
    {
      const std::string blocked = dir_.filePath("a file").toStdString();
      std::FILE* f = std::fopen(blocked.c_str(), "w");
      std::fclose(f);
      Pane p(blocked);
      DriveSession(*p.s, p.link, kPaneLive);
      QCOMPARE(p.Rec().SetRecording(1, 0, 0), 0);
      QTRY_COMPARE(boxes_.shown, QList<int>{20111});
      QVERIFY(!p.Rec().Recording() && !p.Rec().FileOpen());
      QCOMPARE(p.s->State(), kPaneLive);
      p.s->LogOut();
    }
    boxes_.shown.clear();
    Pane p(records_);
    DriveSession(*p.s, p.link, kPaneLive);
    p.link.keyFrame = 0;
    QCOMPARE(p.Rec().SetRecording(1, 0, 0), 0);
    QVERIFY(!p.Rec().FileOpen());
    QVERIFY(!p.Rec().Recording());
    QVERIFY(!RegisteredWithDiskManager(PaneDir()));
    QTRY_COMPARE(boxes_.shown, QList<int>{20111});
    p.link.keyFrame = 1;
    QCOMPARE(p.Rec().SetRecording(1, 0, 0), 1);
    QVERIFY(p.Rec().FileOpen());
    p.s->LogOut();
  }

  // "Record"\"Enable" brings the recording back when the pane goes live
  // (not for an administrator with motion detection on); log-out closes the
  // file and keeps the stored switch for the next time.
  void storedSwitchRecordsWhenLive() {
    {
      Pane p(records_, 1);
      WriteSettingDword(p.s->Settings(), settings::kRecordEnable, 1);
      DriveSession(*p.s, p.link, kPaneLive);
      QVERIFY(p.Rec().Recording());
      QVERIFY(p.Rec().FileOpen());
      p.s->LogOut();
      QVERIFY(!p.Rec().Recording());
      QVERIFY(!p.Rec().FileOpen());
      QCOMPARE(ReadSettingDword(p.s->Settings(), settings::kRecordEnable), 1);
    }
    Pane p(records_, 1);
    LoginInfo motion{};
    motion.motionEnabled = 1;
    DriveSession(*p.s, p.link, kPaneLive, 0, motion);
    QVERIFY(!p.Rec().Recording());
    p.s->LogOut();
  }

  // Listening switched on while recording starts a file that carries the
  // sound.
  void listeningReplacesTheFile() {
    FakeAudioFactory audio;
    auto output = audio.MakeOutput();
    auto input = audio.MakeInput();
    Pane p(records_);
    p.s->Audio().SetAudioDevices(output.get(), input.get());
    DriveSession(*p.s, p.link, kPaneLive);
    QCOMPARE(p.Rec().SetRecording(1, 0, 0), 1);
    const std::string first = p.Rec().CurrentFile();
    p.clock.now.second = 58;
    QCOMPARE(p.s->Audio().SetMic(1, 0), 1);
    QCOMPARE(p.Rec().CurrentFile(), PaneDir() + "/2009_10_21/13/56_58.avi");
    QVERIFY(first != p.Rec().CurrentFile());
    p.s->LogOut();
  }

  // A snapshot without a capture directory set stores the default folder
  // and names the file after the slot and the time; the results are the
  // pane's boxes.
  void snapshotDirectoryAndBoxes() {
    Pane p(records_);
    DriveSession(*p.s, p.link, kPaneLive);
    QCOMPARE(p.Rec().CaptureSnapshot(), 1);
    QString dir;
    ReadSettingString(p.s->Settings(), settings::kCaptureDir, 260, &dir);
    QCOMPARE(dir.toStdString(), DefaultDirectory());
    QVERIFY(fs::is_directory(DefaultDirectory()));
    QCOMPARE(p.s->Render().SnapshotPending(), 1);
    DeliverToSession(*p.s, WM_SNAPSHOT_DONE);
    DeliverToSession(*p.s, WM_SNAPSHOT_FAILED);
    QTRY_COMPARE(boxes_.shown, (QList<int>{20052, 20053}));
    // The saved notice names the file.
    QVERIFY(boxes_.details.at(boxes_.details.size() - 2).endsWith(QStringLiteral(".jpg")));
    QVERIFY(boxes_.details.at(boxes_.details.size() - 2).startsWith(QString::fromStdString(DefaultDirectory())));
    p.s->LogOut();
  }

  // The choice box: slides show their period; OK clamps it to 1..60 and
  // stores it in either mode; cancel and close store nothing.
  void choiceBoxClampsAndStores_data() {
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("button");
    QTest::addColumn<int>("period");  // the answer's
    QTest::addColumn<int>("stored");
    QTest::newRow("slides 0") << 2 << "0" << 6 << 1 << 1;
    QTest::newRow("slides 99") << 2 << "99" << 6 << 60 << 60;
    QTest::newRow("slides 7") << 2 << "7" << 6 << 7 << 7;
    QTest::newRow("slides empty") << 2 << "" << 6 << 1 << 1;
    QTest::newRow("video stores the period too") << 1 << "" << 6 << 33 << 33;
    QTest::newRow("cancel") << 2 << "9" << 7 << 0 << 33;
    QTest::newRow("close") << 2 << "9" << 2 << 0 << 33;
  }
  void choiceBoxClampsAndStores() {
    QFETCH(int, mode);
    QFETCH(QString, typed);
    QFETCH(int, button);
    SettingsKey key;
    QVERIFY(OpenSettingsKey(QStringLiteral("Viewer09"), &key) == 1);
    WriteSettingDword(key, settings::kRecordInterval, 33);
    MSelectRecordBox box(key);
    auto* edit = qobject_cast<QLineEdit*>(box.Control(kIdSlidePeriodEdit));
    QCOMPARE(edit->text(), QStringLiteral("33"));
    QVERIFY(!edit->isVisibleTo(&box));
    if (mode == 2) {
      QTest::mouseClick(box.Control(kIdRecordSlides), Qt::LeftButton);
      QVERIFY(edit->isVisibleTo(&box));
      edit->setText(typed);
    }
    QTimer::singleShot(0, &box, [&box, button] {
      if (auto* b = box.findChild<QWidget*>(QString::number(button))) QTest::mouseClick(b, Qt::LeftButton);
    });
    box.DoModal(nullptr);
    const RecordChoice c = box.Choice();
    QCOMPARE(c.result, button);
    QCOMPARE(c.mode, mode);
    QTEST(c.period, "period");
    QTEST(ReadSettingDword(key, settings::kRecordInterval), "stored");
  }

  // The form's record button: the choice starts slides or video, the
  // button, the REC label and the red title follow; pressed again it stops
  // with its notice. Motion detection on: recording asks first.
  void formRecordCommand() {
    FakePaneLink link;
    FakeAudioFactory audio;
    FormOptions o;
    o.audio = &audio;
    o.workArea = QSize(1920, 1080);
    o.pane.link = &link;
    MFormView form(nullptr, o);
    MViewer* pane = form.Pane(0);
    WriteSettingString(pane->Session().Settings(), settings::kRecordDir, QString::fromStdString(records_));
    DriveSession(pane->Session(), link, kPaneLive);
    PostWindowMessage(&form, WM_PANE_SELECT, 0, 0);
    QCoreApplication::processEvents();
    RecordChoice answer{6, 2, 7};
    const RecordChoiceHook previous = SetRecordChoiceHook([&answer](const SettingsKey&) { return answer; });
    SidePanel* panel = form.Panel();
    QVERIFY(panel->Control(kIdRecordButton)->isVisibleTo(panel));

    QTest::mouseClick(panel->Control(kIdRecordButton), Qt::LeftButton);
    QCoreApplication::processEvents();
    QVERIFY(pane->Session().Recording().Recording());
    QCOMPARE(pane->Session().Recording().SlideInterval(), 7);
    QVERIFY(panel->RecordButton()->Check());
    QVERIFY(form.Strip()->StatusLabel(StatusStrip::kRecording)->isVisibleTo(&form));
    QVERIFY(form.Strip()->Title(0)->styleSheet().contains(QStringLiteral("255, 0, 0")) ||
            form.Strip()->Title(0)->styleSheet().contains(QStringLiteral("#ff0000")));
    QCOMPARE(pane->MenuModel().items[1].checked, true);

    QTest::mouseClick(panel->Control(kIdRecordButton), Qt::LeftButton);
    QCoreApplication::processEvents();
    QVERIFY(!pane->Session().Recording().Recording());
    QCOMPARE(boxes_.shown, QList<int>{20048});
    QVERIFY(!form.Strip()->StatusLabel(StatusStrip::kRecording)->isVisibleTo(&form));

    // With motion detection on, a "no" keeps it and records nothing; a
    // "yes" switches it off and records video.
    boxes_.shown.clear();
    pane->Session().Controls().SetMotionDetection(1);
    boxes_.answer = kIdNo;
    answer = RecordChoice{6, 1, 0};
    PostWindowMessage(&form, WM_PANE_COMMAND, 2307, 0);
    QCoreApplication::processEvents();
    QVERIFY(pane->Session().Controls().MotionOn());
    QVERIFY(!pane->Session().Recording().Recording());
    boxes_.answer = kIdYes;
    PostWindowMessage(&form, WM_PANE_COMMAND, 2307, 0);
    QCoreApplication::processEvents();
    QVERIFY(!pane->Session().Controls().MotionOn());
    QVERIFY(pane->Session().Recording().FileOpen());
    QCOMPARE(boxes_.shown, (QList<int>{20051, 20051}));
    // Motion detection asked for while recording: the recording stops.
    PostWindowMessage(&form, WM_PANE_COMMAND, 2314, 0);
    QCoreApplication::processEvents();
    QVERIFY(pane->Session().Controls().MotionOn());
    QVERIFY(!pane->Session().Recording().Recording());
    QCOMPARE(boxes_.shown.back(), 20050);
    boxes_.answer = kIdOk;
    SetRecordChoiceHook(previous);
    pane->LogOut();
  }

  // A reservation whose window is open when the pane goes live records at
  // once, splits at the period like a manual recording, and stops at its
  // end; stopped by hand it stays stopped in that window; a manual
  // recording keeps it from starting.
  void reservationRecordsInItsWindow() {
    Pane p(records_, 4);
    const SettingsKey& key = p.s->Settings();
    WriteSettingDword(key, settings::kReservationCount, 1);
    WriteSettingString(key, "Reservation", "Used0", QStringLiteral("O"));
    WriteSettingString(key, "Reservation", "PERIOD0", QStringLiteral("Daily"));
    WriteSettingString(key, "Reservation", "Duration0", QStringLiteral(" 0:30"));
    WriteSettingString(key, "Reservation", "Id0", QStringLiteral("7"));
    WriteSettingString(key, "Reservation", "Start Time0",
                       QString::number(LocalToFiletime({2009, 10, 1, 13, 50, 0})));
    DriveSession(*p.s, p.link, kPaneLive);
    PaneRecording& rec = p.Rec();
    QVERIFY(rec.ReservationRecording());
    QCOMPARE(rec.CurrentFile(), PaneDir() + "/2009_10_21/13/56_56.avi");
    QCOMPARE(p.s->Schedule().Scheduler().CurrentId(), 7);
    p.clock.now = {2009, 10, 21, 13, 57, 0};
    p.s->Schedule().Tick();
    rec.CheckRecordPeriod(1);
    QCOMPARE(rec.CurrentFile(), PaneDir() + "/2009_10_21/13/57_00.avi");
    QVERIFY(rec.ReservationRecording());
    p.clock.now = {2009, 10, 21, 14, 20, 0};
    p.s->Schedule().Tick();
    QVERIFY(!rec.ReservationRecording());
    QVERIFY(!rec.FileOpen());

    // The next day (the full hour reloads the table): stopped by hand, it
    // stays stopped in its window.
    p.clock.now = {2009, 10, 22, 13, 0, 0};
    p.s->Schedule().Tick();
    p.clock.now = {2009, 10, 22, 13, 50, 0};
    p.s->Schedule().Tick();
    QVERIFY(rec.ReservationRecording());
    rec.SetReservationRecording(0, 1);
    p.s->Schedule().StopByUser();
    p.clock.now = {2009, 10, 22, 13, 51, 0};
    p.s->Schedule().Tick();
    QVERIFY(!rec.ReservationRecording());

    // The day after: a manual recording keeps it from starting; once that
    // stops, the reservation starts while its window is open.
    p.clock.now = {2009, 10, 23, 13, 0, 0};
    p.s->Schedule().Tick();
    p.clock.now = {2009, 10, 23, 13, 49, 0};
    QCOMPARE(rec.SetRecording(1, 0, 0), 1);
    p.clock.now = {2009, 10, 23, 13, 50, 0};
    p.s->Schedule().Tick();
    QVERIFY(!rec.ReservationRecording());
    QCOMPARE(rec.SetRecording(0, 0, 0), 1);
    p.clock.now = {2009, 10, 23, 13, 51, 0};
    p.s->Schedule().Tick();
    QVERIFY(rec.ReservationRecording());
    // The editor deleted it: the forced check stops it.
    WriteSettingString(key, "Reservation", "Used0", QStringLiteral("X"));
    DeliverToSession(*p.s, WM_RESERVATIONS_CHANGED);
    QVERIFY(!rec.ReservationRecording());
    p.s->LogOut();
  }
};

QTEST_MAIN(RecordingTest)
#include "RecordingTest.moc"
