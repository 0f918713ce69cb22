#include "controls/MCheckBox.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include "base/base.h"
#include "controls/FitText.h"
#include "controls/Skin.h"

MCheckBox::MCheckBox(QWidget* parent, int id, int x, int y, const QPixmap& off, const QPixmap& on)
    : QAbstractButton(parent), id_(id), off_(off), onFace_(on) {
  setObjectName(QString::number(id));
  setGeometry(x, y, off.width(), off.height());
  setFocusPolicy(Qt::TabFocus);
  connect(this, &QAbstractButton::clicked, this, [this] { emit commanded(id_); });
}

MCheckBox::MCheckBox(const QString& label, QWidget* parent, int id, const QRect& rect,
                     const QColor& background, const QPixmap& off, const QPixmap& on,
                     const QPixmap& disabled)
    : QAbstractButton(parent), id_(id), label_(label), background_(background), off_(off),
      onFace_(on), disabled_(disabled) {
  setObjectName(QString::number(id));
  setGeometry(rect);
  // A label too wide for the box in the installed font steps down in size.
  fit::SetFittedFont(this, skin::PlainFont(), fit::FittingFont(skin::PlainFont(), label, rect.width() - 15));
  setFocusPolicy(Qt::TabFocus);
  connect(this, &QAbstractButton::clicked, this, [this] { emit commanded(id_); });
}

MCheckBox* MCheckBox::Drawn(const QString& label, QWidget* parent, int id, const QRect& rect,
                            const QColor& background) {
  using skin::CheckState;
  return new MCheckBox(label, parent, id, rect, background, skin::CheckFace(CheckState::Off),
                       skin::CheckFace(CheckState::On), skin::CheckFace(CheckState::Disabled));
}

void MCheckBox::SetCheck(bool on) {
  on_ = on;
  update();
}

void MCheckBox::paintEvent(QPaintEvent*) {
  QPainter p(this);
  if (background_.isValid()) p.fillRect(rect(), background_);
  const QPixmap& face = !isEnabled() ? disabled_ : on_ ? onFace_ : off_;
  // The face sits at the left, centred on the label's line.
  if (!face.isNull()) p.drawPixmap(0, label_.isEmpty() ? 0 : (height() - face.height()) / 2, face);
  if (label_.isEmpty()) return;
  p.setPen(QColor(0, 0, 0));
  p.setFont(font());
  p.drawText(QRect(15, 0, width() - 15, height()), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
             label_);
}

void MCheckBox::mouseReleaseEvent(QMouseEvent* e) {
  if (Busy() && e->button() == Qt::LeftButton) {
    LogMessage("%s:%d busy (%d)\r\n", LOGPOS, id_);
    setDown(false);
    e->accept();
    return;
  }
  QAbstractButton::mouseReleaseEvent(e);
}

void MCheckBox::keyReleaseEvent(QKeyEvent* e) {
  if (Busy() && isDown()) {
    LogMessage("%s:%d busy (%d)\r\n", LOGPOS, id_);
    setDown(false);
    e->accept();
    return;
  }
  QAbstractButton::keyReleaseEvent(e);
}

void MCheckBox::timerEvent(QTimerEvent* e) {
  if (!busy_.OnTimer(this, e)) QAbstractButton::timerEvent(e);
}

// --- MCheckBoxGroup --------------------------------------------------------

MCheckBoxGroup::~MCheckBoxGroup() {
  for (const QPointer<MCheckBox>& box : boxes_) delete box.data();
}

void MCheckBoxGroup::Add(MCheckBox* box) {
  if (box) boxes_.emplace_back(box);
}

void MCheckBoxGroup::Select(int id) {
  for (const QPointer<MCheckBox>& box : boxes_) {
    if (box) box->SetCheck(box->id() == id);
  }
}

int MCheckBoxGroup::Selected() const {
  for (const QPointer<MCheckBox>& box : boxes_) {
    if (box && box->Check()) return box->id();
  }
  return -1;
}

void MCheckBoxGroup::EnableAll(bool on) {
  for (const QPointer<MCheckBox>& box : boxes_) {
    if (box) box->setEnabled(on);
  }
}
