// Where the main form puts its panes: enlarged places and the panes they
// cover for every cell of the 2 x 2, 3 x 3 and 4 x 4 grids, wide mode cell
// sizes, the display switches while panes are enlarged or one is full
// screen, the status labels' rules, and the form carrying all of it out:
// pictures switched off under an enlarged pane, a full-screen pane and back,
// wide mode, the Enter and Escape keys, and the enlargement kept across a
// restart.
#include <QtTest>
#include <QLabel>
#include <QMenu>
#include <QWheelEvent>
#include <algorithm>
#include <cstdio>

#include "FakeAudioDevices.h"
#include "FakePaneLink.h"
#include "MainWindow.h"
#include "RecordingPresenter.h"
#include "TopMost.h"
#include "base/MRegistry.h"
#include "base/SettingsIndex.h"
#include "controls/MessageBoxes.h"
#include "form/FormLayout.h"
#include "form/MFormView.h"
#include "form/SidePanel.h"
#include "pane/MViewer.h"

namespace {

FakePaneLink& Fake() {
  static FakePaneLink link;
  return link;
}

FormOptions Options(AudioDeviceFactory* audio, int columns, int rows, QSize workArea = QSize(1920, 1080)) {
  FormOptions o;
  o.columns = columns;
  o.rows = rows;
  o.audio = audio;
  o.autoSignInStep = std::chrono::milliseconds(1);
  o.workArea = workArea;
  o.pane.link = &Fake();
  return o;
}

void PostToForm(MFormView& form, unsigned message, int slot) {
  PostWindowMessage(&form, message, static_cast<std::uintptr_t>(slot), reinterpret_cast<std::intptr_t>(form.Pane(slot)));
  QCoreApplication::processEvents();
}

int PictureOn(MFormView& form, int i) { return form.Pane(i)->Session().Render().Display(); }

std::vector<int> DisplayedPanes(MFormView& form) {
  std::vector<int> on;
  for (int i = 0; i < form.PaneCount(); ++i) {
    if (PictureOn(form, i) != 0) on.push_back(i);
  }
  return on;
}

int StoredZoom(MFormView& form, int i) {
  return ReadSettingDword(form.Pane(i)->Session().Settings(), "Zoom", "Enable", -1);
}

// The pane seen at the centre of |cell|: the one on top there.
int PaneOnTopAt(MFormView& form, const QRect& cell) { return form.PaneIndexOf(form.childAt(cell.center())); }

QSize EnlargedSize(const FormGeometry& g) { return QSize(2 * g.cellWidth + 5, 2 * g.cellHeight + 15); }

}  // namespace

class FormLayoutTest : public QObject {
  Q_OBJECT
  QTemporaryDir dir_;
  RecordingPresenter boxes_;

 private slots:
  void initTestCase() {
    qputenv("XDG_CONFIG_HOME", dir_.filePath("config").toUtf8());
    SetBoxPresenter(&boxes_);
  }
  void cleanupTestCase() { SetBoxPresenter(nullptr); }
  void init() {
    boxes_.shown.clear();
    boxes_.answer = kIdNo;
    // No pane comes back enlarged from an earlier test.
    for (int i = 0; i < FormGeometry::kMaxPanes; ++i) {
      char name[16];
      std::snprintf(name, sizeof name, settings::kViewerKeyFormat, i);
      SettingsKey key;
      OpenSettingsKey(QString::fromLatin1(name), &key);
      WriteSettingDword(key, "Zoom", "Enable", 0);
    }
  }

  // --- pure geometry ------------------------------------------------------

