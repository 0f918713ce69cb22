// The drop-down list of the skinned combo box: rows of one fixed height,
// moved by keys a page (the visible rows) or a row at a time, scrolled three
// rows per wheel notch. Its scroll bar always spans the rows with a page of
// the visible rows (ControlMath's ListScrollRange). A note row tells
// something about the list (a search running, nothing found) in grey and
// cannot be chosen.
#pragma once

#include <QColor>
#include <QListWidget>

#include "controls/ControlMath.h"

class MListBox : public QListWidget {
  Q_OBJECT
 public:
  explicit MListBox(QWidget* parent, int id = 0);
  ~MListBox() override;

  int id() const { return id_; }
  void AddString(const QString& text);
  // A row that only tells something: grey, never chosen.
  void AddNote(const QString& text);
  bool IsChoosable(int row) const;
  void DeleteFirst();
  void RemoveAll();

  // The height the visible rows are counted from (the open combo box's);
  // 0 = the list's own height plus the closed box's 18 pixels.
  void SetPageHeight(int height);
  int ItemHeight() const { return itemHeight_; }
  int VisibleRows() const;
  ListScroll ScrollRange() const { return ListScrollRange(count(), VisibleRows()); }
  void SetColors(const QColor& text, const QColor& background);

 signals:
  // A row was chosen: clicked, or Enter pressed on it.
  void chosen(int id, int index);

 protected:
  void keyPressEvent(QKeyEvent*) override;
  void wheelEvent(QWheelEvent*) override;
  void mouseReleaseEvent(QMouseEvent*) override;
  void updateGeometries() override;
  void changeEvent(QEvent*) override;

 private:
  void ApplyColors();
  void KeepScrollInStep();

  int id_;
  int itemHeight_;
  int pageHeight_ = 0;
  int wheelRest_ = 0;  // eighths of a degree short of a notch
  QColor text_{0, 0, 0};
  QColor background_{255, 255, 255};
};
