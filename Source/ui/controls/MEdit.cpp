#include "controls/MEdit.h"

#include "controls/Skin.h"

MEdit::MEdit(QWidget* parent, int id, const QRect& rect, const QColor& background, const QColor& text)
    : QLineEdit(parent), id_(id) {
  setGeometry(rect);
  setFont(skin::PlainFont());
  SetColors(text, background);
  connect(this, &QLineEdit::textEdited, this, [this] { emit edited(id_); });
}

QString MEdit::GetText(const QString& fallback) const {
  const QString t = text();
  return t.isEmpty() ? fallback : t;
}

void MEdit::SetColors(const QColor& text, const QColor& background) {
  QPalette pal = palette();
  for (QPalette::ColorGroup g : {QPalette::Active, QPalette::Inactive}) {
    pal.setColor(g, QPalette::Text, text);
    pal.setColor(g, QPalette::Base, background);
  }
  setPalette(pal);
}
