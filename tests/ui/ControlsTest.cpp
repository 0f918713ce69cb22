// The skinned controls: hold timing (repeat and long-press buttons, the
// pad) on a fake clock, clicks that count only when released on a button,
// the pad's zones and steps, the track bar's and the list's arithmetic, the
// combo box's notices in order, the busy lock, and a rendered sheet of every
// control to look at.
#include <QtTest>
#include <QApplication>
#include <QScrollBar>
#include <QVBoxLayout>

#include "controls/Controls.h"

namespace {

using TimePoint = HoldRepeater::TimePoint;
using Ms = std::chrono::milliseconds;

// A clock the test moves by hand.
struct FakeClock {
  TimePoint now{Ms(1'000'000)};
  TimePoint start = now;
  void At(int ms) { now = start + Ms(ms); }
  HoldTimer::Clock Fn() {
    return [this] { return now; };
  }
};

// Mouse events sent straight to a widget (no window system in between).
void Mouse(QWidget* w, QEvent::Type type, QPoint at, bool held = true) {
  const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
  const Qt::MouseButtons buttons =
      (type == QEvent::MouseButtonRelease || !held) ? Qt::MouseButtons() : Qt::MouseButtons(Qt::LeftButton);
  QMouseEvent e(type, QPointF(at), w->mapToGlobal(QPointF(at)), button, buttons, Qt::NoModifier);
  QApplication::sendEvent(w, &e);
}
void Press(QWidget* w, QPoint at) { Mouse(w, QEvent::MouseButtonPress, at); }
void Release(QWidget* w, QPoint at) { Mouse(w, QEvent::MouseButtonRelease, at); }
void Move(QWidget* w, QPoint at) { Mouse(w, QEvent::MouseMove, at); }
void Click(QWidget* w, QPoint at) {
  Press(w, at);
  Release(w, at);
}

// A shown top-level window for the widgets under test.
struct Window {
  QWidget top;
  Window() {
    top.resize(400, 300);
    top.show();
  }
};

constexpr int kNoDrag = -1000;

// The pad's steps as letters: L U R D for the arrows, 0 for all zeros,
// ? for anything else.
QString Letter(const PtzStep& s) {
  if (s == PadStep(1)) return QStringLiteral("L");
  if (s == PadStep(2)) return QStringLiteral("U");
  if (s == PadStep(3)) return QStringLiteral("R");
  if (s == PadStep(4)) return QStringLiteral("D");
  if (s == PtzStep{}) return QStringLiteral("0");
  return QStringLiteral("?");
}

}  // namespace

class ControlsTest : public QObject {
  Q_OBJECT
 private slots:
  // --- Hold timing ---------------------------------------------------------

  void holdRepeater_data() {
    QTest::addColumn<int>("interval");
    QTest::addColumn<int>("holdMs");     // release (or leave) this long after the press
    QTest::addColumn<int>("pollEvery");  // 0: no poll before the release
    QTest::addColumn<bool>("leave");
    QTest::addColumn<int>("repeats");
    QTest::addColumn<bool>("click");
    QTest::newRow("released before one interval: a click") << 200 << 150 << 50 << false << 0 << true;
    QTest::newRow("held past one interval: a repeat, no click") << 200 << 250 << 50 << false << 1 << false;
    QTest::newRow("held exactly one interval") << 200 << 200 << 200 << false << 1 << false;
    QTest::newRow("held 1 s at 200 ms: five repeats") << 200 << 1000 << 50 << false << 5 << false;
    QTest::newRow("polled late: all due at once") << 200 << 1000 << 1000 << false << 5 << false;
    QTest::newRow("never polled: still no click") << 200 << 1000 << 0 << false << 0 << false;
    QTest::newRow("long press of 2000 ms") << 2000 << 2100 << 100 << false << 1 << false;
    QTest::newRow("short of a long press: a click") << 2000 << 1990 << 100 << false << 0 << true;
    QTest::newRow("left before the interval: nothing") << 200 << 150 << 50 << true << 0 << false;
    QTest::newRow("no interval never repeats") << 0 << 5000 << 100 << false << 0 << true;
  }
  void holdRepeater() {
    QFETCH(int, interval);
    QFETCH(int, holdMs);
    QFETCH(int, pollEvery);
    QFETCH(bool, leave);
    const TimePoint t0{Ms(5000)};
    HoldRepeater r{Ms(interval)};
    r.Press(t0);
    int repeats = 0;
    for (int t = pollEvery; pollEvery > 0 && t <= holdMs; t += pollEvery) repeats += r.Poll(t0 + Ms(t));
    bool click = false;
    if (leave) {
      r.Leave();
    } else {
      click = !r.Release(t0 + Ms(holdMs));
    }
    QTEST(repeats, "repeats");
    QTEST(click, "click");
    // The hold is over: nothing more falls due, and a release is no click.
    QCOMPARE(r.Poll(t0 + Ms(holdMs + 10 * (interval + 1))), 0);
    QVERIFY(!r.Release(t0 + Ms(holdMs + 1)));
    // A new press starts its count afresh.
    r.Press(t0 + Ms(20000));
    QCOMPARE(r.Poll(t0 + Ms(20000 + interval - 1)), 0);
  }

