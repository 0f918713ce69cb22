#include "controls/FitText.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QFontMetrics>
#include <QLabel>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>

namespace fit {

namespace {

int SizeOf(const QFont& f) { return f.pixelSize() > 0 ? f.pixelSize() : qRound(f.pointSizeF()); }

QFont Sized(QFont f, int size, bool pixels) {
  if (pixels) {
    f.setPixelSize(size);
  } else {
    f.setPointSize(size);
  }
  return f;
}

}  // namespace

int TextWidth(const QFont& font, const QString& text) {
  const QFontMetrics metrics(font);
  int widest = 0;
  for (const QString& line : text.split(QLatin1Char('\n'))) widest = qMax(widest, metrics.horizontalAdvance(line));
  return widest;
}

QFont FittingFont(const QFont& designed, const QString& text, int width) {
  if (text.isEmpty() || TextWidth(designed, text) <= width) return designed;
  const bool pixels = designed.pixelSize() > 0;
  QFont f = designed;
  for (int size = SizeOf(designed) - 1; size >= kMinPixelSize; --size) {
    f = Sized(designed, size, pixels);
    if (TextWidth(f, text) <= width) return f;
  }
  return f;
}

bool WrappedFits(const QFont& font, const QString& text, const QSize& area) {
  const QRect bounds = QFontMetrics(font).boundingRect(QRect(0, 0, area.width(), 1 << 20),
                                                       Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, text);
  return bounds.width() <= area.width() && bounds.height() <= area.height();
}

QFont FittingWrappedFont(const QFont& designed, const QString& text, const QSize& area) {
  if (text.isEmpty() || WrappedFits(designed, text, area)) return designed;
  const bool pixels = designed.pixelSize() > 0;
  QFont f = designed;
  for (int size = SizeOf(designed) - 1; size >= kMinPixelSize; --size) {
    f = Sized(designed, size, pixels);
    if (WrappedFits(f, text, area)) return f;
  }
  return f;
}

int CaptionWidth(const QWidget* widget, const QString& text) {
  if (auto* box = qobject_cast<const QCheckBox*>(widget)) {
    QStyleOptionButton opt;
    opt.initFrom(box);
    opt.text = text;
    return box->style()->subElementRect(QStyle::SE_CheckBoxContents, &opt, box).width();
  }
  if (auto* radio = qobject_cast<const QRadioButton*>(widget)) {
    QStyleOptionButton opt;
    opt.initFrom(radio);
    opt.text = text;
    return radio->style()->subElementRect(QStyle::SE_RadioButtonContents, &opt, radio).width();
  }
  if (auto* label = qobject_cast<const QLabel*>(widget)) {
    return label->contentsRect().width() - 2 * label->margin() - qMax(label->indent(), 0);
  }
  return widget->width() - 2 * kFaceBorder;
}

void FitCaption(QWidget* widget, const QFont& designed, const QString& text) {
  SetFittedFont(widget, designed, FittingFont(designed, text, CaptionWidth(widget, text)));
}

void SetFittedFont(QWidget* widget, const QFont& designed, const QFont& fitted) {
  widget->setProperty(kDesignedSizeProperty, SizeOf(designed));
  widget->setFont(fitted);
}

}  // namespace fit
