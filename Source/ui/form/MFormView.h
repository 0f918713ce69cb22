// The main form: the grid of X x Y camera panes with a title strip above each
// pane, the side panel acting on the current pane, the skinned title bar, the
// once-a-second tick of every pane, and the process-wide start-up: camera
// link, video framework, sound, automatic sign-in of panes with a stored
// password, disk space manager and LAN search.
#pragma once

#include <QBasicTimer>
#include <QPointer>
#include <QWidget>
#include <chrono>
#include <memory>
#include <vector>

#include "form/FormAudio.h"
#include "form/FormGeometry.h"
#include "form/FormStartUp.h"
#include "form/StatusStrip.h"

class MButton;
class MInfoBox;
class MViewer;
class SidePanel;

// Messages of the form besides the panes' 1025 to 1028.
inline constexpr unsigned WM_LOAD_CAMERA_LIST = 1186;
// Title-bar buttons.
inline constexpr int kIdMinimiseButton = 2551;
inline constexpr int kIdCloseButton = 2552;

struct FormOptions {
  int columns = 2;
  int rows = 2;
  int instance = 0;  // numbers the panes' settings keys
  AudioDeviceFactory* audio = nullptr;  // null: the Qt sound devices
  std::chrono::milliseconds autoSignInStep{1000};
  QSize workArea;  // empty: the screen's available area
};

class MFormView : public QWidget {
  Q_OBJECT
 public:
  static constexpr int kMaxPanes = FormGeometry::kMaxPanes;

  MFormView(QWidget* parent, const FormOptions& options);
  ~MFormView() override;

  // False when a creation step failed; the form shows what was made.
  bool Created() const { return created_; }
  const FormGeometry& Geometry() const { return geometry_; }
  int Columns() const { return geometry_.columns; }
  int Rows() const { return geometry_.rows; }
  int PaneCount() const { return static_cast<int>(panes_.size()); }
  MViewer* Pane(int i) const { return panes_[static_cast<std::size_t>(i)]; }
  int CurrentIndex() const { return current_; }
  MViewer* CurrentPane() const { return panes_.empty() ? nullptr : Pane(current_); }
  QRect CellRect(int index) const { return geometry_.Cell(index); }
  // The client size the grid needs.
  QSize FormSize() const { return geometry_.ClientSize(); }
  bool AudioReady() const { return audio_.Ready(); }
  SidePanel* Panel() const { return panel_; }
  StatusStrip* Strip() const { return strip_.get(); }
  QWidget* TitleButton(int id) const;
  PaneStatus StatusOf(int index) const;
  // The pane that holds |widget| (or is it), -1 for none.
  int PaneIndexOf(const QWidget* widget) const;

  // Pauses or resumes the pictures of every pane (the window was minimised).
  void SetVideoPaused(bool paused);
  // The Enter key of the main window: the pane holding |focus| (else the
  // current pane) becomes current and gets the key (sign-in when idle).
  void EnterKey(QWidget* focus);

 signals:
  // The notice of the automatic sign-in opened (true) or closed (false).
  void autoSignInNoticeChanged(bool open);
  // The automatic sign-in pass is over and the first pane is current again.
  void autoSignInFinished();

 protected:
  bool event(QEvent*) override;
  void timerEvent(QTimerEvent*) override;
  void paintEvent(QPaintEvent*) override;
  void resizeEvent(QResizeEvent*) override;
  void mousePressEvent(QMouseEvent*) override;
  void mouseMoveEvent(QMouseEvent*) override;
  void mouseReleaseEvent(QMouseEvent*) override;

 private:
  bool Create(const FormOptions& options);
  void CreateControls();
  void SelectPane(int index);
  void RefreshStatus();
  void RefreshTitle(int index);
  void OnCommand(int id);
  void OnVolumeMoved(int position);
  void LoadCameraList();
  void OnLanSearchOpening();
  void OnLanEntryChosen(int index);
  void OnCameraListChosen(int index);
  void StartAutoSignIn(std::chrono::milliseconds step);
  void OpenAutoSignInNotice();
  void FinishAutoSignIn();
  void OnFocusChanged(QWidget* old, QWidget* now);

  bool created_ = false;
  FormGeometry geometry_;
  int current_ = 0;
  std::vector<MViewer*> panes_;  // children, deleted first on destruction
  FormAudio audio_;
  std::unique_ptr<StatusStrip> strip_;
  SidePanel* panel_ = nullptr;
  MButton* minimise_ = nullptr;
  MButton* close_ = nullptr;
  bool cameraListEnabled_ = false;
  std::vector<std::pair<QString, int>> lanEntries_;  // address, port of combo 2208
  QBasicTimer tick_;  // timer 2002
  AutoSignInThread autoSignIn_;
  QPointer<MInfoBox> autoNotice_;
  bool dragging_ = false;
  QPoint dragOffset_;
};