  // A button with a repeat interval, held on a fake clock and released on or
  // off it; drags off a button and releases elsewhere give no click.
  void buttonHold_data() {
    QTest::addColumn<int>("interval");
    QTest::addColumn<int>("message");
    QTest::addColumn<QList<int>>("polls");  // clock times (ms after the press) to poll at
    QTest::addColumn<int>("releaseAt");
    QTest::addColumn<QString>("how");       // "on", "off" (released outside), "drag" (moved off first)
    QTest::addColumn<int>("commands");
    QTest::addColumn<int>("repeats");
    QTest::newRow("click") << 0 << 0 << QList<int>{} << 100 << "on" << 1 << 0;
    QTest::newRow("released off the button") << 0 << 0 << QList<int>{} << 100 << "off" << 0 << 0;
    QTest::newRow("dragged off, released off") << 0 << 0 << QList<int>{} << 100 << "drag" << 0 << 0;
    QTest::newRow("repeat button held past one interval") << 200 << 1050 << QList<int>{200} << 250 << "on" << 0 << 1;
    QTest::newRow("repeat button tapped") << 200 << 1050 << QList<int>{} << 120 << "on" << 1 << 0;
    QTest::newRow("repeat button held 1 s") << 200 << 1050 << QList<int>{200, 400, 600, 800} << 1000 << "on" << 0 << 5;
    QTest::newRow("long press") << 2000 << 1029 << QList<int>{1000, 2000} << 2100 << "on" << 0 << 1;
    QTest::newRow("short of a long press") << 2000 << 1029 << QList<int>{1000} << 1500 << "on" << 1 << 0;
    QTest::newRow("long press dragged off before it fell due") << 2000 << 1029 << QList<int>{1000} << 2100 << "drag" << 0 << 0;
    QTest::newRow("repeats without a message are commands") << 200 << 0 << QList<int>{200, 400} << 450 << "on" << 2 << 0;
  }
  void buttonHold() {
    QFETCH(int, interval);
    QFETCH(int, message);
    QFETCH(QList<int>, polls);
    QFETCH(int, releaseAt);
    QFETCH(QString, how);
    Window w;
    FakeClock clock;
    MButton* b = MButton::Labelled(&w.top, 77, 10, 10, QSize(60, 24), QStringLiteral("Hold"));
    b->show();
    b->SetRepeat(interval, message);
    b->Hold()->SetClock(clock.Fn());
    QSignalSpy commanded(b, &MButton::commanded);
    QSignalSpy clicked(b, &MButton::clicked);
    QSignalSpy repeated(b, &MButton::repeated);
    Press(b, QPoint(30, 12));
    QVERIFY(b->isDown());
    for (int t : polls) {
      clock.At(t);
      b->Hold()->Poll();
    }
    if (how == "drag") {
      Move(b, QPoint(30, 40));
      QVERIFY(!b->isDown());
      // Coming back does not press it again.
      Move(b, QPoint(30, 12));
    }
    clock.At(releaseAt);
    Release(b, how == "on" ? QPoint(30, 12) : QPoint(30, 40));
    QVERIFY(!b->isDown());
    QTEST(int(commanded.count()), "commands");
    QTEST(int(repeated.count()), "repeats");
    QCOMPARE(clicked.count(), commanded.count());
    for (const QList<QVariant>& args : commanded) QCOMPARE(args.at(0).toInt(), 77);
    for (const QList<QVariant>& args : repeated) {
      QCOMPARE(args.at(0).toInt(), 77);
      QCOMPARE(args.at(1).toInt(), message);
    }
  }

