#include "controls/MStaticPanTilt.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

namespace {

// Each arrow's key: the zone's rectangle (inclusive pixels) and where its
// arrow points.
struct Key {
  QRect area;
  QPointF direction;
};
const Key kKeys[5] = {
    {QRect(), QPointF()},
    {QRect(QPoint(19, 40), QPoint(38, 72)), QPointF(-1, 0)},
    {QRect(QPoint(39, 20), QPoint(72, 38)), QPointF(0, -1)},
    {QRect(QPoint(74, 40), QPoint(91, 72)), QPointF(1, 0)},
    {QRect(QPoint(40, 74), QPoint(72, 91)), QPointF(0, 1)},
};

const QPointF kCentre(55.5, 56);

QPolygonF Arrow(const Key& k, qreal shift) {
  const QPointF c = QRectF(k.area).adjusted(0, 0, 1, 1).center() + k.direction * shift;
  const QPointF d = k.direction;
  const QPointF across(-d.y(), d.x());
  // A triangle 18 pixels wide and 11 deep pointing outward.
  return QPolygonF({c + d * 5.5, c - d * 5.5 + across * 9, c - d * 5.5 - across * 9});
}

}  // namespace

MStaticPanTilt::MStaticPanTilt(QWidget* parent, int x, int y) : QWidget(parent), hold_(new HoldTimer(this)) {
  setGeometry(x, y, kSize.width(), kSize.height());
  setMouseTracking(true);
  setFocusPolicy(Qt::TabFocus);
  hold_->SetInterval(kRepeatMs);
  connect(hold_, &HoldTimer::repeat, this, [this] { emit step(PadStep(zone_)); });
}

void MStaticPanTilt::PaintFace(QPainter& p, int zone, bool pressed) {
  p.save();
  p.setRenderHint(QPainter::Antialiasing);
  // The round pad: a dark rim and a raised disc.
  QRadialGradient disc(kCentre - QPointF(12, 14), 60);
  disc.setColorAt(0, QColor(126, 156, 206));
  disc.setColorAt(1, QColor(44, 74, 124));
  p.setPen(QPen(QColor(24, 44, 80), 2));
  p.setBrush(disc);
  p.drawEllipse(kCentre, 51, 51);
  p.setPen(QPen(QColor(255, 255, 255, 60), 1));
  p.setBrush(Qt::NoBrush);
  p.drawEllipse(kCentre, 47, 47);
  // The hub between the arrows.
  QRadialGradient hub(kCentre - QPointF(3, 4), 16);
  hub.setColorAt(0, QColor(92, 120, 170));
  hub.setColorAt(1, QColor(36, 60, 102));
  p.setPen(QPen(QColor(24, 44, 80), 1));
  p.setBrush(hub);
  p.drawEllipse(kCentre, 13, 13);
  for (int z = 1; z <= 4; ++z) {
    const bool lit = z == zone;
    const bool pushed = lit && pressed;
    if (lit) {
      // The lit key glows behind its arrow; a pushed key is darker and sunk.
      QPainterPath key;
      key.addRoundedRect(QRectF(kKeys[z].area).adjusted(0, 0, 1, 1), 6, 6);
      p.setPen(Qt::NoPen);
      p.setBrush(pushed ? QColor(20, 36, 66, 170) : QColor(255, 255, 255, 55));
      p.drawPath(key);
    }
    const QPolygonF arrow = Arrow(kKeys[z], pushed ? 1 : 0);
    p.setPen(QPen(pushed ? QColor(250, 200, 60) : QColor(24, 44, 80), 1));
    p.setBrush(pushed ? QColor(255, 214, 90) : lit ? QColor(255, 255, 255) : QColor(222, 230, 244));
    p.drawPolygon(arrow);
  }
  p.restore();
}

void MStaticPanTilt::paintEvent(QPaintEvent*) {
  QPainter p(this);
  PaintFace(p, zone_, pressed_);
}

void MStaticPanTilt::SetZone(int zone) {
  if (zone == zone_) return;
  zone_ = zone;
  update();
}

void MStaticPanTilt::Stop() {
  hold_->Leave();
  if (pressed_) {
    pressed_ = false;
    update();
  }
}

void MStaticPanTilt::mousePressEvent(QMouseEvent* e) {
  if (e->button() != Qt::LeftButton) return QWidget::mousePressEvent(e);
  e->accept();
  const QPoint at = e->position().toPoint();
  SetZone(PadZoneAt(at.x(), at.y()));
  pressed_ = true;
  hold_->Press();
  update();
}

void MStaticPanTilt::mouseDoubleClickEvent(QMouseEvent* e) {
  // The second click of a quick pair is one more press.
  mousePressEvent(e);
}

void MStaticPanTilt::mouseMoveEvent(QMouseEvent* e) {
  e->accept();
  const QPoint at = e->position().toPoint();
  if (pressed_ && !rect().contains(at)) {
    // Off the pad: the hold ends without a release step.
    Stop();
    SetZone(0);
    return;
  }
  SetZone(PadZoneAt(at.x(), at.y()));
}

void MStaticPanTilt::mouseReleaseEvent(QMouseEvent* e) {
  if (e->button() != Qt::LeftButton || !pressed_) return QWidget::mouseReleaseEvent(e);
  e->accept();
  const QPoint at = e->position().toPoint();
  if (!rect().contains(at)) {
    Stop();
    SetZone(0);
    return;
  }
  // Repeats still due go to the arrow held so far; the release step to the
  // arrow under the pointer now.
  hold_->Release();
  pressed_ = false;
  SetZone(PadZoneAt(at.x(), at.y()));
  update();
  emit step(PadStep(zone_));
}

void MStaticPanTilt::leaveEvent(QEvent*) {
  Stop();
  SetZone(0);
}
