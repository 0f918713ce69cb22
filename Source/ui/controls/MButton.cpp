#include "controls/MButton.h"

#include <QMouseEvent>
#include <QPainter>

#include "controls/FitText.h"
#include "controls/Skin.h"

MButton::MButton(QWidget* parent, int id, int x, int y, const QPixmap& normal,
                 const QPixmap& pressed, const QPixmap& hover, const QPixmap& disabled)
    : QAbstractButton(parent), id_(id), hold_(new HoldTimer(this)), normal_(normal),
      pressed_(pressed), hover_face_(hover), disabled_(disabled) {
  setObjectName(QString::number(id));
  setGeometry(x, y, normal.width(), normal.height());
  setFocusPolicy(Qt::TabFocus);
  setAttribute(Qt::WA_Hover);
  // Keyboard clicks and click() come through clicked() as well.
  connect(this, &QAbstractButton::clicked, this, [this] { emit commanded(id_); });
  connect(hold_, &HoldTimer::repeat, this, &MButton::OnRepeat);
}

MButton* MButton::Labelled(QWidget* parent, int id, int x, int y, QSize size,
                           const QString& label) {
  using skin::ButtonState;
  auto* b = new MButton(parent, id, x, y, skin::ButtonFace(size, label, ButtonState::Normal),
                        skin::ButtonFace(size, label, ButtonState::Pressed),
                        skin::ButtonFace(size, label, ButtonState::Hover),
                        skin::ButtonFace(size, label, ButtonState::Disabled));
  // The caption and the font its faces show it in, for accessibility and
  // for checks of the layout.
  b->setText(label);
  fit::SetFittedFont(b, skin::BoldFont(), skin::ButtonFont(size, label));
  return b;
}

void MButton::SetRepeat(int ms, int message) {
  hold_->SetInterval(ms);
  repeatMessage_ = message;
}

void MButton::SetBackground(const QColor& colour) {
  background_ = colour;
  update();
}

void MButton::SetTransparent(bool on, const QColor& colour) {
  transparent_ = on;
  transparentColour_ = colour;
  update();
}

void MButton::paintEvent(QPaintEvent*) {
  QPainter p(this);
  if (background_.isValid()) p.fillRect(rect(), background_);
  // Disabled wins, then pressed, then hover; a disabled button without a
  // disabled face shows only its background.
  const QPixmap* face = &normal_;
  if (!isEnabled()) face = &disabled_;
  else if (isDown()) face = &pressed_;
  else if (hover_) face = &hover_face_;
  if (face->isNull()) return;
  if (!transparent_) {
    p.drawPixmap(0, 0, *face);
    return;
  }
  QPixmap keyed = *face;
  keyed.setMask(keyed.createMaskFromColor(transparentColour_, Qt::MaskInColor));
  p.drawPixmap(0, 0, keyed);
}

void MButton::enterEvent(QEnterEvent*) {
  hover_ = true;
  update();
}

void MButton::leaveEvent(QEvent*) {
  hover_ = false;
  CancelPress();
  update();
}

void MButton::mousePressEvent(QMouseEvent* e) {
  if (e->button() != Qt::LeftButton) return QAbstractButton::mousePressEvent(e);
  e->accept();
  mousePressed_ = true;
  setDown(true);
  hold_->Press();
}

void MButton::mouseMoveEvent(QMouseEvent* e) {
  e->accept();
  // The pressed button follows the pointer only while it stays on it.
  if (mousePressed_ && !rect().contains(e->position().toPoint())) {
    hover_ = false;
    CancelPress();
  }
}

void MButton::mouseReleaseEvent(QMouseEvent* e) {
  if (e->button() != Qt::LeftButton) return QAbstractButton::mouseReleaseEvent(e);
  e->accept();
  if (!mousePressed_) return;
  mousePressed_ = false;
  setDown(false);
  const bool repeated = hold_->Release();
  if (!repeated && rect().contains(e->position().toPoint())) emit clicked(false);
}

void MButton::changeEvent(QEvent* e) {
  if (e->type() == QEvent::EnabledChange && !isEnabled()) CancelPress();
  QAbstractButton::changeEvent(e);
}

void MButton::CancelPress() {
  hold_->Leave();
  if (mousePressed_ || isDown()) {
    mousePressed_ = false;
    setDown(false);
  }
}

void MButton::OnRepeat() {
  if (repeatMessage_ != 0) {
    emit repeated(id_, repeatMessage_);
  } else {
    emit clicked(false);
  }
}
