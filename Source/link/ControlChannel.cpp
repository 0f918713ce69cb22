#include "link/ControlChannel.h"

#include <sys/socket.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "base/base.h"
#include "link/CameraCommands.h"
#include "link/KeyValue.h"
#include "link/LinkMessages.h"

const int ZoneMinutes[kZoneCount] = {
    -720, -660, -600, -540, -480, -420, -360, -300, -300, -240, -240, -240, -180,
    -120, -60,  0,    60,   120,  120,  120,  120,  120,  180,  180,  210,  240,
    270,  300,  330,  360,  420,  480,  540,  570,  600,  600,  660,  720};

int ZoneOffsetMinutes(int zone) {
  if (zone < 0 || zone >= kZoneCount) {
    LogMessage("%s:%d (ZONE=%d)\r\n", LOGPOS, zone);
    return 0;
  }
  return ZoneMinutes[zone];
}

void SetupReplyTargets::Clear() {
  for (auto* entry : {&network, &ddns, &user, &videoAudio, &maintenance, &mdalarm, &advance}) {
    entry->Clear();
  }
}

SetupReplyTargets& GetSetupReplyTargets() {
  static SetupReplyTargets targets;
  return targets;
}

int OpenControl(int slot, const char* id, const char* password, int useMjpeg) {
  if (!IsValidSlot(slot) || id == nullptr || password == nullptr) {
    LogMessage("%s:%d\r\n", LOGPOS);
    return 0;
  }
  LinkRecord& record = LinkSlot(slot);
  char address[16];
  int port;
  {
    TimedLockHolder hold(record.lock, TimedLock::kDefaultWaitMs, LOGPOS);
    if (!hold.held()) return 0;
    std::memcpy(address, record.address, sizeof address);
    port = record.port;
  }
  if (ConnectChannel(address, &record.control, &SelectSet(slot), port, kControlChannel) != 1) {
    LogMessage("%s:%d\r\n", LOGPOS);
    return 0;
  }
  record.control.slot = slot;

  char clearPassword[81];
  std::snprintf(clearPassword, sizeof clearPassword, "%s", password);
  char scrambled[256];
  ScrambleText(scrambled, clearPassword, sizeof scrambled);
  char user[32];
  std::snprintf(user, sizeof user, "%s", id);

  char stid[kLinkIdSize];
  char dtid[kLinkIdSize];
  CopyLinkIds(slot, stid, dtid);
  MessageBuilder body;
  body.Line("CMD", "OPEN").Line("CLS", "CONTROL").Line("ID", user).Line("PW", scrambled)
      .Line("USE_MJPEG", useMjpeg).Line("CURRENT_TIME", static_cast<std::int32_t>(std::time(nullptr)));
  char message[kMessageBufferSize];
  const int length = body.ok() ? ComposeMessage(message, sizeof message, stid, dtid, body.text()) : -1;
  if (length < 0) {
    LogMessage("%s:%d (%d)\r\n", LOGPOS, EMSGSIZE);
    return 0;
  }
  if (SendOnChannel(record.control, message, static_cast<std::size_t>(length)) < 0) {
    LogMessage("%s:%d (%d)\r\n", LOGPOS, errno);
    return 0;
  }
  return 1;
}

int SendAliveRequest(int slot) { return SendControlMessage(slot, "CMD#ALIVE\nMTD#SET"); }
int SendCloseRequest(int slot) {
  // The camera closes the video channel after our CLOSE: not its doing.
  if (IsValidSlot(slot)) ExpectChannelClose(&LinkSlot(slot).video);
  return SendControlMessage(slot, "CMD#CLOSE");
}

