#include "pane/PaneCameraControls.h"

#include "base/MRegistry.h"
#include "base/SettingsIndex.h"
#include "base/base.h"
#include "link/ControlChannel.h"
#include "pane/PaneContext.h"
#include "pane/PaneLink.h"
#include "pane/PaneConstants.h"
#include "video/MVideoRender.h"
#include "video/VideoFormat.h"

namespace {

// The picture runs in the zoomed quarter resolution: steps are halved there.
constexpr int kZoomedResolution = 1;

}  // namespace

bool PaneCameraControls::MayCommand() const {
  const int group = pane_.Group();
  return (group == 0 || group == 1) && pane_.State() >= kPaneControlOpen;
}

bool PaneCameraControls::CanSteer() const { return MayCommand(); }

bool PaneCameraControls::IsPanTiltModel() const { return pane_.Info().model == kModelPanTilt; }

bool PaneCameraControls::Mirrored() const { return pane_.Info().horizontalFlip != 0; }
bool PaneCameraControls::Flipped() const { return pane_.Info().verticalFlip != 0; }

int PaneCameraControls::SetMotionDetection(int on) {
  if (pane_.Group() != 0) return 0;
  if (pane_.Link().SetMotionDetection(pane_.Slot(), on ? 1 : 0) != 1) {
    LogMessage("%s:%d\r\n", LOGPOS);
    return 0;
  }
  if (on) motionCount_.store(0);
  motionOn_.store(on != 0);
  WriteSettingDword(pane_.Settings(), settings::kMdEnable, on ? 1 : 0);
  if (!on) pane_.EndAlarmRecording();
  pane_.AlarmLabelsChanged();
  return 1;
}

int PaneCameraControls::SetFlash(int on) {
  if (pane_.Group() != 0) {
    on = 0;  // only an administrator switches the lamp
  } else if (pane_.Link().SetFlash(pane_.Slot(), on ? 1 : 0) != 1) {
    LogMessage("%s:%d\r\n", LOGPOS);
    return 0;
  }
  flashOn_.store(on != 0);
  pane_.EditInfo().flash = on ? 1 : 0;
  WriteSettingDword(pane_.Settings(), settings::kFlashEnable, on ? 1 : 0);
  return 1;
}

int PaneCameraControls::SetSensor(int on) {
  if (pane_.Group() == 0 && pane_.Link().SetSensorInput(pane_.Slot(), on ? 1 : 0) != 1) {
    LogMessage("%s:%d\r\n", LOGPOS);
    return 0;
  }
  if (on) sensorCount_.store(0);
  sensorOn_.store(on != 0);
  pane_.EditInfo().sensorEnabled = on ? 1 : 0;
  pane_.AlarmLabelsChanged();
  return 1;
}

int PaneCameraControls::SetOutput(int on) {
  if (pane_.Group() == 0 && pane_.Link().SetGeneralOutput(pane_.Slot(), on ? 1 : 0) != 1) {
    LogMessage("%s:%d\r\n", LOGPOS);
    return 0;
  }
  outputOn_.store(on != 0);
  pane_.EditInfo().generalOutput1 = on ? 1 : 0;
  return 1;
}

int PaneCameraControls::SetMirror(int on) {
  const int vertical = pane_.Info().verticalFlip;
  if (pane_.Link().FlipPicture(pane_.Slot(), on ? 1 : 0, vertical) != 1) {
    LogMessage("%s:%d\r\n", LOGPOS);
    return 0;
  }
  pane_.EditInfo().horizontalFlip = on ? 1 : 0;
  if (IsPanTiltModel()) pane_.Render().SetMirror(on ? 1 : 0);
  return 1;
}

int PaneCameraControls::SetFlip(int on) {
  const int horizontal = pane_.Info().horizontalFlip;
  if (pane_.Link().FlipPicture(pane_.Slot(), horizontal, on ? 1 : 0) != 1) {
    LogMessage("%s:%d\r\n", LOGPOS);
    return 0;
  }
  pane_.EditInfo().verticalFlip = on ? 1 : 0;
  if (IsPanTiltModel()) pane_.Render().SetMirror(horizontal);
  return 1;
}

