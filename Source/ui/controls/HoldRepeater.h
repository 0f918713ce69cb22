// Press-and-hold timing for repeat buttons, long-press buttons and the
// pan/tilt pad, kept apart from any widget and any real clock: the caller
// passes the time of each event, so tests drive it with a fake clock.
//
// While held, one repeat is due per full interval since the press. A
// release after at least one repeat is not a click (the hold was the
// action); a release before the first repeat is one click. Leaving the
// control cancels the hold without a click.
#pragma once

#include <chrono>
#include <optional>

class HoldRepeater {
 public:
  using Clock = std::chrono::steady_clock;
  using TimePoint = Clock::time_point;
  using Interval = std::chrono::milliseconds;

  // An interval of 0 never repeats: every release before a leave is a click.
  explicit HoldRepeater(Interval interval = Interval(0)) : interval_(interval) {}

  void SetInterval(Interval interval) { interval_ = interval; }
  Interval GetInterval() const { return interval_; }

  // Starts a hold at |t| (a press while held starts over).
  void Press(TimePoint t);
  // Repeats that became due since the last poll (0 when not held).
  int Poll(TimePoint t);
  // Ends the hold at |t|; true when at least one repeat fell due during it,
  // counting repeats due by |t| that no poll delivered yet, so a late timer
  // never turns a long hold into a click. Callers that deliver repeats call
  // Poll(t) first. False when not held.
  bool Release(TimePoint t);
  // Cancels the hold: no repeat, no click.
  void Leave();

  bool Held() const { return held_; }
  // Repeats delivered by Poll since the press.
  int Fired() const { return fired_; }
  // When the next repeat falls due, if held and repeating.
  std::optional<TimePoint> NextDue() const;

 private:
  int DueBy(TimePoint t) const;

  Interval interval_;
  bool held_ = false;
  TimePoint pressed_{};
  int fired_ = 0;
};
