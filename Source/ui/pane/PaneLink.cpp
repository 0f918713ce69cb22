#include "pane/PaneLink.h"

#include "link/CameraCommands.h"
#include "link/ControlChannel.h"
#include "link/LinkEngine.h"
#include "link/MediaStream.h"

LiveLink& LiveLink::Instance() {
  static LiveLink link;
  return link;
}

int LiveLink::PrepareLink(int slot, WindowTarget* window, const char* address, int port) {
  return ::PrepareLink(slot, window, address, port);
}
int LiveLink::OpenControl(int slot, const char* id, const char* password, int useMjpeg) {
  return ::OpenControl(slot, id, password, useMjpeg);
}
int LiveLink::OpenVideoStream(int slot) { return ::OpenVideoStream(slot); }
int LiveLink::SendCloseRequest(int slot) { return ::SendCloseRequest(slot); }
void LiveLink::CloseLink(int slot) { ::CloseLink(slot); }
int LiveLink::SendAliveRequest(int slot) { return ::SendAliveRequest(slot); }
int LiveLink::SendSetupRequest(int slot, const char* section, const char* method, const char* var) {
  return ::SendSetupRequest(slot, section, method, var);
}
bool LiveLink::HoldsWindow(int slot, const WindowTarget* window) {
  return IsValidSlot(slot) && LinkSlot(slot).window.Peek() == window;
}
bool LiveLink::HoldsFrameSink(int slot, const FrameSink* sink) {
  return IsValidSlot(slot) && sink != nullptr && LinkSlot(slot).video.frameSink.Peek() == sink;
}
bool LiveLink::HoldsAudioSink(int slot, const AudioSink* sink) {
  return IsValidSlot(slot) && LinkSlot(slot).audio.audioSink.Peek() == sink;
}
void LiveLink::ClearFrameSink(int slot) { ::ClearFrameSink(slot); }
void LiveLink::ClearAudioSink(int slot) { ::ClearAudioSink(slot); }
int LiveLink::StartVideo(int slot, FrameSink* sink) { return ::StartVideo(slot, sink); }
int LiveLink::StopVideo(int slot) { return ::StopVideo(slot); }
int LiveLink::RequestKeyFrame(int slot) { return ::RequestKeyFrame(slot); }
int LiveLink::OpenAudioStream(int slot) { return ::OpenAudioStream(slot); }
void LiveLink::CloseAudioChannel(int slot) { ::CloseAudioChannel(slot); }
int LiveLink::CameraSoundOn(int slot, AudioSink* sink) { return ::CameraSoundOn(slot, sink); }
int LiveLink::CameraSoundOff(int slot) { return ::CameraSoundOff(slot); }
int LiveLink::BeginTalkBack(int slot) { return ::BeginTalkBack(slot); }
void LiveLink::EndTalkBack(int slot) { ::EndTalkBack(slot); }
TalkBackSender* LiveLink::TalkBack(int slot) { return ::SlotTalkBack(slot); }
int LiveLink::TalkBackOn(int slot) { return ::TalkBackOn(slot); }
int LiveLink::TalkBackOff(int slot) { return ::TalkBackOff(slot); }
int LiveLink::SetSpeakerVolume(int slot, int level) { return ::SetSpeakerVolume(slot, level); }
int LiveLink::FlipPicture(int slot, int horizontal, int vertical) {
  return ::FlipPicture(slot, horizontal, vertical);
}
int LiveLink::MovePanTilt(int slot, int pan, int tilt, int zoom, int focus) {
  return ::MovePanTilt(slot, pan, tilt, zoom, focus);
}
int LiveLink::SavePreset(int slot, int preset) { return ::SavePreset(slot, preset); }
int LiveLink::GotoPreset(int slot, int preset) { return ::GotoPreset(slot, preset); }
int LiveLink::StartScan(int slot) { return ::StartScan(slot); }
int LiveLink::StopScan(int slot) { return ::StopScan(slot); }
int LiveLink::ExecuteCustom(int slot) { return ::ExecuteCustom(slot); }
int LiveLink::SetFlash(int slot, int on) { return ::SetFlash(slot, on); }
int LiveLink::SetMotionDetection(int slot, int on) { return ::SetMotionDetection(slot, on); }
int LiveLink::SetSensorInput(int slot, int on) { return ::SetSensorInput(slot, on); }
int LiveLink::SetGeneralOutput(int slot, int on) { return ::SetGeneralOutput(slot, on); }
