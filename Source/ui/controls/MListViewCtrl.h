// A skinned report list: columns with headers, grid lines, whole rows
// selected, pale green rows with black text (grey when disabled). It takes
// no keys; the wheel scrolls three rows per notch.
#pragma once

#include <QTableWidget>

class MListViewCtrl : public QTableWidget {
  Q_OBJECT
 public:
  MListViewCtrl(QWidget* parent, int id, const QRect& rect);

  int id() const { return id_; }
  void InsertColumn(int column, const QString& title, int width);
  // Inserts a row at |index| (clamped to the rows there are) with |text| in
  // the first column; returns the row.
  int InsertItem(int index, const QString& text);
  void SetItemText(int row, int column, const QString& text);
  QString ItemText(int row, int column) const;
  void DeleteAllItems() { setRowCount(0); }

 signals:
  // A row was clicked (its index).
  void chosen(int id, int row);

 protected:
  void keyPressEvent(QKeyEvent*) override;
  void wheelEvent(QWheelEvent*) override;

 private:
  int id_;
  int wheelRest_ = 0;
};
