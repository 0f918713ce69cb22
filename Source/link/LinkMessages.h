// Window messages the camera link posts or sends to the viewer window of a
// slot, to the setup windows and to the main form. Numbers are fixed: other
// windows and stored habits depend on them.
#pragma once

#include "base/WindowTarget.h"

// Sign-in, streams, keep-alive and close.
inline constexpr unsigned WM_LOGIN_ACCEPTED = WM_USER + 6;    // 1030 send: wParam GROUP, lParam LoginInfo*
inline constexpr unsigned WM_LOGIN_REFUSED = WM_USER + 7;     // 1031 post: lParam CODE or 506
inline constexpr unsigned WM_VSTREAM_OPENED = WM_USER + 8;    // 1032
inline constexpr unsigned WM_VSTREAM_REFUSED = WM_USER + 9;   // 1033
inline constexpr unsigned WM_ASTREAM_OPENED = WM_USER + 10;   // 1034
inline constexpr unsigned WM_ASTREAM_REFUSED = WM_USER + 11;  // 1035
inline constexpr unsigned WM_ALIVE_ACK = WM_USER + 12;        // 1036
inline constexpr unsigned WM_CAMERA_CLOSE = WM_USER + 13;     // 1037 lParam CODE

// Replies to camera commands.
inline constexpr unsigned WM_VIDEO_PLAY_ACK = WM_USER + 14;  // 1038
inline constexpr unsigned WM_VIDEO_PLAY_NAK = WM_USER + 15;  // 1039
inline constexpr unsigned WM_VIDEO_STOP_ACK = WM_USER + 16;  // 1040
inline constexpr unsigned WM_VIDEO_STOP_NAK = WM_USER + 17;  // 1041
inline constexpr unsigned WM_VIDEO_FLIP_ACK = WM_USER + 20;  // 1044 wParam FHORZ, lParam FVERT
inline constexpr unsigned WM_MIC_PLAY_ACK = WM_USER + 22;    // 1046
inline constexpr unsigned WM_MIC_PLAY_NAK = WM_USER + 23;    // 1047 lParam CODE
inline constexpr unsigned WM_MIC_STOP_ACK = WM_USER + 24;    // 1048
inline constexpr unsigned WM_SPK_PLAY_ACK = WM_USER + 25;    // 1049
inline constexpr unsigned WM_SPK_STOP_ACK = WM_USER + 26;    // 1050
inline constexpr unsigned WM_MOTION_SET_ACK = WM_USER + 30;  // 1054
inline constexpr unsigned WM_MOTION_SET_NAK = WM_USER + 31;  // 1055
inline constexpr unsigned WM_MOTION_CLR_ACK = WM_USER + 32;  // 1056
inline constexpr unsigned WM_MOTION_CLR_NAK = WM_USER + 33;  // 1057
inline constexpr unsigned WM_CAMERA_KEY = WM_USER + 34;      // 1058

// Setup replies (lParam: the VAR text, valid while the send runs).
inline constexpr unsigned WM_SETUP_NETWORK_GET = WM_USER + 47;      // 1071 send
inline constexpr unsigned WM_SETUP_NETWORK_SET = WM_USER + 49;      // 1073 post, lParam 0
inline constexpr unsigned WM_SETUP_DDNS_GET = WM_USER + 51;         // 1075
inline constexpr unsigned WM_SETUP_DDNS_SET = WM_USER + 53;         // 1077
inline constexpr unsigned WM_SETUP_USER_GET = WM_USER + 63;         // 1087
inline constexpr unsigned WM_SETUP_USER_SET = WM_USER + 65;         // 1089
inline constexpr unsigned WM_SETUP_PASSWD_GET = WM_USER + 67;       // 1091
inline constexpr unsigned WM_SETUP_PASSWD_ADD = WM_USER + 69;       // 1093
inline constexpr unsigned WM_SETUP_PASSWD_MOD = WM_USER + 71;       // 1095
inline constexpr unsigned WM_SETUP_PASSWD_DEL = WM_USER + 73;       // 1097
inline constexpr unsigned WM_SETUP_VIDEO_GET = WM_USER + 109;       // 1133
inline constexpr unsigned WM_SETUP_VIDEO_SET = WM_USER + 111;       // 1135
inline constexpr unsigned WM_SETUP_VIDEO_ADJUST = WM_USER + 113;    // 1137
inline constexpr unsigned WM_SETUP_ADVANCE_GET = WM_USER + 114;     // 1138
inline constexpr unsigned WM_SETUP_AUDIO_GET = WM_USER + 115;       // 1139
inline constexpr unsigned WM_SETUP_MDALARM_GET = WM_USER + 119;     // 1143
inline constexpr unsigned WM_SETUP_MDALARM_SET = WM_USER + 121;     // 1145 lParam RSP text
inline constexpr unsigned WM_SETUP_MDALARM_CONNECT = WM_USER + 124; // 1148 post
inline constexpr unsigned WM_SETUP_MAINTENANCE_GET = WM_USER + 125; // 1149
inline constexpr unsigned WM_UPDATE_PROGRESS = WM_USER + 129;       // 1153 post, lParam CODE
inline constexpr unsigned WM_UPDATE_FAILED = WM_USER + 130;         // 1154 post, lParam CODE
inline constexpr unsigned WM_SETUP_REFUSED = WM_USER + 131;        // 1155 post: a setup request answered NAK

// Alarms and the closed control connection.
inline constexpr unsigned WM_MOTION_ALARM = WM_USER + 145;    // 1169
inline constexpr unsigned WM_CONTROL_CLOSED = WM_USER + 154;  // 1178
// The camera closed the audio channel (not sent when the viewer closed it).
inline constexpr unsigned WM_AUDIO_CLOSED = WM_USER + 155;    // 1179, our own number
// The camera closed the video channel (end of stream or an error), posted at
// once with both parameters 0, after the channel was reset (it may be opened
// again at once). Not sent when the viewer ended it: CloseLink or a reset of
// the channel, and a close after the viewer asked the camera to stop that
// connection's video (VIDEO STOP, until the next VIDEO PLAY) or sent CLOSE.
inline constexpr unsigned WM_VIDEO_CLOSED = WM_USER + 156;    // 1180, our own number
inline constexpr unsigned WM_SENSOR_ALARM = WM_USER + 163;    // 1187 wParam SENSOR_ACTIVE

static_assert(WM_LOGIN_ACCEPTED == 1030 && WM_CAMERA_KEY == 1058 && WM_SETUP_NETWORK_GET == 1071 &&
              WM_UPDATE_FAILED == 1154 && WM_MOTION_ALARM == 1169 && WM_CONTROL_CLOSED == 1178 &&
              WM_AUDIO_CLOSED == 1179 && WM_VIDEO_CLOSED == 1180 && WM_SENSOR_ALARM == 1187);
