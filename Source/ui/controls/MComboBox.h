// The skinned combo box: closed, a 21-pixel strip with the chosen text and
// a drop button at the right; open, the full rectangle given at creation
// with its MListBox under the strip. Clicking the strip toggles it.
// Notices: opened(id) before it grows, closed(id) after it shrinks, and on
// a choice closed(id) then chosen(id, index). While open, its list keeps the
// keys it answers (Escape closes, Enter chooses): OpenAround tells the
// program's own key handling to leave them.
#pragma once

#include <QColor>
#include <QWidget>

#include "controls/MListBox.h"

class MComboBox : public QWidget {
  Q_OBJECT
 public:
  static constexpr int kClosedHeight = 21;

  // |openRect| is the box when open (in the parent's coordinates); closed, it
  // keeps its top, left and width at 21 pixels high.
  MComboBox(QWidget* parent, int id, const QRect& openRect, const QColor& background, const QColor& text);
  ~MComboBox() override;

  // The open combo box that holds |w| (or is it), null for none.
  static MComboBox* OpenAround(const QWidget* w);

  // Open, the box is only as high as its rows need (at least one row, at
  // most the open rectangle), and follows rows added or removed while open.
  void SetFitToRows(bool on) { fitToRows_ = on; }
  // The height of the open box now.
  int OpenHeight() const;

  int id() const { return id_; }
  MListBox* List() const { return list_; }
  void AddString(const QString& text) { list_->AddString(text); }
  void RemoveAll();
  int Count() const { return list_->count(); }
  // The chosen row, -1 for none; setting it sends no notice.
  void SetCurSel(int index);
  int CurSel() const { return current_; }
  QString Text() const { return text_; }

  bool IsOpen() const { return open_; }
  void Open();
  void Close();
  void Toggle() { open_ ? Close() : Open(); }

 signals:
  void opened(int id);
  void closed(int id);
  void chosen(int id, int index);

 protected:
  void paintEvent(QPaintEvent*) override;
  void mousePressEvent(QMouseEvent*) override;
  void mouseMoveEvent(QMouseEvent*) override;
  void leaveEvent(QEvent*) override;
  void keyPressEvent(QKeyEvent*) override;
  void changeEvent(QEvent*) override;
  bool eventFilter(QObject* watched, QEvent* e) override;

 private:
  void OnChosen(int index);
  // Sizes the open box and its list.
  void PlaceOpen();
  QRect DropButtonRect() const { return QRect(width() - 20, 0, 20, kClosedHeight); }

  int id_;
  QRect openRect_;
  QColor background_, textColour_;
  MListBox* list_;
  bool open_ = false;
  bool fitToRows_ = false;
  bool hoverButton_ = false;
  int current_ = -1;
  QString text_;
};
