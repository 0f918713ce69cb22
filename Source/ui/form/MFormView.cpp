#include "form/MFormView.h"

#include <algorithm>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QRandomGenerator>
#include <QScreen>
#include <QSlider>
#include <QTimerEvent>
#include <QWindow>

#include "controls/MButton.h"
#include "controls/MInfoBox.h"
#include "pane/MViewer.h"
#include "controls/MessageBoxes.h"
#include "form/FocusWatch.h"
#include "form/SidePanel.h"
#include "form/AboutBox.h"
#include "form/CameraCombos.h"
#include "form/CameraControlCommands.h"
#include "form/PaneCommands.h"
#include "form/RecordingCommands.h"
#include "controls/Skin.h"
#include "WindowMessage.h"
#include "base/CAMManager.h"
#include "base/base.h"
#include "link/LinkEngine.h"

namespace {

constexpr int kTickMs = 1000;
constexpr int kTitleBarHeight = 29;
constexpr int kEdge = 4;
constexpr int kAutoSignInNotice = 20044;
constexpr int kAudioUnavailable = 20045;

const QColor kFormGreen(150, 190, 110);
const QColor kStripGreen(74, 132, 107);
const QColor kPanelGreen(140, 181, 99);

}  // namespace

MFormView::MFormView(QWidget* parent, const FormOptions& options)
    : QWidget(parent),
      audio_(options.audio),
      paneCommands_(std::make_unique<PaneCommands>(*this)),
      cameraCommands_(std::make_unique<CameraControlCommands>(*this)),
      recordingCommands_(std::make_unique<RecordingCommands>(*this, this)),
      combos_(std::make_unique<CameraCombos>(*this)),
      help_(std::make_unique<HelpCommands>(*this, this)) {
  setAutoFillBackground(false);
  setFont(skin::PlainFont());
  if (!options.workArea.isEmpty()) workArea_ = QRect(QPoint(0, 0), options.workArea);
  FormGeometry grid = FormGeometry::ForLayout(options.columns, options.rows);
  grid.FitTo(WorkArea().size());
  layout_ = FormLayout(grid);
  setMinimumSize(FormSize());
  created_ = Create(options);
}

bool MFormView::Create(const FormOptions& options) {
  if (StartLinkEngine() != 1) {
    LogMessage("%s:%d\r\n", LOGPOS);
    return false;
  }
  const int count = Geometry().PaneCount();
  for (int i = 0; i < count; ++i) {
    panes_.push_back(new MViewer(this, this, i, i + options.instance * count, CellRect(i), options.pane));
  }
  if (StartVideoFramework() != 1) {
    LogMessage("%s:%d\r\n", LOGPOS);
    return false;
  }
  // One box for the whole form when there is no sound: listening and
  // talking stay hidden. The box waits for the running event loop, so the
  // form is finished and the panes sign in while it is open: no sound
  // device must not keep the cameras from showing.
  if (audio_.Start()) {
    for (MViewer* pane : panes_) audio_.Attach(pane->Session());
  } else {
    QMetaObject::invokeMethod(this, [] { ShowError(kAudioUnavailable); }, Qt::QueuedConnection);
  }
  tick_.start(kTickMs, this);
  combos_->SetLanSearch(options.lanSearch);
  CreateControls();
  RegisterLayoutMessages();
  StartAutoSignIn(options.autoSignInStep);
  StartDiskSpaceManager();
  StartRecordingRepair();
  StartLanSearch();
  PostWindowMessage(this, WM_LOAD_CAMERA_LIST);
  new FocusWatch(this, [this](QWidget* now, bool byUser) { OnFocusIn(now, byUser); });
  return true;
}

// Recordings a killed run of the program left without their index play
// with their real length once repaired; the panes' directories are looked
// through in the background (files another instance is still writing are
// too new to be touched).
void MFormView::StartRecordingRepair() {
  std::vector<std::string> dirs;
  for (MViewer* pane : panes_) {
    const std::string dir = pane->Session().Recording().StoredPaneDir();
    if (std::find(dirs.begin(), dirs.end(), dir) == dirs.end()) dirs.push_back(dir);
  }
  if (!repair_.Start(std::move(dirs))) LogMessage("%s:%d\r\n", LOGPOS);
}

