// Window messages on Qt: a message is a QEvent whose type is the message
// number, posted to (or sent to) the window object on the UI thread. A
// message to a window that no longer exists does nothing.
#pragma once

#include <QEvent>
#include <QObject>
#include <QPointer>

#include "base/WindowTarget.h"

class WindowMessageEvent : public QEvent {
 public:
  WindowMessageEvent(unsigned message, std::uintptr_t wParam, std::intptr_t lParam)
      : QEvent(static_cast<QEvent::Type>(message)), wParam(wParam), lParam(lParam) {}
  unsigned message() const { return static_cast<unsigned>(type()); }
  const std::uintptr_t wParam;
  const std::intptr_t lParam;
  std::intptr_t result = 0;  // set by the handler of a sent message
};

// Posts a message to |window| (any thread). Returns false when it is gone.
bool PostWindowMessage(QObject* window, unsigned message, std::uintptr_t wParam = 0,
                       std::intptr_t lParam = 0);

// The core's window target for one window: Post queues the event; Send runs
// the window's handler on the UI thread and waits for its result (directly
// when called on the UI thread).
class QtWindowTarget : public WindowTarget {
 public:
  explicit QtWindowTarget(QObject* window) : window_(window) {}
  void Post(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) override;
  std::intptr_t Send(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) override;

 private:
  QPointer<QObject> window_;
};
