#include "pane/MouseSteering.h"

#include <algorithm>
#include <cstdlib>

namespace {

// Two whole steps before a drag moves the camera.
constexpr int kDragSteps = 2;

}  // namespace

void MouseSteering::Resize(int width, int height) {
  hw_ = width / 2;
  hh_ = height / 2;
  // A pane narrower than 22 pixels (or lower than 20) still has a step.
  sx_ = std::max(1, width / 22);
  sy_ = std::max(1, height / 20);
}

void MouseSteering::Press(int x, int y) {
  x0_ = x;
  y0_ = y;
  dragging_ = true;
  dragMoved_ = false;
}

std::optional<PtzStep> MouseSteering::Move(int x, int y) {
  if (!dragging_) return std::nullopt;
  const int dx = (x0_ - x) / sx_;
  const int dy = (y - y0_) / sy_;
  const bool horizontal = std::abs(dx) >= kDragSteps;
  const bool vertical = std::abs(dy) >= kDragSteps;
  if (!horizontal && !vertical) return std::nullopt;
  dragMoved_ = true;
  PtzStep step;
  if (horizontal) {
    step.pan = dx;
    x0_ = x;
  }
  if (vertical) {
    step.tilt = dy;
    y0_ = y;
  }
  return step;
}

std::optional<PtzStep> MouseSteering::Release() {
  if (!dragging_) return std::nullopt;
  dragging_ = false;
  if (dragMoved_) return std::nullopt;
  return PtzStep{(x0_ - hw_) / sx_, (hh_ - y0_) / sy_, 0, 0};
}
