// A skinned push button: drawn from its face images (normal, pressed, hover,
// disabled) at the size of the normal face, identified by its control id.
//
// A click counts only when the button is released over it; dragging off the
// button, or the pointer leaving it, cancels the press without a click.
// With a repeat interval the button repeats while held: each full interval
// emits repeated(id, message) (or commanded(id) when the message is 0), and
// a release after a repeat is no click. A long-press button is a repeat
// button whose interval is the press length.
#pragma once

#include <QAbstractButton>
#include <QColor>
#include <QPixmap>

#include "controls/HoldTimer.h"

class MButton : public QAbstractButton {
  Q_OBJECT
 public:
  MButton(QWidget* parent, int id, int x, int y, const QPixmap& normal, const QPixmap& pressed,
          const QPixmap& hover, const QPixmap& disabled = QPixmap());
  // A button whose faces are drawn in code with a label.
  static MButton* Labelled(QWidget* parent, int id, int x, int y, QSize size, const QString& label);

  int id() const { return id_; }
  QSize sizeHint() const override { return normal_.size(); }

  // Repeat every |ms| while held (0 = no repeat); |message| is what the
  // repeats carry (0 = they are commands like a click).
  void SetRepeat(int ms, int message = 0);
  int RepeatInterval() const { return hold_->IntervalMs(); }
  int RepeatMessage() const { return repeatMessage_; }
  // The colour the button's area is filled with before its face (none by
  // default: the parent shows through).
  void SetBackground(const QColor& colour);
  // Draw the faces with |colour| left out.
  void SetTransparent(bool on, const QColor& colour = QColor(255, 0, 255));
  void SetTooltip(const QString& text) { setToolTip(text); }
  // The hold's timer, for tests that move its clock and poll it.
  HoldTimer* Hold() const { return hold_; }

 signals:
  // A click, or a repeat without a message of its own. clicked() is emitted
  // alongside for users of the plain button signal.
  void commanded(int id);
  // A repeat of a button with a repeat message.
  void repeated(int id, int message);

 protected:
  void paintEvent(QPaintEvent*) override;
  void enterEvent(QEnterEvent*) override;
  void leaveEvent(QEvent*) override;
  void mousePressEvent(QMouseEvent*) override;
  void mouseMoveEvent(QMouseEvent*) override;
  void mouseReleaseEvent(QMouseEvent*) override;
  void changeEvent(QEvent*) override;
  // Ends a press without a click (the pointer left, the button was disabled).
  void CancelPress();
  bool Hovered() const { return hover_; }

 private:
  void OnRepeat();

  int id_;
  bool hover_ = false;
  bool mousePressed_ = false;
  int repeatMessage_ = 0;
  QColor background_;
  bool transparent_ = false;
  QColor transparentColour_;
  HoldTimer* hold_;
  QPixmap normal_, pressed_, hover_face_, disabled_;
};
