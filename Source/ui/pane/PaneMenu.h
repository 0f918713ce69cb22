// The pane's right-click menu as data: which popup a pane shows for its state
// and the signed-in group, every item with its id, text, enabling and check
// mark, and what each chosen item does. The widget turns the model into a
// menu and carries out the actions; tests read the model as a table.
#pragma once

#include <string>
#include <vector>

// The popups of the pane's menu.
enum class PanePopup { None, Reconnect, Admin, User };

// What the menu depends on.
struct PaneMenuInputs {
  int state = 0;
  int group = 0;
  int model = 0;
  int codec = 0;  // VCODEC: 0 Motion JPEG, 1 MPEG-4, 2 H.264
  bool micOn = false;
  bool speakerOn = false;
  bool flashOn = false;
  bool motionOn = false;
  bool mirrored = false;  // FHORZ
  bool flipped = false;   // FVERT
  bool recording = false;  // manual or scheduled
  bool enlarged = false;
  bool fullScreen = false;
  bool alwaysOnTop = false;
};

struct PaneMenuItem {
  int id = 0;        // 0 for a separator or a submenu
  std::string text;  // UTF-8; empty for a separator
  bool enabled = true;
  bool checked = false;
  std::vector<PaneMenuItem> children;  // a submenu's items

  bool IsSeparator() const { return id == 0 && text.empty(); }
};

struct PaneMenuModel {
  PanePopup popup = PanePopup::None;
  // Showing the menu makes the pane the current one first (1026).
  bool selectsPane = false;
  std::vector<PaneMenuItem> items;
};

PaneMenuModel BuildPaneMenu(const PaneMenuInputs& in);

// Menu item ids.
inline constexpr int kMenuLogOut = 33003;
inline constexpr int kMenuSetup = 33004;
inline constexpr int kMenuSnapshot = 33005;
inline constexpr int kMenuRecord = 33006;
inline constexpr int kMenuHelp = 33008;
inline constexpr int kMenuFullScreen = 33009;
inline constexpr int kMenuMic = 33011;
inline constexpr int kMenuSpeaker = 33012;
inline constexpr int kMenuFlash = 33013;
inline constexpr int kMenuEnlarge = 33014;
inline constexpr int kMenuMirror = 33015;
inline constexpr int kMenuFlip = 33016;
inline constexpr int kMenuAlwaysOnTop = 33017;
inline constexpr int kMenuMotion = 33018;
inline constexpr int kMenuZoomIn = 33020;
inline constexpr int kMenuZoomOut = 33021;
inline constexpr int kMenuFocusIn = 33022;
inline constexpr int kMenuFocusOut = 33023;

// What a chosen item does, in order.
struct PaneMenuAction {
  enum Kind {
    Forward,        // WM_COMMAND |number| to the main form
    PostToForm,     // message |number| (1027, 1028) to the main form
    ToggleTopMost,  // the main window's always-on-top flag
    LogOut,         // the pane's own log-out command
  };
  Kind kind;
  int number = 0;
  bool operator==(const PaneMenuAction&) const = default;
};

// The actions of item |id| (none for an id the menu does not have).
std::vector<PaneMenuAction> PaneMenuActions(int id, bool fullScreen);
