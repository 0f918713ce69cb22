// A consumer pointer that an owner hands to worker threads, with a barrier
// for taking it back: the owner may replace or clear the pointer at any time
// and then wait until no worker still uses the one it replaced.
//
// A reader takes the consumer through a ConsumerGuard: it counts itself in
// (one atomic increment), then loads the pointer; the guard counts it out when
// it ends. The owner exchanges the pointer first and then waits until the
// reader count is zero, so every guard taken before the exchange has ended.
// Both sides use sequentially consistent atomics: either the reader sees the
// new pointer, or the owner sees the reader's count. No allocation, no lock;
// a reader never waits.
//
// The wait is the owner's: a thread must not wait for guards while it holds
// one itself on the same barrier (it would wait for itself), and a reader
// must not block on the waiting thread while it holds a guard.
#pragma once

#include <atomic>
#include <chrono>
#include <thread>

#include "base/base.h"

template <class T>
class ConsumerGuard;

// Between two looks at the reader count: yields first, then sleeps briefly
// (a consumer is taken back rarely, and a reader holds it for one call).
inline void PauseForConsumerReaders(int round) {
  if (round < 50) {
    std::this_thread::yield();
  } else {
    std::this_thread::sleep_for(std::chrono::microseconds(500));
  }
  if (round == 20000) LogMessage("%s:%d (a consumer is still in use)\r\n", LOGPOS);
}

template <class T>
class ConsumerBarrier {
 public:
  ConsumerBarrier() = default;
  ConsumerBarrier(const ConsumerBarrier&) = delete;
  ConsumerBarrier& operator=(const ConsumerBarrier&) = delete;

  // Stores |consumer| without waiting.
  void Set(T* consumer) { pointer_.store(consumer); }
  // Stores |consumer| without waiting; returns the one it replaced.
  T* Exchange(T* consumer) { return pointer_.exchange(consumer); }
  // Stores |consumer| and, when |wait|, returns only once no guard taken
  // before holds a consumer (so none holds the one it replaced).
  void Replace(T* consumer, bool wait) {
    Exchange(consumer);
    if (wait) WaitForReaders();
  }
  // The consumer at this moment (for comparisons only: use a guard to call
  // it).
  T* Peek() const { return pointer_.load(); }
  ConsumerGuard<T> Acquire() { return ConsumerGuard<T>(*this); }

  // Returns once no guard is held, calling |pause|(round) between looks.
  template <class Pause>
  void WaitForReaders(Pause&& pause) const {
    for (int round = 0; readers_.load() != 0; ++round) pause(round);
  }
  void WaitForReaders() const { WaitForReaders(PauseForConsumerReaders); }

 private:
  friend class ConsumerGuard<T>;
  std::atomic<T*> pointer_{nullptr};
  std::atomic<int> readers_{0};
};

// Holds one consumer for the reader's use; converts to false when none is
// set.
template <class T>
class ConsumerGuard {
 public:
  explicit ConsumerGuard(ConsumerBarrier<T>& barrier) : barrier_(&barrier) {
    barrier_->readers_.fetch_add(1);
    consumer_ = barrier_->pointer_.load();
    if (consumer_ == nullptr) Release();
  }
  ConsumerGuard(ConsumerGuard&& other) noexcept : barrier_(other.barrier_), consumer_(other.consumer_) {
    other.barrier_ = nullptr;
    other.consumer_ = nullptr;
  }
  ConsumerGuard(const ConsumerGuard&) = delete;
  ConsumerGuard& operator=(const ConsumerGuard&) = delete;
  ConsumerGuard& operator=(ConsumerGuard&&) = delete;
  ~ConsumerGuard() { Release(); }

  T* get() const { return consumer_; }
  T* operator->() const { return consumer_; }
  explicit operator bool() const { return consumer_ != nullptr; }

 private:
  void Release() {
    if (barrier_ != nullptr) barrier_->readers_.fetch_sub(1);
    barrier_ = nullptr;
  }
  ConsumerBarrier<T>* barrier_;
  T* consumer_ = nullptr;
};
