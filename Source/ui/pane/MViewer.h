// One camera pane of the grid: the sign-in panel while idle, the picture
// while live, the "Reconnecting" banner while the connection is being made
// again, and the pane's own message box. The connection itself is the
// pane's ViewerSession, which is also the link slot's window.
#pragma once

#include <QPointer>
#include <QWidget>
#include <memory>

#include "pane/MouseSteering.h"
#include "pane/PaneMenu.h"
#include "pane/ViewerSession.h"
#include "video/PaneSurface.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class MButton;
class MInfoBox;

// Control ids of the sign-in panel.
inline constexpr int kIdSignInButton = 2200;
inline constexpr int kIdUserEdit = 2201;
inline constexpr int kIdPasswordEdit = 2202;
inline constexpr int kIdSaveIdBox = 2203;
inline constexpr int kIdAddressEdit = 2204;
inline constexpr int kIdPortEdit = 2205;
inline constexpr int kIdAliasEdit = 2206;
inline constexpr int kIdAutoSignInBox = 2207;
inline constexpr int kIdMjpegBox = 2210;

class MViewer : public QWidget, public ViewerHost {
  Q_OBJECT
 public:
  // |form| receives 1025..1028; |settingsIndex| names the "Viewer%02d" key.
  MViewer(QWidget* parent, QObject* form, int slot, int settingsIndex, const QRect& cellRect,
          const SessionOptions& options = {});
  ~MViewer() override;

  ViewerSession& Session() { return *session_; }
  int Slot() const { return slot_; }
  VideoView* View() { return view_; }
  // Sign-in with the session's fields (button, Enter, start-up); 1 when sent.
  int SignIn();
  void LogOut() { session_->LogOut(); }
  void Tick() { session_->Tick(); }
  void SetSelected(bool on);
  // How the form shows the pane (the menu's check marks follow).
  void SetEnlarged(bool on) { enlarged_ = on; }
  bool Enlarged() const { return enlarged_; }
  void SetFullScreen(bool on) { fullScreen_ = on; }
  bool FullScreen() const { return fullScreen_; }
  // The main window's keyboard focus, handed on to the current pane. Focus
  // coming back from outside the program puts a full-screen pane on top
  // again; focus leaving the program takes the pane out of full screen (it
  // stays over every window only while the user is looking at it).
  void MainFocusIn(bool fromOutside);
  void MainFocusOut();
  // What the right-click menu offers now.
  PaneMenuModel MenuModel() const;
  // Carries out menu item |id| as a click on it would.
  void RunMenuCommand(int id);
  // The motion and sensor labels (tests).
  QLabel* MotionLabel() const { return motionLabel_; }
  QLabel* SensorLabel() const { return sensorLabel_; }
  // The panel's controls by id (tests).
  QWidget* Control(int id) const;

  // ViewerHost.
  using ViewerHost::OpenViewerBox;
  using ViewerHost::ShowViewerBox;
  void OpenViewerBox(int messageId, int kind, const QString& detail) override;
  void ShowViewerBox(int messageId, int kind, const QString& detail) override;
  void CloseCurrentBox() override;
  void RepaintPane() override;
  void ShowSignInPanel(bool show) override;
  void PostToParent(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) override;
  void ActivateMainWindow() override;
  void EndActivation() override;
  void LeaveFullScreen() override;
  bool PaneShown() const override { return isVisible(); }

 protected:
  void paintEvent(QPaintEvent*) override;
  void resizeEvent(QResizeEvent*) override;
  void keyPressEvent(QKeyEvent*) override;
  void mousePressEvent(QMouseEvent*) override;
  void mouseMoveEvent(QMouseEvent*) override;
  void mouseReleaseEvent(QMouseEvent*) override;
  void mouseDoubleClickEvent(QMouseEvent*) override {}
  void wheelEvent(QWheelEvent*) override;
  void contextMenuEvent(QContextMenuEvent*) override;

 private:
  void BuildPanel();
  void LayoutPanel();
  void OnSignInButton();
  // The panel shows the session's fields; the user's edits go back to it.
  void ShowFields();
  void TakeEdits();
  void OnSaveIdToggled(bool on);
  void OnAutoSignInToggled(bool on);
  void OnStateChanged(int state);
  void ShowAlarmLabels();
  // Whether the mouse steers this camera (not the fixed model).
  bool MouseSteers() const;
  void Steer(const std::optional<PtzStep>& step);

  const int slot_;
  QPointer<QObject> form_;
  bool selected_ = false;
  VideoView* view_;
  std::unique_ptr<PaneSurface> surface_;
  std::unique_ptr<ViewerSession> session_;
  QWidget* panel_ = nullptr;
  QLineEdit* address_ = nullptr;
  QLineEdit* port_ = nullptr;
  QLineEdit* user_ = nullptr;
  QLineEdit* password_ = nullptr;
  QLineEdit* alias_ = nullptr;
  QCheckBox* mjpeg_ = nullptr;
  QCheckBox* saveId_ = nullptr;
  QCheckBox* autoSignIn_ = nullptr;
  MButton* signIn_ = nullptr;
  bool showingFields_ = false;  // ShowFields is filling the edits
  MouseSteering steering_;
  bool enlarged_ = false;
  bool fullScreen_ = false;
  QLabel* motionLabel_ = nullptr;
  QLabel* sensorLabel_ = nullptr;
  QPointer<MInfoBox> currentBox_;
};
