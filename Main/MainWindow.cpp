#include "MainWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QKeyEvent>
#include <QMenu>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWheelEvent>
#include <QWindow>

#include <algorithm>
#include <cstdlib>

#ifdef TESSORA_HAVE_XCB
#include <QtGui/qguiapplication_platform.h>
#include <xcb/xcb.h>
#endif

#include "InstanceRegistry.h"
#include "StringTable.h"
#include "form/MFormView.h"
#include "controls/MComboBox.h"
#include "controls/MInfoBox.h"
#include "pane/MViewer.h"
#include "controls/MessageBoxes.h"
#include "controls/Skin.h"
#include "base/base.h"

// The icon pictures are linked in from a static library: nothing refers to
// them, so they are registered by hand (outside any namespace, as Qt asks).
static void InitProgramIconResource() { Q_INIT_RESOURCE(ProgramIcon); }

namespace {

constexpr int kQuitQuestion = 20110;
constexpr int kTrayShow = 33002;  // tray menu "보이기"

// The program's icon: the desktop theme's (the installed hicolor icons, or a
// theme's own), else the same pictures built into the program, so a build
// run from its folder shows it too.
QIcon ProgramIcon() {
  InitProgramIconResource();
  QIcon builtIn;
  for (int size : {16, 32, 48, 64, 128, 256}) {
    builtIn.addFile(QStringLiteral(":/icons/tessora-viewer-%1.png").arg(size), QSize(size, size));
  }
  return QIcon::fromTheme(QStringLiteral("tessora-viewer"), builtIn);
}

#ifdef TESSORA_HAVE_XCB
// Takes an xcb reply and its error (a window that is gone answers with an
// error, which would otherwise reach Qt's event queue as a warning).
template <typename Reply>
Reply* Take(Reply* reply, xcb_generic_error_t* error) {
  std::free(error);
  return reply;
}

// Whether window |w|'s _NET_SUPPORTING_WM_CHECK names a window (|*target|).
bool SupportingCheck(xcb_connection_t* c, xcb_atom_t check, xcb_window_t w, xcb_window_t* target) {
  xcb_generic_error_t* error = nullptr;
  xcb_get_property_reply_t* reply =
      Take(xcb_get_property_reply(c, xcb_get_property(c, 0, w, check, XCB_ATOM_WINDOW, 0, 1), &error), error);
  if (reply == nullptr) return false;
  const bool found = reply->type == XCB_ATOM_WINDOW && xcb_get_property_value_length(reply) == 4;
  if (found) *target = *static_cast<const xcb_window_t*>(xcb_get_property_value(reply));
  std::free(reply);
  return found;
}
#endif

// Whether a window manager would iconify |window|. Under X11 only a window
// manager takes a window off the screen when asked to (Qt's request is a
// message to it); a running one names its check window on the root window,
// and that window names itself (one that has ended leaves a stale name).
// Other platforms always have a compositor that does it.
bool WindowManagerRunning(const QWidget* window) {
#ifdef TESSORA_HAVE_XCB
  auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
  if (x11 == nullptr || x11->connection() == nullptr) return true;
  xcb_connection_t* c = x11->connection();
  xcb_generic_error_t* error = nullptr;
  xcb_query_tree_reply_t* tree = Take(
      xcb_query_tree_reply(c, xcb_query_tree(c, static_cast<xcb_window_t>(window->winId())), &error), error);
  if (tree == nullptr) return true;
  const xcb_window_t root = tree->root;
  std::free(tree);
  static constexpr char kName[] = "_NET_SUPPORTING_WM_CHECK";
  xcb_intern_atom_reply_t* atom =
      Take(xcb_intern_atom_reply(c, xcb_intern_atom(c, 1, sizeof kName - 1, kName), &error), error);
  if (atom == nullptr) return true;
  const xcb_atom_t check = atom->atom;
  std::free(atom);
  if (check == XCB_ATOM_NONE) return false;  // no manager ever announced itself
  xcb_window_t manager = XCB_WINDOW_NONE, self = XCB_WINDOW_NONE;
  return SupportingCheck(c, check, root, &manager) && SupportingCheck(c, check, manager, &self) && self == manager;
#else
  (void)window;
  return true;
#endif
}

}  // namespace