  // Keyboard clicks and click() from code reach the owner as commands too.
  void clickFromCodeIsACommand() {
    Window w;
    MButton* b = MButton::Labelled(&w.top, 78, 10, 10, QSize(60, 24), QStringLiteral("Go"));
    b->SetRepeat(2000, 1029);
    QSignalSpy commanded(b, &MButton::commanded);
    b->click();
    b->setFocus();
    QTest::keyClick(b, Qt::Key_Space);
    QCOMPARE(commanded.count(), 2);
    QCOMPARE(commanded.at(1).at(0).toInt(), 78);
  }

  // --- The pan/tilt pad ------------------------------------------------------

  void padZones_data() {
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("y");
    QTest::addColumn<int>("zone");
    QTest::newRow("left, top-left corner") << 19 << 40 << 1;
    QTest::newRow("left, bottom-right corner") << 38 << 72 << 1;
    QTest::newRow("left of the left arrow") << 18 << 56 << 0;
    QTest::newRow("above the left arrow") << 28 << 39 << 0;
    QTest::newRow("up, top-left corner") << 39 << 20 << 2;
    QTest::newRow("up, bottom-right corner") << 72 << 38 << 2;
    QTest::newRow("above the up arrow") << 56 << 19 << 0;
    QTest::newRow("right, top-left corner") << 74 << 40 << 3;
    QTest::newRow("right, bottom-right corner") << 91 << 72 << 3;
    QTest::newRow("between the centre and the right arrow") << 73 << 56 << 0;
    QTest::newRow("right of the right arrow") << 92 << 56 << 0;
    QTest::newRow("down, top-left corner") << 40 << 74 << 4;
    QTest::newRow("down, bottom-right corner") << 72 << 91 << 4;
    QTest::newRow("below the down arrow") << 56 << 92 << 0;
    QTest::newRow("left of the down arrow") << 39 << 80 << 0;
    QTest::newRow("centre, between the arrows") << 56 << 56 << 0;
    QTest::newRow("between the left and up arrows") << 39 << 39 << 0;
    QTest::newRow("between the up and right arrows") << 73 << 39 << 0;
  }
  void padZones() {
    QFETCH(int, x);
    QFETCH(int, y);
    QTEST(PadZoneAt(x, y), "zone");
  }

  void padSteps() {
    QCOMPARE(PadStep(0), (PtzStep{0, 0, 0, 0}));
    QCOMPARE(PadStep(1), (PtzStep{-2, 0, 0, 0}));
    QCOMPARE(PadStep(2), (PtzStep{0, 2, 0, 0}));
    QCOMPARE(PadStep(3), (PtzStep{2, 0, 0, 0}));
    QCOMPARE(PadStep(4), (PtzStep{0, -2, 0, 0}));
    QCOMPARE(PadStep(5), PtzStep{});
  }

  // The pad driven by a script of mouse events and clock times:
  //   p x y  press      d x y  double click (a press)   m x y  move
  //   r x y  release    t ms   clock to ms after the start, then poll
  //   l      the pointer leaves the pad
  void padSequence_data() {
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("steps");
    QTest::newRow("click on the up arrow") << "p 56 29; r 56 29" << "U";
    QTest::newRow("hold the right arrow 1 s") << "p 83 56; t 200; t 400; t 600; t 800; t 1000; r 83 56" << "R R R R R R";
    QTest::newRow("hold 1 s, timer late") << "p 83 56; t 1000; r 83 56" << "R R R R R R";
    QTest::newRow("released just short of a repeat") << "p 28 56; t 199; r 28 56" << "L";
    QTest::newRow("slide from left to down") << "p 28 56; t 200; m 56 83; t 400; t 600; r 56 83" << "L D D D";
    QTest::newRow("click between the arrows") << "p 56 56; r 56 56" << "0";
    QTest::newRow("slide off the arrows before release") << "p 28 56; t 200; m 56 56; r 56 56" << "L 0";
    QTest::newRow("pointer leaves while held") << "p 28 56; t 200; l; t 400; r 28 56" << "L";
    QTest::newRow("dragged off the pad") << "p 28 56; m 150 56; t 400; r 150 56" << "";
    QTest::newRow("released off the pad") << "p 28 56; r 150 56" << "";
    QTest::newRow("quick second click counts") << "p 56 29; r 56 29; d 56 29; r 56 29" << "U U";
  }
  void padSequence() {
    QFETCH(QString, script);
    Window w;
    FakeClock clock;
    auto* pad = new MStaticPanTilt(&w.top, 10, 10);
    pad->show();
    pad->Hold()->SetClock(clock.Fn());
    QStringList steps;
    connect(pad, &MStaticPanTilt::step, pad, [&steps](const PtzStep& s) { steps << Letter(s); });
    for (const QString& command : script.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
      const QStringList a = command.trimmed().split(QLatin1Char(' '));
      const QPoint at = a.size() >= 3 ? QPoint(a[1].toInt(), a[2].toInt()) : QPoint();
      if (a[0] == "p") Press(pad, at);
      else if (a[0] == "d") Mouse(pad, QEvent::MouseButtonDblClick, at);
      else if (a[0] == "m") Move(pad, at);
      else if (a[0] == "r") Release(pad, at);
      else if (a[0] == "l") {
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(pad, &leave);
      }
      else if (a[0] == "t") {
        clock.At(a[1].toInt());
        pad->Hold()->Poll();
      } else {
        QFAIL(qPrintable("bad script command " + command));
      }
    }
    QTEST(steps.join(QLatin1Char(' ')), "steps");
    QVERIFY(!pad->Pressed());
  }

