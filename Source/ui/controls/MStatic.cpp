#include "controls/MStatic.h"

#include "controls/Skin.h"

MStatic::MStatic(QWidget* parent, int id, const QRect& rect, const QColor& background,
                 const QColor& text, const QFont& font)
    : QLabel(parent), id_(id) {
  setGeometry(rect);
  // A default-constructed font means the program's plain font.
  setFont(font == QFont() ? skin::PlainFont() : font);
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
