#include "form/PaneCommands.h"

#include "MessageRouter.h"
#include "form/FormContext.h"
#include "form/SidePanel.h"
#include "pane/MViewer.h"

namespace {

constexpr int kMicBusyMs = 1000;
constexpr int kSpeakerBusyMs = 3000;

}  // namespace

void PaneCommands::Register(MessageRouter& router) {
  router.RegisterCommand(kIdSetupButton, [] {});  // the setup windows are not built yet
  router.RegisterCommand(kIdLogOutButton, [this] {
    if (MViewer* pane = form_.CurrentPane()) pane->LogOut();
    form_.RefreshStatus();
  });
  router.RegisterCommand(kIdMicButton, [this] { ToggleListening(); });
  router.RegisterCommand(kIdSpeakerButton, [this] { ToggleTalking(); });
}

void PaneCommands::ToggleListening() {
  MViewer* pane = form_.CurrentPane();
  if (pane == nullptr || !form_.AudioReady()) return;
  PaneAudioVideo& a = pane->Session().Audio();
  a.SetMic(a.MicOn() ? 0 : 1, 1);
  form_.Panel()->MicButton()->SetBusy(kMicBusyMs);
  form_.RefreshStatus();
}

void PaneCommands::ToggleTalking() {
  MViewer* pane = form_.CurrentPane();
  if (pane == nullptr || !form_.AudioReady()) return;
  PaneAudioVideo& a = pane->Session().Audio();
  if (a.SpeakerOn()) {
    a.SetSpeaker(0, 1);
  } else {
    const int v = a.SetSpeaker(1, 1);
    if (a.SpeakerOn()) a.SetVolume(v, 1);
  }
  form_.Panel()->SpeakerButton()->SetBusy(kSpeakerBusyMs);
  form_.RefreshStatus();
}

void PaneCommands::OnVolumeMoved(int position) {
  if (MViewer* pane = form_.CurrentPane()) pane->Session().Audio().SetVolume(position, 1);
}
