#include "controls/MCheckButton.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QTimerEvent>

#include "base/base.h"
#include "controls/Skin.h"

namespace {

constexpr QSize kIconSize{26, 26};

void DrawGlyph(QPixmap& face, MCheckButton::Glyph glyph) {
  QPainter p(&face);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(Qt::white, 1.6));
  p.setBrush(Qt::white);
  const QRectF r(0, 0, face.width(), face.height());
  const QPointF c = r.center();
  if (glyph == MCheckButton::Glyph::Microphone) {
    p.drawRoundedRect(QRectF(c.x() - 3, c.y() - 9, 6, 11), 3, 3);
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(c.x() - 6, c.y() - 6, 12, 11), 200 * 16, 140 * 16);
    p.drawLine(QPointF(c.x(), c.y() + 5), QPointF(c.x(), c.y() + 8));
  } else if (glyph == MCheckButton::Glyph::Camera) {
    // A camera body with its lens and viewfinder bump.
    p.drawRoundedRect(QRectF(c.x() - 9, c.y() - 5, 18, 12), 2, 2);
    p.drawRect(QRectF(c.x() - 4, c.y() - 8, 7, 3));
    p.setBrush(QColor(52, 86, 140));
    p.drawEllipse(c + QPointF(0, 1), 3.6, 3.6);
  } else if (glyph == MCheckButton::Glyph::Record) {
    // The red dot of a recorder.
    p.setPen(QPen(Qt::white, 1.4));
    p.setBrush(QColor(230, 30, 30));
    p.drawEllipse(c, 6.5, 6.5);
  } else {
    QPainterPath body;
    body.moveTo(c.x() - 8, c.y() - 3);
    body.lineTo(c.x() - 4, c.y() - 3);
    body.lineTo(c.x() + 1, c.y() - 8);
    body.lineTo(c.x() + 1, c.y() + 8);
    body.lineTo(c.x() - 4, c.y() + 3);
    body.lineTo(c.x() - 8, c.y() + 3);
    body.closeSubpath();
    p.drawPath(body);
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(c.x() - 3, c.y() - 5, 9, 10), -60 * 16, 120 * 16);
    p.drawArc(QRectF(c.x() - 4, c.y() - 8, 13, 16), -60 * 16, 120 * 16);
  }
}

QPixmap GlyphFace(MCheckButton::Glyph glyph, skin::ButtonState state) {
  QPixmap face = skin::ButtonFace(kIconSize, QString(), state);
  DrawGlyph(face, glyph);
  return face;
}

}  // namespace

MCheckButton::MCheckButton(QWidget* parent, int id, int x, int y, Glyph glyph)
    : MButton(parent, id, x, y, GlyphFace(glyph, skin::ButtonState::Normal),
              GlyphFace(glyph, skin::ButtonState::Pressed), GlyphFace(glyph, skin::ButtonState::Hover),
              GlyphFace(glyph, skin::ButtonState::Disabled)),
      onFace_(GlyphFace(glyph, skin::ButtonState::Pressed)) {}

void MCheckButton::SetCheck(bool on) {
  on_ = on;
  update();
}

void MCheckButton::paintEvent(QPaintEvent* e) {
  if (!on_ || !isEnabled()) return MButton::paintEvent(e);
  QPainter p(this);
  p.drawPixmap(0, 0, onFace_);
}

void MCheckButton::mouseReleaseEvent(QMouseEvent* e) {
  if (Busy() && e->button() == Qt::LeftButton) {
    LogMessage("%s:%d busy (%d)\r\n", LOGPOS, id());
    CancelPress();
    e->accept();
    return;
  }
  MButton::mouseReleaseEvent(e);
}

void MCheckButton::keyReleaseEvent(QKeyEvent* e) {
  if (Busy() && isDown()) {
    LogMessage("%s:%d busy (%d)\r\n", LOGPOS, id());
    setDown(false);
    e->accept();
    return;
  }
  MButton::keyReleaseEvent(e);
}

void MCheckButton::timerEvent(QTimerEvent* e) {
  if (!busy_.OnTimer(this, e)) MButton::timerEvent(e);
}

// --- LanCombo -------------------------------------------------------------

void LanCombo::showPopup() {
  emit aboutToOpen();
  QComboBox::showPopup();
}