  // --- Track bar -------------------------------------------------------------

  void trackValue_data() {
    QTest::addColumn<int>("maximum");
    QTest::addColumn<int>("pps");
    QTest::addColumn<int>("pixel");
    QTest::addColumn<int>("value");
    QTest::newRow("x 43 on 6 px steps") << 12 << 6 << 43 << 6;
    QTest::newRow("start of the travel") << 12 << 6 << 7 << 0;
    QTest::newRow("inside the left margin") << 12 << 6 << 2 << 0;
    QTest::newRow("one pixel short of a step") << 12 << 6 << 12 << 0;
    QTest::newRow("first step") << 12 << 6 << 13 << 1;
    QTest::newRow("past the maximum") << 12 << 6 << 93 << 12;
    QTest::newRow("far outside") << 12 << 6 << 500 << 12;
    QTest::newRow("left of the bar") << 12 << 6 << -40 << 0;
    QTest::newRow("one pixel per step") << 100 << 1 << 57 << 50;
    QTest::newRow("no pixels per step counts as one") << 100 << 0 << 57 << 50;
  }
  void trackValue() {
    QFETCH(int, maximum);
    QFETCH(int, pps);
    QFETCH(int, pixel);
    QTEST(TrackValueAt(TrackRange{0, maximum, pps}, pixel), "value");
  }

  void trackPixel_data() {
    QTest::addColumn<int>("maximum");
    QTest::addColumn<int>("pps");
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("pixel");
    QTest::newRow("value 6 on 6 px steps") << 12 << 6 << 6 << 43;
    QTest::newRow("minimum") << 12 << 6 << 0 << 7;
    QTest::newRow("below the minimum") << 12 << 6 << -3 << 7;
    QTest::newRow("above the maximum") << 12 << 6 << 40 << 79;
    QTest::newRow("range longer than the bar") << 20 << 6 << 20 << 93;
  }
  void trackPixel() {
    QFETCH(int, maximum);
    QFETCH(int, pps);
    QFETCH(int, value);
    QTEST(TrackPixelOf(TrackRange{0, maximum, pps}, value, 100), "pixel");
  }

  // The bar reports once, on release, with the value under the pointer.
  void trackBarMouse_data() {
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("pressAt");
    QTest::addColumn<int>("dragTo");  // kNoDrag: released where pressed
    QTest::addColumn<int>("value");
    QTest::newRow("click at 43") << QSize(100, 20) << 43 << kNoDrag << 6;
    QTest::newRow("drag past the end") << QSize(100, 20) << 43 << 300 << 12;
    QTest::newRow("vertical, click at 43") << QSize(20, 100) << 43 << kNoDrag << 6;
    QTest::newRow("vertical, drag above the top") << QSize(20, 100) << 43 << -20 << 0;
  }
  void trackBarMouse() {
    QFETCH(QSize, size);
    QFETCH(int, pressAt);
    QFETCH(int, dragTo);
    Window w;
    MTrackBar* bar = MTrackBar::Drawn(&w.top, 950, 10, 10, size);
    bar->show();
    bar->SetRange(12, 6);
    QSignalSpy released(bar, &MTrackBar::released);
    auto at = [&](int p) { return bar->Horizontal() ? QPoint(p, size.height() / 2) : QPoint(size.width() / 2, p); };
    Press(bar, at(pressAt));
    if (dragTo != kNoDrag) Move(bar, at(dragTo));
    QCOMPARE(released.count(), 0);
    Release(bar, at(dragTo == kNoDrag ? pressAt : dragTo));
    QCOMPARE(released.count(), 1);
    QCOMPARE(released.at(0).at(0).toInt(), 950);
    QTEST(released.at(0).at(1).toInt(), "value");
    QTEST(bar->Pos(), "value");
  }

