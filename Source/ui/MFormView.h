// The main form: the grid of X x Y camera panes with a title strip above each
// pane, the once-a-second tick of every pane, the current pane, and the
// process-wide start-up of the camera link and the automatic sign-in of panes
// with a stored password.
#pragma once

#include <QBasicTimer>
#include <QLabel>
#include <QWidget>
#include <thread>
#include <vector>

class MViewer;

class MFormView : public QWidget {
  Q_OBJECT
 public:
  // Cell size at start-up.
  static constexpr int kCellWidth = 320;
  static constexpr int kCellHeight = 240;
  static constexpr int kMaxPanes = 16;

  // |columns| x |rows| panes; a layout of more than 16 panes becomes 4 x 4.
  // |instance| numbers the panes' settings keys.
  MFormView(QWidget* parent, int columns, int rows, int instance);
  ~MFormView() override;

  int Columns() const { return columns_; }
  int Rows() const { return rows_; }
  int PaneCount() const { return static_cast<int>(panes_.size()); }
  MViewer* Pane(int i) const { return panes_[static_cast<std::size_t>(i)]; }
  MViewer* CurrentPane() const { return Pane(current_); }
  QRect CellRect(int index) const;
  // The client size the grid needs.
  QSize FormSize() const;
  // Pauses or resumes the pictures of every pane (the window was minimised).
  void SetVideoPaused(bool paused);

 protected:
  bool event(QEvent*) override;
  void timerEvent(QTimerEvent*) override;
  void paintEvent(QPaintEvent*) override;

 private:
  void SelectPane(int index);
  void RefreshTitle(int index);
  void AutoSignInThread();

  int columns_;
  int rows_;
  int current_ = 0;
  std::vector<MViewer*> panes_;
  std::vector<QLabel*> titles_;
  QBasicTimer tick_;  // timer 2002
  int tickStart_ = 0;
  std::thread autoSignIn_;
};
