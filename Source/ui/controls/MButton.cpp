#include "controls/MButton.h"

#include <QPainter>

#include "controls/Skin.h"

MButton::MButton(QWidget* parent, int id, int x, int y, const QPixmap& normal,
                 const QPixmap& pressed, const QPixmap& hover, const QPixmap& disabled)
    : QAbstractButton(parent), id_(id), normal_(normal), pressed_(pressed), hover_face_(hover),
      disabled_(disabled) {
  setGeometry(x, y, normal.width(), normal.height());
  setFocusPolicy(Qt::TabFocus);
  setAttribute(Qt::WA_Hover);
}

MButton* MButton::Labelled(QWidget* parent, int id, int x, int y, QSize size,
                           const QString& label) {
  using skin::ButtonState;
  return new MButton(parent, id, x, y, skin::ButtonFace(size, label, ButtonState::Normal),
                     skin::ButtonFace(size, label, ButtonState::Pressed),
                     skin::ButtonFace(size, label, ButtonState::Hover),
                     skin::ButtonFace(size, label, ButtonState::Disabled));
}

void MButton::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const QPixmap* face = &normal_;
  if (!isEnabled() && !disabled_.isNull()) face = &disabled_;
  else if (isDown()) face = &pressed_;
  else if (hover_) face = &hover_face_;
  p.drawPixmap(0, 0, *face);
}

void MButton::enterEvent(QEnterEvent*) {
  hover_ = true;
  update();
}

void MButton::leaveEvent(QEvent*) {
  hover_ = false;
  update();
}