  // --- The combo's list ------------------------------------------------------

  void listKeys_data() {
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("current");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("target");
    // Five rows visible throughout.
    QTest::newRow("page down") << int(ListKey::PageDown) << 0 << 20 << 5;
    QTest::newRow("page down stops at the last row") << int(ListKey::PageDown) << 17 << 20 << 19;
    QTest::newRow("page up") << int(ListKey::PageUp) << 7 << 20 << 2;
    QTest::newRow("page up stops at the first row") << int(ListKey::PageUp) << 3 << 20 << 0;
    QTest::newRow("up at the top stays") << int(ListKey::Up) << 0 << 20 << 0;
    QTest::newRow("left is up") << int(ListKey::Left) << 4 << 20 << 3;
    QTest::newRow("right is down") << int(ListKey::Right) << 4 << 20 << 5;
    QTest::newRow("down at the bottom stays") << int(ListKey::Down) << 19 << 20 << 19;
    QTest::newRow("down with nothing chosen") << int(ListKey::Down) << -1 << 20 << 0;
    QTest::newRow("up with nothing chosen") << int(ListKey::Up) << -1 << 20 << 19;
    QTest::newRow("page down with nothing chosen") << int(ListKey::PageDown) << -1 << 20 << 4;
    QTest::newRow("page down in a short list") << int(ListKey::PageDown) << 0 << 3 << 2;
    QTest::newRow("empty list") << int(ListKey::Down) << -1 << 0 << -1;
    QTest::newRow("other keys do not move") << int(ListKey::Other) << 6 << 20 << 6;
  }
  void listKeys() {
    QFETCH(int, key);
    QFETCH(int, current);
    QFETCH(int, count);
    QTEST(ListKeyTarget(static_cast<ListKey>(key), current, count, 5), "target");
  }

  void listRowsAndScroll() {
    QCOMPARE(ListVisibleRows(200, 18), 10);
    QCOMPARE(ListVisibleRows(30, 18), 1);  // at least one row pages
    QCOMPARE(ListVisibleRows(200, 0), 1);
    const ListScroll s = ListScrollRange(20, 5);
    QCOMPARE(s.minimum, 0);
    QCOMPARE(s.maximum, 19);
    QCOMPARE(s.page, 5);
    QCOMPARE(s.LastTop(), 15);
    QCOMPARE(ListScrollRange(0, 5).maximum, 0);
    QCOMPARE(ListScrollRange(3, 10).LastTop(), 0);
    QCOMPARE(ListWheelLines(120), 3);
    QCOMPARE(ListWheelLines(-240), -6);
    QCOMPARE(ListWheelLines(60), 0);
  }

