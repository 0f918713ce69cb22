#include "pane/PaneMenu.h"

#include "pane/ViewerSession.h"

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
    m.items.push_back(Item(kMenuLogOut, "로그아웃"));
    return m;
  }
  if (in.state < kPaneControlOpen) return m;  // idle or waiting for the camera: no menu
  m.selectsPane = true;
  const bool admin = in.group == 0;
  const bool sound = SoundCodec(in.codec) && in.model != kModelFixed;
  // Whole items shared by both popups.
  const PaneMenuItem mic = Item(kMenuMic, "마이크 켜기", sound, in.micOn);
  const std::vector<PaneMenuItem> view = {
      Item(kMenuSnapshot, "이미지 저장"),
      Item(kMenuRecord, "비디오 녹화", true, in.recording),
      Separator(),
      Item(kMenuEnlarge, "확대 보기", !in.fullScreen, in.enlarged),
      Item(kMenuAlwaysOnTop, "최상위 보기", !in.fullScreen, in.alwaysOnTop),
      Item(kMenuFullScreen, "전체화면 보기", true, in.fullScreen),
      Separator(),
  };
  m.items = view;
  if (in.group == 0 || in.group == 1) {
    m.popup = PanePopup::Admin;
    const bool ptz = in.model == kModelPanTilt;
    PaneMenuItem camera{0, "카메라 제어", true, false, {}};
    camera.children = {
        mic,
        Item(kMenuSpeaker, "스피커 켜기", sound && admin, in.speakerOn),
        Separator(),
        Item(kMenuFlash, "플래쉬 켜기", in.model != kModelFixed && admin, in.flashOn),
        Item(kMenuMotion, "모션 디텍트 켜기", admin, in.motionOn),
        Separator(),
        Item(kMenuMirror, "좌우 반전", true, in.mirrored),
        Item(kMenuFlip, "상하 반전", true, in.flipped),
        Separator(),
        Item(kMenuZoomIn, "줌 인", ptz),
        Item(kMenuZoomOut, "줌 아웃", ptz),
        Separator(),
        Item(kMenuFocusIn, "포커스 인", ptz),
        Item(kMenuFocusOut, "포커스 아웃", ptz),
    };
    m.items.push_back(camera);
    m.items.push_back(Separator());
    m.items.push_back(Item(kMenuSetup, "카메라 및 뷰어설정"));
  } else {
    m.popup = PanePopup::User;
    m.items.push_back(mic);
    m.items.push_back(Separator());
    m.items.push_back(Item(kMenuSetup, "뷰어 설정"));
  }
  m.items.push_back(Item(kMenuHelp, "도움말"));
  m.items.push_back(Separator());
  m.items.push_back(Item(kMenuLogOut, "로그아웃"));
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
