// The registry of a slot's consumers: every object outside the link that a
// slot's event thread hands data to (the pane's window target, its frame
// queue, its sound player, later the setup windows) is reached through a
// LinkConsumer entry, never through a bare pointer that its owner may free.
//
// A reader takes the consumer through a ConsumerGuard: it counts itself in
// (one atomic increment), then loads the pointer; the guard counts it out when
// it ends. Clear() stores null first and then waits until no guard taken
// before holds the old pointer, so once Clear() returns the owner may free the
// consumer. Both sides use sequentially consistent atomics: either the reader
// sees null, or Clear() sees the reader's count. No allocation, no lock.
//
// Clear() never waits on a slot event thread (that thread is the reader; it
// holds no guard where it resets a channel) and waits on any other thread,
// however long the reader needs. A reader must therefore not block on the
// clearing thread while it holds a guard; window targets whose Send waits for
// another thread offer CancelPendingSends(), which Clear() calls while it
// waits (see WindowTarget.h).
#pragma once

#include <atomic>
#include <type_traits>

#include "base/WindowTarget.h"

namespace link_detail {
// True on the slot event threads (set once when such a thread starts).
bool OnSelectThread();
// Sleeps a moment while Clear() waits (a consumer is cleared rarely).
void PauseWhileClearing(int round);
}  // namespace link_detail

template <class T>
class ConsumerGuard;

template <class T>
class LinkConsumer {
 public:
  LinkConsumer() = default;
  LinkConsumer(const LinkConsumer&) = delete;
  LinkConsumer& operator=(const LinkConsumer&) = delete;

  // Registers |consumer| (replacing any earlier one without waiting: use
  // Clear first when the earlier one is about to be freed).
  void Set(T* consumer) { pointer_.store(consumer); }
  LinkConsumer& operator=(T* consumer) {
    Set(consumer);
    return *this;
  }
  // Unregisters and, except on a slot event thread, returns only when no
  // reader holds the consumer any more.
  void Clear() {
    T* old = pointer_.exchange(nullptr);
    if (link_detail::OnSelectThread()) return;
    for (int round = 0; readers_.load() != 0; ++round) {
      if constexpr (std::is_base_of_v<WindowTarget, T>) {
        if (old != nullptr) old->CancelPendingSends();
      }
      link_detail::PauseWhileClearing(round);
    }
  }
  // Forgets the consumer without waiting (a channel reset under its io lock;
  // the owner's Clear does the waiting).
  void Drop() { pointer_.store(nullptr); }
  // The registered consumer at this moment (for comparisons only: use a
  // guard to call it).
  T* Peek() const { return pointer_.load(); }
  ConsumerGuard<T> Acquire() { return ConsumerGuard<T>(*this); }

 private:
  friend class ConsumerGuard<T>;
  std::atomic<T*> pointer_{nullptr};
  std::atomic<int> readers_{0};
};

// Holds one consumer for the reader's use; converts to false when none is
// registered.
template <class T>
class ConsumerGuard {
 public:
  explicit ConsumerGuard(LinkConsumer<T>& entry) : entry_(&entry) {
    entry_->readers_.fetch_add(1);
    consumer_ = entry_->pointer_.load();
    if (consumer_ == nullptr) Release();
  }
  ConsumerGuard(ConsumerGuard&& other) noexcept : entry_(other.entry_), consumer_(other.consumer_) {
    other.entry_ = nullptr;
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
    if (entry_ != nullptr) entry_->readers_.fetch_sub(1);
    entry_ = nullptr;
  }
  LinkConsumer<T>* entry_;
  T* consumer_ = nullptr;
};
