// The side panel's skinned two-state button (listening, talking) and the
// combo box that tells when its list is about to open.
#pragma once

#include <QComboBox>

#include "controls/BusyLock.h"
#include "controls/MButton.h"

// A skinned icon button that shows an on state and can be made busy like a
// check box (BusyLock): while busy it ignores clicks; the owner toggles the
// state itself after a click.
class MCheckButton : public MButton {
  Q_OBJECT
 public:
  enum class Glyph {
    Microphone, Speaker, Camera, Record,
    // The camera's switches and steering.
    Sensor, Output, Motion, Flash, Mirror, Flip, ZoomIn, ZoomOut, FocusIn, FocusOut,
    ScanStart, ScanStop, Function, Preset1, Preset2, Preset3, Preset4
  };
  MCheckButton(QWidget* parent, int id, int x, int y, Glyph glyph);
  void SetCheck(bool on);
  bool Check() const { return on_; }
  // Busy for |milliseconds|.
  void SetBusy(int milliseconds) { busy_.Start(this, milliseconds); }
  bool Busy() const { return busy_.Busy(); }

 protected:
  void paintEvent(QPaintEvent*) override;
  void mouseReleaseEvent(QMouseEvent*) override;
  void keyReleaseEvent(QKeyEvent*) override;
  void timerEvent(QTimerEvent*) override;

 private:
  QPixmap onFace_;
  bool on_ = false;
  BusyLock busy_;
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
