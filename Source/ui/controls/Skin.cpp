#include "controls/Skin.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

#include "controls/FitText.h"

namespace skin {

QFont BoldFont() {
  QFont f(QStringLiteral("Verdana"));
  f.setFamilies({QStringLiteral("Verdana"), QStringLiteral("DejaVu Sans"),
                 QStringLiteral("NanumGothic"), QStringLiteral("Noto Sans CJK KR")});
  f.setPixelSize(13);
  f.setWeight(QFont::Bold);
  return f;
}

QFont PlainFont() {
  QFont f = BoldFont();
  f.setWeight(QFont::Normal);
  return f;
}

QPixmap BoxBackground() {
  QPixmap pm(kBoxSize);
  QPainter p(&pm);
  p.fillRect(pm.rect(), QColor(244, 244, 240));
  QLinearGradient band(0, 0, 0, 30);
  band.setColorAt(0, QColor(52, 86, 140));
  band.setColorAt(1, QColor(30, 58, 104));
  p.fillRect(QRect(0, 0, pm.width(), 30), band);
  p.setPen(QColor(30, 58, 104));
  p.drawRect(pm.rect().adjusted(0, 0, -1, -1));
  return pm;
}

QPixmap BoxIcon(int iconId) {
  QPixmap pm(44, 77);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  QColor colour;
  QString glyph;
  switch (iconId) {
    case 803: colour = QColor(200, 40, 40); glyph = QStringLiteral("×"); break;
    case 802: colour = QColor(230, 160, 20); glyph = QStringLiteral("!"); break;
    case 801: colour = QColor(40, 110, 200); glyph = QStringLiteral("?"); break;
    default: colour = QColor(40, 150, 80); glyph = QStringLiteral("i"); break;
  }
  p.setBrush(colour);
  p.setPen(Qt::NoPen);
  p.drawEllipse(QRectF(1, 1, 31, 31));
  p.setPen(Qt::white);
  QFont f = BoldFont();
  f.setPixelSize(22);
  p.setFont(f);
  p.drawText(QRectF(1, 1, 31, 31), Qt::AlignCenter, glyph);
  return pm;
}

// A label too wide for its face steps down in size, never past the border.
QFont ButtonFont(const QSize& size, const QString& label) {
  return fit::FittingFont(BoldFont(), label, size.width() - 2 * fit::kFaceBorder);
}

QPixmap ButtonFace(const QSize& size, const QString& label, ButtonState state) {
  QPixmap pm(size);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  QColor top(96, 128, 180), bottom(52, 86, 140);
  if (state == ButtonState::Hover) { top = QColor(120, 152, 204); bottom = QColor(72, 106, 160); }
  if (state == ButtonState::Pressed) std::swap(top, bottom);
  if (state == ButtonState::Disabled) { top = QColor(190, 190, 190); bottom = QColor(160, 160, 160); }
  QLinearGradient g(0, 0, 0, size.height());
  g.setColorAt(0, top);
  g.setColorAt(1, bottom);
  QPainterPath path;
  path.addRoundedRect(QRectF(0.5, 0.5, size.width() - 1, size.height() - 1), 4, 4);
  p.fillPath(path, g);
  p.setPen(QColor(30, 58, 104));
  p.drawPath(path);
  p.setPen(Qt::white);
  p.setFont(ButtonFont(size, label));
  p.drawText(QRect(QPoint(0, state == ButtonState::Pressed ? 1 : 0), size), Qt::AlignCenter, label);
  return pm;
}

QPixmap CheckFace(CheckState state) {
  QPixmap pm(13, 13);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  const bool disabled = state == CheckState::Disabled;
  p.setPen(disabled ? QColor(160, 160, 160) : QColor(30, 58, 104));
  p.setBrush(disabled ? QColor(212, 208, 199) : QColor(255, 255, 255));
  p.drawRoundedRect(QRectF(0.5, 0.5, 12, 12), 2, 2);
  if (state == CheckState::On) {
    p.setPen(QPen(QColor(52, 86, 140), 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPolyline(QPolygonF({QPointF(3, 6.5), QPointF(5.5, 9), QPointF(10, 3.5)}));
  }
  return pm;
}

QPixmap DropButtonFace(ButtonState state) {
  QPixmap pm = ButtonFace(kDropButtonSize, QString(), state);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(Qt::NoPen);
  p.setBrush(state == ButtonState::Disabled ? QColor(235, 235, 235) : QColor(255, 255, 255));
  const qreal dy = state == ButtonState::Pressed ? 1 : 0;
  p.drawPolygon(QPolygonF({QPointF(5.5, 8 + dy), QPointF(14.5, 8 + dy), QPointF(10, 13.5 + dy)}));
  return pm;
}

QPixmap TrackBackground(const QSize& size) {
  QPixmap pm(size);
  pm.fill(QColor(236, 238, 242));
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  const bool horizontal = size.width() >= size.height();
  // The groove runs along the travel, 4 pixels thick, centred across.
  const QRectF groove = horizontal ? QRectF(5, size.height() / 2.0 - 2, size.width() - 10, 4)
                                   : QRectF(size.width() / 2.0 - 2, 5, 4, size.height() - 10);
  p.setPen(QColor(150, 156, 168));
  p.setBrush(QColor(205, 209, 216));
  p.drawRoundedRect(groove, 2, 2);
  return pm;
}

QColor TrackFill() { return QColor(52, 86, 140); }

QPixmap TrackThumb(bool horizontal) {
  QPixmap pm(horizontal ? QSize(9, 15) : QSize(15, 9));
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient g(0, 0, horizontal ? 9 : 0, horizontal ? 0 : 9);
  g.setColorAt(0, QColor(120, 152, 204));
  g.setColorAt(1, QColor(52, 86, 140));
  p.setBrush(g);
  p.setPen(QColor(30, 58, 104));
  p.drawRoundedRect(QRectF(0.5, 0.5, pm.width() - 1, pm.height() - 1), 2, 2);
  return pm;
}

}  // namespace skin
