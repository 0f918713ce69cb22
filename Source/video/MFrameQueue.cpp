#include "video/MFrameQueue.h"

#include <cstring>
#include <new>

#include "base/base.h"

MFrameQueue::MFrameQueue()
    : storage_(new (std::nothrow) std::uint8_t[static_cast<size_t>(kPayloadCapacity) * (kQueueMax + 1)]) {
  if (!storage_) return;
  for (int i = 0; i < kQueueMax; ++i) slots_[i].payload = storage_.get() + static_cast<size_t>(i) * kPayloadCapacity;
  spare_.payload = storage_.get() + static_cast<size_t>(kQueueMax) * kPayloadCapacity;
}

FrameSlot* MFrameQueue::GetFreeFrameSlot() {
  if (!storage_) return nullptr;
  TimedLockHolder hold(lock_, TimedLock::kDefaultWaitMs, LOGPOS);
  if (!hold.held()) return nullptr;
  if (count_.load(std::memory_order_relaxed) >= kQueueLimit) {
    overflow_ = true;
    return &spare_;
  }
  if (writeIndex_ >= kQueueMax) writeIndex_ = 0;
  return &slots_[writeIndex_];
}

int MFrameQueue::SubmitFrame(FrameSlot* slot) {
  if (slot == nullptr) {
    LogMessage("%s:%d\r\n", LOGPOS);
    return 0;
  }
  TimedLockHolder hold(lock_, TimedLock::kDefaultWaitMs, LOGPOS);
  // Without the lock the frame cannot be queued: the reader frees the slot
  // and asks for a key frame, as after any lost frame.
  if (!hold.held()) return 1;
  slot->ready = 1;

  // The spare slot only ever carries a frame that found the queue full.
  if (slot == &spare_) {
    overflow_ = false;
    Free(&spare_);
    Bump(overflows_);
    return 0;
  }
  overflow_ = false;
  // A slot handed out before a ResetQueue is no longer the one to fill.
  if (writeIndex_ >= kQueueMax) writeIndex_ = 0;
  if (slot != &slots_[writeIndex_]) {
    Free(slot);
    return 0;
  }

  const bool key = slot->IsKeyFrame();
  if (keyFrameWait_.load(std::memory_order_relaxed)) {
    if (!key) {
      Free(slot);
      Bump(discarded_);
      const int before = discards_.load(std::memory_order_relaxed);
      if (before > kDiscardLimit) {
        discards_.store(0, std::memory_order_relaxed);
        return 1;
      }
      discards_.store(before + 1, std::memory_order_relaxed);
      return 0;
    }
    keyFrameWait_.store(false, std::memory_order_relaxed);
    discards_.store(0, std::memory_order_relaxed);
  } else if (!slot->IsJpeg()) {
    const std::uint32_t last = lastAccepted_.load(std::memory_order_relaxed);
    const std::uint32_t expected = last + 1;
    if (last != 0 && slot->Sequence() != expected && !key) {
      LogMessage("SEQUENCE IS BROKEN.(%d : %d)\r\n", static_cast<int>(slot->Sequence()),
                 static_cast<int>(expected));
      keyFrameWait_.store(true, std::memory_order_relaxed);
      Bump(keyFrameWaits_);
      Free(slot);
      Bump(discarded_);
      return 1;
    }
  }

  ++writeIndex_;
  count_.fetch_add(1, std::memory_order_relaxed);
  Bump(accepted_);
  lastAccepted_.store(slot->Sequence(), std::memory_order_relaxed);
  return 0;
}

void MFrameQueue::RequireKeyFrame() {
  TimedLockHolder hold(lock_, TimedLock::kDefaultWaitMs, LOGPOS);
  if (!hold.held()) return;
  if (!keyFrameWait_.load(std::memory_order_relaxed)) Bump(keyFrameWaits_);
  keyFrameWait_.store(true, std::memory_order_relaxed);
}

FrameSlot* MFrameQueue::TakeFrame() {
  TimedLockHolder hold(lock_, TimedLock::kDefaultWaitMs, LOGPOS);
  if (!hold.held()) return nullptr;
  const int count = count_.load(std::memory_order_relaxed);
  if (count < 2) return nullptr;
  if (readIndex_ < 0 || readIndex_ > kQueueMax) {
    LogMessage("%s:%d (m_iCompleteIndex=%d, g_iQueueMax=%d)\r\n", LOGPOS, readIndex_, kQueueMax);
    return nullptr;
  }
  if (readIndex_ == kQueueMax) readIndex_ = 0;
  FrameSlot* slot = &slots_[readIndex_];
  if (!slot->ready) {
    LogMessage("%s:%d (%d:%d:%d)\r\n", LOGPOS, readIndex_, writeIndex_, count);
    return nullptr;
  }
  ++readIndex_;
  if (readIndex_ == kQueueMax) readIndex_ = 0;
  count_.store(count - 1, std::memory_order_relaxed);
  Free(slot);
  lastTaken_.store(slot->Sequence(), std::memory_order_relaxed);
  Bump(taken_);
  return slot;
}

void MFrameQueue::ResetQueue() {
  TimedLockHolder hold(lock_, TimedLock::kDefaultWaitMs, LOGPOS);
  if (!hold.held()) return;
  // Queued frames are dropped; writing resumes at the read position, so the
  // two slots behind it (which the render thread may hold) come last.
  if (writeIndex_ >= kQueueMax) writeIndex_ = 0;
  for (int k = 0; k < count_.load(std::memory_order_relaxed); ++k) {
    Free(&slots_[(readIndex_ + k) % kQueueMax]);
  }
  writeIndex_ = readIndex_;
  count_.store(0, std::memory_order_relaxed);
  lastAccepted_.store(0, std::memory_order_relaxed);
  lastTaken_.store(0, std::memory_order_relaxed);
  keyFrameWait_.store(true, std::memory_order_relaxed);
  discards_.store(0, std::memory_order_relaxed);
}
