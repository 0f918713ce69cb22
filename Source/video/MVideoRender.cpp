#include "video/MVideoRender.h"

#include <chrono>
#include <cstring>
#include <new>

#include "base/MediaRecorder.h"
#include "base/MultimediaTimer.h"
#include "base/WindowTarget.h"
#include "base/base.h"
#include "video/JpegSnapshot.h"
#include "video/MotionJpeg.h"
#include "video/VideoDecoder.h"
#include "video/VideoSurface.h"

namespace {

std::atomic<int> g_instance{0};

// The render whose thread this is (set when a render thread starts), so that
// SetRecorder on that thread does not wait for the thread's own write.
thread_local const MVideoRender* t_renderOf = nullptr;

constexpr int kPrebufferFrames = 15;
constexpr int kStartWaitMs = 1500;  // three polls of 500 ms
constexpr int kStopWaitMs = 5000;

// Milliseconds between two frames' timestamps: the difference of the two
// times, each cut to whole milliseconds, so that the durations of a run of
// frames add up to the time from its first to its last frame. (Cutting each
// difference instead loses up to 1 ms per frame: a recording's clock then
// falls behind the camera's and skips a 1/100 s tick every dozen frames.)
int DurationMs(const FrameSlot& p, const FrameSlot& n) {
  const long long seconds = static_cast<std::int32_t>(n.Seconds() - p.Seconds());
  const long long millis = static_cast<long long>(n.Microseconds() / 1000) - p.Microseconds() / 1000;
  return static_cast<int>(seconds * 1000 + millis);
}

}  // namespace

void MVideoRender::SetInstanceNumber(int instance) { g_instance.store(instance); }

MVideoRender::MVideoRender(VideoSurface* surface, RenderClock* clock)
    : surface_(surface), clock_(clock), picture_(new (std::nothrow) std::uint8_t[kPictureBytes]()) {}

MVideoRender::~MVideoRender() {
  Stop();
  // A thread left running by Stop still uses this object: wait for it.
  std::unique_lock<std::mutex> lock(endMutex_);
  endSignal_.wait(lock, [this] { return threadEnded_; });
}

