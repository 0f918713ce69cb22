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

// A short bold text centred on the face (presets, the function key).
void DrawCaption(QPainter& p, const QRectF& r, const QString& text) {
  QFont f = skin::BoldFont();
  f.setPixelSize(11);
  p.setFont(f);
  p.setPen(Qt::white);
  p.drawText(r, Qt::AlignCenter, text);
}

// A magnifier with a plus or a minus: zoom in and out.
void DrawMagnifier(QPainter& p, const QPointF& c, bool plus) {
  p.setBrush(Qt::NoBrush);
  p.drawEllipse(c + QPointF(-2, -2), 6, 6);
  p.drawLine(c + QPointF(2.5, 2.5), c + QPointF(8, 8));
  p.drawLine(c + QPointF(-5, -2), c + QPointF(1, -2));
  if (plus) p.drawLine(c + QPointF(-2, -5), c + QPointF(-2, 1));
}

// Two arrowheads meeting (focus in) or parting (focus out) around a dot.
void DrawFocus(QPainter& p, const QPointF& c, bool in) {
  p.setBrush(Qt::white);
  p.drawEllipse(c, 1.8, 1.8);
  const double tip = in ? 4 : 10;
  const double base = in ? 10 : 4;
  for (int side : {-1, 1}) {
    QPolygonF head;
    head << c + QPointF(side * tip, 0) << c + QPointF(side * base, -4) << c + QPointF(side * base, 4);
    p.drawPolygon(head);
  }
}

// Two triangles mirrored across a dashed axis, vertical for a mirror and
// horizontal for a flip.
void DrawReflection(QPainter& p, const QPointF& c, bool vertical) {
  auto at = [&](double along, double across) {
    return vertical ? c + QPointF(across, along) : c + QPointF(along, across);
  };
  for (int side : {-1, 1}) {
    QPolygonF t;
    t << at(-6, side * 2) << at(6, side * 2) << at(-6, side * 8);
    p.setBrush(side < 0 ? QBrush(Qt::white) : QBrush(Qt::NoBrush));
    p.drawPolygon(t);
  }
  p.setPen(QPen(Qt::white, 1, Qt::DashLine));
  p.drawLine(at(-9, 0), at(9, 0));
}

// Glyphs added for the camera's switches and steering; false for the
// original four, drawn below.
bool DrawControlGlyph(QPainter& p, const QPointF& c, const QRectF& r, MCheckButton::Glyph glyph) {
  using G = MCheckButton::Glyph;
  switch (glyph) {
    case G::Sensor:
      // A contact's ring with its dot.
      p.setBrush(Qt::NoBrush);
      p.drawEllipse(c, 7, 7);
      p.setBrush(Qt::white);
      p.drawEllipse(c, 2.5, 2.5);
      return true;
    case G::Output: {
      // A lightning bolt: the relay output.
      QPolygonF bolt;
      bolt << c + QPointF(2, -9) << c + QPointF(-5, 1) << c + QPointF(0, 1) << c + QPointF(-2, 9)
           << c + QPointF(5, -2) << c + QPointF(0, -2);
      p.drawPolygon(bolt);
      return true;
    }
    case G::Motion:
      // A running figure's head and two motion arcs.
      p.drawEllipse(c + QPointF(-3, -5), 2.5, 2.5);
      p.drawLine(c + QPointF(-3, -2), c + QPointF(-4, 4));
      p.drawLine(c + QPointF(-4, 4), c + QPointF(-8, 9));
      p.drawLine(c + QPointF(-4, 4), c + QPointF(0, 9));
      p.drawLine(c + QPointF(-8, 0), c + QPointF(1, 0));
      p.setBrush(Qt::NoBrush);
      p.drawArc(QRectF(c.x() - 1, c.y() - 6, 8, 12), -60 * 16, 120 * 16);
      p.drawArc(QRectF(c.x() - 1, c.y() - 9, 12, 18), -60 * 16, 120 * 16);
      return true;
    case G::Flash:
      // A lamp with rays.
      p.drawEllipse(c + QPointF(0, -1), 4, 4);
      p.drawRect(QRectF(c.x() - 2, c.y() + 4, 4, 3));
      for (int a = 0; a < 360; a += 45) {
        if (a == 90) continue;
        QLineF ray(c + QPointF(0, -1), c + QPointF(0, -1) + QPointF(9, 0));
        ray.setAngle(a);
        ray.setP1(ray.pointAt(0.7));
        p.drawLine(ray);
      }
      return true;
    case G::Mirror: DrawReflection(p, c, false); return true;
    case G::Flip: DrawReflection(p, c, true); return true;
    case G::ZoomIn: DrawMagnifier(p, c, true); return true;
    case G::ZoomOut: DrawMagnifier(p, c, false); return true;
    case G::FocusIn: DrawFocus(p, c, true); return true;
    case G::FocusOut: DrawFocus(p, c, false); return true;
    case G::ScanStart: {
      // A play triangle under a sweep arc.
      QPolygonF play;
      play << c + QPointF(-3, -3) << c + QPointF(5, 2) << c + QPointF(-3, 7);
      p.drawPolygon(play);
      p.setBrush(Qt::NoBrush);
      p.drawArc(QRectF(c.x() - 8, c.y() - 9, 16, 12), 30 * 16, 120 * 16);
      return true;
    }
    case G::ScanStop:
      p.drawRect(QRectF(c.x() - 3.5, c.y() - 1.5, 8, 8));
      p.setBrush(Qt::NoBrush);
      p.drawArc(QRectF(c.x() - 8, c.y() - 9, 16, 12), 30 * 16, 120 * 16);
      return true;
    case G::Function: DrawCaption(p, r, QStringLiteral("F1")); return true;
    case G::Preset1: DrawCaption(p, r, QStringLiteral("P1")); return true;
    case G::Preset2: DrawCaption(p, r, QStringLiteral("P2")); return true;
    case G::Preset3: DrawCaption(p, r, QStringLiteral("P3")); return true;
    case G::Preset4: DrawCaption(p, r, QStringLiteral("P4")); return true;
    default: return false;
  }
}

void DrawGlyph(QPixmap& face, MCheckButton::Glyph glyph) {
  QPainter p(&face);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(Qt::white, 1.6));
  p.setBrush(Qt::white);
  const QRectF r(0, 0, face.width(), face.height());
  const QPointF c = r.center();
  if (DrawControlGlyph(p, c, r, glyph)) return;
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
