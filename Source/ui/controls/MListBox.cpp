#include "controls/MListBox.h"

#include <QFontMetrics>
#include <QKeyEvent>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QWheelEvent>

#include "controls/Skin.h"

namespace {

inline const QColor kDisabledBackground(212, 208, 199);
inline const QColor kNoteText(125, 122, 112);  // the toolkit's disabled text

// Every row has the list's one height.
class FixedRowDelegate : public QStyledItemDelegate {
 public:
  FixedRowDelegate(int height, QObject* parent) : QStyledItemDelegate(parent), height_(height) {}
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    return QSize(QStyledItemDelegate::sizeHint(option, index).width(), height_);
  }

 private:
  int height_;
};

ListKey KeyOf(int key) {
  switch (key) {
    case Qt::Key_PageUp: return ListKey::PageUp;
    case Qt::Key_PageDown: return ListKey::PageDown;
    case Qt::Key_Up: return ListKey::Up;
    case Qt::Key_Down: return ListKey::Down;
    case Qt::Key_Left: return ListKey::Left;
    case Qt::Key_Right: return ListKey::Right;
    default: return ListKey::Other;
  }
}

}  // namespace

MListBox::MListBox(QWidget* parent, int id)
    : QListWidget(parent), id_(id), itemHeight_(QFontMetrics(skin::PlainFont()).height() + 2) {
  setFont(skin::PlainFont());
  setItemDelegate(new FixedRowDelegate(itemHeight_, this));
  setUniformItemSizes(true);
  setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setFrameShape(QFrame::Box);
  setAutoFillBackground(true);
  ApplyColors();
  // Adding, deleting or clearing rows puts the scroll bar in step at once,
  // not at the view's next layout.
  for (auto changed : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved}) {
    connect(model(), changed, this, [this] { KeepScrollInStep(); });
  }
  connect(model(), &QAbstractItemModel::modelReset, this, [this] { KeepScrollInStep(); });
}

MListBox::~MListBox() {
  // The base class clears its rows after this object is gone: no more scroll
  // updates from the model.
  disconnect(model(), nullptr, this, nullptr);
}

void MListBox::AddString(const QString& text) { addItem(text); }

void MListBox::AddNote(const QString& text) {
  auto* note = new QListWidgetItem(text);
  note->setFlags(Qt::NoItemFlags);
  note->setForeground(kNoteText);
  addItem(note);
}

bool MListBox::IsChoosable(int row) const {
  const QListWidgetItem* it = item(row);
  return it != nullptr && it->flags().testFlag(Qt::ItemIsEnabled);
}

void MListBox::DeleteFirst() {
  if (count() > 0) delete takeItem(0);
}

void MListBox::RemoveAll() { clear(); }

void MListBox::SetPageHeight(int height) {
  pageHeight_ = height;
  updateGeometries();
}

int MListBox::VisibleRows() const {
  return ListVisibleRows(pageHeight_ > 0 ? pageHeight_ : height() + 18, itemHeight_);
}

void MListBox::SetColors(const QColor& text, const QColor& background) {
  text_ = text;
  background_ = background;
  ApplyColors();
}

void MListBox::ApplyColors() {
  QPalette pal = palette();
  const QColor base = isEnabled() ? background_ : kDisabledBackground;
  for (QPalette::ColorGroup g : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
    pal.setColor(g, QPalette::Base, base);
    pal.setColor(g, QPalette::Window, base);
    pal.setColor(g, QPalette::Text, text_);
  }
  setPalette(pal);
  // A disabled list hides its scroll bar.
  setVerticalScrollBarPolicy(isEnabled() ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
}

void MListBox::changeEvent(QEvent* e) {
  if (e->type() == QEvent::EnabledChange) ApplyColors();
  QListWidget::changeEvent(e);
}

void MListBox::keyPressEvent(QKeyEvent* e) {
  if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) {
    if (IsChoosable(currentRow())) emit chosen(id_, currentRow());
    e->accept();
    return;
  }
  const ListKey key = KeyOf(e->key());
  if (key == ListKey::Other) {
    // Escape and the rest belong to the owner (the combo closes on Escape).
    e->ignore();
    return;
  }
  e->accept();
  const int target = ListKeyTarget(key, currentRow(), count(), VisibleRows());
  if (target < 0 || target == currentRow()) return;
  setCurrentRow(target);
  scrollToItem(item(target));
}

void MListBox::wheelEvent(QWheelEvent* e) {
  e->accept();
  wheelRest_ += e->angleDelta().y();
  const int lines = ListWheelLines(wheelRest_);
  wheelRest_ %= 120;
  if (lines != 0) verticalScrollBar()->setValue(verticalScrollBar()->value() - lines);
}

void MListBox::mouseReleaseEvent(QMouseEvent* e) {
  QListWidget::mouseReleaseEvent(e);
  QListWidgetItem* hit = itemAt(e->position().toPoint());
  if (e->button() == Qt::LeftButton && hit && IsChoosable(row(hit))) emit chosen(id_, row(hit));
}

void MListBox::updateGeometries() {
  QListWidget::updateGeometries();
  KeepScrollInStep();
}

void MListBox::KeepScrollInStep() {
  const ListScroll s = ScrollRange();
  QScrollBar* bar = verticalScrollBar();
  // Qt's bar counts first rows: the last page starts at count - page.
  bar->setRange(0, s.LastTop());
  bar->setPageStep(s.page);
  bar->setSingleStep(1);
}
