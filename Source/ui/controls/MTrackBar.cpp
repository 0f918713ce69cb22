#include "controls/MTrackBar.h"

#include <QMouseEvent>
#include <QPainter>

#include "controls/Skin.h"

MTrackBar::MTrackBar(QWidget* parent, int id, int x, int y, const QPixmap& background)
    : QWidget(parent), id_(id), background_(background),
      horizontal_(background.width() >= background.height()) {
  setGeometry(x, y, background.width(), background.height());
  setFocusPolicy(Qt::TabFocus);
}

MTrackBar* MTrackBar::Drawn(QWidget* parent, int id, int x, int y, const QSize& size) {
  return new MTrackBar(parent, id, x, y, skin::TrackBackground(size));
}

void MTrackBar::SetRange(int maximum, int pixelsPerStep) {
  range_.minimum = 0;
  range_.maximum = maximum;
  range_.pixelsPerStep = pixelsPerStep;
  SetPos(value_);
}

void MTrackBar::SetPos(int value) {
  const int clamped = std::clamp(value, range_.minimum, std::max(range_.minimum, range_.maximum));
  if (clamped == value_) return;
  value_ = clamped;
  update();
}

void MTrackBar::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.drawPixmap(0, 0, background_);
  const int thumb = ThumbPixel();
  // The filled part of the channel runs from the start of the travel to
  // the thumb.
  const QRect filled = horizontal_ ? QRect(kTrackMargin, height() / 2 - 2, thumb - kTrackMargin, 4)
                                   : QRect(width() / 2 - 2, kTrackMargin, 4, thumb - kTrackMargin);
  if (filled.width() > 0 && filled.height() > 0) p.fillRect(filled, skin::TrackFill());
  const QPixmap knob = skin::TrackThumb(horizontal_);
  const QPoint at = horizontal_ ? QPoint(thumb - knob.width() / 2, (height() - knob.height()) / 2)
                                : QPoint((width() - knob.width()) / 2, thumb - knob.height() / 2);
  p.drawPixmap(at, knob);
}

void MTrackBar::SetFromPointer(const QPointF& at) {
  const int p = static_cast<int>(horizontal_ ? at.x() : at.y());
  SetPos(TrackValueAt(range_, p));
}

void MTrackBar::mousePressEvent(QMouseEvent* e) {
  if (e->button() != Qt::LeftButton) return QWidget::mousePressEvent(e);
  e->accept();
  dragging_ = true;
  SetFromPointer(e->position());
}

void MTrackBar::mouseMoveEvent(QMouseEvent* e) {
  if (!dragging_) return QWidget::mouseMoveEvent(e);
  e->accept();
  SetFromPointer(e->position());
}

void MTrackBar::mouseReleaseEvent(QMouseEvent* e) {
  if (e->button() != Qt::LeftButton || !dragging_) return QWidget::mouseReleaseEvent(e);
  e->accept();
  dragging_ = false;
  emit released(id_, value_);
}
