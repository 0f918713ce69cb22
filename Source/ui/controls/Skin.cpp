#include "controls/Skin.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

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
  p.setFont(BoldFont());
  p.drawText(QRect(QPoint(0, state == ButtonState::Pressed ? 1 : 0), size), Qt::AlignCenter, label);
  return pm;
}

}  // namespace skin
