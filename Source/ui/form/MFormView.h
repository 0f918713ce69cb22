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

#include "MessageRouter.h"
#include "base/AviRepair.h"
#include "form/FormAudio.h"
#include "form/FormContext.h"
#include "form/FormGeometry.h"
#include "form/FormLayout.h"
#include "form/FormStartUp.h"
#include "form/StatusStrip.h"

#include "pane/ViewerSession.h"

#include "form/CameraCombos.h"
class HelpCommands;
class MButton;
class MInfoBox;
class MViewer;
class PaneCommands;
class CameraControlCommands;
class RecordingCommands;
class SidePanel;
// Title-bar buttons.
inline constexpr int kIdWideButton = 2550;
inline constexpr int kIdMinimiseButton = 2551;
inline constexpr int kIdCloseButton = 2552;
inline constexpr int kIdMaximiseButton = 2553;
inline constexpr int kIdHelp = 2301;

struct FormOptions {
  int columns = 2;
  int rows = 2;
  int instance = 0;  // numbers the panes' settings keys
  AudioDeviceFactory* audio = nullptr;  // null: the Qt sound devices
  std::chrono::milliseconds autoSignInStep{1000};
  QSize workArea;  // empty: the screen's available area (tests: at 0, 0)
  SessionOptions pane;  // how the panes' sessions are built (tests: a fake link)
  LanSearchFunction lanSearch;  // null: the process's LAN search (tests: cameras of their own)
};

class MFormView : public QWidget, public FormContext {
  Q_OBJECT
 public:
  static constexpr int kMaxPanes = FormGeometry::kMaxPanes;

  MFormView(QWidget* parent, const FormOptions& options);
  ~MFormView() override;

  // False when a creation step failed; the form shows what was made.
  bool Created() const { return created_; }
  const FormGeometry& Geometry() const { return layout_.Geometry(); }
  const FormLayout& Layout() const { return layout_; }
  int Columns() const { return Geometry().columns; }
  int Rows() const { return Geometry().rows; }
  int PaneCount() const { return static_cast<int>(panes_.size()); }
  MViewer* Pane(int i) const { return panes_[static_cast<std::size_t>(i)]; }
  int CurrentIndex() const { return current_; }
  MViewer* CurrentPane() const override { return panes_.empty() ? nullptr : Pane(current_); }
  QRect CellRect(int index) const { return Geometry().Cell(index); }
  // The pane's place in the form: its cell or its enlarged rectangle.
  QRect PaneRect(int index) const { return layout_.PaneRect(index); }
  // The client size the grid needs.
  QSize FormSize() const { return Geometry().ClientSize(); }
  bool AudioReady() const override { return audio_.Ready(); }
  SidePanel* Panel() const override { return panel_; }
  void RefreshStatus() override;
  // The form's commands and messages, by concern.
  MessageRouter& Router() { return router_; }
  StatusStrip* Strip() const { return strip_.get(); }
  QWidget* TitleButton(int id) const;
  PaneStatus StatusOf(int index) const;
  // The pane that holds |widget| (or is it), -1 for none.
  int PaneIndexOf(const QWidget* widget) const;

  // Pauses or resumes the pictures of every pane (the window was minimised).
  void SetVideoPaused(bool paused);
  // Whether every pane's picture keeps its proportions (bars in the pane's
  // background beside or above it) or is stretched to the pane, in every
  // layout ("Global"\"View"\"KeepAspect", read at start-up; the viewer's
  // preferences set it when it changes).
  void SetKeepAspect(bool on);
  bool KeepAspect() const { return keepAspect_; }
  // The Enter key of the main window: the pane holding |focus| (else the
  // current pane) becomes current and gets the key (sign-in when idle).
  void EnterKey(QWidget* focus);
  // The full-screen pane (a window of its own), null for none.
  MViewer* FullScreenPane() const;
  bool WideMode() const { return layout_.Wide(); }
  // Escape: leaves full screen, else wide mode; false when neither is on.
  bool LeaveFullScreenOrWideMode();
  // The work area the main window covers in wide mode.
  QRect WorkArea() const;

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
  void StartRecordingRepair();
  void SelectPane(int index);
  void OnPaneStatus(int slot);
  void RefreshTitle(int index);
  void StartAutoSignIn(std::chrono::milliseconds step);
  void OpenAutoSignInNotice();
  void FinishAutoSignIn();
  void OnFocusIn(QWidget* now, bool byUser);
  // Enlargement, full screen and wide mode (FormLayout keeps the state).
  void RegisterLayoutMessages();
  void ToggleEnlarged(int index);
  void ToggleFullScreen(int index);
  void ToggleWideMode();
  // A pane whose connection ended (it is idle again after it had been
  // signed in) gives its enlarged place back.
  void EndEnlargementAfterLogOut(int index);
  // Places the panes and the title bar by the layout, switches the panes'
  // pictures, and refreshes the status strip.
  void ApplyLayout();
  void ShowFullScreen(MViewer* pane, bool on);
  void PlaceChrome();

  bool created_ = false;
  bool keepAspect_ = false;
  FormLayout layout_;
  QRect workArea_;  // empty: the screen's
  QRect savedRect_;  // the main window before wide mode
  int current_ = 0;
  std::vector<MViewer*> panes_;  // children, deleted first on destruction
  FormAudio audio_;
  std::unique_ptr<StatusStrip> strip_;
  SidePanel* panel_ = nullptr;
  MButton* maximise_ = nullptr;
  MButton* wide_ = nullptr;
  MButton* minimise_ = nullptr;
  MButton* close_ = nullptr;
  MessageRouter router_;
  std::unique_ptr<PaneCommands> paneCommands_;
  std::unique_ptr<CameraControlCommands> cameraCommands_;
  std::unique_ptr<RecordingCommands> recordingCommands_;
  std::unique_ptr<CameraCombos> combos_;
  std::unique_ptr<HelpCommands> help_;
  QBasicTimer tick_;  // timer 2002
  AutoSignInThread autoSignIn_;
  // Repairs the recordings a killed run left unfinished, in the background.
  AviRepairService repair_;
  QPointer<MInfoBox> autoNotice_;
  // Per pane: signed in (the camera accepted it) since the form last saw it
  // idle. UI thread.
  std::vector<bool> signedIn_;
  bool dragging_ = false;
  QPoint dragOffset_;
};
