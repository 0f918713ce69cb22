// The form's commands that switch and steer the current pane's camera:
// flip (2308) and mirror (2309), zoom and focus (2310 to 2313), motion
// detection (2314), flash (2315), the presets (2500 to 2503, and 1029 for a
// long press that stores one), scan and the function key (2504 to 2506),
// sensor (2507) and output (2508), and the pan/tilt pad's steps (1051). The
// pane's context menu forwards its items to the same numbers. Each runs on
// the current pane's camera controls and refreshes the status strip and the
// side panel, whose check buttons show the pane's states.
#pragma once

class FormContext;
class MessageRouter;
class PaneCameraControls;

// Message of the pan/tilt pad: lParam points at a PtzStep valid during the
// call (sent, not posted).
inline constexpr unsigned WM_PAD_STEP = 1051;
// Long press of a preset button: wParam is the button's id (2500 to 2503).
inline constexpr unsigned WM_PRESET_HOLD = 1029;

class CameraControlCommands {
 public:
  explicit CameraControlCommands(FormContext& form) : form_(form) {}
  void Register(MessageRouter& router);

 private:
  // Runs |action| on the current pane's controls, then refreshes.
  template <typename Action>
  void OnCurrent(Action action);
  void ToggleMotionDetection();

  FormContext& form_;
};