  // The list inside an open combo: its keys move the selection by its
  // visible rows, its scroll bar spans the rows, a wheel notch scrolls 3.
  void listInCombo() {
    Window w;
    MComboBox combo(&w.top, 300, QRect(10, 10, 160, 200), Qt::white, Qt::black);
    combo.show();
    for (int i = 0; i < 30; ++i) combo.AddString(QStringLiteral("Camera %1").arg(i));
    combo.Open();
    MListBox* list = combo.List();
    const int visible = list->VisibleRows();
    QCOMPARE(visible, ListVisibleRows(200, list->ItemHeight()));
    QCOMPARE(list->geometry(), QRect(0, 18, 157, 179));
    QCOMPARE(list->verticalScrollBar()->maximum(), 30 - visible);
    QCOMPARE(list->verticalScrollBar()->pageStep(), visible);
    QTest::keyClick(list, Qt::Key_Down);
    QCOMPARE(list->currentRow(), 0);
    QTest::keyClick(list, Qt::Key_PageDown);
    QCOMPARE(list->currentRow(), visible);
    QTest::keyClick(list, Qt::Key_Right);
    QCOMPARE(list->currentRow(), visible + 1);
    QTest::keyClick(list, Qt::Key_PageUp);
    QCOMPARE(list->currentRow(), 1);
    list->verticalScrollBar()->setValue(0);
    QWheelEvent down(QPointF(20, 20), list->mapToGlobal(QPointF(20, 20)), QPoint(), QPoint(0, -120),
                     Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(list->viewport(), &down);
    QCOMPARE(list->verticalScrollBar()->value(), 3);
    list->DeleteFirst();
    QCOMPARE(list->count(), 29);
    QCOMPARE(list->verticalScrollBar()->maximum(), 29 - visible);
  }

  // --- Combo box notices -----------------------------------------------------

  void comboNotices_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<QStringList>("notices");
    QTest::addColumn<QString>("text");
    const QStringList chose2{"opened 300", "closed 300", "chosen 300 2"};
    QTest::newRow("item clicked") << "click" << chose2 << "Camera 2";
    QTest::newRow("item chosen with the keys") << "keys" << chose2 << "Camera 2";
    QTest::newRow("escape closes without a choice") << "escape" << QStringList{"opened 300", "closed 300"} << "Camera 0";
    QTest::newRow("strip clicked twice") << "toggle" << QStringList{"opened 300", "closed 300"} << "Camera 0";
    QTest::newRow("disabled box does not open") << "disabled" << QStringList{} << "Camera 0";
  }
  void comboNotices() {
    QFETCH(QString, how);
    Window w;
    MComboBox combo(&w.top, 300, QRect(10, 10, 160, 200), Qt::white, Qt::black);
    combo.show();
    for (int i = 0; i < 5; ++i) combo.AddString(QStringLiteral("Camera %1").arg(i));
    combo.SetCurSel(0);
    QStringList notices;
    connect(&combo, &MComboBox::opened, &combo, [&](int id) {
      // Notified before it grows.
      QCOMPARE(combo.height(), MComboBox::kClosedHeight);
      notices << QStringLiteral("opened %1").arg(id);
    });
    connect(&combo, &MComboBox::closed, &combo, [&](int id) {
      QCOMPARE(combo.height(), MComboBox::kClosedHeight);
      notices << QStringLiteral("closed %1").arg(id);
    });
    connect(&combo, &MComboBox::chosen, &combo, [&](int id, int index) {
      // The choice is in place when the owner hears of it.
      QCOMPARE(combo.CurSel(), index);
      notices << QStringLiteral("chosen %1 %2").arg(id).arg(index);
    });
    if (how == "disabled") combo.setEnabled(false);
    Click(&combo, QPoint(40, 10));  // the text area
    if (how != "disabled") {
      QVERIFY(combo.IsOpen());
      QCOMPARE(combo.height(), 200);
      QVERIFY(combo.List()->isVisible());
    }
    MListBox* list = combo.List();
    if (how == "click") {
      const QRect r = list->visualItemRect(list->item(2));
      Click(list->viewport(), r.center());
    } else if (how == "keys") {
      QTest::keyClick(list, Qt::Key_Down);
      QTest::keyClick(list, Qt::Key_Down);
      QVERIFY(combo.IsOpen());  // moving is not choosing
      QTest::keyClick(list, Qt::Key_Return);
    } else if (how == "escape") {
      QTest::keyClick(list, Qt::Key_Escape);
    } else if (how == "toggle") {
      Click(&combo, QPoint(150, 10));  // the drop button
    }
    QTEST(notices, "notices");
    QVERIFY(!combo.IsOpen());
    QCOMPARE(combo.height(), MComboBox::kClosedHeight);
    QTEST(combo.Text(), "text");
  }

  // --- Check boxes -----------------------------------------------------------

