// A pan/tilt/zoom/focus step as the pad, the mouse and the buttons ask for
// it; the pane turns it into the camera's move command.
#pragma once

struct PtzStep {
  int pan = 0;
  int tilt = 0;
  int zoom = 0;
  int focus = 0;
  bool operator==(const PtzStep&) const = default;
};
