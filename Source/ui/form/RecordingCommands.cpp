#include "form/RecordingCommands.h"

#include "MessageRouter.h"
#include "controls/MSelectRecordBox.h"
#include "controls/MessageBoxes.h"
#include "form/FormContext.h"
#include "form/SidePanel.h"
#include "pane/MViewer.h"

namespace {

constexpr int kRecordingDoneNotice = 20048;
constexpr int kReservationDoneNotice = 20169;
constexpr int kStopMotionQuestion = 20051;
constexpr int kChoiceOk = 6;
constexpr int kModeSlides = 2;

}  // namespace

void RecordingCommands::Register(MessageRouter& router) {
  router.RegisterCommand(kIdSnapshotButton, [this] { Snapshot(); });
  router.RegisterCommand(kIdRecordButton, [this] { ToggleRecording(); });
}

void RecordingCommands::Snapshot() {
  if (MViewer* pane = form_.CurrentPane()) pane->Session().Recording().CaptureSnapshot();
}

void RecordingCommands::ToggleRecording() {
  MViewer* pane = form_.CurrentPane();
  if (pane == nullptr) return;
  ViewerSession& s = pane->Session();
  PaneRecording& rec = s.Recording();
  // The notices say where the files went.
  const QString folder = QString::fromStdString(rec.Recorder().PaneDir());
  if (rec.Recording()) {
    rec.SetRecording(0, 0, 1);
    form_.RefreshStatus();
    ShowNotice(kRecordingDoneNotice, folder);
    return;
  }
  if (rec.ReservationRecording()) {
    // Stopped by hand: this occurrence is not started again.
    rec.SetReservationRecording(0, 1);
    s.Schedule().StopByUser();
    form_.RefreshStatus();
    ShowNotice(kReservationDoneNotice, folder);
    return;
  }
  // A recording needs the live picture's format.
  if (s.State() < kPaneLive) return;
  if (s.Group() == 0 && s.Controls().MotionOn()) {
    if (AskQuestion(kStopMotionQuestion) != kIdYes) return;
    s.Controls().SetMotionDetection(0);
    form_.RefreshStatus();
  }
  const RecordChoice choice = ChooseRecording(s.Settings(), boxParent_);
  if (choice.result != kChoiceOk) return;
  rec.SetRecording(1, choice.mode == kModeSlides ? choice.period : 0, 1);
  form_.RefreshStatus();
}