  void enlargedPlace_data() {
    QTest::addColumn<int>("grid");
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("anchor");  // the cell whose corner the place starts at
    QTest::addColumn<QList<int>>("covered");
    struct Row {
      int grid, index, anchor;
      QList<int> covered;
    };
    const Row rows[] = {
        // 2 x 2: every pane covers the other three.
        {2, 0, 0, {1, 2, 3}}, {2, 1, 0, {0, 2, 3}}, {2, 2, 0, {0, 1, 3}}, {2, 3, 0, {0, 1, 2}},
        // 3 x 3: the last column reaches left, the last row upward.
        {3, 0, 0, {1, 3, 4}}, {3, 1, 1, {2, 4, 5}}, {3, 2, 1, {1, 4, 5}},
        {3, 3, 3, {4, 6, 7}}, {3, 4, 4, {5, 7, 8}}, {3, 5, 4, {4, 7, 8}},
        {3, 6, 3, {3, 4, 7}}, {3, 7, 4, {4, 5, 8}}, {3, 8, 4, {4, 5, 7}},
        // 4 x 4.
        {4, 0, 0, {1, 4, 5}}, {4, 1, 1, {2, 5, 6}}, {4, 2, 2, {3, 6, 7}}, {4, 3, 2, {2, 6, 7}},
        {4, 4, 4, {5, 8, 9}}, {4, 5, 5, {6, 9, 10}}, {4, 6, 6, {7, 10, 11}}, {4, 7, 6, {6, 10, 11}},
        {4, 8, 8, {9, 12, 13}}, {4, 9, 9, {10, 13, 14}}, {4, 10, 10, {11, 14, 15}}, {4, 11, 10, {10, 14, 15}},
        {4, 12, 8, {8, 9, 13}}, {4, 13, 9, {9, 10, 14}}, {4, 14, 10, {10, 11, 15}}, {4, 15, 10, {10, 11, 14}},
    };
    for (const Row& r : rows) {
      QTest::addRow("%dx%d pane %d", r.grid, r.grid, r.index) << r.grid << r.index << r.anchor << r.covered;
    }
  }
  void enlargedPlace() {
    QFETCH(int, grid);
    QFETCH(int, index);
    QFETCH(int, anchor);
    QFETCH(QList<int>, covered);
    for (const QSize cell : {QSize(320, 240), QSize(279, 225)}) {
      FormGeometry g = FormGeometry::ForLayout(grid, grid);
      g.cellWidth = cell.width();
      g.cellHeight = cell.height();
      const EnlargedPlace p = PlaceEnlarged(g, index);
      QVERIFY(p.valid);
      QCOMPARE(p.rect, QRect(g.Cell(anchor).topLeft(), EnlargedSize(g)));
      QCOMPARE(QList<int>(p.covered.begin(), p.covered.end()), covered);
      // The place is exactly four cells of the grid, the pane's own among them.
      QVERIFY(p.rect.contains(g.Cell(index)));
      for (int c : covered) QVERIFY(p.rect.contains(g.Cell(c)));
      QCOMPARE(p.rect.bottomRight(), g.Cell(std::max({index, covered[0], covered[1], covered[2]})).bottomRight());
    }
  }

  void noPlaceInASingleRowOrColumn() {
    for (const QPoint xy : {QPoint(1, 1), QPoint(2, 1), QPoint(1, 3)}) {
      FormLayout layout(FormGeometry::ForLayout(xy.x(), xy.y()));
      QVERIFY(layout.ToggleEnlarged(0).empty());
      QVERIFY(!layout.Enlarged(0));
    }
  }

