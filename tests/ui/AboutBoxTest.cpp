// The help command (2301, the pane menu's "Help"): the About box with the
// program's name and version, the keys, where the settings, log files and
// the pane's recordings are, and the manual page, in both languages; one box
// at a time; from full screen the pane leaves full screen first; Escape
// closes the box and asks nothing.
#include <QtTest>
#include <QAbstractButton>

#include "FakeAudioDevices.h"
#include "FakePaneLink.h"
#include "MainWindow.h"
#include "RecordingPresenter.h"
#include "StringTable.h"
#include "Version.h"
#include "controls/MessageBoxes.h"
#include "form/AboutBox.h"
#include "form/MFormView.h"
#include "form/ProgramKeys.h"
#include "pane/MViewer.h"
#include "pane/PaneMenu.h"

namespace {

FakePaneLink& Fake() {
  static FakePaneLink link;
  return link;
}

QList<AboutBox*> OpenBoxes() {
  QList<AboutBox*> boxes;
  for (QWidget* w : QApplication::topLevelWidgets()) {
    auto* box = qobject_cast<AboutBox*>(w);
    if (box != nullptr && box->isVisible()) boxes << box;
  }
  return boxes;
}

}  // namespace

class AboutBoxTest : public QObject {
  Q_OBJECT
  QTemporaryDir dir_;
  RecordingPresenter boxes_;

 private slots:
  void initTestCase() {
    QVERIFY(dir_.isValid());
    qputenv("XDG_CONFIG_HOME", dir_.filePath("config").toUtf8());
    qputenv("XDG_DATA_HOME", dir_.filePath("data").toUtf8());
    SetBoxPresenter(&boxes_);
  }
  void cleanupTestCase() { SetBoxPresenter(nullptr); }
  void cleanup() { SetLanguage(Language::kKorean); }

  void helpShowsTheAboutBox_data() {
    QTest::addColumn<int>("language");
    QTest::addColumn<bool>("fullScreen");
    QTest::addColumn<QStringList>("headings");
    QTest::newRow("en") << int(Language::kEnglish) << false
                        << QStringList{"About TessoraViewer", "Keys", "Where things are", "Settings", "Log files",
                                       "Recordings (current pane)", "Manual: man tessora-viewer"};
    QTest::newRow("ko, from full screen") << int(Language::kKorean) << true
                                          << QStringList{QString::fromUtf8("테소라 뷰어 정보"), QString::fromUtf8("키"),
                                                         QString::fromUtf8("파일 위치"), QString::fromUtf8("설정"),
                                                         QString::fromUtf8("로그 파일"),
                                                         QString::fromUtf8("녹화 (현재 화면)"),
                                                         QString::fromUtf8("설명서: man tessora-viewer")};
  }
  void helpShowsTheAboutBox() {
    QFETCH(int, language);
    QFETCH(bool, fullScreen);
    QFETCH(QStringList, headings);
    SetLanguage(static_cast<Language>(language));
    boxes_.shown.clear();
    boxes_.answer = kIdNo;
    FakeAudioFactory audio;
    FormOptions o;
    o.audio = &audio;
    o.autoSignInStep = std::chrono::milliseconds(1);
    o.workArea = QSize(1920, 1080);
    o.pane.link = &Fake();
    MainWindow w(0, GlobalSettings{}, o);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    MFormView* form = w.Form();
    QTRY_VERIFY(form->Pane(1)->Session().Audio().Selected() || form->Pane(0)->Session().Audio().Selected());
    // The menu of live pane 1, its current pane.
    MViewer* pane = form->Pane(1);
    LoginInfo info{};
    QCOMPARE(DriveSession(pane->Session(), Fake(), kPaneLive, 0, info), kPaneLive);
    PostWindowMessage(form, WM_PANE_SELECT, 1, reinterpret_cast<std::intptr_t>(pane));
    QTRY_COMPARE(form->CurrentIndex(), 1);
    if (fullScreen) {
      QTest::keyClick(pane, Qt::Key_Return);
      QTRY_VERIFY(pane->FullScreen());
    }
    QCOMPARE(OpenBoxes().size(), 0);
    pane->RunMenuCommand(kMenuHelp);
    QTRY_COMPARE(OpenBoxes().size(), 1);
    AboutBox* box = OpenBoxes().first();
    QVERIFY(!pane->FullScreen());
    QCOMPARE(box->parentWidget(), &w);
    // What it says, in order.
    QStringList expected{headings[0], QStringLiteral("TessoraViewer %1").arg(QStringLiteral(TESSORA_VERSION_TEXT)),
                         headings[1]};
    for (const ProgramKey& k : kProgramKeys) {
      expected << QString::fromUtf8(UiString(k.key)) << QString::fromUtf8(UiString(k.what));
    }
    const QString data = dir_.filePath("data/TessoraViewer 5.00");
    expected << headings[2] << headings[3] << dir_.filePath("config/Halvik/Tessora.conf") << headings[4] << data
             << headings[5] << data + QStringLiteral("/VIEWER01") << headings[6];
    QCOMPARE(box->Lines(), expected);
    // Within the screen, centred over the main window.
    QVERIFY(QGuiApplication::primaryScreen()->availableGeometry().contains(box->frameGeometry()));
    // Asked again: the same box.
    form->Router().DispatchCommand(kIdHelp);
    QCoreApplication::processEvents();
    QCOMPARE(OpenBoxes(), QList<AboutBox*>{box});
    // Escape closes it and is nobody else's.
    QPointer<AboutBox> gone = box;
    QTest::keyClick(box, Qt::Key_Escape);
    QTRY_VERIFY(gone.isNull());
    QCOMPARE(boxes_.shown, QList<int>{});
    // The OK button closes a new one.
    form->Router().DispatchCommand(kIdHelp);
    QTRY_COMPARE(OpenBoxes().size(), 1);
    gone = OpenBoxes().first();
    auto* ok = gone->findChild<QAbstractButton*>(QString::number(kIdOk));
    QVERIFY(ok != nullptr);
    ok->click();
    QTRY_VERIFY(gone.isNull());
    pane->LogOut();
  }
};

QTEST_MAIN(AboutBoxTest)
#include "AboutBoxTest.moc"