void MFormView::CreateControls() {
  minimise_ = MButton::Labelled(this, kIdMinimiseButton, 0, 5, QSize(19, 19), QStringLiteral("_"));
  close_ = MButton::Labelled(this, kIdCloseButton, 0, 5, QSize(19, 19), QStringLiteral("×"));
  connect(minimise_, &MButton::clicked, this, [this] { window()->showMinimized(); });
  connect(close_, &MButton::clicked, this, [this] { window()->close(); });
  panel_ = new SidePanel(this, this);
  panel_->setGeometry(Geometry().SidePanelLeft(), 0, FormGeometry::kSidePanelWidth, FormSize().height());
  // The side panel's column runs up through the title bar: the title-bar
  // buttons lie over it, or their clicks would land on the panel and start
  // a drag of the window instead.
  minimise_->raise();
  close_->raise();
  // Each concern registers its own commands and messages.
  router_.Register(WM_PANE_STATUS, [this](WindowMessageEvent& m) { OnPaneStatus(static_cast<int>(m.wParam)); });
  router_.Register(WM_PANE_SELECT, [this](WindowMessageEvent& m) { SelectPane(static_cast<int>(m.wParam)); });
  paneCommands_->Register(router_);
  cameraCommands_->Register(router_);
  recordingCommands_->Register(router_);
  combos_->Register(router_);
  help_->Register(router_);
  connect(panel_, &SidePanel::command, this, [this](int id) { router_.DispatchCommand(id); });
  // A preset button held long enough: the message carries the button's id.
  connect(panel_, &SidePanel::message, this, [this](unsigned message, int id) {
    WindowMessageEvent m(message, static_cast<std::uintptr_t>(id), 0);
    router_.Dispatch(m);
  });
  // The pad's step goes to the form as its message, the record valid while
  // the message is handled.
  connect(panel_, &SidePanel::padStep, this, [this](const PtzStep& step) {
    WindowMessageEvent m(WM_PAD_STEP, 0, reinterpret_cast<std::intptr_t>(&step));
    router_.Dispatch(m);
  });
  connect(panel_, &SidePanel::volumeMoved, this, [this](int position) { paneCommands_->OnVolumeMoved(position); });
  strip_ = std::make_unique<StatusStrip>(this, PaneCount());
  resizeEvent(nullptr);
  RefreshStatus();
}

MFormView::~MFormView() {
  autoSignIn_.Stop();
  tick_.stop();
  if (autoNotice_) autoNotice_->close();
  // The panes log out while the link still runs.
  for (MViewer* pane : panes_) delete pane;
  panes_.clear();
  StopLinkEngine();
}

QWidget* MFormView::TitleButton(int id) const {
  switch (id) {
    case kIdMaximiseButton: return maximise_;
    case kIdMinimiseButton: return minimise_;
    case kIdWideButton: return wide_;
    case kIdCloseButton: return close_;
    default: return nullptr;
  }
}

PaneStatus MFormView::StatusOf(int index) const { return Pane(index)->Session().Status(); }

int MFormView::PaneIndexOf(const QWidget* widget) const {
  for (; widget != nullptr && widget != this; widget = widget->parentWidget()) {
    for (int i = 0; i < PaneCount(); ++i) {
      if (widget == Pane(i)) return i;
    }
  }
  return -1;
}

void MFormView::SetVideoPaused(bool paused) {
  for (MViewer* pane : panes_) pane->Session().Audio().SetVideoPaused(paused ? 1 : 0);
}

void MFormView::SetKeepAspect(bool on) {
  keepAspect_ = on;
  for (MViewer* pane : panes_) pane->View()->SetKeepAspect(on);
}

void MFormView::EnterKey(QWidget* focus) {
  if (panes_.empty()) return;
  int index = PaneIndexOf(focus);
  if (index < 0) index = current_;
  if (index != current_) SelectPane(index);
  QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
  QCoreApplication::sendEvent(Pane(index), &enter);
}

