// The form's side of sound: whether the process has a playback device at all
// (audio ready), the playback and capture device objects of every pane, and
// the rule that only the current pane is heard and only the current pane
// talks.
#pragma once

#include <memory>
#include <vector>

#include "audio/AudioDevice.h"

class ViewerSession;

// Makes the sound devices. The program uses the Qt devices; tests pass fakes.
class AudioDeviceFactory {
 public:
  virtual ~AudioDeviceFactory() = default;
  // Checks that the process can play sound. Returns 1, or 0 with a reason
  // code in |*result| when there is no usable playback device.
  virtual int OpenSharedDevice(unsigned* result) = 0;
  // One pane's playback and capture devices.
  virtual std::unique_ptr<AudioOutput> MakeOutput() = 0;
  virtual std::unique_ptr<AudioInput> MakeInput() = 0;
};

// The Qt Multimedia devices: the default output; the input chosen by id.
std::unique_ptr<AudioDeviceFactory> MakeQtAudioDeviceFactory();

class FormAudio {
 public:
  // |factory| null: the Qt devices.
  explicit FormAudio(AudioDeviceFactory* factory);
  ~FormAudio();
  FormAudio(const FormAudio&) = delete;
  FormAudio& operator=(const FormAudio&) = delete;

  // Opens the shared device; logs the failure. Returns |Ready()|.
  bool Start();
  bool Ready() const { return ready_; }
  // Gives |session| devices of its own (only when ready). They live as long
  // as this object, which must outlive the session's audio.
  void Attach(ViewerSession& session);

 private:
  std::unique_ptr<AudioDeviceFactory> owned_;
  AudioDeviceFactory* factory_;
  bool ready_ = false;
  std::vector<std::unique_ptr<AudioOutput>> outputs_;
  std::vector<std::unique_ptr<AudioInput>> inputs_;
};

// A pane that is no longer current: its listening is silenced, its talking
// paused and the camera's speaker turned down to 0 (not stored).
void MuteUnselectedPane(ViewerSession& session);
// The current pane: listening resumed; talking resumed with the stored
// volume (not stored again).
void UnmuteSelectedPane(ViewerSession& session);
