// The AVI recorder: writes the camera's compressed frames and the received
// mu-law audio into one file without decoding anything. Timing is carried by
// the packet timestamps in 1/100 s; the AVI muxer fills gaps with empty video
// chunks, so the file plays at the camera's pace although its frame rate
// varies. One recorder per pane; the window thread opens and closes it, the
// render thread writes video and the playback thread writes audio.
//
// The recorder never writes into a file it did not create: Open creates the
// file exclusively (a name that is taken gets "-1", "-2", ... before its
// extension) and holds an exclusive flock on it until Close, so that a
// second instance recording into the same folder, or the hour the clock
// repeats, cannot truncate a recording, and the start-up repair can tell a
// file that is still being written from one a killed process left.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "base/MediaRecorder.h"
#include "base/TimedLock.h"

struct AVFormatContext;
struct AVIOContext;
struct AVPacket;

// True while another holder keeps a lock on |path|: a recorder writing it
// (or a repair replacing it). False for a file nobody locks, a missing file
// and one that cannot be opened. Takes a shared lock for an instant to find
// out, so it never blocks; safe from any thread.
bool FileIsBeingWritten(const std::string& path);

class avxxx : public MediaRecorder {
 public:
  // A taken name is tried with "-1" up to this number before Open gives up.
  static constexpr int kMaxNameSuffix = 999;

  // Video codec ids as the callers pass them (from the camera's VCODEC).
  static constexpr int kCodecNone = 0;
  static constexpr int kCodecMjpeg = 8;
  static constexpr int kCodecMpeg4 = 13;
  static constexpr int kCodecH264 = 28;
  static constexpr int kOpenCloseWaitMs = 10000;
  static constexpr int kWriteWaitMs = 3000;
  // While recording, buffered data is pushed to the file at least this often
  // (in 1/100 s of the video clock), so a killed process loses little.
  static constexpr double kFlushInterval = 100.0;
  // How far (1/100 s) sound and picture may drift apart before the video
  // clock is pulled towards the sound's.
  static constexpr double kSyncBand = 4.0;

  // VCODEC 0, 1, 2 -> the codec id Open expects; -1 for anything else.
  static int CodecIdForVcodec(int vcodec);
  // The bit rate the recording manager passes for a QUALITY level 0..12.
  static int BitRateForQuality(int quality) { return 1024 * (384 + 128 * quality); }

  avxxx() = default;
  ~avxxx() override;
  avxxx(const avxxx&) = delete;
  avxxx& operator=(const avxxx&) = delete;

  // Creates |path| and opens it for writing; when |path| exists, the first
  // free name of NumberedFilePath(|path|, 1, 2, ...) instead (Path() tells
  // which). An existing file is never opened, truncated or followed (a
  // symbolic link counts as taken). The container follows the extension
  // ("mpeg" when the extension is unknown). Returns 1 or 0; a failed Open
  // leaves no file behind. Must be called closed.
  int Open(int height, int width, const char* path, int codecId, int bitRate);
  int WriteVideo(int size, const std::uint8_t* data, int keyFrame, int durationMs) override;
  int WriteAudio(const std::uint8_t* data, int size) override;
  // Writes the trailer and closes the file; logs how many video frames were
  // refused while it was open. A file that got no picture is removed (it
  // could not be played). Does nothing when closed.
  void Close();

  bool IsOpen() const { return open_.load(std::memory_order_relaxed); }
  // The file the last successful Open created (kept after Close); empty
  // before any and after a failed Open. Set by Open only: read it on the
  // thread that opens and closes the recorder.
  const std::string& Path() const { return path_; }
  // Video frames refused since the last Open (colliding timestamps etc.).
  int LostFrames() const { return lostFrames_.load(std::memory_order_relaxed); }
  // With |on|, files opened from now on begin with a key frame: video frames
  // and sound before the first key frame are left out (a recording that
  // starts in the middle of a camera's group of pictures). Off by default:
  // every frame is written as it comes.
  void SetStartWithKeyFrame(bool on) { startWithKeyFrame_.store(on, std::memory_order_relaxed); }
  // Video frames left out since the last Open because no key frame had come
  // yet.
  int FramesBeforeKey() const { return framesBeforeKey_.load(std::memory_order_relaxed); }
  // Why the last Open could not create the file (errno; 0 when it did, or
  // when it failed for another reason). Owner's thread.
  int OpenErrno() const { return openErrno_; }
  // The errno of the first write into the file that failed since Open (a
  // full disk, a removed drive), 0 while every write succeeded. Once set,
  // nothing more is written until the next Open; the owner closes the file.
  // Any thread.
  int WriteErrno() const { return writeErrno_.load(); }

  // What the I/O callbacks reach: the descriptor and where a failure goes.
  struct FileIo {
    int* fd;
    std::atomic<int>* writeErrno;
  };

 private:
  // Frees everything; |removeFile| also deletes the file Open created (an
  // Open that failed after creating it). Closes the file, which releases
  // its lock.
  void ReleaseAll(bool removeFile);  // under lock_
  // Creates the file (exclusively, under the first free name), locks it and
  // puts an I/O context over it into ctx_. Logs failures.
  bool CreateOutputFile(const char* path);  // under lock_
  bool WriteHeader();  // under lock_
  // Sets the video stream's configuration record from a key frame (its own
  // parameter sets, else the built-in header), then writes the header.
  bool WriteHeaderFromKeyFrame(const std::uint8_t* data, int size);  // under lock_
  void FlushIfDue();  // under lock_
  void LogWriteFailure(int rc);  // under lock_

  TimedLock lock_;
  // --- guarded by lock_ ---
  AVFormatContext* ctx_ = nullptr;
  AVPacket* packet_ = nullptr;
  int fileOpened_ = 0;
  int fd_ = -1;               // the file written, locked (flock) while open
  AVIOContext* io_ = nullptr;  // writes and seeks through fd_
  std::string path_;          // written by Open (owner's thread) only
  int openErrno_ = 0;         // written by Open (owner's thread) only
  FileIo fileIo_{&fd_, &writeErrno_};
  // MP4/QuickTime: the header waits for the first video key frame, which
  // supplies the configuration record; until then nothing is written.
  bool headerPending_ = false;
  // No key frame written yet: other frames and sound wait for it.
  bool waitingForKey_ = false;
  int videoIndex_ = -1;
  int audioIndex_ = -1;
  int codecId_ = 0;
  int width_ = 0;
  int height_ = 0;
  int bitRate_ = 0;
  double audioClock_ = 0.0;  // 1/100 s
  double videoClock_ = 0.0;  // 1/100 s
  double lastFlush_ = 0.0;
  std::int64_t lastVideoPts_ = -1;
  std::int64_t lastAudioPts_ = -1;
  std::uint8_t* keyBuffer_ = nullptr;  // width*height*2: header + key frame
  int keyBufferSize_ = 0;
  // --- read without the lock ---
  std::atomic<bool> open_{false};
  std::atomic<int> lostFrames_{0};
  std::atomic<int> framesBeforeKey_{0};
  std::atomic<bool> startWithKeyFrame_{false};
  std::atomic<int> writeErrno_{0};
};
