// A HoldRepeater driven by a Qt timer for a widget: the timer only wakes the
// widget when the next repeat falls due; the clock that says what is due is
// injectable, so tests move time themselves and call Poll().
#pragma once

#include <QObject>
#include <QTimer>
#include <functional>

#include "controls/HoldRepeater.h"

class HoldTimer : public QObject {
  Q_OBJECT
 public:
  using Clock = std::function<HoldRepeater::TimePoint()>;

  explicit HoldTimer(QObject* parent = nullptr);

  // Repeat interval in ms; 0 = none.
  void SetInterval(int ms);
  int IntervalMs() const { return static_cast<int>(repeater_.GetInterval().count()); }
  // The time source; an empty function restores the steady clock.
  void SetClock(Clock clock);
  HoldRepeater::TimePoint Now() const;

  void Press();
  // Delivers the repeats due by now, then ends the hold; true when any
  // repeat fell due (the release is then no click).
  bool Release();
  void Leave();
  bool Held() const { return repeater_.Held(); }

 public slots:
  // Emits one repeat() per repeat due by now and waits for the next.
  void Poll();

 signals:
  void repeat();

 private:
  void Arm();

  HoldRepeater repeater_;
  QTimer timer_;
  Clock clock_;
};
