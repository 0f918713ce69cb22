// The numbers a pane shares with its parts and with the main form: the
// pane's states, the messages it posts to its parent, its box kinds and the
// camera models that change what it offers.
#pragma once

// Pane states.
inline constexpr int kPaneIdle = 0;
inline constexpr int kPaneReconnecting = 1;
inline constexpr int kPaneSignInSent = 2;
inline constexpr int kPaneControlOpen = 3;
inline constexpr int kPaneVideoOpen = 5;
inline constexpr int kPaneLive = 6;
inline constexpr int kPaneLiveAudio = 8;

// Messages a pane posts to its parent (wParam: the slot).
inline constexpr unsigned WM_PANE_STATUS = 1025;
inline constexpr unsigned WM_PANE_SELECT = 1026;
inline constexpr unsigned WM_PANE_ENLARGE = 1027;
inline constexpr unsigned WM_PANE_FULLSCREEN = 1028;
// The pane's log-out command (posted to itself as a command message).
inline constexpr unsigned WM_PANE_COMMAND = 0x0111;  // WM_COMMAND
inline constexpr int kCmdLogOut = 33003;

// Box kinds of a pane.
inline constexpr int kBoxError = 1;
inline constexpr int kBoxWarning = 2;
inline constexpr int kBoxNotice = 3;

// MODEL values that change what a pane offers.
inline constexpr int kModelPanTilt = 33554432;
inline constexpr int kModelFixed = 67108864;