ReadResult ReceiveControlMessage(PHD* phd, char* buffer) {
  if (phd == nullptr || buffer == nullptr) return ReadResult::kNoProgress;
  const ChannelView view = ViewChannel(*phd);
  char peek[kInboundBufferSize];
  const long n = ChannelRecv(view, peek, sizeof peek, MSG_PEEK);
  if (n == 0) return ReadResult::kClosed;
  if (n < 4) return ReadResult::kNoProgress;  // an error, or too little to look at
  const auto length = static_cast<std::size_t>(n);
  const bool full = length == sizeof peek;

  const char* src = static_cast<const char*>(memmem(peek, length, "SRC", 3));
  if (src == nullptr) {
    if (!full) return ReadResult::kNoProgress;
    // 2048 bytes without a message start: drop them, keeping two bytes that
    // may begin "SRC".
    LogMessage("%s:%d (discarded=%d)\r\n", LOGPOS, static_cast<int>(length - 2));
    return ChannelDiscard(view, length - 2) ? ReadResult::kProgress : ReadResult::kNoProgress;
  }
  const std::size_t start = static_cast<std::size_t>(src - peek);
  if (start > 0 && !ChannelDiscard(view, start)) return ReadResult::kNoProgress;

  const char* end = static_cast<const char*>(memmem(src + 3, length - start - 3, "\n\n", 2));
  const std::size_t size = end == nullptr ? 0 : static_cast<std::size_t>(end + 2 - src);
  if (end == nullptr || size > sizeof peek - 1) {
    if (start == 0 && full) {
      // A message that cannot complete within 2048 bytes: drop it up to the
      // next "SRC" (or all of it) and go on with what follows.
      const char* next = static_cast<const char*>(memmem(peek + 3, length - 3, "SRC", 3));
      const std::size_t drop = next != nullptr ? static_cast<std::size_t>(next - peek) : length - 2;
      LogMessage("%s:%d (discarded=%d)\r\n", LOGPOS, static_cast<int>(drop));
      return ChannelDiscard(view, drop) ? ReadResult::kProgress : ReadResult::kNoProgress;
    }
    return start > 0 ? ReadResult::kProgress : ReadResult::kNoProgress;
  }
  std::memset(buffer, 0, kInboundBufferSize);
  const long got = ChannelRecv(view, buffer, size, 0);
  if (got != static_cast<long>(size)) {
    std::memset(buffer, 0, kInboundBufferSize);
    return got > 0 ? ReadResult::kProgress : ReadResult::kNoProgress;
  }
  return ReadResult::kMessage;
}

