// The pane's recordings and pictures: the manual recording as a chain of AVI
// files that each cover "Record"\"Period" minutes (or as slides, one JPEG
// every few seconds), the scheduled (reservation) recording, the alarm clip's
// file, and snapshots. Files live in the tree RecordPaths.h describes; the
// file itself and the pane directory's registration belong to PaneRecorder,
// which grants the file to one kind of recording at a time.
//
// Across a connection: the picture's format is fixed by the connection, so
// when it ends (log-out, reconnection, a new format or bit rate) every file
// is closed. The manual recording stops (the stored switch brings it back at
// the next live start); a reservation stays on and opens a new file at the
// next live start inside its window; a reservation falling due while the
// pane is not live opens its file at the next live start.
//
// Failures are told: a start that fails says the folder and the reason (a
// start the program makes on its own says it once); a disk that fills or a
// write that fails closes the file while it is whole, tells the user once,
// and the recording starts again by itself at the next period with room.
//
// Video pause: a pane whose window is hidden does not pause its pictures
// while anything records (PaneAudioVideo asks RecordingAny()); a recording
// starting on a paused pane resumes them, and the last one ending on a hidden
// pane pauses them again.
//
// Threads: every call on the UI thread. Recording(), ReservationRecording(),
// SlideInterval() and the queries below are atomics because the form reads
// them for its buttons and titles.
#pragma once

#include <QString>
#include <atomic>
#include <string>

#include "base/RecordPaths.h"
#include "pane/PaneLifecycle.h"
#include "pane/PaneRecorder.h"

class MessageRouter;
class PaneAudioVideo;
class PaneContext;

class PaneRecording : public PaneLifecycle {
 public:
  PaneRecording(PaneContext& pane, PaneAudioVideo& audio, LocalClock clock, FreeSpaceProbe freeSpace = {});
  ~PaneRecording() override;
  PaneRecording(const PaneRecording&) = delete;
  PaneRecording& operator=(const PaneRecording&) = delete;

  // The snapshot results (1167, 1168).
  void Register(MessageRouter& router);

  // The manual recording: |interval| 0 records video, else a slide every
  // |interval| seconds. 1 on success. |save| stores the choice. It takes the
  // file from a running reservation or alarm clip, which end.
  int SetRecording(int on, int interval, int save);
  // The scheduled (reservation) recording, always video; 1 on success.
  // |save| stores "Record"\"Interval" 0. Refused (0) while a manual
  // recording runs or an alarm clip holds the file.
  int SetReservationRecording(int on, int save);

  // The alarm clip's file ("MD_" name) and its end.
  enum class ClipStart { kStarted, kRefused, kNoDirectory, kNoFile };
  ClipStart StartAlarmFile();
  void EndAlarmFile();

  // Once a second (|tickCounter| 0..59): slides, and the split of the file
  // at the period's boundary.
  void CheckRecordPeriod(int tickCounter);
  // One slide of the picture decoded at |t|.
  void SaveSlide(const LocalTime& t);
  // Saves the next picture as a JPEG in the capture directory; the pane
  // shows the result. 1 when asked.
  int CaptureSnapshot();

  // Listening went on or off: a running file is replaced by one with (or
  // without) the sound.
  void OnListeningChanged();

  // PaneLifecycle.
  // The pane went live: the stored manual recording starts again (unless
  // motion detection records instead: an administrator's pane with it on),
  // else a reservation that is on opens its file.
  void OnLive() override;
  // Every file of the connection closes; see the header comment.
  void OnConnectionEnded(ConnectionEnd why) override;
  void OnTick(int tickCounter) override { CheckRecordPeriod(tickCounter); }

  bool Recording() const { return recording_.load(); }
  bool ReservationRecording() const { return reservation_.load(); }
  int SlideInterval() const { return slideInterval_.load(); }
  // A manual recording (video with its file open, or slides) or a
  // reservation with its file open: what the pane shows as recording.
  bool ShowsRecording() const;
  // Anything records or is about to (the pictures must keep coming).
  bool RecordingAny() const;
  bool FileOpen() const { return recorder_.FileOpen(); }
  RecordHolder Holder() const { return recorder_.Holder(); }
  // The file being written (UI thread; empty when none).
  const std::string& CurrentFile() const { return recorder_.CurrentFile(); }
  // Where the pane records: "Record"\"Dir" (the default folder when unset).
  std::string RecordDir() { return recorder_.RecordDir(); }
  std::string StoredPaneDir() const { return recorder_.StoredPaneDir(); }
  PaneRecorder& Recorder() { return recorder_; }

 private:
  // The manual recording's start (|video|: with a file) and end.
  int Begin(bool video);
  int End();
  // The reservation's file (the pane is live); 1 on success.
  int OpenReservationFile();
  void CloseReservationFile();
  // A recording that could not go on (its next file failed): it stops and
  // the user is told.
  void Abandon(RecordHolder who);
  // The start failed: box 20111 with the folder and the reason; a start the
  // program made on its own says the same reason only once.
  void TellStartFailed();
  // A full disk (below the reserve) or a failed write closes the file while
  // it is whole; the recording stays on and starts again at the next period
  // with room (TryResume). The user is told once until it resumed.
  void CheckDisk();
  void Suspend(RecordHolder holder, int error);
  void TryResume(const LocalTime& now, int period);
  void ResumeVideo();
  void PauseVideoIfHidden();

  PaneContext& pane_;
  PaneAudioVideo& audio_;
  PaneRecorder recorder_;
  std::atomic<bool> recording_{false};
  std::atomic<bool> reservation_{false};
  std::atomic<int> slideInterval_{0};
  // UI thread only.
  bool live_ = false;  // the picture's format is the connection's
  RecordHolder suspended_ = RecordHolder::kNone;  // stopped for want of space, to resume
  bool toldSuspended_ = false;
  bool userAsked_ = false;  // the start under way is the user's own
  QString told_;            // the start failure last told
  std::string lastSnapshot_;  // the snapshot asked for last
};
