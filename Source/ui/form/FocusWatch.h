// Tells its owner each time a widget of the program takes the keyboard
// focus, and whether the user moved it (a click, the Tab key, a shortcut) or
// the program did (a window activated, a popup closed, setFocus, a focused
// widget hidden). Qt gives a hidden widget's focus to the next one with the
// Tab reason, so a Tab move counts as the user's only while a Tab key press
// is being handled. It watches the whole application and lives as long as
// its parent.
#pragma once

#include <QApplication>
#include <QEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QObject>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <utility>

class FocusWatch : public QObject {
 public:
  // |handler| gets the widget and whether the user moved the focus.
  using Handler = std::function<void(QWidget*, bool byUser)>;
  FocusWatch(QObject* parent, Handler handler) : QObject(parent), handler_(std::move(handler)) {
    qApp->installEventFilter(this);
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::KeyPress) {
      const int key = static_cast<QKeyEvent*>(event)->key();
      if ((key == Qt::Key_Tab || key == Qt::Key_Backtab) && !tabKey_) {
        // Until the key press has been handled: posted calls run after it.
        tabKey_ = true;
        QTimer::singleShot(0, this, [this] { tabKey_ = false; });
      }
    } else if (event->type() == QEvent::FocusIn && watched->isWidgetType()) {
      const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
      const bool byUser = reason == Qt::MouseFocusReason || reason == Qt::ShortcutFocusReason ||
                          ((reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason) && tabKey_);
      handler_(static_cast<QWidget*>(watched), byUser);
    }
    return false;
  }

 private:
  Handler handler_;
  bool tabKey_ = false;  // a Tab key press is being handled
};
