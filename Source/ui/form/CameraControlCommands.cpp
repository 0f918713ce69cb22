#include "form/CameraControlCommands.h"

#include "MessageRouter.h"
#include "controls/MessageBoxes.h"
#include "controls/MInfoBox.h"
#include "form/FormContext.h"
#include "pane/MViewer.h"

namespace {

constexpr int kIdFlip = 2308;
constexpr int kIdMirror = 2309;
constexpr int kIdZoomIn = 2310;
constexpr int kIdZoomOut = 2311;
constexpr int kIdFocusIn = 2312;
constexpr int kIdFocusOut = 2313;
constexpr int kIdMotion = 2314;
constexpr int kIdFlash = 2315;
constexpr int kIdPreset1 = 2500;
constexpr int kIdScanStart = 2504;
constexpr int kIdScanStop = 2505;
constexpr int kIdFunction1 = 2506;
constexpr int kIdSensor = 2507;
constexpr int kIdOutput = 2508;
constexpr int kStopRecordingQuestion = 20050;
constexpr int kStopReservationQuestion = 20168;

}  // namespace

template <typename Action>
void CameraControlCommands::OnCurrent(Action action) {
  MViewer* pane = form_.CurrentPane();
  if (pane == nullptr) return;
  action(pane->Session().Controls());
  form_.RefreshStatus();
}

void CameraControlCommands::Register(MessageRouter& router) {
  using C = PaneCameraControls;
  router.RegisterCommand(kIdFlip, [this] { OnCurrent([](C& c) { c.SetFlip(c.Flipped() ? 0 : 1); }); });
  router.RegisterCommand(kIdMirror, [this] { OnCurrent([](C& c) { c.SetMirror(c.Mirrored() ? 0 : 1); }); });
  const struct {
    int id;
    PtzStep step;
  } lens[] = {{kIdZoomIn, {0, 0, 1, 0}}, {kIdZoomOut, {0, 0, -1, 0}}, {kIdFocusIn, {0, 0, 0, 1}}, {kIdFocusOut, {0, 0, 0, -1}}};
  for (const auto& l : lens) {
    const PtzStep step = l.step;
    router.RegisterCommand(l.id, [this, step] { OnCurrent([step](C& c) { c.MovePtz(step); }); });
  }
  router.RegisterCommand(kIdMotion, [this] { ToggleMotionDetection(); });
  router.RegisterCommand(kIdFlash, [this] { OnCurrent([](C& c) { c.SetFlash(c.FlashOn() ? 0 : 1); }); });
  for (int n = 0; n < 4; ++n) {
    router.RegisterCommand(kIdPreset1 + n, [this, n] { OnCurrent([n](C& c) { c.GotoPreset(n); }); });
  }
  router.RegisterCommand(kIdScanStart, [this] { OnCurrent([](C& c) { c.StartScan(); }); });
  router.RegisterCommand(kIdScanStop, [this] { OnCurrent([](C& c) { c.StopScan(); }); });
  router.RegisterCommand(kIdFunction1, [this] { OnCurrent([](C& c) { c.RunFunction1(); }); });
  router.RegisterCommand(kIdSensor, [this] { OnCurrent([](C& c) { c.SetSensor(c.SensorOn() ? 0 : 1); }); });
  router.RegisterCommand(kIdOutput, [this] { OnCurrent([](C& c) { c.SetOutput(c.OutputOn() ? 0 : 1); }); });
  router.Register(WM_PRESET_HOLD, [this](WindowMessageEvent& m) {
    const int n = static_cast<int>(m.wParam) - kIdPreset1;
    OnCurrent([n](C& c) { c.SavePreset(n); });  // out of 0..3: refused and logged
  });
  router.Register(WM_PAD_STEP, [this](WindowMessageEvent& m) {
    const auto* step = reinterpret_cast<const PtzStep*>(m.lParam);
    if (step == nullptr) return;
    MViewer* pane = form_.CurrentPane();
    if (pane == nullptr) return;
    const int group = pane->Session().Group();
    if (group != 0 && group != 1) return;
    pane->Session().Controls().MovePtz(*step);
  });
}

// Motion detection is an administrator's switch; it records on its own, so
// a manual recording stops first when the person agrees.
void CameraControlCommands::ToggleMotionDetection() {
  MViewer* pane = form_.CurrentPane();
  if (pane == nullptr || pane->Session().Group() != 0) return;
  PaneCameraControls& c = pane->Session().Controls();
  if (c.MotionOn()) {
    c.SetMotionDetection(0);
  } else {
    PaneRecording& rec = pane->Session().Recording();
    if (rec.Recording()) {
      if (AskQuestion(kStopRecordingQuestion) != kIdYes) return;
      rec.SetRecording(0, 0, 1);
    } else if (rec.ReservationRecording()) {
      if (AskQuestion(kStopReservationQuestion) != kIdYes) return;
      rec.SetReservationRecording(0, 1);
      pane->Session().Schedule().StopByUser();
    }
    c.SetMotionDetection(1);
  }
  form_.RefreshStatus();
}
