// A viewer's video render: its frame queue, its render thread (VideoThread
// for MPEG-4/H.264, JpegThread for Motion JPEG) that takes frames out, hands
// them to the recorder while recording, decodes them, presents them and
// paces them by the camera's timestamps, and the fields the viewer sets
// (display, mirror, recording, snapshot request).
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "base/ConsumerBarrier.h"
#include "video/FramePacer.h"
#include "video/MFrameQueue.h"
#include "video/PictureRange.h"
#include "video/VideoFormat.h"

class MediaRecorder;
class VideoSurface;
class WindowTarget;

// Posted to the viewer's window when a snapshot was written or failed.
inline constexpr unsigned WM_SNAPSHOT_DONE = 1167;
inline constexpr unsigned WM_SNAPSHOT_FAILED = 1168;

class MVideoRender {
 public:
  // Render states.
  static constexpr int kStarting = 10;
  static constexpr int kRunning = 11;
  static constexpr int kStopping = 20;
  static constexpr int kStopped = 21;
  // The picture buffer holds one 640 x 480 picture.
  static constexpr int kPictureBytes = 460800;

  // |surface| presents the pictures; null stands for a display that could
  // not be set up (Start then fails). |clock| paces and sleeps.
  explicit MVideoRender(VideoSurface* surface, RenderClock* clock = &SteadyRenderClock());
  ~MVideoRender();
  MVideoRender(const MVideoRender&) = delete;
  MVideoRender& operator=(const MVideoRender&) = delete;

  // The program instance number (0 for the first instance); only renders of
  // instance 0 begin the multimedia timer.
  static void SetInstanceNumber(int instance);

  // Starts the render thread for |format|, presenting for |window|.
  // Returns 1 once the thread runs, else 0 (logged).
  int Start(const VideoFormat* format, WindowTarget* window);
  // Asks the thread to end and waits up to 5000 ms for it; a thread that
  // does not end is logged and left to finish on its own.
  void Stop();

  int State() const { return state_.load(); }
  // The queue the link fills (built on the first Start).
  MFrameQueue* Queue() { return queue_.get(); }
  const VideoFormat& Format() const { return format_; }
  bool OwnsTimer() const { return ownsTimer_.load(); }

  // Viewer-side switches, read by the render thread each turn.
  void SetDisplay(int on) { display_.store(on); }
  int Display() const { return display_.load(); }
  void SetMirror(int on) { mirror_.store(on); }
  // Recording: frames go to |recorder| while it is set (null stops). Once
  // the call returns the render thread writes nothing more into the recorder
  // it replaced: a frame being written is waited for. Called on the render
  // thread itself (from the recorder's own write, say) it returns at once
  // without waiting. The render thread never waits for this call.
  void SetRecorder(MediaRecorder* recorder);
  // The recorder set at this moment (for comparisons only).
  MediaRecorder* Recorder() const { return recorder_.Peek(); }
  // Saves the next decoded picture as a JPEG file at |path|, whether or not
  // it is shown (a pane whose picture is off still takes it); with |notify|
  // the window gets 1167 or 1168.
  void RequestSnapshot(const std::string& path, int notify);
  int SnapshotPending() const { return snapshotRequest_.load(); }

  // Running totals since construction, read without a lock by anyone:
  // pictures handed to the surface (converted and shown),
  std::uint64_t FramesPresented() const { return presented_.load(std::memory_order_relaxed); }
  // frames taken from the queue and not shown: the decode failed, the
  // decoder gave no picture yet, or the display was off.
  std::uint64_t FramesSkipped() const { return skipped_.load(std::memory_order_relaxed); }
  // The surface kind the render thread used last (see VideoSurface::Kind),
  // 0 before the first picture and after Stop.
  int SurfaceKind() const { return surfaceKind_.load(std::memory_order_relaxed); }

  // The picture buffer (Y, Cr, Cb), for the viewer's own use between frames.
  const std::uint8_t* Picture() const { return picture_.get(); }
  // The sample range of the picture in the buffer (Motion JPEG full, the
  // other codecs as their stream says).
  PictureRange Range() const { return range_.load(std::memory_order_relaxed); }

 private:
  struct Turn;
  void VideoThread(unsigned generation);
  void JpegThread(unsigned generation);
  bool Running(unsigned generation) const;
  void Finish(unsigned generation);
  void WaitForPrebuffer(unsigned generation);
  bool NextPair(FrameSlot*& p, FrameSlot*& n);
  void Record(const FrameSlot& p, const FrameSlot& n, int keyFrame, int limitMs);
  void Present();
  void Pace(const FrameSlot& p);
  void TakePendingSnapshot();
  void Shown();
  void Skipped();

  VideoSurface* const surface_;
  RenderClock* const clock_;
  std::unique_ptr<std::uint8_t[]> picture_;
  std::unique_ptr<MFrameQueue> queue_;

  // Written by Start/Stop on the viewer's thread before the render thread
  // starts or after it ended; read by the thread.
  VideoFormat format_{};
  WindowTarget* window_ = nullptr;
  int width_ = 0;
  int height_ = 0;
  std::thread thread_;
  FramePacer pacer_;  // the render thread's own once it runs

  std::atomic<bool> ownsTimer_{false};  // this render began the timer
  std::atomic<int> state_{kStopped};
  std::atomic<unsigned> generation_{0};  // which thread run is current
  std::atomic<int> display_{1};
  std::atomic<int> mirror_{0};
  ConsumerBarrier<MediaRecorder> recorder_;  // the render thread reads it by a guard
  std::atomic<int> snapshotRequest_{0};
  std::atomic<int> snapshotNotify_{0};
  // Written by the render thread only (surfaceKind_ also by Stop).
  std::atomic<std::uint64_t> presented_{0};
  std::atomic<std::uint64_t> skipped_{0};
  std::atomic<int> surfaceKind_{0};
  // Written by the render thread with each picture it copies out.
  std::atomic<PictureRange> range_{PictureRange::kVideo};

  std::mutex snapshotMutex_;
  std::string snapshotPath_;  // guarded by snapshotMutex_

  std::mutex endMutex_;
  std::condition_variable endSignal_;
  bool threadEnded_ = true;  // guarded by endMutex_
};
