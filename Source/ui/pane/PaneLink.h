// What a pane asks of the camera link, as one small interface: the session
// and the pane's parts send through it, so a test can put a pane through its
// states and switches with a fake link and no camera. LiveLink forwards to
// the link engine and the camera commands. Every call names the pane's slot.
#pragma once

class AudioSink;
class FrameSink;
class TalkBackSender;
class WindowTarget;

class PaneLink {
 public:
  virtual ~PaneLink() = default;

  // The connection (LinkEngine.h).
  virtual int PrepareLink(int slot, WindowTarget* window, const char* address, int port) = 0;
  virtual int OpenControl(int slot, const char* id, const char* password, int useMjpeg) = 0;
  virtual int OpenVideoStream(int slot) = 0;
  virtual int SendCloseRequest(int slot) = 0;
  virtual void CloseLink(int slot) = 0;
  virtual int SendAliveRequest(int slot) = 0;
  virtual int SendSetupRequest(int slot, const char* section, const char* method, const char* var) = 0;
  // Whether the slot still holds these consumers of the pane.
  virtual bool HoldsWindow(int slot, const WindowTarget* window) = 0;
  virtual bool HoldsFrameSink(int slot, const FrameSink* sink) = 0;
  virtual bool HoldsAudioSink(int slot, const AudioSink* sink) = 0;
  virtual void ClearFrameSink(int slot) = 0;
  virtual void ClearAudioSink(int slot) = 0;

  // The picture (CameraCommands.h).
  virtual int StartVideo(int slot, FrameSink* sink) = 0;
  virtual int StopVideo(int slot) = 0;
  virtual int RequestKeyFrame(int slot) = 0;

  // Sound: the audio channel, listening, talking.
  virtual int OpenAudioStream(int slot) = 0;
  virtual void CloseAudioChannel(int slot) = 0;
  virtual int CameraSoundOn(int slot, AudioSink* sink) = 0;
  virtual int CameraSoundOff(int slot) = 0;
  virtual int BeginTalkBack(int slot) = 0;
  virtual void EndTalkBack(int slot) = 0;
  // Lives as long as the program (LiveLink) or the fake.
  virtual TalkBackSender* TalkBack(int slot) = 0;
  virtual int TalkBackOn(int slot) = 0;
  virtual int TalkBackOff(int slot) = 0;
  virtual int SetSpeakerVolume(int slot, int level) = 0;

  // Steering and the camera's switches (CameraCommands.h).
  virtual int FlipPicture(int slot, int horizontal, int vertical) = 0;
  virtual int MovePanTilt(int slot, int pan, int tilt, int zoom, int focus) = 0;
  virtual int SavePreset(int slot, int preset) = 0;
  virtual int GotoPreset(int slot, int preset) = 0;
  virtual int StartScan(int slot) = 0;
  virtual int StopScan(int slot) = 0;
  virtual int ExecuteCustom(int slot) = 0;
  virtual int SetFlash(int slot, int on) = 0;
  virtual int SetMotionDetection(int slot, int on) = 0;
  virtual int SetSensorInput(int slot, int on) = 0;
  virtual int SetGeneralOutput(int slot, int on) = 0;
};

// The real link. Stateless; one instance serves every pane.
class LiveLink : public PaneLink {
 public:
  static LiveLink& Instance();

  int PrepareLink(int slot, WindowTarget* window, const char* address, int port) override;
  int OpenControl(int slot, const char* id, const char* password, int useMjpeg) override;
  int OpenVideoStream(int slot) override;
  int SendCloseRequest(int slot) override;
  void CloseLink(int slot) override;
  int SendAliveRequest(int slot) override;
  int SendSetupRequest(int slot, const char* section, const char* method, const char* var) override;
  bool HoldsWindow(int slot, const WindowTarget* window) override;
  bool HoldsFrameSink(int slot, const FrameSink* sink) override;
  bool HoldsAudioSink(int slot, const AudioSink* sink) override;
  void ClearFrameSink(int slot) override;
  void ClearAudioSink(int slot) override;
  int StartVideo(int slot, FrameSink* sink) override;
  int StopVideo(int slot) override;
  int RequestKeyFrame(int slot) override;
  int OpenAudioStream(int slot) override;
  void CloseAudioChannel(int slot) override;
  int CameraSoundOn(int slot, AudioSink* sink) override;
  int CameraSoundOff(int slot) override;
  int BeginTalkBack(int slot) override;
  void EndTalkBack(int slot) override;
  TalkBackSender* TalkBack(int slot) override;
  int TalkBackOn(int slot) override;
  int TalkBackOff(int slot) override;
  int SetSpeakerVolume(int slot, int level) override;
  int FlipPicture(int slot, int horizontal, int vertical) override;
  int MovePanTilt(int slot, int pan, int tilt, int zoom, int focus) override;
  int SavePreset(int slot, int preset) override;
  int GotoPreset(int slot, int preset) override;
  int StartScan(int slot) override;
  int StopScan(int slot) override;
  int ExecuteCustom(int slot) override;
  int SetFlash(int slot, int on) override;
  int SetMotionDetection(int slot, int on) override;
  int SetSensorInput(int slot, int on) override;
  int SetGeneralOutput(int slot, int on) override;
};
