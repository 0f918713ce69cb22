// The pane's camera switches and steering: motion detection, the flash lamp,
// the sensor alarm, the general output, mirror and flip, pan/tilt/zoom/focus,
// presets, scanning and the camera's function key. Who may do what:
//   - motion detection, and sending flash, sensor and output: administrators
//     (group 0); other groups switch flash off and keep sensor and output as
//     a local state only;
//   - steering and presets: groups 0 and 1, once the control channel is open;
//   - scan and function key: the pan/tilt model only.
// A command the link does not take changes nothing (logged), except where a
// rule above says the local state changes anyway.
//
// Threads: UI thread for every call. The switches are atomics because the
// form reads them for its buttons and status labels, and the alarm handling
// reads them from the pane's messages. The working flash, flip, sensor and
// output values also live in the pane's login record (PaneContext::EditInfo),
// which the form's visibility rules read.
#pragma once

#include <atomic>

#include "controls/PtzStep.h"
#include "pane/PaneLifecycle.h"

class PaneContext;

class PaneCameraControls : public PaneLifecycle {
 public:
  explicit PaneCameraControls(PaneContext& pane) : pane_(pane) {}
  PaneCameraControls(const PaneCameraControls&) = delete;
  PaneCameraControls& operator=(const PaneCameraControls&) = delete;

  // 1 when the camera was told (or the local state changed where that is
  // the rule), 0 when nothing changed.
  int SetMotionDetection(int on);
  int SetFlash(int on);
  int SetSensor(int on);
  int SetOutput(int on);
  int SetMirror(int on);
  int SetFlip(int on);
  // The step actually sent, after the flip, zoomed-picture and model rules;
  // 1 when sent.
  int MovePtz(const PtzStep& step, PtzStep* sent = nullptr);
  int MovePtz(int pan, int tilt, int zoom, int focus) { return MovePtz(PtzStep{pan, tilt, zoom, focus}); }
  int GotoPreset(int preset);
  int SavePreset(int preset);
  int StartScan();
  int StopScan();
  int RunFunction1();

  // Whether steering is allowed now (group 0 or 1 and the control open).
  bool CanSteer() const;

  // The working states taken from the login record when the pane goes live.
  void OnLiveStart();
  // The connection ended: the switches and counters are forgotten.
  void ForgetConnection();

  bool MotionOn() const { return motionOn_.load(); }
  bool FlashOn() const { return flashOn_.load(); }
  bool SensorOn() const { return sensorOn_.load(); }
  bool SensorActive() const { return sensorActive_.load(); }
  bool OutputOn() const { return outputOn_.load(); }
  int MotionCount() const { return motionCount_.load(); }
  int SensorCount() const { return sensorCount_.load(); }
  bool Mirrored() const;
  bool Flipped() const;

  // The alarm handling counts the events and follows the sensor input.
  void CountMotionEvent() { motionCount_.fetch_add(1); }
  // The input's new state; true when it rose (was inactive), which counts.
  bool FollowSensor(bool active) {
    if (!active) {
      sensorActive_.store(false);
      return false;
    }
    if (sensorActive_.exchange(true)) return false;
    sensorCount_.fetch_add(1);
    return true;
  }

  // PaneLifecycle.
  void OnLive() override { OnLiveStart(); }
  void OnConnectionEnded(ConnectionEnd why) override {
    if (why == ConnectionEnd::kLogOut) ForgetConnection();
  }

 private:
  // Steering and presets need group 0 or 1 and the control channel open.
  bool MayCommand() const;
  bool IsPanTiltModel() const;

  PaneContext& pane_;
  std::atomic<bool> motionOn_{false};
  std::atomic<bool> flashOn_{false};
  std::atomic<bool> sensorOn_{false};
  std::atomic<bool> sensorActive_{false};
  std::atomic<bool> outputOn_{false};
  std::atomic<int> motionCount_{0};
  std::atomic<int> sensorCount_{0};
};
