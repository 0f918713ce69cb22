// The pane's alarms: the camera's motion and sensor-input events. Only an
// administrator's live pane reacts, and only while the matching detection
// is switched on. A motion event is counted, records an alarm clip ("MD_"
// file) of "MD"\"Duration" seconds (a length that is not a multiple of ten
// records a minute), and may sound the alarm and bring the main window
// forward; events during the clip are neither counted nor recorded. A sensor
// event counts each rise of the input, sounds and activates the same way,
// and never records.
//
// The counts and the sensor's state are the camera switches' own fields
// (PaneCameraControls), which the labels read; this part changes them
// through its calls. The clip's file is granted by the recording part
// (PaneRecording::StartAlarmFile): a running manual recording or reservation
// keeps its file, and the clip closes only its own.
//
// Threads: every call on the UI thread; the events arrive through the
// pane's window queue. The two timers (the clip's end, the end of the main
// window's stay on top) are QTimers of the UI thread. AlarmRecording() is an
// atomic because the form and the labels read it.
#pragma once

#include <QTimer>
#include <atomic>
#include <chrono>

#include "pane/PaneLifecycle.h"

class MessageRouter;
class PaneCameraControls;
class PaneContext;
class PaneRecording;
class ViewerHost;

class PaneAlarms : public PaneLifecycle {
 public:
  // |second| is how long one second of the alarm's timers lasts (1000 ms;
  // tests run the timers faster).
  PaneAlarms(PaneContext& pane, PaneCameraControls& controls, PaneRecording& recording,
             ViewerHost& host, std::chrono::milliseconds second);
  ~PaneAlarms() override;
  PaneAlarms(const PaneAlarms&) = delete;
  PaneAlarms& operator=(const PaneAlarms&) = delete;

  // The motion (1169) and sensor (1187) events.
  void Register(MessageRouter& router);

  void OnMotionAlarm();
  // |active|: the camera's SENSOR_ACTIVE of the event.
  void OnSensorAlarm(int active);
  // Ends the alarm clip (its timer, log-out, motion detection switched off,
  // a manual recording taking the file); nothing happens when none runs.
  void EndAlarmRecording();
  // The connection ended: a running clip ends with it (except for a new bit
  // rate, which keeps the picture).
  void OnConnectionEnded(ConnectionEnd why) override;

  bool AlarmRecording() const { return alarmRecording_.load(); }
  // The length of the clip last started, in seconds (0 before any).
  int AlarmSeconds() const { return alarmSeconds_; }
  // Whether the main window is being held on top after an activation.
  bool Activating() const { return activationTimer_.isActive(); }

 private:
  // The sound, leaving full screen and the activation every alarm shares.
  void Announce();
  void PlayAlarmSound();
  void EndActivation();

  PaneContext& pane_;
  PaneCameraControls& controls_;
  PaneRecording& recording_;
  ViewerHost& host_;
  const std::chrono::milliseconds second_;
  std::atomic<bool> alarmRecording_{false};
  // UI thread only.
  QTimer alarmTimer_;       // the clip's end
  QTimer activationTimer_;  // the main window's stay on top
  bool clipStarted_ = false;  // the clip's timer runs (also when its file failed to open)
  int alarmSeconds_ = 0;
};