  void wideCellSize_data() {
    QTest::addColumn<int>("grid");
    QTest::addColumn<QSize>("area");
    QTest::addColumn<QSize>("client");
    QTest::addColumn<bool>("wide");
    QTest::addColumn<QSize>("cell");
    // Wide: the form covers the work area; the cells fill it.
    QTest::newRow("wide 3x3 on 1280x1024") << 3 << QSize(1280, 1024) << QSize(1280, 1024) << true << QSize(418, 319);
    QTest::newRow("wide 2x2 on 1920x1080") << 2 << QSize(1920, 1080) << QSize(1920, 1080) << true << QSize(949, 514);
    QTest::newRow("wide 4x4 on 800x600") << 4 << QSize(800, 600) << QSize(800, 600) << true << QSize(192, 129);
    // Back in the remembered window: the designed cells on a large screen,
    // the start-up fit on a small one.
    QTest::newRow("normal 2x2 on 1920x1080") << 2 << QSize(1920, 1080) << QSize(821, 557) << false << QSize(320, 240);
    QTest::newRow("normal 3x3 on 1024x768") << 3 << QSize(1024, 768) << QSize(1023, 767) << false << QSize(279, 225);
    // Only one side too large still gives the designed cells.
    QTest::newRow("normal 2x2 on 1920x500") << 2 << QSize(1920, 500) << QSize(821, 450) << false << QSize(320, 240);
  }
  void wideCellSize() {
    QFETCH(int, grid);
    QFETCH(QSize, area);
    QFETCH(QSize, client);
    QFETCH(bool, wide);
    QFETCH(QSize, cell);
    QCOMPARE(LayoutCellSize(grid, grid, area, client, wide), cell);
  }

  // --- layout state ---------------------------------------------------------

  void enlargeShrinksAnOverlappingPane() {
    FormLayout l(FormGeometry::ForLayout(3, 3));
    QCOMPARE(l.ToggleEnlarged(0), std::vector<int>{0});
    for (int i : {1, 3, 4}) QCOMPARE(l.CoveredBy(i), 0);
    QVERIFY(!l.DisplayOn(1) && !l.DisplayOn(3) && !l.DisplayOn(4) && l.DisplayOn(0) && l.DisplayOn(2));
    // Pane 8's place (4, 5, 7, 8) touches pane 0's (0, 1, 3, 4) at pane 4.
    QCOMPARE(l.ToggleEnlarged(8), (std::vector<int>{8, 0}));
    QVERIFY(!l.Enlarged(0));
    for (int i : {0, 1, 2, 3, 6, 8}) QVERIFY(l.DisplayOn(i));
    for (int i : {4, 5, 7}) QCOMPARE(l.CoveredBy(i), 8);
    QCOMPARE(l.PaneRect(0), l.Geometry().Cell(0));
    QCOMPARE(l.LastEnlarged(), 8);
    // Shrinking gives every picture back.
    QCOMPARE(l.ToggleEnlarged(8), std::vector<int>{8});
    for (int i = 0; i < 9; ++i) QVERIFY(l.DisplayOn(i));
    QCOMPARE(l.LastEnlarged(), -1);
    // Places that do not overlap stay side by side.
    FormLayout four(FormGeometry::ForLayout(4, 4));
    four.ToggleEnlarged(0);
    QCOMPARE(four.ToggleEnlarged(10), std::vector<int>{10});
    QVERIFY(four.Enlarged(0) && four.Enlarged(10));
  }

  void fullScreenHidesTheOthersAndRestoresEnlargedPanes() {
    FormLayout l(FormGeometry::ForLayout(3, 3));
    l.ToggleEnlarged(4);
    l.ToggleFullScreen(2);
    for (int i = 0; i < 9; ++i) QCOMPARE(l.DisplayOn(i), i == 2);
    // Another pane full screen: the first goes back.
    l.ToggleFullScreen(0);
    QCOMPARE(l.FullScreenPane(), 0);
    l.ToggleFullScreen(0);
    QCOMPARE(l.FullScreenPane(), -1);
    QVERIFY(l.Enlarged(4));
    for (int i = 0; i < 9; ++i) QCOMPARE(l.DisplayOn(i), i != 5 && i != 7 && i != 8);
  }

  void wideModeMovesEnlargedPanes() {
    FormLayout l(FormGeometry::ForLayout(3, 3));
    l.ToggleEnlarged(8);
    l.SetWide(true, QSize(1280, 1024), QSize(1280, 1024));
    QCOMPARE(l.Geometry().top, 18);
    QCOMPARE(l.Geometry().Cell(0), QRect(8, 18, 418, 319));
    QCOMPARE(l.PaneRect(8), QRect(l.Geometry().Cell(4).topLeft(), EnlargedSize(l.Geometry())));
    QCOMPARE(l.CoveredBy(5), 8);
    l.SetWide(false, QSize(1280, 1024), QSize(1146, 812));
    QCOMPARE(l.Geometry().Cell(4), QRect(8 + 325, 44 + 255, 320, 240));
    QCOMPARE(l.PaneRect(8), QRect(333, 299, 645, 495));
  }