void MFormView::OnFocusIn(QWidget* now, bool byUser) {
  const int index = PaneIndexOf(now);
  if (index < 0 || index == current_) return;
  // Clicking or tabbing into a pane's sign-in panel makes it the pane the
  // side panel and the Enter key act on.
  if (byUser) {
    SelectPane(index);
    return;
  }
  // The program moved the keys into another pane (the window's first focus,
  // the window activated again, a box or menu closed): the current pane
  // stays current and takes the keys back once the move is over.
  QMetaObject::invokeMethod(
      this,
      [this] {
        const int focused = PaneIndexOf(QApplication::focusWidget());
        if (focused >= 0 && focused != current_) Pane(current_)->setFocus(Qt::OtherFocusReason);
      },
      Qt::QueuedConnection);
}

// --- selection and status ----------------------------------------------------

void MFormView::SelectPane(int index) {
  if (index < 0 || index >= PaneCount()) return;
  current_ = index;
  for (int i = 0; i < PaneCount(); ++i) {
    if (i == index) continue;
    Pane(i)->SetSelected(false);
    MuteUnselectedPane(Pane(i)->Session());
  }
  Pane(index)->SetSelected(true);
  UnmuteSelectedPane(Pane(index)->Session());
  // The keys follow the chosen pane: an edit of another pane's sign-in panel
  // keeps no focus, or Enter would sign that pane in.
  const int focused = PaneIndexOf(QApplication::focusWidget());
  if (focused >= 0 && focused != index) Pane(index)->setFocus(Qt::OtherFocusReason);
  update();
  RefreshStatus();
}

void MFormView::RefreshTitle(int index) {
  if (!strip_) return;
  // A pane under an enlarged one shows no title.
  const bool covered = layout_.CoveredBy(index) >= 0;
  strip_->SetTitle(index, PaneRect(index), Geometry().TitleWidth(), StatusOf(index), index == current_, covered);
}

void MFormView::RefreshStatus() {
  if (!strip_ || panes_.empty()) return;
  for (int i = 0; i < PaneCount(); ++i) RefreshTitle(i);
  const PaneStatus current = StatusOf(current_);
  strip_->SetCurrent(PaneRect(current_), Geometry().TitleWidth(), current);
  if (!layout_.Wide()) panel_->Apply(current, audio_.Ready());
}

// --- messages ----------------------------------------------------------------

bool MFormView::event(QEvent* e) {
  auto* m = dynamic_cast<WindowMessageEvent*>(e);
  if (m == nullptr) return QWidget::event(e);
  // Commands forwarded by the panes' menus; ids no part owns are ignored.
  if (m->message() == WM_PANE_COMMAND) {
    router_.DispatchCommand(static_cast<int>(m->wParam));
    return true;
  }
  router_.Dispatch(*m);  // messages no concern registered (yet) are ignored
  return true;
}

void MFormView::OnPaneStatus(int slot) {
  EndEnlargementAfterLogOut(slot);
  if (slot == current_) {
    RefreshStatus();
  } else if (slot >= 0 && slot < PaneCount()) {
    RefreshTitle(slot);  // its title follows its state too
  }
}

void MFormView::timerEvent(QTimerEvent* e) {
  if (e->timerId() != tick_.timerId()) return QWidget::timerEvent(e);
  const int count = PaneCount();
  if (count == 0) return;
  // A random first pane each time, so no pane's work always comes first.
  const int r = static_cast<int>(QRandomGenerator::global()->bounded(count));
  for (int i = 0; i < count; ++i) Pane((r + i) % count)->Tick();
}

// --- automatic sign-in -------------------------------------------------------

void MFormView::StartAutoSignIn(std::chrono::milliseconds step) {
  // The panel's values are read here, on the UI thread; the thread only
  // calls the sessions, which may be signed in from any thread.
  std::vector<int> autoPanes;
  auto fields = std::make_shared<std::vector<SignInFields>>(panes_.size());
  for (int i = 0; i < PaneCount(); ++i) {
    if (!Pane(i)->Session().AutoSignIn()) continue;
    autoPanes.push_back(i);
    (*fields)[static_cast<std::size_t>(i)] = Pane(i)->Session().Fields();
  }
  AutoSignInThread::Hooks hooks;
  hooks.openNotice = [this] { QMetaObject::invokeMethod(this, &MFormView::OpenAutoSignInNotice, Qt::QueuedConnection); };
  hooks.signIn = [this, fields](int i) { Pane(i)->Session().SignIn((*fields)[static_cast<std::size_t>(i)]); };
  hooks.finish = [this] { QMetaObject::invokeMethod(this, &MFormView::FinishAutoSignIn, Qt::QueuedConnection); };
  autoSignIn_.Start(std::move(autoPanes), step, std::move(hooks));
}

