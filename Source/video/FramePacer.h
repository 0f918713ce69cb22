// Timestamp pacing of the render threads: how long to wait before showing a
// frame so that frames appear at the camera's pace, speeding up a little
// when the queue is long and slowing down when it runs short.
#pragma once

#include <cstdint>

struct FrameSlot;

// The time source and sleeps of a render thread; tests substitute a
// simulated clock.
class RenderClock {
 public:
  virtual ~RenderClock() = default;
  // Monotonic time in nanoseconds.
  virtual std::int64_t NowNanos() = 0;
  // Plain sleep.
  virtual void SleepMs(int milliseconds) = 0;
  // The precise wait (the multimedia timer when this render owns it).
  virtual void PreciseWaitMs(int milliseconds) = 0;
};

// The real clock: steady_clock, nanosleep and MultimediaTimer::Wait.
RenderClock& SteadyRenderClock();

class FramePacer {
 public:
  // Forgets the reference; the next key frame sets a new one.
  void Reset();

  // Milliseconds to wait before showing frame |p|, given the number of
  // queued frames |queued| and the time now. A key frame re-anchors stream
  // and wall time; a late frame, or a gap of more than 100 ms, is shown at
  // once and taken as a new start. The queue length moves wall time on by
  // the adjustment: +30 above 25 queued, +4 for 21..25, -4 for 5..9, -6
  // below 5; 10..20 keep the last one until the queue passes 15.
  int PaceFrame(const FrameSlot& p, int queued, std::int64_t nowNanos);

  int Adjustment() const { return adjustment_; }
  std::int64_t StreamTime() const { return streamTime_; }
  std::int64_t WallTime() const { return wallTime_; }

 private:
  std::int64_t reference_ = 0;  // clock value of the wall time below
  std::uint32_t refSeconds_ = 0;
  std::uint32_t refMicros_ = 0;
  std::int64_t streamTime_ = 0;  // ms since the reference timestamp
  std::int64_t wallTime_ = 0;    // ms since the reference clock value
  int adjustment_ = 0;
};