int MVideoRender::Start(const VideoFormat* format, WindowTarget* window) {
  if (surface_ == nullptr || format == nullptr || !picture_) {
    LogMessage("%s:%d\r\n", LOGPOS);
    return 0;
  }
  if (state_.load() == kRunning) Stop();
  {
    std::lock_guard<std::mutex> lock(endMutex_);
    if (!threadEnded_) {
      // The last thread outlived Stop and still uses the queue.
      LogMessage("%s:%d\r\n", LOGPOS);
      return 0;
    }
  }
  std::memcpy(&format_, format, sizeof format_);
  if (window == nullptr) {
    LogMessage("%s:%d\r\n", LOGPOS);
    return 0;
  }
  window_ = window;
  const int w = format_.width;
  const int h = format_.height;
  // The picture buffer holds at most 640 x 480; the conversions need even
  // sizes.
  if (w <= 0 || h <= 0 || (w & 1) || (h & 1) || static_cast<long>(w) * h * 3 / 2 > kPictureBytes) {
    LogMessage("%s:%d (w=%d, h=%d)\r\n", LOGPOS, w, h);
    return 0;
  }
  if (!queue_) {
    queue_.reset(new (std::nothrow) MFrameQueue());
    if (!queue_ || !queue_->IsValid()) {
      queue_.reset();
      LogMessage("%s:%d\r\n", LOGPOS);
      return 0;
    }
  }
  queue_->ResetQueue();

  if (g_instance.load() == 0 && !MultimediaTimer::IsBegun()) {
    MultimediaTimer::Begin();
    ownsTimer_.store(true);
  }

  pacer_.Reset();
  state_.store(kStarting);
  width_ = w;
  height_ = h;

  if (surface_->CreateVideoSurfaces(w, h) == 0) {
    LogMessage("%s:%d\r\n", LOGPOS);
    Stop();
    return 0;
  }
  const int codec = format_.codec;
  if (codec != kCodecMotionJpeg && codec != kCodecMpeg4 && codec != kCodecH264) {
    LogMessage("%s:%d (%d)\r\n", LOGPOS, codec);
    Stop();
    return 0;
  }
  if (thread_.joinable()) thread_.join();  // an earlier thread that has ended
  const unsigned generation = generation_.fetch_add(1) + 1;
  {
    std::lock_guard<std::mutex> lock(endMutex_);
    threadEnded_ = false;
  }
  try {
    if (codec == kCodecMotionJpeg) {
      thread_ = std::thread(&MVideoRender::JpegThread, this, generation);
    } else {
      thread_ = std::thread(&MVideoRender::VideoThread, this, generation);
    }
  } catch (const std::system_error& e) {
    LogMessage("%s:%d (%d)\r\n", LOGPOS, e.code().value());
    {
      std::lock_guard<std::mutex> lock(endMutex_);
      threadEnded_ = true;
    }
    Stop();
    return 0;
  }

  // The thread reports running once its decoder is ready.
  for (int waited = 0; waited <= kStartWaitMs; waited += 10) {
    if (state_.load() == kRunning) return 1;
    {
      std::lock_guard<std::mutex> lock(endMutex_);
      if (threadEnded_) break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (state_.load() == kRunning) return 1;
  LogMessage("%s:%d\r\n", LOGPOS);
  Stop();
  return 0;
}

void MVideoRender::Stop() {
  if (g_instance.load() == 0 && ownsTimer_.load()) {
    MultimediaTimer::End();
    ownsTimer_.store(false);
  }
  state_.store(kStopping);
  if (thread_.joinable()) {
    std::unique_lock<std::mutex> lock(endMutex_);
    const bool ended = endSignal_.wait_for(lock, std::chrono::milliseconds(kStopWaitMs),
                                           [this] { return threadEnded_; });
    lock.unlock();
    if (ended) {
      thread_.join();
    } else {
      LogMessage("%s:%d (render thread did not end)\r\n", LOGPOS);
      thread_.detach();
    }
  }
  state_.store(kStopped);
  if (surface_ != nullptr) surface_->ReleaseVideoSurfaces();
  surfaceKind_.store(0, std::memory_order_relaxed);
}

void MVideoRender::SetRecorder(MediaRecorder* recorder) { recorder_.Replace(recorder, t_renderOf != this); }

void MVideoRender::RequestSnapshot(const std::string& path, int notify) {
  {
    std::lock_guard<std::mutex> lock(snapshotMutex_);
    snapshotPath_ = path;
  }
  snapshotNotify_.store(notify);
  snapshotRequest_.store(1);
}

bool MVideoRender::Running(unsigned generation) const {
  return state_.load() == kRunning && generation_.load() == generation;
}

void MVideoRender::Finish(unsigned generation) {
  if (generation_.load() == generation) {
    int expected = kRunning;
    state_.compare_exchange_strong(expected, kStopped);
    expected = kStarting;
    state_.compare_exchange_strong(expected, kStopped);
  }
  std::lock_guard<std::mutex> lock(endMutex_);
  threadEnded_ = true;
  endSignal_.notify_all();
}

void MVideoRender::WaitForPrebuffer(unsigned generation) {
  while (Running(generation) && queue_->Count() < kPrebufferFrames) clock_->SleepMs(100);
}

// P becomes the frame taken last time (if any), N the one taken now.
bool MVideoRender::NextPair(FrameSlot*& p, FrameSlot*& n) {
  if (n != nullptr) p = n;
  n = queue_->TakeFrame();
  if (n == nullptr || p == nullptr) {
    clock_->SleepMs(10);
    return false;
  }
  return true;
}

void MVideoRender::Record(const FrameSlot& p, const FrameSlot& n, int keyFrame, int limitMs) {
  // The guard holds the recorder for this write only: SetRecorder waits for
  // it to end.
  ConsumerGuard<MediaRecorder> recorder = recorder_.Acquire();
  if (!recorder) return;
  int duration = DurationMs(p, n);
  if (duration > limitMs || duration < 0) duration = 40;
  recorder->WriteVideo(p.PayloadSize(), p.payload, keyFrame, duration);
}

void MVideoRender::Present() {
  surface_->PresentFrame(picture_.get(), width_, height_, range_.load(std::memory_order_relaxed),
                         mirror_.load() != 0);
  TakePendingSnapshot();
}

void MVideoRender::Pace(const FrameSlot& p) {
  const int wait = pacer_.PaceFrame(p, queue_->Count(), clock_->NowNanos());
  if (wait <= 2) return;
  if (ownsTimer_.load()) {
    clock_->PreciseWaitMs(wait);
  } else {
    clock_->SleepMs(wait);
  }
}

// The render thread is the only writer of the totals: a plain load and store.
void MVideoRender::Shown() {
  presented_.store(presented_.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
  // The kind may change at a blit (a display error moves YUV to RGB).
  surfaceKind_.store(surface_->Kind(), std::memory_order_relaxed);
}

void MVideoRender::Skipped() {
  skipped_.store(skipped_.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
}

void MVideoRender::TakePendingSnapshot() {
  if (snapshotRequest_.load() == 0) return;
  int result;
  {
    std::lock_guard<std::mutex> lock(snapshotMutex_);
    result = WriteSnapshotFile(picture_.get(), width_, height_, range_.load(std::memory_order_relaxed),
                               snapshotPath_.c_str());
  }
  if (result >= 0 && snapshotNotify_.load() != 0 && window_ != nullptr) {
    window_->Post(result == 1 ? WM_SNAPSHOT_DONE : WM_SNAPSHOT_FAILED, 0, 0);
  }
  snapshotRequest_.store(0);
}

void MVideoRender::VideoThread(unsigned generation) {
  t_renderOf = this;
  const int w = width_;
  const int h = height_;
  std::memset(picture_.get(), 0, static_cast<size_t>(w) * h * 3 / 2);
  range_.store(PictureRange::kVideo, std::memory_order_relaxed);  // until a stream says otherwise
  VideoDecoder decoder;
  if (decoder.Open(format_.codec, w, h) == 0) {
    LogMessage("%s:%d\r\n", LOGPOS);
    Finish(generation);
    return;
  }
  int expected = kStarting;
  if (!state_.compare_exchange_strong(expected, kRunning)) {
    Finish(generation);
    return;
  }
  bool prebuffer = true;
  FrameSlot* p = nullptr;
  FrameSlot* n = nullptr;
  while (Running(generation)) {
    if (prebuffer) {
      WaitForPrebuffer(generation);
      prebuffer = false;
    }
    if (!NextPair(p, n)) continue;
    Record(*p, *n, p->IsKeyFrame() ? 1 : 0, 1000);
    int got = 0;
    const int size = p->PayloadSize();
    if (size <= 0 || size > FrameSlot::kMaxPayload || decoder.Decode(p->payload, size, &got) < 0) {
      Skipped();
      continue;
    }
    if (!Running(generation)) break;  // stopped while decoding
    // The picture is copied out when it is shown or a snapshot waits for it.
    const bool show = got != 0 && display_.load() != 0;
    const bool snapshotOnly = got != 0 && !show && snapshotRequest_.load() != 0;
    if (show || snapshotOnly) {
      decoder.CopyOut(picture_.get(), w, h);
      range_.store(decoder.Range(), std::memory_order_relaxed);
    }
    if (show) Present();
    if (snapshotOnly) TakePendingSnapshot();
    Pace(*p);
    if (show) {
      surface_->BlitFrame();
      Shown();
    } else {
      Skipped();
    }
  }
  decoder.Close();
  Finish(generation);
}

void MVideoRender::JpegThread(unsigned generation) {
  t_renderOf = this;
  const int w = width_;
  const int h = height_;
  std::uint8_t* picture = picture_.get();
  std::memset(picture, 0, static_cast<size_t>(w) * h * 3 / 2);
  range_.store(PictureRange::kFull, std::memory_order_relaxed);  // JPEG samples
  int expected = kStarting;
  if (!state_.compare_exchange_strong(expected, kRunning)) {
    Finish(generation);
    return;
  }
  FrameSlot* p = nullptr;
  FrameSlot* n = nullptr;
  while (Running(generation)) {
    if (!NextPair(p, n)) continue;
    int rc = -1;
    {
      TimedLockHolder hold(MotionJpegLock(), TimedLock::kDefaultWaitMs, LOGPOS);
      if (hold.held()) {
        const int size = p->PayloadSize();
        if (size >= 0 && size <= FrameSlot::kMaxPayload) {
          rc = DecodeJpegFrame(p->payload, size, w, h, picture, picture + w * h * 5 / 4, picture + w * h);
        }
      }
    }
    if (rc != 0) {
      LogMessage("%s:%d (seq=%d, size=%d, w=%d, h=%d)\r\n", LOGPOS, static_cast<int>(p->Sequence()),
                 p->PayloadSize(), w, h);
      Skipped();
      continue;
    }
    if (!Running(generation)) break;  // stopped while waiting for the lock
    Record(*p, *n, 1, 500);
    const bool show = display_.load() != 0;
    if (show) {
      Present();
    } else {
      TakePendingSnapshot();  // the picture is decoded even when not shown
    }
    Pace(*p);
    if (show) {
      surface_->BlitFrame();
      Shown();
    } else {
      Skipped();
    }
  }
  Finish(generation);
}
