// The hand-over of whole compressed frames from the link's video reader to
// the render thread: a ring of 30 slots plus a spare, each with its own
// payload buffer allocated once. At most 28 frames are queued, so the two
// slots the render thread holds (the frame being shown and the next one) are
// never reused while held. On MPEG streams the queue checks sequence numbers
// and asks for a key frame when the stream is broken.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "base/TimedLock.h"
#include "link/MediaSink.h"

class MFrameQueue final : public FrameSink {
 public:
  static constexpr int kQueueMax = 30;    // ring slots
  static constexpr int kQueueLimit = 28;  // most frames queued at once
  // A payload buffer also holds the decoder's read padding after the data.
  static constexpr int kPayloadPadding = 64;
  static constexpr int kPayloadCapacity = FrameSlot::kMaxPayload + kPayloadPadding;
  // Discards while waiting for a key frame before another request (the 92nd).
  static constexpr int kDiscardLimit = 90;

  MFrameQueue();
  ~MFrameQueue() override = default;
  MFrameQueue(const MFrameQueue&) = delete;
  MFrameQueue& operator=(const MFrameQueue&) = delete;

  // False when the payload buffers could not be allocated.
  bool IsValid() const { return storage_ != nullptr; }

  // Receiver side (the link's event thread).
  FrameSlot* GetFreeFrameSlot() override;
  int SubmitFrame(FrameSlot* slot) override;
  void RequireKeyFrame() override;

  // Render side: the oldest frame, or nullptr unless at least 2 are queued.
  // The slot's header and payload stay valid until two more frames are
  // taken.
  FrameSlot* TakeFrame();

  // Drops every queued frame and waits for a key frame. Slots the render
  // thread may still hold are not handed out again before it moves on.
  void ResetQueue();

  // Read without the lock (pacing, prebuffering, the viewer's watchdog).
  int Count() const { return count_.load(std::memory_order_relaxed); }
  std::uint32_t LastAcceptedSequence() const { return lastAccepted_.load(std::memory_order_relaxed); }
  std::uint32_t LastTakenSequence() const { return lastTaken_.load(std::memory_order_relaxed); }
  int DiscardCount() const { return discards_.load(std::memory_order_relaxed); }
  bool WaitingForKeyFrame() const { return keyFrameWait_.load(std::memory_order_relaxed); }

  // Running totals since construction (ResetQueue keeps them), read without
  // the lock by anyone watching the queue:
  // frames queued,
  std::uint64_t FramesAccepted() const { return accepted_.load(std::memory_order_relaxed); }
  // frames the render side took out,
  std::uint64_t FramesTaken() const { return taken_.load(std::memory_order_relaxed); }
  // frames dropped because the queue was full (they went into the spare),
  std::uint64_t Overflows() const { return overflows_.load(std::memory_order_relaxed); }
  // frames dropped for a broken stream: while waiting for a key frame, or
  // out of sequence,
  std::uint64_t FramesDiscarded() const { return discarded_.load(std::memory_order_relaxed); }
  // times a live stream fell back to waiting for a key frame (a broken
  // sequence or the reader's request), not counting ResetQueue.
  std::uint64_t KeyFrameWaits() const { return keyFrameWaits_.load(std::memory_order_relaxed); }

 private:
  static void Free(FrameSlot* slot) {
    slot->headerCount = 0;
    slot->payloadCount = 0;
    slot->ready = 0;
  }
  // Adds one to a total written only under lock_: a plain load and store.
  static void Bump(std::atomic<std::uint64_t>& total) {
    total.store(total.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
  }

  std::unique_ptr<std::uint8_t[]> storage_;  // 31 payload buffers

  TimedLock lock_;
  // --- Guarded by lock_ (the slots' ready flags too; a slot's header and
  // payload belong to the reader between GetFreeFrameSlot and SubmitFrame,
  // and to the render thread after TakeFrame).
  FrameSlot slots_[kQueueMax];
  FrameSlot spare_;
  int readIndex_ = 0;   // next slot to take
  int writeIndex_ = 0;  // next slot to fill
  bool overflow_ = false;  // the last slot handed out was the spare
  // --- Written under lock_, read without it.
  std::atomic<int> count_{0};
  std::atomic<bool> keyFrameWait_{true};
  std::atomic<int> discards_{0};
  std::atomic<std::uint32_t> lastAccepted_{0};
  std::atomic<std::uint32_t> lastTaken_{0};
  // Totals, written under lock_, read without it.
  std::atomic<std::uint64_t> accepted_{0};
  std::atomic<std::uint64_t> taken_{0};
  std::atomic<std::uint64_t> overflows_{0};
  std::atomic<std::uint64_t> discarded_{0};
  std::atomic<std::uint64_t> keyFrameWaits_{0};
};
