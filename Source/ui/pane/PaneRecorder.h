// The one owner of a pane's recording file. Three kinds of recording share
// the pane's AVI recorder: the manual recording, the scheduled (reservation)
// recording and the motion alarm's clip. This class holds the recorder, the
// file's name and start, and the pane directory's registration with the disk
// space manager, and grants the file to one holder at a time:
//   - a holder opens and closes only its own file; closing with another
//     holder's file open does nothing;
//   - the manual recording takes the file over from a reservation or a clip
//     (the user's own choice wins; TakesOver), which the caller ends first;
//     a reservation and a clip never take the file from anyone;
//   - the directory stays registered while any holder needs it (a slide
//     recording needs the directory without a file), so one holder's end
//     never lets go of another's directory.
//
// A split (the period's next file, or a file with or without sound) opens
// the next file while the current one is still written; the render and
// sound threads move to it at its first key frame (KeyFrameSplitter), and
// the replaced file closes at the next Poll, so no frame falls between them.
//
// Threads: every call on the UI thread. The render thread writes the
// compressed frames and the player's thread the received sound through the
// splitter while they hold it (MVideoRender::SetRecorder,
// MAudioPlayer::SetRecorder, which return only once the thread has let go of
// the recorder it held before); Close takes it from both before the files
// are closed. The recorders and the splitter are members and outlive every
// hand-over. Holder() and FileOpen() may be read from any thread.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "base/RecordPaths.h"
#include "base/SettingsIndex.h"
#include "base/KeyFrameSplitter.h"
#include "base/avxxx.h"

class PaneAudioVideo;
class PaneContext;

// Bytes free for the file system of a directory (very large when unknown).
using FreeSpaceProbe = std::function<std::uint64_t(const std::string& dir)>;
std::uint64_t FileSystemFreeBytes(const std::string& dir);

enum class RecordHolder : int { kNone = 0, kManual = 1, kReservation = 2, kAlarm = 3 };

// Whether |asking| may take the recording file from |holding| (which then
// ends first): only the manual recording does, from the other two.
bool TakesOver(RecordHolder asking, RecordHolder holding);

class PaneRecorder {
 public:
  // |freeSpace| null: the file system's (FileSystemFreeBytes).
  PaneRecorder(PaneContext& pane, PaneAudioVideo& audio, LocalClock clock, FreeSpaceProbe freeSpace = {});
  ~PaneRecorder();
  PaneRecorder(const PaneRecorder&) = delete;
  PaneRecorder& operator=(const PaneRecorder&) = delete;

  // Opens the next file for |who| (an alarm clip's name begins with "MD_")
  // and hands it to the render and, while listening, the player; |who|'s own
  // earlier file is closed first. 0 when another holder's file is open
  // (logged) or the file cannot be opened or started (logged; a start that
  // fails after the open closes the file again).
  int Open(RecordHolder who);
  // Takes |who|'s file from the player and the render, then closes it.
  void Close(RecordHolder who);
  // Once a second: the file a split replaced closes once the next one has
  // taken over (at its first key frame, or after kSplitWait without one).
  void Poll();
  static constexpr std::chrono::seconds kSplitWait{3};
  // The file open now is replaced by one of the same holder (listening went
  // on or off). 1 when replaced or when no file is open.
  int Reopen();

  // The pane directory's registration with the disk space manager on behalf
  // of |who|; registered while any holder holds it. 1 on success.
  int HoldDirectory(RecordHolder who);
  int ReleaseDirectory(RecordHolder who);
  bool DirectoryRegistered() const { return registered_; }

  // Free space below this (on the recording folder's file system) closes
  // the file while it is still whole: its index and header need room too.
  static constexpr std::uint64_t kDiskReserveBytes = 8u << 20;
  // A recording stopped for want of space starts again above this.
  static constexpr std::uint64_t kDiskResumeBytes = 2 * kDiskReserveBytes;
  // Bytes free for the pane directory's file system (the record folder's
  // when the pane directory does not exist yet); very large when unknown.
  std::uint64_t FreeBytes();
  // Why the last Open failed (errno; ENOSPC below the reserve), 0 when it
  // did not or the reason is unknown.
  int OpenError() const { return openError_; }
  // The errno of the first failed write into the open file, else 0.
  int WriteError() const { return recorders_[active_].WriteErrno(); }
  // The pane directory where files go (UI thread).
  std::string PaneDir();

  RecordHolder Holder() const { return holder_.load(); }
  bool FileOpen() const { return holder_.load() != RecordHolder::kNone; }
  // The file being written (empty when none) and when it started.
  const std::string& CurrentFile() const { return currentFile_; }
  const LocalTime& FileStart() const { return fileStart_; }
  // The picture format the open file was made for (codec, width, height).
  int FileCodec() const { return fileCodec_; }
  int FileWidth() const { return fileWidth_; }
  LocalTime Now() const { return clock_(); }

  // Where the pane records: "Record"\"Dir" (the default folder when unset).
  std::string RecordDir();
  std::string CaptureDir();
  // The pane directory as the settings name it now, without storing the
  // default folder (start-up's look for unfinished files).
  std::string StoredPaneDir() const;

 private:
  // A stored directory, or the default folder (stored and made) when unset.
  std::string DirectoryOf(const settings::TextSetting& setting);
  void CloseFile();
  // Ends a split under way: the previous file closes once no thread writes
  // into it; |now| makes the next file take over at once.
  void FinishSplit(bool now);
  int RegisterDirectory();
  int UnregisterDirectory();

  PaneContext& pane_;
  PaneAudioVideo& audio_;
  const LocalClock clock_;
  const FreeSpaceProbe freeSpace_;
  // Two files: the one written and, during a split, the one it replaces
  // (recorders_[active_] is the newest). The threads write through the
  // splitter, which moves to the next file at its first key frame.
  avxxx recorders_[2];
  int active_ = 0;  // UI thread
  KeyFrameSplitter splitter_;
  std::chrono::steady_clock::time_point splitSince_;  // UI thread
  std::atomic<RecordHolder> holder_{RecordHolder::kNone};  // whose file is open (UI thread writes)
  // UI thread only.
  LocalTime fileStart_;
  std::string currentFile_;
  unsigned directoryHolders_ = 0;  // bit per RecordHolder holding the directory
  std::string paneDir_;            // the registered pane directory
  bool registered_ = false;        // paneDir_ is registered with the disk space manager
  int openError_ = 0;
  int fileCodec_ = -1;
  int fileWidth_ = 0;
};
