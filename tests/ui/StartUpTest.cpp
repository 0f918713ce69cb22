#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <thread>

#include "FakeAudioDevices.h"
#include "InstanceRegistry.h"
#include "pane/MViewer.h"
#include "controls/MInfoBox.h"
#include "MainWindow.h"
#include "controls/MessageBoxes.h"
#include "RecordingPresenter.h"
#include "StartUp.h"

namespace {

// Boxes are recorded; questions are answered yes unless a test says otherwise.
struct ScriptedPresenter : RecordingPresenter {
  ScriptedPresenter() { answer = kIdYes; }
};

// The main window with sound devices that exist and no pause between
// automatic sign-ins.
FormOptions TestOptions(AudioDeviceFactory* audio) {
  FormOptions o;
  o.audio = audio;
  o.autoSignInStep = std::chrono::milliseconds(1);
  return o;
}

}  // namespace

class StartUpTest : public QObject {
  Q_OBJECT
 private slots:
  void initTestCase() {
    QVERIFY(dir_.isValid());
    qputenv("XDG_CONFIG_HOME", QDir(dir_.path()).filePath("config").toUtf8());
  }
  void init() { QVERIFY(dir_.isValid()); }
  void cleanup() { SetBoxPresenter(nullptr); }

  void firstInstanceStartsWithoutAsking() {
    ScriptedPresenter boxes;
    SetBoxPresenter(&boxes);
    InstanceRegistry reg(dir_.path());
    const StartDecision d = DecideInstance(reg);
    QVERIFY(d.start);
    QCOMPARE(d.instance, 0);
    QVERIFY(boxes.shown.isEmpty());
  }

  void laterInstancesAsk_data() {
    QTest::addColumn<int>("running");
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("starts");
    QTest::addColumn<QList<int>>("boxes");
    QTest::newRow("yes starts the next number") << 1 << kIdYes << true << QList<int>{20140, 20141};
    QTest::newRow("no activates the others") << 2 << kIdNo << false << QList<int>{20140, 20142};
    QTest::newRow("closing the question ends") << 1 << kIdClose << false << QList<int>{20140};
    QTest::newRow("a fifth start is refused") << 4 << kIdYes << false << QList<int>{20029};
  }
  void laterInstancesAsk() {
    QFETCH(int, running);
    QFETCH(int, answer);
    QFETCH(bool, starts);
    QFETCH(QList<int>, boxes);
    std::vector<std::unique_ptr<InstanceRegistry>> others;
    for (int i = 0; i < running; ++i) {
      others.push_back(std::make_unique<InstanceRegistry>(dir_.path()));
      QVERIFY(others.back()->Claim(i));
    }
    ScriptedPresenter presenter;
    presenter.answer = answer;
    SetBoxPresenter(&presenter);
    InstanceRegistry reg(dir_.path());
    QCOMPARE(reg.CountRunning(), running);
    const StartDecision d = DecideInstance(reg);
    QCOMPARE(d.start, starts);
    if (starts) QCOMPARE(d.instance, running);
    QCOMPARE(presenter.shown, boxes);
  }

  void aNumberIsHeldUntilTheInstanceEnds() {
    auto first = std::make_unique<InstanceRegistry>(dir_.path());
    QVERIFY(first->Claim(0));
    InstanceRegistry second(dir_.path());
    QVERIFY(!second.Claim(0));
    first.reset();
    QVERIFY(second.Claim(0));
  }

  void bringForwardReachesTheRunningInstance() {
    InstanceRegistry running(dir_.path());
    QVERIFY(running.Claim(2));
    QSignalSpy spy(&running, &InstanceRegistry::raiseRequested);
    bool answered = false;
    std::thread asker([&] { answered = InstanceRegistry::BringForward(2, 1); });
    QTRY_COMPARE(spy.count(), 1);
    asker.join();
    QVERIFY(answered);
    QCOMPARE(spy[0][0].toInt(), 1);
    QVERIFY(!InstanceRegistry::BringForward(3, 0));  // nobody there
  }

  void mainWindowAsksBeforeClosing() {
    ScriptedPresenter presenter;
    SetBoxPresenter(&presenter);
    FakeAudioFactory audio;
    MainWindow w(1, GlobalSettings{}, TestOptions(&audio));
    QCOMPARE(w.windowTitle(), QStringLiteral("TessoraViewer_5.00 #1"));
    // The packaged icon, built in, at the small and the large sizes.
    const QIcon icon = w.windowIcon();
    QVERIFY(!icon.isNull());
    QCOMPARE(icon.pixmap(16, 16).size(), QSize(16, 16));
    QCOMPARE(icon.availableSizes().contains(QSize(256, 256)), true);
    w.show();
    presenter.answer = kIdNo;
    QVERIFY(!w.close());
    QVERIFY(w.isVisible());
    QTest::keyClick(&w, Qt::Key_Escape);
    QVERIFY(w.isVisible());
    QCOMPARE(presenter.shown, (QList<int>{20110, 20110}));
    presenter.answer = kIdYes;
    QVERIFY(w.close());
    QVERIFY(!w.isVisible());
  }

  void minimisingPausesVideo() {
    FakeAudioFactory audio;
    MainWindow w(0, GlobalSettings{}, TestOptions(&audio));
    QSignalSpy spy(&w, &MainWindow::videoPausedChanged);
    w.show();
    w.setWindowState(Qt::WindowMinimized);
    QTRY_COMPARE(spy.count(), 1);
    QCOMPARE(spy[0][0].toBool(), true);
    w.setWindowState(Qt::WindowNoState);
    QTRY_COMPARE(spy.count(), 2);
    QCOMPARE(spy[1][0].toBool(), false);
  }

  // A second start while instance 0 runs asks, and on yes runs as instance
  // 1 with its own panes' settings keys, numbered from 1 x X x Y.
  void secondInstanceUsesItsOwnPaneKeys_data() {
    QTest::addColumn<int>("columns");
    QTest::addColumn<int>("rows");
    QTest::addColumn<QStringList>("keys");
    QTest::newRow("2x2") << 2 << 2 << QStringList{"Viewer04", "Viewer05", "Viewer06", "Viewer07"};
    QTest::newRow("3x3") << 3 << 3
                         << QStringList{"Viewer09", "Viewer10", "Viewer11", "Viewer12", "Viewer13",
                                        "Viewer14", "Viewer15", "Viewer16", "Viewer17"};
  }
  void secondInstanceUsesItsOwnPaneKeys() {
    QFETCH(int, columns);
    QFETCH(int, rows);
    QFETCH(QStringList, keys);
    InstanceRegistry first(dir_.path());
    QVERIFY(first.Claim(0));
    ScriptedPresenter presenter;
    presenter.answer = kIdYes;
    SetBoxPresenter(&presenter);
    InstanceRegistry second(dir_.path());
    const StartDecision d = DecideInstance(second);
    QVERIFY(d.start);
    QCOMPARE(d.instance, 1);
    QCOMPARE(presenter.shown, (QList<int>{20140, 20141}));
    GlobalSettings settings;
    settings.columns = columns;
    settings.rows = rows;
    FakeAudioFactory audio;
    MainWindow w(d.instance, settings, TestOptions(&audio));
    QCOMPARE(w.windowTitle(), QStringLiteral("TessoraViewer_5.00 #1"));
    QStringList names;
    for (int i = 0; i < w.Form()->PaneCount(); ++i) names << w.Form()->Pane(i)->Session().Settings().name;
    QCOMPARE(names, keys);
  }

 private:
  QTemporaryDir dir_;
};

QTEST_MAIN(StartUpTest)
#include "StartUpTest.moc"
