#include "WindowMessage.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

bool PostWindowMessage(QObject* window, unsigned message, std::uintptr_t wParam,
                       std::intptr_t lParam) {
  if (!window) return false;
  QCoreApplication::postEvent(window, new WindowMessageEvent(message, wParam, lParam));
  return true;
}

void QtWindowTarget::Post(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
  // QPointer is read on a non-UI thread here: postEvent itself is safe for a
  // live object, and events for an object destroyed later are discarded.
  PostWindowMessage(window_.data(), message, wParam, lParam);
}

std::intptr_t QtWindowTarget::Send(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
  QObject* window = window_.data();
  if (!window) return 0;
  std::intptr_t result = 0;
  auto deliver = [&result, message, wParam, lParam, target = QPointer<QObject>(window)] {
    if (!target) return;
    WindowMessageEvent event(message, wParam, lParam);
    QCoreApplication::sendEvent(target.data(), &event);
    result = event.result;
  };
  if (QThread::currentThread() == window->thread()) {
    deliver();
  } else {
    QMetaObject::invokeMethod(window, deliver, Qt::BlockingQueuedConnection);
  }
  return result;
}
