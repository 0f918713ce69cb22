#include "controls/HoldRepeater.h"

void HoldRepeater::Press(TimePoint t) {
  held_ = true;
  pressed_ = t;
  fired_ = 0;
}

int HoldRepeater::DueBy(TimePoint t) const {
  if (!held_ || interval_.count() <= 0 || t < pressed_) return 0;
  const auto held = std::chrono::duration_cast<Interval>(t - pressed_);
  return static_cast<int>(held.count() / interval_.count());
}

int HoldRepeater::Poll(TimePoint t) {
  const int due = DueBy(t) - fired_;
  if (due <= 0) return 0;
  fired_ += due;
  return due;
}

bool HoldRepeater::Release(TimePoint t) {
  if (!held_) return false;
  const bool repeated = fired_ > 0 || DueBy(t) > 0;
  Leave();
  return repeated;
}

void HoldRepeater::Leave() {
  held_ = false;
  fired_ = 0;
}

std::optional<HoldRepeater::TimePoint> HoldRepeater::NextDue() const {
  if (!held_ || interval_.count() <= 0) return std::nullopt;
  return pressed_ + interval_ * (fired_ + 1);
}