  // --- status labels ----------------------------------------------------------

  void statusLabels_data() {
    QTest::addColumn<int>("state");
    QTest::addColumn<int>("group");
    QTest::addColumn<bool>("on");  // listening, talking, motion, flash and recording
    QTest::addColumn<QList<bool>>("shown");  // MIC, SPK, MD, LED, REC
    QTest::newRow("live administrator") << 6 << 0 << true << QList<bool>{true, true, true, true, true};
    QTest::newRow("live operator") << 6 << 1 << true << QList<bool>{true, false, false, false, true};
    QTest::newRow("live user") << 8 << 2 << true << QList<bool>{true, false, false, false, true};
    QTest::newRow("video opened, not live") << 5 << 0 << true << QList<bool>{false, false, false, false, true};
    QTest::newRow("reconnecting with a scheduled recording") << 1 << 0 << true << QList<bool>{false, false, false, false, true};
    QTest::newRow("live, nothing on") << 6 << 0 << false << QList<bool>{false, false, false, false, false};
  }
  void statusLabels() {
    QFETCH(int, state);
    QFETCH(int, group);
    QFETCH(bool, on);
    QFETCH(QList<bool>, shown);
    PaneStatus s;
    s.state = state;
    s.group = group;
    s.listening = s.talking = s.motionOn = s.flashOn = s.recording = on;
    const QList<bool> got{strip::MicShown(s), strip::SpeakerShown(s), strip::MotionShown(s), strip::FlashShown(s),
                          strip::RecordingShown(s)};
    QCOMPARE(got, shown);
  }

  void titleColours() {
    PaneStatus s;
    QCOMPARE(strip::TitleColour(s, true), QColor(125, 255, 126));
    QCOMPARE(strip::TitleColour(s, false), QColor(255, 255, 255));
    s.recording = true;
    QCOMPARE(strip::TitleColour(s, true), QColor(255, 0, 0));
    QCOMPARE(strip::TitleColour(s, false), QColor(255, 100, 100));
  }

  // --- the form -----------------------------------------------------------------

  void formEnlargesAndShrinks() {
    FakeAudioFactory audio;
    MFormView form(nullptr, Options(&audio, 3, 3));
    QVERIFY(form.Created());
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    PostToForm(form, WM_PANE_ENLARGE, 0);
    QCOMPARE(form.Pane(0)->geometry(), QRect(8, 44, 645, 495));
    QVERIFY(form.Pane(0)->Enlarged());
    QCOMPARE(DisplayedPanes(form), (std::vector<int>{0, 2, 5, 6, 7, 8}));
    QCOMPARE(StoredZoom(form, 0), 1);
    // The enlarged pane is on top of the panes it covers.
    for (int i : {1, 3, 4}) QCOMPARE(PaneOnTopAt(form, form.CellRect(i)), 0);
    // Pane 8 reaches up and left over pane 4: pane 0 shrinks, stored shrunk.
    PostToForm(form, WM_PANE_ENLARGE, 8);
    QCOMPARE(form.Pane(8)->geometry(), QRect(form.CellRect(4).topLeft(), QSize(645, 495)));
    QCOMPARE(form.Pane(0)->geometry(), form.CellRect(0));
    QVERIFY(!form.Pane(0)->Enlarged());
    QCOMPARE(DisplayedPanes(form), (std::vector<int>{0, 1, 2, 3, 6, 8}));
    QCOMPARE(StoredZoom(form, 0), 0);
    QCOMPARE(StoredZoom(form, 8), 1);
    for (int i : {4, 5, 7}) QCOMPARE(PaneOnTopAt(form, form.CellRect(i)), 8);
    QCOMPARE(PaneOnTopAt(form, form.CellRect(0)), 0);
    // Toggling again puts it back in its cell, under nothing.
    PostToForm(form, WM_PANE_ENLARGE, 8);
    QCOMPARE(form.Pane(8)->geometry(), form.CellRect(8));
    QCOMPARE(DisplayedPanes(form).size(), std::size_t{9});
    QCOMPARE(StoredZoom(form, 8), 0);
    for (int i : {4, 5, 7}) QCOMPARE(PaneOnTopAt(form, form.CellRect(i)), i);
  }

