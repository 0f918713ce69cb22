#include "pane/PaneAlarms.h"

#include <QString>

#include "AlarmSound.h"
#include "MessageRouter.h"
#include "base/MRegistry.h"
#include "base/SettingsIndex.h"
#include "base/base.h"
#include "link/LinkMessages.h"
#include "pane/PaneCameraControls.h"
#include "pane/PaneContext.h"
#include "pane/PaneRecording.h"
#include "pane/PaneConstants.h"
#include "pane/ViewerSession.h"  // ViewerHost

namespace {

constexpr int kStartFailedBox = 20111;
constexpr int kPathCapacity = 260;
// The main window stays on top this many seconds after an activation.
constexpr int kActivationSeconds = 2;

}  // namespace

PaneAlarms::PaneAlarms(PaneContext& pane, PaneCameraControls& controls, PaneRecording& recording, ViewerHost& host,
                       std::chrono::milliseconds second)
    : pane_(pane), controls_(controls), recording_(recording), host_(host), second_(second) {
  alarmTimer_.setSingleShot(true);
  activationTimer_.setSingleShot(true);
  QObject::connect(&alarmTimer_, &QTimer::timeout, &alarmTimer_, [this] { EndAlarmRecording(); });
  QObject::connect(&activationTimer_, &QTimer::timeout, &activationTimer_, [this] { EndActivation(); });
}

// The recording part dies after this one and closes whatever file is still
// open; the timers stop with their objects.
PaneAlarms::~PaneAlarms() = default;

void PaneAlarms::Register(MessageRouter& router) {
  router.Register(WM_MOTION_ALARM, [this](WindowMessageEvent&) { OnMotionAlarm(); });
  router.Register(WM_SENSOR_ALARM, [this](WindowMessageEvent& m) { OnSensorAlarm(static_cast<int>(m.wParam)); });
}

void PaneAlarms::OnMotionAlarm() {
  if (pane_.Group() != 0 || pane_.State() <= kPaneVideoOpen || !controls_.MotionOn() || clipStarted_) return;
  controls_.CountMotionEvent();
  pane_.AlarmLabelsChanged();
  // A manual recording or a reservation owns the file: the event is counted
  // and announced but does not replace that file with a clip.
  if (recording_.Recording() || recording_.ReservationRecording()) {
    LogMessage("%s:%d (recording runs)\r\n", LOGPOS);
    Announce();
    return;
  }
  int seconds = ReadSettingDword(pane_.Settings(), settings::kMdDuration);
  if (seconds % 10 != 0) seconds = 60;
  alarmSeconds_ = seconds;
  alarmTimer_.start(second_ * seconds);
  clipStarted_ = true;
  switch (recording_.StartAlarmFile()) {
    case PaneRecording::ClipStart::kStarted:
      break;
    case PaneRecording::ClipStart::kNoFile:
      // The timer still ends the alarm (and lets the directory go).
      pane_.Box(kStartFailedBox, kBoxError, false);
      return;
    case PaneRecording::ClipStart::kRefused:
    case PaneRecording::ClipStart::kNoDirectory:
      LogMessage("%s:%d\r\n", LOGPOS);
      return;
  }
  alarmRecording_.store(true);
  pane_.AlarmLabelsChanged();
  Announce();
}

void PaneAlarms::EndAlarmRecording() {
  if (!clipStarted_) return;
  alarmTimer_.stop();
  clipStarted_ = false;
  alarmRecording_.store(false);
  pane_.AlarmLabelsChanged();
  // Closes only the clip's own file.
  recording_.EndAlarmFile();
}

void PaneAlarms::OnConnectionEnded(ConnectionEnd why) {
  // The clip's file has the picture format of the connection that ended;
  // a new bit rate keeps the same picture.
  if (why != ConnectionEnd::kNewQuality) EndAlarmRecording();
}

void PaneAlarms::OnSensorAlarm(int active) {
  if (pane_.Group() != 0 || pane_.State() <= kPaneVideoOpen || !controls_.SensorOn()) return;
  if (controls_.FollowSensor(active != 0)) Announce();
  pane_.AlarmLabelsChanged();
}

void PaneAlarms::Announce() {
  if (ReadSettingDword(pane_.Settings(), settings::kMdPlaySound) != 0) PlayAlarmSound();
  host_.LeaveFullScreen();
  if (ReadSettingDword(pane_.Settings(), settings::kMdActivateViewer) != 0) {
    host_.ActivateMainWindow();
    activationTimer_.start(second_ * kActivationSeconds);
  }
}

void PaneAlarms::PlayAlarmSound() {
  QString file;
  ReadSettingString(pane_.Settings(), settings::kMdSoundFile, kPathCapacity, &file);
  ::PlayAlarmSound(file);
}

void PaneAlarms::EndActivation() { host_.EndActivation(); }
