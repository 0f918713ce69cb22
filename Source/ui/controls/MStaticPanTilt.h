// The pan/tilt pad: a round pad with four arrows (ControlMath's PadZoneAt
// gives the arrow under the pointer). A press on it starts a 200 ms repeat:
// every repeat reports step() for the arrow under the pointer then (the
// arrow follows the pointer while held), and the release reports one more
// for the arrow it happens over (all zeros between the arrows). Leaving the
// pad stops it without a release step. A double click counts as another
// press, so quick clicks each step.
#pragma once

#include <QMetaType>
#include <QWidget>

#include "controls/ControlMath.h"
#include "controls/HoldTimer.h"

Q_DECLARE_METATYPE(PtzStep)

class MStaticPanTilt : public QWidget {
  Q_OBJECT
 public:
  static constexpr QSize kSize{110, 110};
  static constexpr int kRepeatMs = 200;

  MStaticPanTilt(QWidget* parent, int x, int y);

  // The arrow under the pointer (0 none) and whether it is held.
  int Zone() const { return zone_; }
  bool Pressed() const { return pressed_; }
  HoldTimer* Hold() const { return hold_; }
  QSize sizeHint() const override { return kSize; }

  // Draws the pad's face with |zone| lit (hover) or pushed (pressed).
  static void PaintFace(QPainter& p, int zone, bool pressed);

 signals:
  void step(const PtzStep& step);

 protected:
  void paintEvent(QPaintEvent*) override;
  void mousePressEvent(QMouseEvent*) override;
  void mouseDoubleClickEvent(QMouseEvent*) override;
  void mouseMoveEvent(QMouseEvent*) override;
  void mouseReleaseEvent(QMouseEvent*) override;
  void leaveEvent(QEvent*) override;

 private:
  void SetZone(int zone);
  void Stop();

  int zone_ = 0;
  bool pressed_ = false;
  HoldTimer* hold_;
};
