// Steering a pan/tilt camera with the mouse on its picture: a drag moves the
// camera in whole steps of a fixed fraction of the pane (1/22 of its width,
// 1/20 of its height) once the pointer has gone two steps; a click without a
// drag turns it toward the clicked point (at most 11 steps sideways and 10 up
// or down). Dragging to the right pans left: the picture follows the hand.
// Plain arithmetic over the pane's size; the widget feeds it the mouse and
// sends what it returns (PaneCameraControls::MovePtz applies the camera's
// flips, the zoomed resolution and the model).
#pragma once

#include <optional>

#include "pane/PaneCameraControls.h"

class MouseSteering {
 public:
  // The pane's client size (every resize).
  void Resize(int width, int height);
  // A press where steering is allowed starts a drag.
  void Press(int x, int y);
  // A move while the button is held: the step to send once the pointer went
  // two steps on either axis.
  std::optional<PtzStep> Move(int x, int y);
  // The release: a click without a drag turns toward the pressed point.
  std::optional<PtzStep> Release();
  // The button went up elsewhere or the pane lost the mouse.
  void Cancel() { dragging_ = false; }

  bool Dragging() const { return dragging_; }
  bool DragMoved() const { return dragMoved_; }
  int StepX() const { return sx_; }
  int StepY() const { return sy_; }

 private:
  int hw_ = 0, hh_ = 0;
  int sx_ = 1, sy_ = 1;
  int x0_ = 0, y0_ = 0;
  bool dragging_ = false;
  bool dragMoved_ = false;
};
