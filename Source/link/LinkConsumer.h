// The registry of a slot's consumers: every object outside the link that a
// slot's event thread hands data to (the pane's window target, its frame
// queue, its sound player, later the setup windows) is reached through a
// LinkConsumer entry, never through a bare pointer that its owner may free.
//
// The entry is a ConsumerBarrier (base/ConsumerBarrier.h): a reader takes the
// consumer through a ConsumerGuard, and Clear() stores null first and then
// waits until no guard taken before holds the old pointer, so once Clear()
// returns the owner may free the consumer.
//
// Clear() never waits on a slot event thread (that thread is the reader; it
// holds no guard where it resets a channel) and waits on any other thread,
// however long the reader needs. A reader must therefore not block on the
// clearing thread while it holds a guard; window targets whose Send waits for
// another thread offer CancelPendingSends(), which Clear() calls while it
// waits (see WindowTarget.h).
#pragma once

#include <type_traits>

#include "base/ConsumerBarrier.h"
#include "base/WindowTarget.h"

namespace link_detail {
// True on the slot event threads (set once when such a thread starts).
bool OnSelectThread();
// Sleeps a moment while Clear() waits (a consumer is cleared rarely).
void PauseWhileClearing(int round);
}  // namespace link_detail

template <class T>
class LinkConsumer {
 public:
  LinkConsumer() = default;
  LinkConsumer(const LinkConsumer&) = delete;
  LinkConsumer& operator=(const LinkConsumer&) = delete;

  // Registers |consumer| (replacing any earlier one without waiting: use
  // Clear first when the earlier one is about to be freed).
  void Set(T* consumer) { barrier_.Set(consumer); }
  LinkConsumer& operator=(T* consumer) {
    Set(consumer);
    return *this;
  }
  // Unregisters and, except on a slot event thread, returns only when no
  // reader holds the consumer any more.
  void Clear() {
    T* old = barrier_.Exchange(nullptr);
    if (link_detail::OnSelectThread()) return;
    barrier_.WaitForReaders([&](int round) {
      if constexpr (std::is_base_of_v<WindowTarget, T>) {
        if (old != nullptr) old->CancelPendingSends();
      }
      link_detail::PauseWhileClearing(round);
    });
  }
  // Forgets the consumer without waiting (a channel reset under its io lock;
  // the owner's Clear does the waiting).
  void Drop() { barrier_.Set(nullptr); }
  // The registered consumer at this moment (for comparisons only: use a
  // guard to call it).
  T* Peek() const { return barrier_.Peek(); }
  ConsumerGuard<T> Acquire() { return barrier_.Acquire(); }

 private:
  ConsumerBarrier<T> barrier_;
};
