#include "controls/HoldTimer.h"

#include <QPointer>
#include <algorithm>

HoldTimer::HoldTimer(QObject* parent) : QObject(parent) {
  timer_.setSingleShot(true);
  timer_.setTimerType(Qt::PreciseTimer);
  connect(&timer_, &QTimer::timeout, this, &HoldTimer::Poll);
}

void HoldTimer::SetInterval(int ms) {
  repeater_.SetInterval(HoldRepeater::Interval(ms > 0 ? ms : 0));
}

void HoldTimer::SetClock(Clock clock) { clock_ = std::move(clock); }

HoldRepeater::TimePoint HoldTimer::Now() const {
  return clock_ ? clock_() : HoldRepeater::Clock::now();
}

void HoldTimer::Press() {
  repeater_.Press(Now());
  Arm();
}

bool HoldTimer::Release() {
  if (!repeater_.Held()) return false;
  const HoldRepeater::TimePoint now = Now();
  // A receiver may end the hold (or destroy the widget) from a repeat.
  const int due = repeater_.Poll(now);
  const bool fired = repeater_.Fired() > 0;
  QPointer<HoldTimer> alive(this);
  for (int i = 0; i < due && alive && repeater_.Held(); ++i) emit repeat();
  if (!alive) return fired;
  timer_.stop();
  return repeater_.Release(now) || fired;
}

void HoldTimer::Leave() {
  timer_.stop();
  repeater_.Leave();
}

void HoldTimer::Poll() {
  QPointer<HoldTimer> alive(this);
  for (int due = repeater_.Poll(Now()); due > 0 && alive && repeater_.Held(); --due) emit repeat();
  if (alive) Arm();
}

void HoldTimer::Arm() {
  const auto next = repeater_.NextDue();
  if (!next) {
    timer_.stop();
    return;
  }
  const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*next - Now()).count();
  // A fake clock that stands still keeps the wait at a full interval at most.
  timer_.start(static_cast<int>(std::clamp<long long>(wait, 1, std::max(1, IntervalMs()))));
}
