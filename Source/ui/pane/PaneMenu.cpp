#include "pane/PaneMenu.h"

#include "pane/ViewerSession.h"
#include "StringTable.h"

namespace {

PaneMenuItem Item(int id, const char* text, bool enabled = true, bool checked = false) {
  return PaneMenuItem{id, text, enabled, checked, {}};
}

PaneMenuItem Separator() { return PaneMenuItem{}; }

bool SoundCodec(int codec) { return codec == 1 || codec == 2; }

}  // namespace

PaneMenuModel BuildPaneMenu(const PaneMenuInputs& in) {
  PaneMenuModel m;
  if (in.state == kPaneReconnecting) {
    m.popup = PanePopup::Reconnect;
    m.selectsPane = true;
    m.items.push_back(Item(kMenuLogOut, UiString(UiText::kMenuLogOut)));
    return m;
  }
  if (in.state < kPaneControlOpen) return m;  // idle or waiting for the camera: no menu
  m.selectsPane = true;
  const bool admin = in.group == 0;
  const bool sound = SoundCodec(in.codec) && in.model != kModelFixed;
  // Whole items shared by both popups, in the interface language.
  const PaneMenuItem mic = Item(kMenuMic, UiString(UiText::kMenuMic), sound, in.micOn);
  const std::vector<PaneMenuItem> view = {
      Item(kMenuSnapshot, UiString(UiText::kMenuSnapshot)),
      Item(kMenuRecord, UiString(UiText::kMenuRecord), true, in.recording),
      Separator(),
      Item(kMenuEnlarge, UiString(UiText::kMenuEnlarge), !in.fullScreen, in.enlarged),
      Item(kMenuAlwaysOnTop, UiString(UiText::kMenuAlwaysOnTop), !in.fullScreen, in.alwaysOnTop),
      Item(kMenuFullScreen, UiString(UiText::kMenuFullScreen), true, in.fullScreen),
      Separator(),
  };
  m.items = view;
  if (in.group == 0 || in.group == 1) {
    m.popup = PanePopup::Admin;
    const bool ptz = in.model == kModelPanTilt;
    PaneMenuItem camera{0, UiString(UiText::kMenuCamera), true, false, {}};
    camera.children = {
        mic,
        Item(kMenuSpeaker, UiString(UiText::kMenuSpeaker), sound && admin, in.speakerOn),
        Separator(),
        Item(kMenuFlash, UiString(UiText::kMenuFlash), in.model != kModelFixed && admin, in.flashOn),
        Item(kMenuMotion, UiString(UiText::kMenuMotion), admin, in.motionOn),
        Separator(),
        Item(kMenuMirror, UiString(UiText::kMenuMirror), true, in.mirrored),
        Item(kMenuFlip, UiString(UiText::kMenuFlip), true, in.flipped),
        Separator(),
        Item(kMenuZoomIn, UiString(UiText::kMenuZoomIn), ptz),
        Item(kMenuZoomOut, UiString(UiText::kMenuZoomOut), ptz),
        Separator(),
        Item(kMenuFocusIn, UiString(UiText::kMenuFocusIn), ptz),
        Item(kMenuFocusOut, UiString(UiText::kMenuFocusOut), ptz),
    };
    m.items.push_back(camera);
    m.items.push_back(Separator());
    m.items.push_back(Item(kMenuSetup, UiString(UiText::kMenuCameraSetup)));
  } else {
    m.popup = PanePopup::User;
    m.items.push_back(mic);
    m.items.push_back(Separator());
    m.items.push_back(Item(kMenuSetup, UiString(UiText::kMenuViewerSetup)));
  }
  m.items.push_back(Item(kMenuHelp, UiString(UiText::kMenuHelp)));
  m.items.push_back(Separator());
  m.items.push_back(Item(kMenuLogOut, UiString(UiText::kMenuLogOut)));
  return m;
}

std::vector<PaneMenuAction> PaneMenuActions(int id, bool fullScreen) {
  using A = PaneMenuAction;
  // Setup and help leave full screen first so that their windows are seen.
  auto leavingFullScreen = [fullScreen](int forward) {
    std::vector<PaneMenuAction> actions;
    if (fullScreen) actions.push_back({A::PostToForm, static_cast<int>(WM_PANE_FULLSCREEN)});
    actions.push_back({A::Forward, forward});
    return actions;
  };
  switch (id) {
    case kMenuLogOut: return {{A::LogOut, kCmdLogOut}};
    case kMenuSetup: return leavingFullScreen(2300);
    case kMenuHelp: return leavingFullScreen(2301);
    case kMenuSnapshot: return {{A::Forward, 2306}};
    case kMenuRecord: return {{A::Forward, 2307}};
    case kMenuFullScreen: return {{A::PostToForm, static_cast<int>(WM_PANE_FULLSCREEN)}};
    case kMenuMic: return {{A::Forward, 2303}};
    case kMenuSpeaker: return {{A::Forward, 2304}};
    case kMenuFlash: return {{A::Forward, 2315}};
    case kMenuEnlarge: return {{A::PostToForm, static_cast<int>(WM_PANE_ENLARGE)}};
    case kMenuMirror: return {{A::Forward, 2309}};
    case kMenuFlip: return {{A::Forward, 2308}};
    case kMenuAlwaysOnTop: return {{A::ToggleTopMost, 0}};
    case kMenuMotion: return {{A::Forward, 2314}};
    case kMenuZoomIn: return {{A::Forward, 2310}};
    case kMenuZoomOut: return {{A::Forward, 2311}};
    case kMenuFocusIn: return {{A::Forward, 2312}};
    case kMenuFocusOut: return {{A::Forward, 2313}};
    default: return {};
  }
}
