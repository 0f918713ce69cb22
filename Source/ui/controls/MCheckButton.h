// The side panel's skinned two-state button (listening, talking) and the
// combo box that tells when its list is about to open.
#pragma once

#include <QBasicTimer>
#include <QComboBox>

#include "controls/MButton.h"

// A skinned button that shows an on state and can be made busy: while busy
// it shows the wait cursor and ignores clicks (the owner toggles the state
// itself after a click).
class MCheckButton : public MButton {
  Q_OBJECT
 public:
  enum class Glyph { Microphone, Speaker };
  MCheckButton(QWidget* parent, int id, int x, int y, Glyph glyph);
  void SetCheck(bool on);
  bool Check() const { return on_; }
  // Busy for |milliseconds| (the button's timer 2004 ends it).
  void SetBusy(int milliseconds);
  bool Busy() const { return busy_.isActive(); }

 protected:
  void paintEvent(QPaintEvent*) override;
  void mouseReleaseEvent(QMouseEvent*) override;
  void timerEvent(QTimerEvent*) override;

 private:
  QPixmap onFace_;
  bool on_ = false;
  QBasicTimer busy_;  // timer 2004
};

// The LAN search combo tells when its list is about to open, so that the
// search runs first.
class LanCombo : public QComboBox {
  Q_OBJECT
 public:
  using QComboBox::QComboBox;
  void showPopup() override;
 signals:
  void aboutToOpen();
};
