#include "controls/MComboBox.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

#include "controls/Skin.h"

namespace {
inline const QColor kDisabledBackground(212, 208, 199);
}

MComboBox::MComboBox(QWidget* parent, int id, const QRect& openRect, const QColor& background,
                     const QColor& text)
    : QWidget(parent), id_(id), openRect_(openRect), background_(background), textColour_(text),
      list_(new MListBox(this, id)) {
  setGeometry(openRect.x(), openRect.y(), openRect.width(), kClosedHeight);
  setFont(skin::PlainFont());
  setFocusPolicy(Qt::StrongFocus);
  setMouseTracking(true);
  // The list fills the open box under the strip, 3 pixels short of the
  // right and bottom edges.
  list_->setGeometry(0, 18, openRect.width() - 3, openRect.height() - 21);
  list_->SetPageHeight(openRect.height());
  list_->SetColors(text, background);
  list_->hide();
  list_->installEventFilter(this);
  connect(list_, &MListBox::chosen, this, [this](int, int index) { OnChosen(index); });
  // Rows added or removed while open (a search filling the list) resize it.
  auto refit = [this] {
    if (open_ && fitToRows_) PlaceOpen();
  };
  for (auto changed : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved}) {
    connect(list_->model(), changed, this, refit);
  }
  connect(list_->model(), &QAbstractItemModel::modelReset, this, refit);
}

MComboBox::~MComboBox() {
  // The list clears its rows after this object is gone.
  disconnect(list_->model(), nullptr, this, nullptr);
}

MComboBox* MComboBox::OpenAround(const QWidget* w) {
  for (; w != nullptr; w = w->parentWidget()) {
    auto* combo = qobject_cast<MComboBox*>(const_cast<QWidget*>(w));
    if (combo != nullptr && combo->IsOpen()) return combo;
  }
  return nullptr;
}

int MComboBox::OpenHeight() const {
  if (!fitToRows_) return openRect_.height();
  // The list's frame is a pixel on each side and it ends 3 pixels above the
  // box's bottom: the strip's 21 pixels and the frame's 2 add to the rows.
  const int rows = std::max(1, list_->count());
  return std::min(openRect_.height(), kClosedHeight + 2 + rows * list_->ItemHeight());
}

void MComboBox::PlaceOpen() {
  const int height = OpenHeight();
  setGeometry(x(), y(), width(), height);
  list_->setGeometry(0, 18, openRect_.width() - 3, height - 21);
  list_->SetPageHeight(height);
}

void MComboBox::RemoveAll() {
  list_->RemoveAll();
  current_ = -1;
  text_.clear();
  update();
}

void MComboBox::SetCurSel(int index) {
  if (index < 0 || index >= list_->count() || !list_->IsChoosable(index)) {
    current_ = -1;
    text_.clear();
  } else {
    current_ = index;
    text_ = list_->item(index)->text();
  }
  list_->setCurrentRow(current_);
  update();
}

void MComboBox::Open() {
  if (open_ || !isEnabled()) return;
  emit opened(id_);
  open_ = true;
  PlaceOpen();
  raise();
  list_->setCurrentRow(current_);
  list_->show();
  if (current_ >= 0) list_->scrollToItem(list_->item(current_));
  list_->setFocus(Qt::PopupFocusReason);
  update();
}

void MComboBox::Close() {
  if (!open_) return;
  open_ = false;
  const bool listHadFocus = list_->hasFocus();
  list_->hide();
  setGeometry(x(), y(), width(), kClosedHeight);
  if (listHadFocus) setFocus(Qt::PopupFocusReason);
  update();
  emit closed(id_);
}

void MComboBox::OnChosen(int index) {
  if (!list_->IsChoosable(index)) return;
  current_ = index;
  text_ = list_->item(index)->text();
  Close();
  emit chosen(id_, index);
}

void MComboBox::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const QColor bg = isEnabled() ? background_ : kDisabledBackground;
  p.fillRect(rect(), bg);
  p.setPen(QColor(150, 156, 168));
  p.setBrush(Qt::NoBrush);
  p.drawRect(rect().adjusted(0, 0, -1, -1));
  // The chosen text, single line and vertically centred, short of the
  // drop button.
  p.setPen(textColour_);
  p.setFont(font());
  const QRect textArea(4, 0, width() - 20 - 4, kClosedHeight);
  p.drawText(textArea, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
             p.fontMetrics().elidedText(text_, Qt::ElideRight, textArea.width()));
  using skin::ButtonState;
  const ButtonState state = !isEnabled() ? ButtonState::Disabled
                            : open_      ? ButtonState::Pressed
                            : hoverButton_ ? ButtonState::Hover
                                           : ButtonState::Normal;
  p.drawPixmap(DropButtonRect().topLeft(), skin::DropButtonFace(state));
}

void MComboBox::mousePressEvent(QMouseEvent* e) {
  if (e->button() != Qt::LeftButton || e->position().y() >= kClosedHeight) return QWidget::mousePressEvent(e);
  e->accept();
  Toggle();
}

void MComboBox::mouseMoveEvent(QMouseEvent* e) {
  const bool over = DropButtonRect().contains(e->position().toPoint());
  if (over != hoverButton_) {
    hoverButton_ = over;
    update();
  }
  QWidget::mouseMoveEvent(e);
}

void MComboBox::leaveEvent(QEvent*) {
  hoverButton_ = false;
  update();
}

void MComboBox::keyPressEvent(QKeyEvent* e) {
  if (open_ && e->key() == Qt::Key_Escape) {
    e->accept();
    Close();
    return;
  }
  if (!open_ && (e->key() == Qt::Key_F4 || (e->key() == Qt::Key_Down && (e->modifiers() & Qt::AltModifier)))) {
    e->accept();
    Open();
    return;
  }
  QWidget::keyPressEvent(e);
}

bool MComboBox::eventFilter(QObject* watched, QEvent* e) {
  if (watched == list_ && open_) {
    if (e->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(e)->key() == Qt::Key_Escape) {
      Close();
      return true;
    }
    // Focus moving elsewhere closes the list without a choice.
    if (e->type() == QEvent::FocusOut) {
      QWidget* now = QApplication::focusWidget();
      if (now && now != this && !isAncestorOf(now)) Close();
    }
  }
  return QWidget::eventFilter(watched, e);
}

void MComboBox::changeEvent(QEvent* e) {
  if (e->type() == QEvent::EnabledChange) {
    if (!isEnabled()) Close();
    update();
  }
  QWidget::changeEvent(e);
}