  void formFullScreenAndBack() {
    FakeAudioFactory audio;
    MFormView form(nullptr, Options(&audio, 3, 3));
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    PostToForm(form, WM_PANE_ENLARGE, 4);
    PostToForm(form, WM_PANE_FULLSCREEN, 2);
    MViewer* pane = form.Pane(2);
    QVERIFY(pane->FullScreen());
    QVERIFY(pane->isWindow());
    QCOMPARE(form.FullScreenPane(), pane);
    QCOMPARE(form.CurrentIndex(), 2);
    QCOMPARE(DisplayedPanes(form), std::vector<int>{2});
    // Back in its cell; the enlarged pane covers its neighbours again.
    PostToForm(form, WM_PANE_FULLSCREEN, 2);
    QVERIFY(!pane->FullScreen());
    QCOMPARE(pane->parentWidget(), &form);
    QVERIFY(pane->isVisible());
    QCOMPARE(pane->geometry(), form.CellRect(2));
    QCOMPARE(form.Pane(4)->geometry(), QRect(form.CellRect(4).topLeft(), QSize(645, 495)));
    QCOMPARE(DisplayedPanes(form), (std::vector<int>{0, 1, 2, 3, 4, 6}));
    QCOMPARE(PaneOnTopAt(form, form.CellRect(8)), 4);
    QCOMPARE(form.FullScreenPane(), nullptr);
  }

  void formWideMode() {
    FakeAudioFactory audio;
    MFormView form(nullptr, Options(&audio, 3, 3, QSize(1280, 1024)));
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    PostToForm(form, WM_PANE_ENLARGE, 8);
    const QRect before = form.geometry();
    form.Router().DispatchCommand(kIdWideButton);
    QVERIFY(form.WideMode());
    QCOMPARE(form.geometry(), QRect(0, 0, 1280, 1024));
    QVERIFY(form.Panel()->isHidden());
    for (int id : {2550, 2551, 2552, 2553}) QVERIFY(form.TitleButton(id)->isHidden());
    QCOMPARE(form.Pane(0)->geometry(), QRect(8, 18, 418, 319));
    QCOMPARE(form.Pane(8)->geometry(), QRect(form.CellRect(4).topLeft(), QSize(2 * 418 + 5, 2 * 319 + 15)));
    // Escape's way out of wide mode.
    QVERIFY(form.LeaveFullScreenOrWideMode());
    QCoreApplication::processEvents();
    QVERIFY(!form.WideMode());
    QCOMPARE(form.geometry(), before);
    QVERIFY(!form.Panel()->isHidden());
    for (int id : {2550, 2551, 2552, 2553}) {
      QVERIFY(!form.TitleButton(id)->isHidden());
      QCOMPARE(form.TitleButton(id)->objectName(), QString::number(id));
    }
    QCOMPARE(form.TitleButton(2553)->x(), form.width() - 97);
    QCOMPARE(form.TitleButton(2550)->x(), form.width() - 49);
    QCOMPARE(form.Pane(0)->geometry(), QRect(8, 44, 320, 240));
    QCOMPARE(form.Pane(8)->geometry(), QRect(333, 299, 645, 495));
    QVERIFY(!form.LeaveFullScreenOrWideMode());
  }

