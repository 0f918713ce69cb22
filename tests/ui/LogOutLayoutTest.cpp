// An enlarged pane whose connection ends (the user's log-out, the camera
// closing it) goes back to its cell: the panes it covered come back with
// their pictures, its sign-in panel fills only its own cell, in the normal
// grid and in wide mode. An enlarged pane that has not been signed in (the
// enlargement restored at start-up, a sign-in that never got through) keeps
// its place.
#include <QtTest>
#include <cstdio>

#include "FakeAudioDevices.h"
#include "FakePaneLink.h"
#include "MainWindow.h"
#include "RecordingPresenter.h"
#include "base/MRegistry.h"
#include "base/SettingsIndex.h"
#include "controls/MessageBoxes.h"
#include "form/MFormView.h"
#include "form/SidePanel.h"
#include "link/LinkMessages.h"
#include "pane/MViewer.h"

namespace {

FakePaneLink& Fake() {
  static FakePaneLink link;
  return link;
}

enum class End {
  kUserLogOut,     // the side panel's log-out
  kCameraClosed,   // the camera closed the connection
  kNeverSignedIn,  // a sign-in the camera never answered
};

void PostToForm(MFormView& form, unsigned message, int slot) {
  PostWindowMessage(&form, message, static_cast<std::uintptr_t>(slot), reinterpret_cast<std::intptr_t>(form.Pane(slot)));
  QCoreApplication::processEvents();
}

int StoredZoom(MFormView& form, int i) {
  return ReadSettingDword(form.Pane(i)->Session().Settings(), "Zoom", "Enable", -1);
}

// The pane seen at |point| of the form: the one on top there.
int PaneOnTopAt(MFormView& form, QPoint point) { return form.PaneIndexOf(form.childAt(point)); }

bool Idle(MFormView& form, int i) { return form.Pane(i)->Session().State() == kPaneIdle; }

}  // namespace

class LogOutLayoutTest : public QObject {
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
  void init() {
    boxes_.answer = kIdNo;
    Fake().openControl = 1;
    for (int i = 0; i < FormGeometry::kMaxPanes; ++i) {
      char name[16];
      std::snprintf(name, sizeof name, settings::kViewerKeyFormat, i);
      SettingsKey key;
      OpenSettingsKey(QString::fromLatin1(name), &key);
      WriteSettingDword(key, "Zoom", "Enable", 0);
    }
  }

