#include "controls/MStatic.h"

#include <QEvent>

#include "controls/FitText.h"
#include "controls/Skin.h"

MStatic::MStatic(QWidget* parent, int id, const QRect& rect, const QColor& background,
                 const QColor& text, const QFont& font)
    : QLabel(parent), id_(id) {
  setObjectName(QString::number(id));
  setGeometry(rect);
  // A default-constructed font means the program's plain font.
  designed_ = font == QFont() ? skin::PlainFont() : font;
  Refit();
  setAutoFillBackground(true);
  SetColors(text, background);
}

void MStatic::SetColors(const QColor& text, const QColor& background) {
  text_ = text;
  background_ = background;
  QPalette pal = palette();
  for (QPalette::ColorGroup g : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
    pal.setColor(g, QPalette::WindowText, text);
    pal.setColor(g, QPalette::Window, background);
  }
  setPalette(pal);
  setAutoFillBackground(background.isValid() && background.alpha() > 0);
}

void MStatic::setText(const QString& text) {
  QLabel::setText(text);
  Refit();
}

void MStatic::Refit() {
  fitting_ = true;
  fittedText_ = text();
  fittedWidth_ = width();
  // A label not placed yet keeps its designed font.
  fitted_ = fittedWidth_ <= 0 ? designed_
                              : fit::FittingFont(designed_, fittedText_, fit::CaptionWidth(this, fittedText_));
  fit::SetFittedFont(this, designed_, fitted_);
  fitting_ = false;
}

void MStatic::resizeEvent(QResizeEvent* e) {
  QLabel::resizeEvent(e);
  Refit();
}

void MStatic::changeEvent(QEvent* e) {
  // A font that is not the fitted one came from the label's owner (or its
  // style sheet): it is the size to fit from now on.
  if (e->type() == QEvent::FontChange && !fitting_ && font() != fitted_) {
    designed_ = font();
    Refit();
  }
  QLabel::changeEvent(e);
}

void MStatic::paintEvent(QPaintEvent* e) {
  if (text() != fittedText_ || width() != fittedWidth_) Refit();
  QLabel::paintEvent(e);
}