namespace {

void Deliver(WindowTarget* window, unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
  if (window != nullptr) window->Post(message, wParam, lParam);
}

std::intptr_t SendTo(WindowTarget* window, unsigned message, const char* text) {
  if (window == nullptr) {
    LogMessage("%s:%d (message=%u)\r\n", LOGPOS, message);
    return 0;
  }
  return window->Send(message, 0, reinterpret_cast<std::intptr_t>(text));
}

void HandleSignInReply(int slot, const KeyValueList& list, WindowTarget* viewer) {
  if (!ValueIs(FindValue(&list, "RSP"), "ACK")) {
    Deliver(viewer, WM_LOGIN_REFUSED, 0, ValueToInt(FindValue(&list, "CODE")));
    return;
  }
  const char* stid = FindValue(&list, "STID");
  if (std::strlen(stid) > kLinkIdSize - 1) {
    LogMessage("%s:%d (STID=%d)\r\n", LOGPOS, static_cast<int>(std::strlen(stid)));
  }
  SetLinkDtid(slot, stid);  // cut to 31 characters
  if (!ValueIs(FindValue(&list, "VER"), kCameraVersion)) {
    Deliver(viewer, WM_LOGIN_REFUSED, 0, kRefusedWrongVersion);
    return;
  }
  LoginInfo info;
  auto number = [&](const char* key) { return ValueToInt(FindValue(&list, key)); };
  info.cameraTime = static_cast<std::int64_t>(number("NOW")) +
                    static_cast<std::int64_t>(ZoneOffsetMinutes(number("ZONE"))) * 60;
  info.flash = number("FLASH");
  info.horizontalFlip = number("FHORZ");
  info.verticalFlip = number("FVERT");
  info.ioEnabled = number("GIO_ENABLE");
  info.motionEnabled = number("MD_ENABLE");
  info.sensorEnabled = number("SENSOR_ENABLE");
  info.sensorActive = number("SENSOR_ACTIVE");
  info.generalInput1 = number("GI_01");
  info.generalOutput1 = number("GO_01");
  info.model = number("MODEL");
  if (viewer != nullptr) {
    viewer->Send(WM_LOGIN_ACCEPTED, static_cast<std::uintptr_t>(number("GROUP")),
                 reinterpret_cast<std::intptr_t>(&info));
  }
}

void HandleSetupReply(const KeyValueList& list, WindowTarget* viewer) {
  SetupReplyTargets& targets = GetSetupReplyTargets();
  const char* cls = FindValue(&list, "CLS");
  const char* mtd = FindValue(&list, "MTD");
  const char* rsp = FindValue(&list, "RSP");
  const char* var = FindValue(&list, "VAR");
  const bool ack = ValueIs(rsp, "ACK");
  auto is = [](const char* value, const char* word) { return ValueIs(value, word); };

  if (is(cls, "MAINTENANCE") && is(mtd, "UPDATE_START")) {
    const unsigned message = ack ? WM_UPDATE_PROGRESS : WM_UPDATE_FAILED;
    const std::intptr_t code = ValueToInt(FindValue(&list, "CODE"));
    Deliver(viewer, message, 0, code);
    Deliver(targets.maintenance.Acquire().get(), message, 0, code);
    return;
  }
  if (is(cls, "MDALARM") && is(mtd, "CONNECT")) {
    if (is(rsp, "NAK")) Deliver(viewer, WM_SETUP_MDALARM_CONNECT, 0, 0);
    return;
  }
  if (is(cls, "USERINFO2")) {
    if (!(is(mtd, "GET") && ack)) LogMessage("%s:%d\r\n", LOGPOS);
    return;
  }
  if (!ack) {
    LogMessage("%s:%d\r\n", LOGPOS);
    // Said to the slot's window too, so a caller waiting for the reply
    // learns of the refusal at once; the panes take no action on it.
    Deliver(viewer, WM_SETUP_REFUSED, 0, 0);
    return;
  }
  if (is(cls, "NETWORK")) {
    if (is(mtd, "GET")) SendTo(targets.network.Acquire().get(), WM_SETUP_NETWORK_GET, var);
    else if (is(mtd, "SET")) Deliver(viewer, WM_SETUP_NETWORK_SET, 0, 0);
  } else if (is(cls, "DDNS")) {
    SendTo(targets.ddns.Acquire().get(), is(mtd, "GET") ? WM_SETUP_DDNS_GET : WM_SETUP_DDNS_SET, var);
  } else if (is(cls, "USER")) {
    SendTo(targets.user.Acquire().get(), is(mtd, "GET") ? WM_SETUP_USER_GET : WM_SETUP_USER_SET, var);
  } else if (is(cls, "PASSWD")) {
    const struct { const char* mtd; unsigned message; } rows[] = {
        {"GET", WM_SETUP_PASSWD_GET}, {"ADD", WM_SETUP_PASSWD_ADD},
        {"MOD", WM_SETUP_PASSWD_MOD}, {"DEL", WM_SETUP_PASSWD_DEL}};
    for (const auto& row : rows) {
      if (is(mtd, row.mtd)) SendTo(targets.user.Acquire().get(), row.message, var);
    }
  } else if (is(cls, "VIDEO")) {
    if (is(mtd, "GET")) {
      auto form = targets.videoAudio.Acquire();
      SendTo(form ? form.get() : viewer, WM_SETUP_VIDEO_GET, var);
    } else if (is(mtd, "SET")) {
      SendTo(viewer, WM_SETUP_VIDEO_SET, var);
    } else if (is(mtd, "ADJUST")) {
      SendTo(viewer, WM_SETUP_VIDEO_ADJUST, var);
    }
  } else if (is(cls, "AUDIO")) {
    auto form = targets.videoAudio.Acquire();
    if (is(mtd, "GET") && form) SendTo(form.get(), WM_SETUP_AUDIO_GET, var);
  } else if (is(cls, "ADVANCE")) {
    auto form = targets.advance.Acquire();
    if (is(mtd, "GET") && form) SendTo(form.get(), WM_SETUP_ADVANCE_GET, var);
  } else if (is(cls, "MAINTENANCE")) {
    if (is(mtd, "GET")) SendTo(targets.maintenance.Acquire().get(), WM_SETUP_MAINTENANCE_GET, var);
  } else if (is(cls, "MDALARM")) {
    if (is(mtd, "GET")) SendTo(targets.mdalarm.Acquire().get(), WM_SETUP_MDALARM_GET, var);
    else if (is(mtd, "SET")) SendTo(viewer, WM_SETUP_MDALARM_SET, rsp);
  }
}

}  // namespace

