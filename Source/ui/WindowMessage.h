// Window messages on Qt: a message is a QEvent whose type is the message
// number, posted to (or sent to) the window object on the UI thread. A
// message to a window that no longer exists does nothing.
#pragma once

#include <QEvent>
#include <QObject>
#include <QPointer>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "base/WindowTarget.h"

class WindowMessageEvent : public QEvent {
 public:
  WindowMessageEvent(unsigned message, std::uintptr_t wParam, std::intptr_t lParam)
      : QEvent(static_cast<QEvent::Type>(message)), wParam(wParam), lParam(lParam) {}
  // Every handler reads the message first. The acquire pairs with Publish:
  // Qt's event queue already orders the poster's writes before the handler,
  // but behind locks the thread sanitizer cannot see (Qt is not built with
  // it); this makes the hand-over visible to it and costs a plain load.
  unsigned message() const {
    published_.load(std::memory_order_acquire);
    return static_cast<unsigned>(type());
  }
  // Called by the poster once the event is filled in, before posting it.
  void Publish() { published_.store(true, std::memory_order_release); }
  const std::uintptr_t wParam;
  const std::intptr_t lParam;
  std::intptr_t result = 0;  // set by the handler of a sent message
  // The window's stamp when the message was posted or sent (0: unstamped), so
  // that the window can tell messages of an ended session from current ones.
  std::uint64_t stamp = 0;

 private:
  std::atomic<bool> published_{false};
};

// Posts a message to |window| (any thread). Returns false when it is gone.
bool PostWindowMessage(QObject* window, unsigned message, std::uintptr_t wParam = 0,
                       std::intptr_t lParam = 0);

// The core's window target for one window: Post queues the event; Send runs
// the window's handler on the UI thread and waits for its result (directly
// when called on the UI thread). A Send from another thread can be cancelled
// (CancelPendingSends, on any thread): it then returns 0 at once and its
// handler never runs, unless the handler is already running, in which case
// Send returns when the handler ends (its pointers stay valid until then).
// |stamp|, when given, is copied into every message (it must outlive the
// target).
class QtWindowTarget : public WindowTarget {
 public:
  explicit QtWindowTarget(QObject* window, const std::atomic<std::uint64_t>* stamp = nullptr)
      : window_(window), stamp_(stamp) {}
  void Post(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) override;
  std::intptr_t Send(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) override;
  void CancelPendingSends() override;
  // Sends from other threads waiting for (or in) the UI thread's handler.
  std::size_t PendingSends() {
    std::lock_guard<std::mutex> hold(pendingLock_);
    return pending_.size();
  }

 private:
  // One Send waiting for the UI thread; shared with the queued call.
  struct PendingSend {
    std::mutex lock;
    std::condition_variable changed;
    bool running = false;    // guarded by lock: the handler has begun
    bool done = false;       // guarded by lock: the handler ended, or never will
    bool cancelled = false;  // guarded by lock
    std::intptr_t result = 0;  // guarded by lock
  };
  std::uint64_t Stamp() const { return stamp_ != nullptr ? stamp_->load() : 0; }

  QPointer<QObject> window_;
  const std::atomic<std::uint64_t>* stamp_;
  std::mutex pendingLock_;
  std::vector<std::shared_ptr<PendingSend>> pending_;  // guarded by pendingLock_
};