  // A busy box (or icon button) ignores clicks until its lock's timer ends.
  void busyIgnoresClicks_data() {
    QTest::addColumn<bool>("iconButton");
    QTest::newRow("check box") << false;
    QTest::newRow("check button") << true;
  }
  void busyIgnoresClicks() {
    QFETCH(bool, iconButton);
    Window w;
    QAbstractButton* control = nullptr;
    if (iconButton) control = new MCheckButton(&w.top, 2303, 10, 10, MCheckButton::Glyph::Microphone);
    else control = MCheckBox::Drawn(QStringLiteral("Motion"), &w.top, 2400, QRect(10, 10, 120, 20), Qt::white);
    control->show();
    QSignalSpy clicks(control, &QAbstractButton::clicked);
    auto busy = [&] {
      return iconButton ? static_cast<MCheckButton*>(control)->Busy() : static_cast<MCheckBox*>(control)->Busy();
    };
    if (iconButton) static_cast<MCheckButton*>(control)->SetBusy(50);
    else static_cast<MCheckBox*>(control)->SetBusy(50);
    QVERIFY(busy());
    QCOMPARE(control->cursor().shape(), Qt::WaitCursor);
    Click(control, QPoint(5, 5));
    QCOMPARE(clicks.count(), 0);
    QVERIFY(!control->isDown());
    QTRY_VERIFY_WITH_TIMEOUT(!busy(), 10000);
    QVERIFY(!control->testAttribute(Qt::WA_SetCursor));
    Click(control, QPoint(5, 5));
    QCOMPARE(clicks.count(), 1);
  }

  // A box reports its click and leaves the toggling to its owner; a group
  // keeps one box on and goes away with its boxes.
  void checkBoxGroup() {
    Window w;
    QPointer<MCheckBox> a, b;
    {
      MCheckBoxGroup group;
      a = MCheckBox::Drawn(QStringLiteral("Day"), &w.top, 11, QRect(10, 10, 100, 20), Qt::white);
      b = MCheckBox::Drawn(QStringLiteral("Night"), &w.top, 12, QRect(10, 40, 100, 20), Qt::white);
      group.Add(a);
      group.Add(b);
      QSignalSpy commanded(b.data(), &MCheckBox::commanded);
      Click(b, QPoint(5, 10));
      QCOMPARE(commanded.count(), 1);
      QCOMPARE(commanded.at(0).at(0).toInt(), 12);
      QVERIFY(!b->Check());
      group.Select(12);
      QVERIFY(!a->Check());
      QVERIFY(b->Check());
      QCOMPARE(group.Selected(), 12);
      group.Select(11);
      QVERIFY(a->Check());
      QVERIFY(!b->Check());
      group.EnableAll(false);
      QVERIFY(!a->isEnabled() && !b->isEnabled());
      Click(a, QPoint(5, 10));
      QVERIFY(a->Check());
    }
    QVERIFY(a.isNull());
    QVERIFY(b.isNull());
  }

  // --- Text controls and the report list -------------------------------------

  void editFallsBackWhenEmpty() {
    Window w;
    MEdit edit(&w.top, 5, QRect(0, 0, 100, 20), Qt::white, Qt::black);
    QCOMPARE(edit.GetText(QStringLiteral("80")), QStringLiteral("80"));
    edit.setText(QStringLiteral("8080"));
    QCOMPARE(edit.GetText(QStringLiteral("80")), QStringLiteral("8080"));
    MStatic label(&w.top, 6, QRect(0, 30, 100, 20), Qt::white);
    QCOMPARE(label.palette().color(QPalette::WindowText), QColor(0, 0, 255));
  }