void DispatchControlMessage(PHD* phd, char* message) {
  if (phd == nullptr || message == nullptr) return;
  thread_local KeyValueList list;  // reused: no allocation per message
  list.Clear();
  ParseKeyValues(message, &list, kMessageDelimiters);
  if (!ValueIs(FindValue(&list, "SRC"), "C") || !ValueIs(FindValue(&list, "DST"), "V")) return;

  const int slot = phd->slot.load();
  // The pane's window, held while this message is handled.
  auto window = AcquireWindow(slot);
  WindowTarget* viewer = window.get();
  const char* cmd = FindValue(&list, "CMD");
  const char* cls = FindValue(&list, "CLS");
  const char* mtd = FindValue(&list, "MTD");
  const bool ack = ValueIs(FindValue(&list, "RSP"), "ACK");

  if (ValueIs(cmd, "OPEN")) {
    if (ValueIs(cls, "CONTROL")) {
      if (IsValidSlot(slot)) HandleSignInReply(slot, list, viewer);
    } else if (ValueIs(cls, "VSTREAM")) {
      Deliver(viewer, ack ? WM_VSTREAM_OPENED : WM_VSTREAM_REFUSED, 0, 0);
    } else if (ValueIs(cls, "ASTREAM")) {
      Deliver(viewer, ack ? WM_ASTREAM_OPENED : WM_ASTREAM_REFUSED, 0, 0);
    }
  } else if (ValueIs(cmd, "ALIVE")) {
    if (ack) Deliver(viewer, WM_ALIVE_ACK, 0, 0);
  } else if (ValueIs(cmd, "ALARM")) {
    if (ValueIs(mtd, "DETECT")) {
      if (ValueIs(cls, "MOTION")) Deliver(viewer, WM_MOTION_ALARM, 0, 0);
      else if (ValueIs(cls, "SENSOR")) {
        Deliver(viewer, WM_SENSOR_ALARM,
                static_cast<std::uintptr_t>(ValueToInt(FindValue(&list, "SENSOR_ACTIVE"))), 0);
      }
    }
  } else if (ValueIs(cmd, "CLOSE")) {
    if (ack) Deliver(viewer, WM_CAMERA_CLOSE, 0, ValueToInt(FindValue(&list, "CODE")));
  } else if (ValueIs(cmd, "CONTROL")) {
    if (ValueIs(cls, "KEY")) {
      if (ValueIs(mtd, "GET") && ack) Deliver(viewer, WM_CAMERA_KEY, 0, 0);
    } else {
      HandleCommandReply(list, viewer);
    }
  } else if (ValueIs(cmd, "SETUP")) {
    HandleSetupReply(list, viewer);
  }
}
