#include "pane/PaneMaintenance.h"

#include "link/LinkMessages.h"
#include "pane/PaneContext.h"
#include "pane/PaneLink.h"
#include "MessageRouter.h"
#include "pane/PaneConstants.h"

void PaneMaintenance::Register(MessageRouter& router) {
  router.Register(WM_CAMERA_KEY, [this](WindowMessageEvent&) { pane_.Box(20042, kBoxNotice, false); });
  router.Register(WM_SETUP_NETWORK_SET, [this](WindowMessageEvent&) {
    pane_.Box(20069, kBoxNotice, true);
    pane_.Link().SendSetupRequest(pane_.Slot(), "NETWORK", "RESTART", nullptr);
  });
  router.Register(WM_SETUP_MDALARM_CONNECT, [this](WindowMessageEvent&) { pane_.Box(20172, kBoxError, false); });
  router.Register(WM_UPDATE_PROGRESS, [this](WindowMessageEvent& m) { OnUpdateProgress(m.lParam); });
  router.Register(WM_UPDATE_FAILED, [this](WindowMessageEvent&) { pane_.PostCommand(kCmdLogOut); });
}

void PaneMaintenance::OnUpdateProgress(std::intptr_t code) {
  if (code == 405) updateInProgress_.store(1);
  if (code == 411) pane_.PostCommand(kCmdLogOut);
}
