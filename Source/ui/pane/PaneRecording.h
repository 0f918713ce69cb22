// The pane's recordings and pictures: the manual recording as a chain of AVI
// files that each cover "Record"\"Period" minutes (or as slides, one JPEG
// every few seconds), the files the alarm and the schedule record into, the
// pane directory's registration with the disk space manager, and snapshots.
// Files live in the tree RecordPaths.h describes.
//
// Threads: every call on the UI thread. The render thread writes the
// compressed frames and the player's thread the received sound into the
// recorder while they hold it (MVideoRender::SetRecorder,
// MAudioPlayer::SetRecorder); StopAviFile takes it from both before closing
// the file, and the recorder (its own lock) outlives both hand-overs since it
// is this part's member and the part dies after every stop. Recording() and
// SlideInterval() are atomics because the form reads them for its buttons.
#pragma once

#include <atomic>
#include <string>

#include "base/RecordPaths.h"
#include "base/SettingsIndex.h"
#include "base/avxxx.h"

class MessageRouter;
class PaneAudioVideo;
class PaneContext;

class PaneRecording {
 public:
  PaneRecording(PaneContext& pane, PaneAudioVideo& audio, LocalClock clock);
  ~PaneRecording();
  PaneRecording(const PaneRecording&) = delete;
  PaneRecording& operator=(const PaneRecording&) = delete;

  // The snapshot results (1167, 1168).
  void Register(MessageRouter& router);

  // The manual recording: |interval| 0 records video, else a slide every
  // |interval| seconds. 1 on success. |save| stores the choice.
  int SetRecording(int on, int interval, int save);
  // The scheduled (reservation) recording, always video; 1 on success.
  // |save| stores "Record"\"Interval" 0.
  int SetReservationRecording(int on, int save);
  // Opens the next AVI file (|alarm|: named MD_...) and hands it to the
  // render and, while listening, the player. 1 on success; a start that fails
  // after the file was opened closes it again.
  int StartAviFile(bool alarm);
  // Takes the file from the player and the render, then closes it.
  void StopAviFile();
  // The pane directory with the disk space manager; 1 on success.
  int RegisterRecordDir(bool on);
  // Once a second (|tickCounter| 0..59): slides, and the split of the file
  // at the period's boundary.
  void CheckRecordPeriod(int tickCounter);
  // One slide of the picture shown at |t|.
  void SaveSlide(const LocalTime& t);
  // Saves the next picture as a JPEG in the capture directory; the pane
  // shows the result. 1 when asked.
  int CaptureSnapshot();

  // Listening went on or off: a running file is replaced by one with (or
  // without) the sound.
  void OnListeningChanged();
  // The connection ended or changed (log-out, reconnect, another picture
  // format): the manual recording stops without changing the stored switch.
  void StopForConnection();
  // The pane went live: the stored recording starts again, unless motion
  // detection records instead (an administrator's pane with it on).
  void OnLiveStart(bool motionDetectionOn);

  bool Recording() const { return recording_.load(); }
  bool ReservationRecording() const { return reservation_.load(); }
  int SlideInterval() const { return slideInterval_.load(); }
  bool FileOpen() const { return recorder_.IsOpen(); }
  // The file being written (UI thread; empty when none).
  const std::string& CurrentFile() const { return currentFile_; }
  // Where the pane records: "Record"\"Dir" (the default folder when unset).
  std::string RecordDir();
  // The pane directory as the settings name it now, without storing the
  // default folder (start-up's look for unfinished files).
  std::string StoredPaneDir() const;

 private:
  std::string CaptureDir();
  // A recording's start (|video|: with a file) and end: the file and the
  // pane directory's registration, each undone when the other fails.
  int Begin(bool video);
  int End();
  // A stored directory, or the default folder (stored and made) when unset.
  std::string DirectoryOf(const settings::TextSetting& setting);

  PaneContext& pane_;
  PaneAudioVideo& audio_;
  const LocalClock clock_;
  avxxx recorder_;
  std::atomic<bool> recording_{false};
  std::atomic<bool> reservation_{false};
  std::atomic<int> slideInterval_{0};
  // UI thread only.
  LocalTime fileStart_;
  std::string paneDir_;       // the registered pane directory
  bool registered_ = false;   // paneDir_ is registered with the disk space manager
  std::string currentFile_;
};