  void enlargementComesBackAtStartUp() {
    FakeAudioFactory audio;
    {
      MFormView form(nullptr, Options(&audio, 3, 3));
      PostToForm(form, WM_PANE_ENLARGE, 5);
    }
    MFormView form(nullptr, Options(&audio, 3, 3));
    QSignalSpy finished(&form, &MFormView::autoSignInFinished);
    QTRY_COMPARE(finished.count(), 1);
    QTRY_VERIFY(form.Pane(5)->Enlarged());
    // Pane 5 is in the last column: its place reaches left over pane 4.
    QCOMPARE(form.Pane(5)->geometry(), QRect(form.CellRect(4).topLeft(), QSize(645, 495)));
    QCOMPARE(PictureOn(form, 4), 0);
    // The remembered enlarged pane is the current one.
    QTRY_COMPARE(form.CurrentIndex(), 5);
    QTRY_VERIFY(form.Pane(5)->Session().Audio().Selected());
  }

  void enterAndEscapeKeys() {
    FakeAudioFactory audio;
    MainWindow w(0, GlobalSettings{}, Options(&audio, 2, 2));
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    MFormView* form = w.Form();
    QTRY_VERIFY(form->Pane(0)->Session().Audio().Selected());
    ToggleAlwaysOnTop(&w);
    QVERIFY(w.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    LoginInfo info{};
    QCOMPARE(DriveSession(form->Pane(0)->Session(), Fake(), kPaneLive, 0, info), kPaneLive);
    // Enter on a live pane: full screen; the main window no longer on top.
    QTest::keyClick(form->Pane(0), Qt::Key_Return);
    QTRY_VERIFY(form->Pane(0)->isWindow());
    QCOMPARE(DisplayedPanes(*form), std::vector<int>{0});
    QVERIFY(!w.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    // Escape on the full-screen pane leaves full screen without a question.
    QTest::keyClick(form->Pane(0), Qt::Key_Escape);
    QTRY_VERIFY(!form->Pane(0)->isWindow());
    QCOMPARE(DisplayedPanes(*form).size(), std::size_t{4});
    QVERIFY(w.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    ToggleAlwaysOnTop(&w);
    // The maximise button: the current pane full screen.
    qobject_cast<QAbstractButton*>(form->TitleButton(kIdMaximiseButton))->click();
    QTRY_VERIFY(form->Pane(0)->isWindow());
    QTest::keyClick(form->Pane(0), Qt::Key_Escape);
    QTRY_VERIFY(!form->Pane(0)->isWindow());
    // Maximising the main window does the same and keeps its size.
    const QSize size = w.size();
    w.showMaximized();
    QTRY_VERIFY(form->Pane(0)->isWindow());
    QTRY_VERIFY(!w.isMaximized());
    QCOMPARE(w.size(), size);
    QTest::keyClick(form->Pane(0), Qt::Key_Escape);
    QTRY_VERIFY(!form->Pane(0)->isWindow());
    // Wide mode, left by Escape.
    qobject_cast<QAbstractButton*>(form->TitleButton(kIdWideButton))->click();
    QVERIFY(form->WideMode());
    QTest::keyClick(form, Qt::Key_Escape);
    QTRY_VERIFY(!form->WideMode());
    QVERIFY(boxes_.shown.isEmpty());
    // Only then does Escape ask before the program ends.
    QTest::keyClick(form, Qt::Key_Escape);
    QCOMPARE(boxes_.shown, QList<int>{20110});
    form->Pane(0)->LogOut();
  }

  // After typing into an idle pane, a click on a live pane makes Enter show
  // that pane full screen, not sign the idle pane in.
  void enterGoesToTheClickedPane() {
    FakeAudioFactory audio;
    MainWindow w(0, GlobalSettings{}, Options(&audio, 2, 2));
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    MFormView* form = w.Form();
    LoginInfo info{};
    QCOMPARE(DriveSession(form->Pane(0)->Session(), Fake(), kPaneLive, 0, info), kPaneLive);
    form->Pane(1)->Control(kIdAddressEdit)->setFocus(Qt::MouseFocusReason);  // the user clicks into it
    QTRY_COMPARE(form->CurrentIndex(), 1);
    PostToForm(*form, WM_PANE_SELECT, 0);
    QCOMPARE(form->CurrentIndex(), 0);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QTRY_VERIFY(form->Pane(0)->isWindow());
    QCOMPARE(form->Pane(1)->Session().State(), kPaneIdle);
    QVERIFY(boxes_.shown.isEmpty());
    QTest::keyClick(form->Pane(0), Qt::Key_Escape);
    QTRY_VERIFY(!form->Pane(0)->isWindow());
    form->Pane(0)->LogOut();
  }

  // A wheel turned over the main window outside the panes turns the current
  // pane's: the pan/tilt camera zooms, the others ignore it.
  void wheelOutsideThePanesGoesToTheCurrentPane() {
    for (int model : {kModelPanTilt, kModelFixed}) {
      FakeAudioFactory audio;
      MainWindow w(0, GlobalSettings{}, Options(&audio, 2, 2));
      w.show();
      QVERIFY(QTest::qWaitForWindowExposed(&w));
      MFormView* form = w.Form();
      LoginInfo info{};
      info.model = model;
      QCOMPARE(DriveSession(form->Pane(1)->Session(), Fake(), kPaneLive, 0, info), kPaneLive);
      PostToForm(*form, WM_PANE_SELECT, 1);
      Fake().ClearSent();
      // The title strip above the grid belongs to no pane.
      const QPointF at(200, 12);
      QCOMPARE(form->PaneIndexOf(form->childAt(at.toPoint())), -1);
      // The form and the strip take no wheel: Qt hands a turn there on to
      // the main window.
      const QPointF local = form->mapTo(&w, at);
      for (int delta : {120, -120}) {
        QWheelEvent e(local, w.mapToGlobal(local), {}, QPoint(0, delta), Qt::NoButton, {}, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(&w, &e);
      }
      const std::vector<std::string> zoom{"PTZ 0 0 1 0", "PTZ 0 0 -1 0"};
      QCOMPARE(Fake().Sent(), model == kModelPanTilt ? zoom : std::vector<std::string>{});
      form->Pane(1)->LogOut();
    }
  }

  // The full-screen pane is a window of its own: entering full screen moves
  // the focus there and must not count as leaving the program, nor must a
  // menu opened over it; another window taking the focus (the user switched
  // to another program) takes the pane out of full screen.
  void fullScreenLeavesWhenTheFocusGoesElsewhere() {
    FakeAudioFactory audio;
    MainWindow w(0, GlobalSettings{}, Options(&audio, 2, 2));
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    MFormView* form = w.Form();
    MViewer* pane = form->Pane(0);
    LoginInfo info{};
    QCOMPARE(DriveSession(pane->Session(), Fake(), kPaneLive, 0, info), kPaneLive);
    QTest::keyClick(pane, Qt::Key_Return);
    QTRY_VERIFY(pane->isWindow());
    QTRY_COMPARE(QGuiApplication::focusWindow(), pane->windowHandle());
    QCoreApplication::processEvents();
    QVERIFY(pane->isWindow());
    QCOMPARE(form->FullScreenPane(), pane);
    // A popup menu over the pane.
    QMenu menu(pane);
    menu.addAction(QStringLiteral("x"));
    menu.popup(QPoint(10, 10));
    QVERIFY(QTest::qWaitForWindowExposed(&menu));
    menu.close();
    QCoreApplication::processEvents();
    QVERIFY(pane->isWindow());
    // Another window takes the focus.
    QWidget other;
    other.resize(100, 100);
    other.show();
    other.activateWindow();
    QTRY_VERIFY(!pane->isWindow());
    QCoreApplication::processEvents();
    // The main window does not take the focus back from the other window.
    QCOMPARE(QGuiApplication::focusWindow(), other.windowHandle());
    QCOMPARE(form->FullScreenPane(), nullptr);
    QCOMPARE(DisplayedPanes(*form).size(), std::size_t{4});
    pane->LogOut();
  }
};

QTEST_MAIN(FormLayoutTest)
#include "FormLayoutTest.moc"