  void listViewTakesNoKeys() {
    Window w;
    MListViewCtrl view(&w.top, 7, QRect(0, 0, 200, 120));
    view.show();
    view.InsertColumn(0, QStringLiteral("Time"), 100);
    view.InsertColumn(1, QStringLiteral("Event"), 100);
    for (int i = 0; i < 40; ++i) view.SetItemText(view.InsertItem(i, QString::number(i)), 1, QStringLiteral("alarm"));
    QCOMPARE(view.rowCount(), 40);
    view.setCurrentCell(2, 0);
    QTest::keyClick(&view, Qt::Key_Down);
    QTest::keyClick(&view, Qt::Key_End);
    QCOMPARE(view.currentRow(), 2);
    QWheelEvent down(QPointF(20, 20), view.mapToGlobal(QPointF(20, 20)), QPoint(), QPoint(0, -240),
                     Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(view.viewport(), &down);
    QCOMPARE(view.verticalScrollBar()->value(), 6);
  }

  // --- The sheet -------------------------------------------------------------

  // Every control in each of its states on one sheet, written to the file
  // named by TESSORA_CONTROLS_SHEET when set, to look at.
  void renderSheet() {
    QWidget sheet;
    sheet.setFixedSize(640, 610);
    sheet.setAutoFillBackground(true);
    QPalette pal = sheet.palette();
    pal.setColor(QPalette::Window, QColor(244, 244, 240));
    sheet.setPalette(pal);
    // Buttons: normal, hover, pressed, disabled.
    for (int i = 0; i < 4; ++i) {
      MButton* b = MButton::Labelled(&sheet, 100 + i, 10 + i * 80, 10, QSize(72, 24), QStringLiteral("Button"));
      if (i == 1) {
        QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
        QApplication::sendEvent(b, &enter);
      }
      if (i == 2) b->setDown(true);
      if (i == 3) b->setEnabled(false);
    }
    // Check boxes off, on, disabled; icon buttons off, on, disabled.
    for (int i = 0; i < 3; ++i) {
      MCheckBox* c = MCheckBox::Drawn(QStringLiteral("Motion"), &sheet, 200 + i, QRect(340 + i * 95, 10, 90, 24),
                                      QColor(244, 244, 240));
      c->SetCheck(i == 1);
      c->setEnabled(i != 2);
      auto* icon = new MCheckButton(&sheet, 210 + i, 340 + i * 35, 40, MCheckButton::Glyph::Speaker);
      icon->SetCheck(i == 1);
      icon->setEnabled(i != 2);
    }
    // Combo boxes: closed, disabled, open.
    MComboBox* combos[3];
    for (int i = 0; i < 3; ++i) {
      combos[i] = new MComboBox(&sheet, 300 + i, QRect(10 + i * 170, 80, 160, 130), Qt::white, Qt::black);
      for (int k = 0; k < 12; ++k) combos[i]->AddString(QStringLiteral("Camera %1").arg(k + 1));
      combos[i]->SetCurSel(1);
    }
    combos[1]->setEnabled(false);
    // Edit, labels, track bars.
    auto* edit = new MEdit(&sheet, 400, QRect(10, 230, 150, 21), Qt::white, Qt::black);
    edit->setText(QStringLiteral("192.168.0.20"));
    auto* blue = new MStatic(&sheet, 401, QRect(170, 230, 150, 21), QColor(244, 244, 240));
    blue->setText(QStringLiteral("Blue label"));
    auto* other = new MStatic(&sheet, 402, QRect(330, 230, 150, 21), QColor(30, 58, 104), Qt::white);
    other->setText(QStringLiteral("Coloured label"));
    MTrackBar* h = MTrackBar::Drawn(&sheet, 403, 10, 265, QSize(160, 24));
    h->SetRange(26, 5);
    h->SetPos(13);
    MTrackBar* v = MTrackBar::Drawn(&sheet, 404, 185, 258, QSize(24, 100));
    v->SetRange(12, 6);
    v->SetPos(4);
    // Report lists: enabled and disabled.
    for (int i = 0; i < 2; ++i) {
      auto* view = new MListViewCtrl(&sheet, 500 + i, QRect(220 + i * 210, 260, 200, 90));
      view->InsertColumn(0, QStringLiteral("Time"), 90);
      view->InsertColumn(1, QStringLiteral("Event"), 90);
      for (int k = 0; k < 5; ++k) {
        view->SetItemText(view->InsertItem(k, QStringLiteral("12:0%1:00").arg(k)), 1, QStringLiteral("Motion"));
      }
      view->selectRow(1);
      view->setEnabled(i == 0);
    }
    // Pads: normal, then hover and pressed for each arrow.
    const QPoint centres[5] = {{0, 0}, {28, 56}, {56, 29}, {83, 56}, {56, 83}};
    for (int i = 0; i < 9; ++i) {
      auto* pad = new MStaticPanTilt(&sheet, 10 + (i % 5) * 125, 365 + (i / 5) * 120);
      const int zone = i == 0 ? 0 : (i - 1) % 4 + 1;
      if (i >= 1 && i <= 4) Move(pad, centres[zone]);
      if (i >= 5) Press(pad, centres[zone]);
    }
    sheet.show();
    QVERIFY(QTest::qWaitForWindowExposed(&sheet));
    combos[2]->Open();
    const QPixmap shot = sheet.grab();
    QCOMPARE(shot.size(), sheet.size());
    const QByteArray path = qgetenv("TESSORA_CONTROLS_SHEET");
    if (!path.isEmpty()) QVERIFY(shot.save(QString::fromLocal8Bit(path)));
  }
};

QTEST_MAIN(ControlsTest)
#include "ControlsTest.moc"