GlobalSettings ReadGlobalSettings(const SettingsKey& global) {
  GlobalSettings s;
  s.logEnabled = ReadSettingDword(global, settings::kLogEnable) != 0;
  QString url;
  ReadSettingString(global, settings::kUpdateUrl, 260, &url);
  s.updateUrl = url.isEmpty() ? QString::fromUtf8(settings::kDefaultUpdateUrl) : url;
  const FormGeometry grid =
      FormGeometry::ForLayout(ReadSettingDword(global, settings::kLayoutX), ReadSettingDword(global, settings::kLayoutY));
  s.columns = grid.columns;
  s.rows = grid.rows;
  s.keepAspect = ReadSettingDword(global, settings::kKeepAspect) != 0;
  return s;
}

GlobalSettings StartProcess(int instanceNumber) {
  SettingsKey global, cameraList;
  OpenSettingsKey(QString::fromUtf8(settings::kGlobalKey), &global);
  OpenSettingsKey(QString::fromUtf8(settings::kCameraListKey), &cameraList);
  const GlobalSettings settings = ReadGlobalSettings(global);
  const std::string dataDir = DefaultDirectory();
  QDir().mkpath(QString::fromStdString(dataDir));
  SetLogEnabled(settings.logEnabled);
  SetLogDebug(ReadSettingDword(global, "Log", "Debug", 0) != 0);
  SetLogFileName(instanceNumber, dataDir);
  return settings;
}

MainWindow::MainWindow(int instanceNumber, const GlobalSettings& settings, FormOptions options)
    : QMainWindow(nullptr, Qt::Window | Qt::FramelessWindowHint), instance_(instanceNumber), settings_(settings) {
  // The form draws its own title bar with the minimise and close buttons.
  setWindowTitle(InstanceRegistry::WindowTitle(instanceNumber));
  setWindowIcon(ProgramIcon());
  setFont(skin::PlainFont());
  options.columns = settings_.columns;
  options.rows = settings_.rows;
  options.instance = instance_;
  form_ = new MFormView(this, options);
  form_->SetKeepAspect(settings_.keepAspect);
  setCentralWidget(form_);
  connect(this, &MainWindow::videoPausedChanged, form_, &MFormView::SetVideoPaused);
  PlaceOnScreen();
  CreateTrayIcon();
  qApp->installEventFilter(this);
  connect(qApp, &QGuiApplication::focusWindowChanged, this, &MainWindow::OnFocusWindowChanged);
}

MainWindow::~MainWindow() {
  qApp->removeEventFilter(this);
  if (tray_) tray_->hide();
}

void MainWindow::PlaceOnScreen() {
  resize(form_->FormSize());
  const QScreen* s = QGuiApplication::primaryScreen();
  if (s == nullptr) return;
  // Not above or left of the work area.
  const QRect area = s->availableGeometry();
  move(std::max(pos().x(), area.left()), std::max(pos().y(), area.top()));
}

void MainWindow::CreateTrayIcon() {
  if (!QSystemTrayIcon::isSystemTrayAvailable()) return;
  tray_ = new QSystemTrayIcon(ProgramIcon(), this);
  tray_->setToolTip(windowTitle().left(127));
  auto* menu = new QMenu(this);
  QAction* show = menu->addAction(QString::fromUtf8(UiString(UiText::kTrayShow)));
  show->setData(kTrayShow);
  connect(show, &QAction::triggered, this, &MainWindow::RestoreFromTray);
  tray_->setContextMenu(menu);
  connect(tray_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason r) {
    if (r == QSystemTrayIcon::DoubleClick) RestoreFromTray();
  });
  tray_->show();
}

void MainWindow::RestoreFromTray() {
  showNormal();
  raise();
  activateWindow();
}

void MainWindow::BringForward(int k) {
  RestoreFromTray();
  const QRect area = screen() ? screen()->availableGeometry() : QRect();
  move(area.topLeft() + QPoint(50 * k, 50 * k));
}

bool MainWindow::AskToClose() {
  if (AskQuestion(kQuitQuestion) != kIdYes) return false;
  confirmedClose_ = true;
  if (tray_) tray_->hide();
  close();
  return true;
}