int PaneCameraControls::MovePtz(const PtzStep& step, PtzStep* sent) {
  if (!MayCommand()) return 0;
  PtzStep s = step;
  // The camera turns the way the viewer sees the picture.
  if (pane_.Info().horizontalFlip != 0) s.pan = -s.pan;
  if (pane_.Info().verticalFlip != 0) s.tilt = -s.tilt;
  if (pane_.Format().resolution == kZoomedResolution) {
    s.pan /= 2;
    s.tilt /= 2;
  }
  if (!IsPanTiltModel()) s.zoom = s.focus = 0;
  if (sent != nullptr) *sent = s;
  if (pane_.Link().MovePanTilt(pane_.Slot(), s.pan, s.tilt, s.zoom, s.focus) != 1) {
    LogMessage("%s:%d\r\n", LOGPOS);
    return 0;
  }
  return 1;
}

int PaneCameraControls::GotoPreset(int preset) {
  if (preset < 0 || preset > 3) {
    LogMessage("%s:%d (%d)\r\n", LOGPOS, preset);
    return 0;
  }
  if (!MayCommand()) return 0;
  if (pane_.Link().GotoPreset(pane_.Slot(), preset) != 1) {
    LogMessage("%s:%d\r\n", LOGPOS);
    return 0;
  }
  return 1;
}

int PaneCameraControls::SavePreset(int preset) {
  if (preset < 0 || preset > 3) {
    LogMessage("%s:%d (%d)\r\n", LOGPOS, preset);
    return 0;
  }
  if (!MayCommand()) return 0;
  if (pane_.Link().SavePreset(pane_.Slot(), preset) != 1) {
    LogMessage("%s:%d\r\n", LOGPOS);
    return 0;
  }
  return 1;
}

namespace {

// Scan and the function key exist only on the pan/tilt model.
template <typename Send>
int PanTiltOnly(PaneContext& pane, bool allowed, Send send) {
  if (pane.Info().model != kModelPanTilt) {
    LogMessage("%s:%d. Only valid for KRT_P1\r\n", LOGPOS);
    return 0;
  }
  if (!allowed) return 0;
  if (send() != 1) {
    LogMessage("%s:%d\r\n", LOGPOS);
    return 0;
  }
  return 1;
}

}  // namespace

int PaneCameraControls::StartScan() {
  return PanTiltOnly(pane_, MayCommand(), [this] { return pane_.Link().StartScan(pane_.Slot()); });
}

int PaneCameraControls::StopScan() {
  return PanTiltOnly(pane_, MayCommand(), [this] { return pane_.Link().StopScan(pane_.Slot()); });
}

int PaneCameraControls::RunFunction1() {
  return PanTiltOnly(pane_, MayCommand(), [this] { return pane_.Link().ExecuteCustom(pane_.Slot()); });
}

void PaneCameraControls::OnLiveStart() {
  const LoginInfo& info = pane_.Info();
  motionOn_.store(info.motionEnabled != 0);
  outputOn_.store(info.generalOutput1 != 0);
  flashOn_.store(info.flash != 0);
  if (info.ioEnabled != 0) {
    sensorOn_.store(info.sensorEnabled != 0);
    sensorActive_.store(info.sensorActive != 0);
  } else {
    sensorOn_.store(false);
    sensorActive_.store(false);
  }
  // An administrator who switched motion detection on keeps it on: a camera
  // that lost the switch (restarted, reset) is told again, as listening and
  // talking come back from their stored switches.
  if (!motionOn_.load() && pane_.Group() == 0 && ReadSettingDword(pane_.Settings(), settings::kMdEnable) != 0) {
    SetMotionDetection(1);
  }
  pane_.AlarmLabelsChanged();
}

void PaneCameraControls::ForgetConnection() {
  motionOn_.store(false);
  flashOn_.store(false);
  sensorOn_.store(false);
  sensorActive_.store(false);
  outputOn_.store(false);
  pane_.AlarmLabelsChanged();
}
