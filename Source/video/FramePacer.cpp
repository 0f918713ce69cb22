#include "video/FramePacer.h"

#include <chrono>
#include <thread>

#include "base/MultimediaTimer.h"
#include "link/MediaSink.h"

namespace {

class SteadyClock final : public RenderClock {
 public:
  std::int64_t NowNanos() override {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
  }
  void SleepMs(int milliseconds) override {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
  }
  void PreciseWaitMs(int milliseconds) override {
    if (MultimediaTimer::Wait(static_cast<unsigned>(milliseconds)) == 1) SleepMs(milliseconds);
  }
};

constexpr std::int64_t kNanosPerMs = 1000000;

}  // namespace

RenderClock& SteadyRenderClock() {
  static SteadyClock clock;
  return clock;
}

void FramePacer::Reset() { *this = FramePacer(); }

int FramePacer::PaceFrame(const FrameSlot& p, int queued, std::int64_t nowNanos) {
  if (p.IsKeyFrame()) {
    reference_ = nowNanos;
    refSeconds_ = p.Seconds();
    refMicros_ = p.Microseconds();
    streamTime_ = 0;
    wallTime_ = 0;
  }
  const std::int64_t seconds = static_cast<std::int32_t>(p.Seconds() - refSeconds_);
  const std::int64_t micros = static_cast<std::int64_t>(p.Microseconds()) - refMicros_;
  streamTime_ = seconds * 1000 + micros / 1000;

  // Whole milliseconds move the wall time; the remainder stays in the
  // reference so that no time is lost from turn to turn.
  const std::int64_t elapsedMs = (nowNanos - reference_) / kNanosPerMs;
  wallTime_ += elapsedMs;
  reference_ += elapsedMs * kNanosPerMs;

  std::int64_t wait = streamTime_ - wallTime_;
  if (wait < 0 || wait > 100) {
    wallTime_ = streamTime_;
    wait = 0;
  }

  if (queued > 25) {
    adjustment_ = 30;
  } else if (queued >= 21) {
    adjustment_ = 4;
  } else if (queued >= 10) {
    if (adjustment_ > 0 && queued < 15) adjustment_ = 0;
    if (adjustment_ < 0 && queued > 15) adjustment_ = 0;
  } else if (queued >= 5) {
    adjustment_ = -4;
  } else {
    adjustment_ = -6;
  }
  wallTime_ += adjustment_;
  return static_cast<int>(wait);
}
