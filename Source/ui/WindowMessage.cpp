#include "WindowMessage.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>
#include <algorithm>

bool PostWindowMessage(QObject* window, unsigned message, std::uintptr_t wParam,
                       std::intptr_t lParam) {
  if (!window) return false;
  auto* event = new WindowMessageEvent(message, wParam, lParam);
  event->Publish();
  QCoreApplication::postEvent(window, event);
  return true;
}

void QtWindowTarget::Post(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
  // QPointer is read on a non-UI thread here: the link reaches this target
  // only while the window is registered, that is, alive; events for an object
  // destroyed later are discarded.
  QObject* window = window_.data();
  if (!window) return;
  auto* event = new WindowMessageEvent(message, wParam, lParam);
  event->stamp = Stamp();
  event->Publish();
  QCoreApplication::postEvent(window, event);
}

std::intptr_t QtWindowTarget::Send(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
  QObject* window = window_.data();
  if (!window) return 0;
  const std::uint64_t stamp = Stamp();
  if (QThread::currentThread() == window->thread()) {
    WindowMessageEvent event(message, wParam, lParam);
    event.stamp = stamp;
    QCoreApplication::sendEvent(window, &event);
    return event.result;
  }
  auto call = std::make_shared<PendingSend>();
  {
    std::lock_guard<std::mutex> hold(pendingLock_);
    pending_.push_back(call);
  }
  // Marks the call done when the queued call is discarded without running
  // (its window was destroyed first): the last copy of the functor ends.
  struct Finisher {
    explicit Finisher(std::shared_ptr<PendingSend> c) : call(std::move(c)) {}
    Finisher(const Finisher&) = delete;
    Finisher& operator=(const Finisher&) = delete;
    std::shared_ptr<PendingSend> call;
    ~Finisher() {
      {
        std::lock_guard<std::mutex> hold(call->lock);
        call->done = true;
      }
      call->changed.notify_all();
    }
  };
  auto finisher = std::make_shared<Finisher>(call);
  QMetaObject::invokeMethod(
      window,
      [finisher, target = QPointer<QObject>(window), message, wParam, lParam, stamp] {
        PendingSend& c = *finisher->call;
        {
          std::lock_guard<std::mutex> hold(c.lock);
          if (c.cancelled) return;
          c.running = true;
        }
        std::intptr_t result = 0;
        if (target) {
          WindowMessageEvent event(message, wParam, lParam);
          event.stamp = stamp;
          QCoreApplication::sendEvent(target.data(), &event);
          result = event.result;
        }
        {
          std::lock_guard<std::mutex> hold(c.lock);
          c.result = result;
          c.done = true;
        }
        c.changed.notify_all();
      },
      Qt::QueuedConnection);
  finisher.reset();
  std::intptr_t result = 0;
  {
    std::unique_lock<std::mutex> hold(call->lock);
    call->changed.wait(hold, [&] { return call->done || (call->cancelled && !call->running); });
    if (call->done && call->running) result = call->result;  // the handler ran
  }
  std::lock_guard<std::mutex> hold(pendingLock_);
  pending_.erase(std::remove(pending_.begin(), pending_.end(), call), pending_.end());
  return result;
}

void QtWindowTarget::CancelPendingSends() {
  std::lock_guard<std::mutex> hold(pendingLock_);
  for (const auto& call : pending_) {
    {
      std::lock_guard<std::mutex> callHold(call->lock);
      call->cancelled = true;
    }
    call->changed.notify_all();
  }
}
