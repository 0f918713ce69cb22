// The owner of a check box or check button can lock it for a while after a
// toggle: while busy the control shows the wait cursor and ignores clicks
// (each ignored click is logged); the lock's own timer ends it and restores
// the arrow cursor.
#pragma once

#include <QBasicTimer>
#include <QTimerEvent>
#include <QWidget>

class BusyLock {
 public:
  void Start(QWidget* control, int milliseconds) {
    control->setCursor(Qt::WaitCursor);
    timer_.start(milliseconds > 0 ? milliseconds : 0, control);
  }
  bool Busy() const { return timer_.isActive(); }
  // Handles the control's timer event; true when it was the lock's (the
  // lock is then over).
  bool OnTimer(QWidget* control, QTimerEvent* e) {
    if (e->timerId() != timer_.timerId()) return false;
    timer_.stop();
    control->unsetCursor();
    return true;
  }

 private:
  QBasicTimer timer_;
};