  void connectionEndShrinksTheEnlargedPane_data() {
    QTest::addColumn<int>("grid");
    QTest::addColumn<int>("pane");
    QTest::addColumn<bool>("wide");
    QTest::addColumn<int>("end");
    QTest::addColumn<int>("otherEnlarged");  // another enlarged pane, -1 for none
    QTest::newRow("2x2, log-out") << 2 << 0 << false << int(End::kUserLogOut) << -1;
    QTest::newRow("2x2 wide mode, log-out") << 2 << 3 << true << int(End::kUserLogOut) << -1;
    QTest::newRow("3x3, camera closed") << 3 << 5 << false << int(End::kCameraClosed) << -1;
    QTest::newRow("3x3 wide mode, camera closed") << 3 << 4 << true << int(End::kCameraClosed) << -1;
    QTest::newRow("4x4, the other enlarged pane stays") << 4 << 0 << false << int(End::kUserLogOut) << 10;
    QTest::newRow("2x2, never signed in") << 2 << 1 << false << int(End::kNeverSignedIn) << -1;
    QTest::newRow("2x2 wide mode, never signed in") << 2 << 1 << true << int(End::kNeverSignedIn) << -1;
  }
  void connectionEndShrinksTheEnlargedPane() {
    QFETCH(int, grid);
    QFETCH(int, pane);
    QFETCH(bool, wide);
    QFETCH(int, end);
    QFETCH(int, otherEnlarged);
    FakeAudioFactory audio;
    FormOptions o;
    o.audio = &audio;
    o.autoSignInStep = std::chrono::milliseconds(1);
    o.workArea = QSize(1280, 1024);
    o.pane.link = &Fake();
    GlobalSettings layout;
    layout.columns = layout.rows = grid;
    MainWindow w(0, layout, o);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    MFormView& form = *w.Form();
    QTRY_VERIFY(form.Pane(0)->Session().Audio().Selected());  // the start-up pass is over
    MViewer* p = form.Pane(pane);
    const bool signIn = static_cast<End>(end) != End::kNeverSignedIn;
    if (signIn) {
      LoginInfo info{};
      QCOMPARE(DriveSession(p->Session(), Fake(), kPaneLive, 0, info), kPaneLive);
    }
    PostToForm(form, WM_PANE_SELECT, pane);
    if (otherEnlarged >= 0) PostToForm(form, WM_PANE_ENLARGE, otherEnlarged);
    PostToForm(form, WM_PANE_ENLARGE, pane);
    QVERIFY(p->Enlarged());
    if (wide) {
      form.Router().DispatchCommand(kIdWideButton);
      QVERIFY(form.WideMode());
    }
    const QRect enlarged = form.PaneRect(pane);
    QVERIFY(enlarged.width() > form.CellRect(pane).width());
    switch (static_cast<End>(end)) {
      case End::kUserLogOut: form.Router().DispatchCommand(kIdLogOutButton); break;
      case End::kCameraClosed: DeliverToSession(p->Session(), WM_CAMERA_CLOSE, 0, 0); break;
      case End::kNeverSignedIn: {
        Fake().openControl = 0;  // the camera does not answer
        SignInFields f = p->Session().Fields();
        f.url = QStringLiteral("127.0.0.1");
        f.port = QStringLiteral("6001");
        f.id = QStringLiteral("admin");
        p->Session().SetFields(f);
        QCOMPARE(p->SignIn(), 0);
        break;
      }
    }
    QTRY_VERIFY(Idle(form, pane));
    QCoreApplication::processEvents();
    QCOMPARE(form.WideMode(), wide);
    if (!signIn) {
      // The enlargement stays as it was: nothing was connected.
      QVERIFY(p->Enlarged());
      QCOMPARE(form.PaneRect(pane), enlarged);
      QCOMPARE(p->geometry(), enlarged);
      QCOMPARE(StoredZoom(form, pane), 1);
      return;
    }
    QTRY_VERIFY(!p->Enlarged());
    QCOMPARE(p->geometry(), form.CellRect(pane));
    QCOMPARE(StoredZoom(form, pane), 0);
    // Every pane not under the other enlarged one is in its cell, on top
    // there, its picture drawn; an idle pane shows its sign-in panel there.
    for (int i = 0; i < form.PaneCount(); ++i) {
      const int coveredBy = form.Layout().CoveredBy(i);
      if (coveredBy >= 0) {
        QCOMPARE(coveredBy, otherEnlarged);
        continue;
      }
      QVERIFY2(form.Pane(i)->Session().Render().Display() != 0, qPrintable(QString::number(i)));
      QCOMPARE(PaneOnTopAt(form, form.CellRect(i).center()), i);
      if (i == otherEnlarged || !Idle(form, i)) continue;
      QWidget* address = form.Pane(i)->Control(kIdAddressEdit);
      QVERIFY(address->isVisible());
      const QPoint at = address->mapTo(&form, address->rect().center());
      QVERIFY2(form.CellRect(i).contains(at), qPrintable(QString::number(i)));
      QCOMPARE(form.childAt(at), address);
    }
    if (otherEnlarged >= 0) {
      QVERIFY(form.Pane(otherEnlarged)->Enlarged());
      QCOMPARE(StoredZoom(form, otherEnlarged), 1);
    }
    // The pane's connection is over: a new sign-in and log-out change nothing.
    LoginInfo info{};
    QCOMPARE(DriveSession(p->Session(), Fake(), kPaneLive, 0, info), kPaneLive);
    p->LogOut();
    QCoreApplication::processEvents();
    QVERIFY(!p->Enlarged());
    QCOMPARE(p->geometry(), form.CellRect(pane));
  }
};

QTEST_MAIN(LogOutLayoutTest)
#include "LogOutLayoutTest.moc"
