#include "link/CameraCommands.h"

#include <cstdio>

#include "base/base.h"
#include "base/TimedLock.h"
#include "link/KeyValue.h"
#include "link/LinkEngine.h"
#include "link/LinkMessages.h"

namespace {

int SendCommand(int slot, const char* cls, const char* mtd) {
  MessageBuilder body;
  body.Line("CMD", "CONTROL").Line("CLS", cls).Line("MTD", mtd);
  return SendControlMessage(slot, body.text());
}

int SendCommand(int slot, const MessageBuilder& body) {
  if (!body.ok()) {
    LogMessage("%s:%d\r\n", LOGPOS);
    return kSendFailed;
  }
  return SendControlMessage(slot, body.text());
}

MessageBuilder Command(const char* cls, const char* mtd) {
  MessageBuilder body;
  body.Line("CMD", "CONTROL").Line("CLS", cls).Line("MTD", mtd);
  return body;
}

}  // namespace

int RequestKeyFrame(int slot) { return SendCommand(slot, "VIDEO", "I-FRAME_REQ"); }

int StartVideo(int slot, FrameSink* sink) {
  if (!IsValidSlot(slot)) return kSendFailed;
  {
    TimedLockHolder hold(LinkSlot(slot).lock, TimedLock::kDefaultWaitMs, LOGPOS);
    if (!hold.held()) return kSendFailed;
    SetFrameSink(slot, sink);
  }
  // Playing again: the camera closing the video channel is news again.
  ReportChannelClose(&LinkSlot(slot).video);
  return SendCommand(slot, "VIDEO", "PLAY");
}

int StopVideo(int slot) {
  if (!IsValidSlot(slot)) return kSendFailed;
  // A camera may close the video channel on its stop: that is ours to know.
  ExpectChannelClose(&LinkSlot(slot).video);
  return SendCommand(slot, "VIDEO", "STOP");
}

int FlipPicture(int slot, int horizontal, int vertical) {
  return SendCommand(slot, Command("VIDEO", "SET").Line("FHORZ", horizontal).Line("FVERT", vertical));
}

int CameraSoundOn(int slot, AudioSink* sink) {
  if (!IsValidSlot(slot)) return kSendFailed;
  {
    TimedLockHolder hold(LinkSlot(slot).lock, TimedLock::kDefaultWaitMs, LOGPOS);
    if (!hold.held()) return kSendFailed;
    SetAudioSink(slot, sink);
  }
  return SendCommand(slot, "MIC", "PLAY");
}

int CameraSoundOff(int slot) { return SendCommand(slot, "MIC", "STOP"); }
int TalkBackOn(int slot) { return SendCommand(slot, "SPK", "PLAY"); }
int TalkBackOff(int slot) { return SendCommand(slot, "SPK", "STOP"); }

int SetSpeakerVolume(int slot, int level) {
  return SendCommand(slot, Command("SPK", "SET").Line("VOLUME", level));
}

int MovePanTilt(int slot, int pan, int tilt, int zoom, int focus) {
  char var[96];
  std::snprintf(var, sizeof var, "PAN=%d;TILT=%d;ZOOM=%d;FOCUS=%d;", pan, tilt, zoom, focus);
  return SendCommand(slot, Command("PTZ", "SET").Line("VAR", var));
}

int SavePreset(int slot, int preset) {
  return SendCommand(slot, Command("PTZ", "PRESET_SAVE").Line("PRESET_NUMBER", preset));
}

int GotoPreset(int slot, int preset) {
  return SendCommand(slot, Command("PTZ", "PRESET_GOTO").Line("PRESET_NUMBER", preset));
}

int StartScan(int slot) { return SendCommand(slot, "PTZ", "SCAN_START"); }
int StopScan(int slot) { return SendCommand(slot, "PTZ", "SCAN_STOP"); }

int ExecuteCustom(int slot) {
  return SendCommand(slot, Command("CUSTOM", "EXECUTE").Line("CUTOM_NUMBER", 0LL));
}

int SetFlash(int slot, int on) {
  return SendCommand(slot, Command("LED", "SET").Line("FLASH", on).Line("LED_01", 3).Line("LED_02", 3));
}

int SetMotionDetection(int slot, int on) { return SendCommand(slot, "MOTION", on ? "SET" : "CLR"); }
int SetSensorInput(int slot, int on) { return SendCommand(slot, "SENSOR", on ? "SET" : "CLR"); }

int SetGeneralOutput(int slot, int on) {
  return SendCommand(slot, Command("GIO", on ? "SET" : "CLR").Line("GIO_PIN", "GO_01"));
}

int SendSetupRequest(int slot, const char* section, const char* method, const char* var) {
  MessageBuilder body;
  body.Line("CMD", "SETUP").Line("CLS", section).Line("MTD", method);
  if (var != nullptr) body.Line("VAR", var);
  return SendCommand(slot, body);
}

void HandleCommandReply(const KeyValueList& list, WindowTarget* viewer) {
  const char* cls = FindValue(&list, "CLS");
  const char* mtd = FindValue(&list, "MTD");
  const bool ack = ValueIs(FindValue(&list, "RSP"), "ACK");
  auto post = [viewer](unsigned message, std::uintptr_t wParam = 0, std::intptr_t lParam = 0) {
    if (viewer != nullptr) viewer->Post(message, wParam, lParam);
  };
  // Rows: class, method, message on ACK, message otherwise (0: log only).
  struct Row {
    const char* cls;
    const char* mtd;
    unsigned onAck;
    unsigned onOther;
  };
  static constexpr Row kRows[] = {
      {"VIDEO", "PLAY", WM_VIDEO_PLAY_ACK, WM_VIDEO_PLAY_NAK},
      {"VIDEO", "STOP", WM_VIDEO_STOP_ACK, WM_VIDEO_STOP_NAK},
      {"MIC", "STOP", WM_MIC_STOP_ACK, 0},
      {"SPK", "PLAY", WM_SPK_PLAY_ACK, 0},
      {"SPK", "STOP", WM_SPK_STOP_ACK, 0},
      {"MOTION", "SET", WM_MOTION_SET_ACK, WM_MOTION_SET_NAK},
      {"MOTION", "CLR", WM_MOTION_CLR_ACK, WM_MOTION_CLR_NAK},
  };
  if (ValueIs(cls, "VIDEO") && ValueIs(mtd, "SET")) {
    if (ack) {
      post(WM_VIDEO_FLIP_ACK, static_cast<std::uintptr_t>(ValueToInt(FindValue(&list, "FHORZ"))),
           ValueToInt(FindValue(&list, "FVERT")));
    }
    return;
  }
  if (ValueIs(cls, "MIC") && ValueIs(mtd, "PLAY")) {
    if (ack) post(WM_MIC_PLAY_ACK);
    else post(WM_MIC_PLAY_NAK, 0, ValueToInt(FindValue(&list, "CODE")));
    return;
  }
  for (const Row& row : kRows) {
    if (!ValueIs(cls, row.cls) || !ValueIs(mtd, row.mtd)) continue;
    if (ack) post(row.onAck);
    else if (row.onOther != 0) post(row.onOther);
    else LogMessage("%s:%d\r\n", LOGPOS);
    return;
  }
}
