#include "controls/MListViewCtrl.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QScrollBar>
#include <QWheelEvent>
#include <algorithm>

#include "controls/ControlMath.h"
#include "controls/Skin.h"

MListViewCtrl::MListViewCtrl(QWidget* parent, int id, const QRect& rect) : QTableWidget(parent), id_(id) {
  setGeometry(rect);
  setFont(skin::PlainFont());
  setShowGrid(true);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
  setWordWrap(false);
  verticalHeader()->hide();
  verticalHeader()->setDefaultSectionSize(QFontMetrics(skin::PlainFont()).height() + 4);
  horizontalHeader()->setHighlightSections(false);
  horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  QPalette pal = palette();
  for (QPalette::ColorGroup g : {QPalette::Active, QPalette::Inactive}) {
    pal.setColor(g, QPalette::Base, QColor(218, 233, 183));
    pal.setColor(g, QPalette::Text, QColor(0, 0, 0));
  }
  pal.setColor(QPalette::Disabled, QPalette::Base, QColor(212, 208, 199));
  pal.setColor(QPalette::Disabled, QPalette::Text, QColor(125, 122, 112));
  setPalette(pal);
  connect(this, &QTableWidget::cellClicked, this, [this](int row, int) { emit chosen(id_, row); });
}

void MListViewCtrl::InsertColumn(int column, const QString& title, int width) {
  column = std::clamp(column, 0, columnCount());
  insertColumn(column);
  setHorizontalHeaderItem(column, new QTableWidgetItem(title));
  setColumnWidth(column, width);
}

int MListViewCtrl::InsertItem(int index, const QString& text) {
  if (columnCount() == 0) setColumnCount(1);
  const int row = std::clamp(index, 0, rowCount());
  insertRow(row);
  setItem(row, 0, new QTableWidgetItem(text));
  return row;
}

void MListViewCtrl::SetItemText(int row, int column, const QString& text) {
  if (row < 0 || row >= rowCount() || column < 0 || column >= columnCount()) return;
  if (QTableWidgetItem* it = item(row, column)) {
    it->setText(text);
  } else {
    setItem(row, column, new QTableWidgetItem(text));
  }
}

QString MListViewCtrl::ItemText(int row, int column) const {
  const QTableWidgetItem* it = item(row, column);
  return it ? it->text() : QString();
}

void MListViewCtrl::keyPressEvent(QKeyEvent* e) { e->ignore(); }

void MListViewCtrl::wheelEvent(QWheelEvent* e) {
  e->accept();
  wheelRest_ += e->angleDelta().y();
  const int lines = ListWheelLines(wheelRest_);
  wheelRest_ %= 120;
  if (lines != 0) verticalScrollBar()->setValue(verticalScrollBar()->value() - lines);
}