void MainWindow::closeEvent(QCloseEvent* e) {
  if (confirmedClose_ || AskQuestion(kQuitQuestion) == kIdYes) {
    confirmedClose_ = true;
    if (tray_) tray_->hide();
    e->accept();
  } else {
    e->ignore();
  }
}

void MainWindow::changeEvent(QEvent* e) {
  if (e->type() == QEvent::WindowStateChange) {
    const auto* change = static_cast<QWindowStateChangeEvent*>(e);
    if (isMaximized()) {
      // The window keeps its size; maximising shows the current pane full
      // screen instead (once: the platform may report the state again).
      QTimer::singleShot(0, this, &QWidget::showNormal);
      if (!change->oldState().testFlag(Qt::WindowMaximized) && form_->FullScreenPane() == nullptr) {
        form_->Router().DispatchCommand(kIdMaximiseButton);
      }
    } else if (isMinimized()) {
      // With a tray icon the program lives on there; without one it stays in
      // the task bar. Without a window manager nothing takes the window off
      // the screen: it is hidden, and starting the program again brings it
      // forward.
      if (tray_ || !WindowManagerRunning(this)) QTimer::singleShot(0, this, &QWidget::hide);
      emit videoPausedChanged(true);
    } else {
      emit videoPausedChanged(false);
    }
  }
  QMainWindow::changeEvent(e);
}

bool MainWindow::HoldsFocus(const QWindow* w) const {
  if (w == nullptr) return false;
  if (w == windowHandle()) return true;
  const MViewer* full = form_->FullScreenPane();
  return full != nullptr && w == full->windowHandle();
}

// Handing the focus between this window and the full-screen pane (entering
// full screen activates the pane's own window) is no loss: only focus going
// to another window or program takes the pane out of full screen.
void MainWindow::OnFocusWindowChanged(QWindow* now) {
  // Menus and tool tips open over the window without taking the focus.
  if (now != nullptr && (now->type() == Qt::Popup || now->type() == Qt::ToolTip)) return;
  const bool here = HoldsFocus(now);
  const bool fromOutside = lastFocus_ == nullptr;
  if (now != nullptr) lastFocus_ = now;
  else lastFocus_.clear();
  if (here == focusHere_) return;
  focusHere_ = here;
  MViewer* pane = form_->CurrentPane();
  if (pane == nullptr) return;
  if (here) {
    pane->MainFocusIn(fromOutside);
  } else {
    pane->MainFocusOut();
  }
}

void MainWindow::wheelEvent(QWheelEvent* e) {
  MViewer* pane = form_->CurrentPane();
  if (pane == nullptr) {
    e->ignore();
    return;
  }
  QWheelEvent copy(pane->mapFromGlobal(e->globalPosition()), e->globalPosition(), e->pixelDelta(), e->angleDelta(),
                   e->buttons(), e->modifiers(), e->phase(), e->inverted(), e->source());
  QCoreApplication::sendEvent(pane, &copy);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* e) {
  // The Enter key handed on to a pane passes through here again.
  if (e->type() != QEvent::KeyPress || forwardingKey_) return false;
  auto* w = qobject_cast<QWidget*>(watched);
  // Only keys meant for this window or the pane it shows full screen: boxes
  // and popups keep theirs.
  const QWidget* fullScreen = form_->FullScreenPane();
  if (w == nullptr || (w->window() != this && (fullScreen == nullptr || w->window() != fullScreen))) return false;
  // An open drop-down list keeps its keys: Escape closes it (and nothing
  // else), Enter chooses its row.
  if (MComboBox::OpenAround(w) != nullptr) return false;
  const int key = static_cast<QKeyEvent*>(e)->key();
  if (key == Qt::Key_Return || key == Qt::Key_Enter) {
    forwardingKey_ = true;
    form_->EnterKey(w);
    forwardingKey_ = false;
    return true;
  }
  if (key == Qt::Key_Escape) {
    // Full screen and wide mode are left first; only then does the program
    // ask before it ends.
    if (!form_->LeaveFullScreenOrWideMode()) AskToClose();
    return true;
  }
  return false;  // the focused control gets every other key
}
