// Sign-in, keep-alive, close, and everything the camera sends on the control
// channel: the reader, the router and the window messages it produces.
#pragma once

#include <atomic>
#include <cstdint>

#include "base/WindowTarget.h"
#include "link/ChannelIo.h"
#include "link/LinkEngine.h"

class KeyValueList;

// The sign-in reply values handed to the viewer with WM_LOGIN_ACCEPTED.
struct LoginInfo {
  std::int64_t cameraTime = 0;  // NOW + ZoneMinutes[ZONE] * 60, seconds since 1970
  std::int32_t flash = 0;
  std::int32_t horizontalFlip = 0;
  std::int32_t verticalFlip = 0;
  std::int32_t spare1 = 0;  // the viewer's own use
  std::int32_t ioEnabled = 0;
  std::int32_t motionEnabled = 0;
  std::int32_t sensorEnabled = 0;
  std::int32_t sensorActive = 0;
  std::int32_t generalInput1 = 0;
  std::int32_t generalOutput1 = 0;
  std::int32_t spare2 = 0;
  std::int32_t model = 0;
};

// Offsets from UTC in minutes for the camera's ZONE values 0..37.
inline constexpr int kZoneCount = 38;
extern const int ZoneMinutes[kZoneCount];
// The offset for a ZONE value; a value outside 0..37 gives 0 (logged).
int ZoneOffsetMinutes(int zone);

// Result codes of a refused sign-in and of a camera's CLOSE notice.
inline constexpr int kRefusedWrongVersion = 506;
inline constexpr const char* kCameraVersion = "0,5,0,0";

// The windows that receive the camera's setup replies, one per section group,
// registered like a slot's consumers (LinkConsumer.h): each setup form sets
// itself when created and calls Clear() on its entry before it is freed; an
// empty entry means the window does not exist.
struct SetupReplyTargets {
  LinkConsumer<WindowTarget> network;
  LinkConsumer<WindowTarget> ddns;
  LinkConsumer<WindowTarget> user;
  LinkConsumer<WindowTarget> videoAudio;
  LinkConsumer<WindowTarget> maintenance;
  LinkConsumer<WindowTarget> mdalarm;
  LinkConsumer<WindowTarget> advance;
  // Unregisters every entry (waiting for readers).
  void Clear();
};
SetupReplyTargets& GetSetupReplyTargets();

// Connects the control channel (2 s) and sends the sign-in request: ID (cut to
// 31 characters), PW (first 80 characters, scrambled), USE_MJPEG and
// CURRENT_TIME. Returns 1 when sent, else 0. The answer arrives as
// WM_LOGIN_ACCEPTED or WM_LOGIN_REFUSED.
int OpenControl(int slot, const char* id, const char* password, int useMjpeg);

// The body lines CMD#ALIVE, MTD#SET / CMD#CLOSE through SendControlMessage
// (same results: kSendNotConnected when there is no control connection).
int SendAliveRequest(int slot);
int SendCloseRequest(int slot);

// Reads at most one whole message ("SRC" .. "\n\n") from the control channel
// into |buffer| (kInboundBufferSize bytes, zero-filled first). Bytes before
// "SRC" are discarded; 2048 waiting bytes that hold no complete message are
// discarded (logged) so that the channel cannot block for ever.
ReadResult ReceiveControlMessage(PHD* phd, char* buffer);

// Parses one message and turns it into window messages for the PHD's slot.
void DispatchControlMessage(PHD* phd, char* message);