void MFormView::OpenAutoSignInNotice() {
  auto* box = new MInfoBox(kTitleNotice, kAutoSignInNotice, kIconNotice);
  autoNotice_ = box;
  connect(box, &QObject::destroyed, this, [this] { emit autoSignInNoticeChanged(false); });
  box->ShowModeless(0, window());
  emit autoSignInNoticeChanged(true);
}

void MFormView::FinishAutoSignIn() {
  for (MViewer* pane : panes_) {
    pane->SetSelected(false);
    MuteUnselectedPane(pane->Session());
  }
  if (autoNotice_) autoNotice_->close();
  // The last enlarged pane (restored from the settings) is the one the user
  // looks at: it becomes current, else the first pane.
  const int enlarged = layout_.LastEnlarged();
  current_ = enlarged >= 0 ? enlarged : 0;
  PostWindowMessage(this, WM_PANE_SELECT, static_cast<std::uintptr_t>(current_),
                    reinterpret_cast<std::intptr_t>(Pane(current_)));
  emit autoSignInFinished();
}

// --- painting and the title bar ------------------------------------------------

void MFormView::resizeEvent(QResizeEvent*) { PlaceChrome(); }

void MFormView::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), kFormGreen);
  const bool wide = layout_.Wide();
  if (!wide) {
    const int left = Geometry().SidePanelLeft();
    const int panelBottom = height() - kEdge;
    p.fillRect(QRect(left, kTitleBarHeight, FormGeometry::kSidePanelWidth, panelBottom - kTitleBarHeight), kPanelGreen);
    p.fillRect(QRect(left, kTitleBarHeight, FormGeometry::kSidePanelWidth, 15), kStripGreen);
    p.fillRect(QRect(left, panelBottom - 15, FormGeometry::kSidePanelWidth, 15), kStripGreen);
  }
  // Edges and the title bar.
  p.fillRect(QRect(0, 0, kEdge, height()), kStripGreen);
  p.fillRect(QRect(width() - kEdge, 0, kEdge, height()), kStripGreen);
  p.fillRect(QRect(0, height() - kEdge, width(), kEdge), kStripGreen);
  // The current pane is framed when there is more than one.
  const QRect frame = PaneCount() > 1 ? PaneRect(current_).adjusted(-2, -15, 2, 15) : QRect();
  if (wide) {
    // Wide mode has no title bar: the bottom edge runs across the top.
    p.fillRect(QRect(0, 0, width(), kEdge), kStripGreen);
    if (!frame.isNull()) p.fillRect(frame, kStripGreen);
    return;
  }
  QLinearGradient bar(0, 0, 0, kTitleBarHeight);
  bar.setColorAt(0, QColor(96, 156, 128));
  bar.setColorAt(1, kStripGreen);
  p.fillRect(QRect(0, 0, width(), kTitleBarHeight), bar);
  p.drawPixmap(2, 2, window()->windowIcon().pixmap(25, 25));
  p.setPen(Qt::white);
  p.setFont(skin::BoldFont());
  p.drawText(QRect(QPoint(30, 8), QPoint(655, 25)), Qt::AlignLeft | Qt::AlignVCenter, window()->windowTitle());
  if (!frame.isNull()) p.fillRect(frame, kStripGreen);
}

void MFormView::mousePressEvent(QMouseEvent* e) {
  if (e->button() != Qt::LeftButton || e->position().y() >= kTitleBarHeight) return;
  // Dragging the title bar moves the main window.
  QWindow* handle = window()->windowHandle();
  if (handle != nullptr && handle->startSystemMove()) return;
  dragging_ = true;
  dragOffset_ = e->globalPosition().toPoint() - window()->frameGeometry().topLeft();
}

void MFormView::mouseMoveEvent(QMouseEvent* e) {
  if (dragging_ && (e->buttons() & Qt::LeftButton)) window()->move(e->globalPosition().toPoint() - dragOffset_);
}

void MFormView::mouseReleaseEvent(QMouseEvent*) { dragging_ = false; }
