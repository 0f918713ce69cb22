// The main form's pane placement: enlarging a pane over four cells, showing
// one full screen, wide mode, and the title-bar buttons. FormLayout keeps the
// state; the functions here carry it out on the widgets.
#include <QGuiApplication>
#include <QScreen>

#include "controls/MButton.h"
#include "form/MFormView.h"
#include "form/SidePanel.h"
#include "pane/MViewer.h"
#include "TopMost.h"
#include "WindowMessage.h"
#include "base/MRegistry.h"
#include "base/base.h"

namespace {

constexpr QSize kTitleButtonSize{19, 19};
constexpr int kTitleButtonTop = 5;

// The main window's always-on-top state, applied; a shown window is shown
// again after the flag changed (changing it hides the window).
void SetStaysOnTop(QWidget* top, bool on) {
  if (top->windowFlags().testFlag(Qt::WindowStaysOnTopHint) == on) return;
  const bool visible = top->isVisible();
  top->setWindowFlag(Qt::WindowStaysOnTopHint, on);
  if (visible) top->show();
}

}  // namespace

QRect MFormView::WorkArea() const {
  if (!workArea_.isEmpty()) return workArea_;
  const QScreen* s = screen() != nullptr ? screen() : QGuiApplication::primaryScreen();
  return s != nullptr ? s->availableGeometry() : QRect(0, 0, 1024, 768);
}

MViewer* MFormView::FullScreenPane() const {
  const int full = layout_.FullScreenPane();
  return full >= 0 ? Pane(full) : nullptr;
}

void MFormView::RegisterLayoutMessages() {
  maximise_ = MButton::Labelled(this, kIdMaximiseButton, 0, kTitleButtonTop, kTitleButtonSize, QStringLiteral("□"));
  wide_ = MButton::Labelled(this, kIdWideButton, 0, kTitleButtonTop, kTitleButtonSize, QStringLiteral("↔"));
  connect(maximise_, &MButton::clicked, this, [this] { router_.DispatchCommand(kIdMaximiseButton); });
  connect(wide_, &MButton::clicked, this, [this] { router_.DispatchCommand(kIdWideButton); });
  router_.Register(WM_PANE_ENLARGE, [this](WindowMessageEvent& m) { ToggleEnlarged(static_cast<int>(m.wParam)); });
  router_.Register(WM_PANE_FULLSCREEN, [this](WindowMessageEvent& m) { ToggleFullScreen(static_cast<int>(m.wParam)); });
  router_.RegisterCommand(kIdWideButton, [this] { ToggleWideMode(); });
  // Maximising the main window shows the current pane full screen.
  router_.RegisterCommand(kIdMaximiseButton, [this] {
    if (!panes_.empty()) {
      PostWindowMessage(this, WM_PANE_FULLSCREEN, static_cast<std::uintptr_t>(current_),
                        reinterpret_cast<std::intptr_t>(Pane(current_)));
    }
  });
  // The form learns from each pane's states whether it was signed in; the
  // pane's 1025 after a log-out then ends its enlargement.
  signedIn_.assign(panes_.size(), false);
  for (int i = 0; i < PaneCount(); ++i) {
    connect(&Pane(i)->Session(), &ViewerSession::stateChanged, this, [this, i](int state) {
      if (state >= kPaneControlOpen) signedIn_[static_cast<std::size_t>(i)] = true;
    });
  }
  PlaceChrome();
}

// An enlarged pane that logged out would leave its sign-in panel over the
// three panes it covers, with no menu to shrink it (an idle pane has none):
// the end of its connection ends the enlargement, stored like any other
// shrink. A pane enlarged while it was never signed in (restored at
// start-up, a sign-in that did not get through) keeps its place.
void MFormView::EndEnlargementAfterLogOut(int index) {
  if (index < 0 || index >= PaneCount() || Pane(index)->Session().State() != kPaneIdle) return;
  const std::size_t i = static_cast<std::size_t>(index);
  if (!signedIn_[i]) return;
  signedIn_[i] = false;
  if (layout_.Enlarged(index)) ToggleEnlarged(index);
}

bool MFormView::LeaveFullScreenOrWideMode() {
  if (MViewer* pane = FullScreenPane()) {
    PostWindowMessage(this, WM_PANE_FULLSCREEN, static_cast<std::uintptr_t>(pane->Slot()),
                      reinterpret_cast<std::intptr_t>(pane));
    return true;
  }
  if (layout_.Wide()) {
    PostWindowMessage(this, WM_PANE_COMMAND, kIdWideButton, 0);
    return true;
  }
  return false;
}

void MFormView::ToggleEnlarged(int index) {
  const std::vector<int> changed = layout_.ToggleEnlarged(index);
  if (changed.empty()) return;
  // A pane shrunk because another one took its place is stored shrunk too,
  // so the next start shows what the user sees now.
  for (int i : changed) {
    if (WriteSettingDword(Pane(i)->Session().Settings(), "Zoom", "Enable", layout_.Enlarged(i) ? 1 : 0) == 0) {
      LogMessage("%s:%d (%d)\r\n", LOGPOS, i);
    }
  }
  ApplyLayout();
}

void MFormView::ToggleFullScreen(int index) {
  if (index < 0 || index >= PaneCount()) return;
  if (index != current_) SelectPane(index);
  layout_.ToggleFullScreen(index);
  ApplyLayout();
}

void MFormView::ToggleWideMode() {
  const bool wide = !layout_.Wide();
  QWidget* top = window();
  const QRect area = WorkArea();
  if (wide) savedRect_ = top->geometry();
  const QRect target = wide || !savedRect_.isValid() ? (wide ? area : top->geometry()) : savedRect_;
  // The form fills the main window's client area.
  const QSize client = target.size() - (top->size() - size());
  layout_.SetWide(wide, area.size(), client);
  panel_->setVisible(!wide);
  for (MButton* b : {maximise_, minimise_, wide_, close_}) {
    if (b != nullptr) b->setVisible(!wide);
  }
  top->setGeometry(target);
  if (top != this) resize(client);
  ApplyLayout();
}

void MFormView::ApplyLayout() {
  const int full = layout_.FullScreenPane();
  // A pane that goes back into the form first; then every pane in its
  // place. Covered panes and, while one is full screen, all the others keep
  // receiving, decoding and recording; only their pictures are not drawn.
  for (int i = 0; i < PaneCount(); ++i) {
    MViewer* pane = Pane(i);
    pane->Session().Render().SetDisplay(layout_.DisplayOn(i) ? 1 : 0);
    pane->SetEnlarged(layout_.Enlarged(i));
    if (i == full) continue;
    ShowFullScreen(pane, false);
    pane->setGeometry(PaneRect(i));
  }
  // Panes in their cells at the bottom, enlarged panes above them.
  for (int i = 0; i < PaneCount(); ++i) {
    if (i != full && !layout_.Enlarged(i)) Pane(i)->lower();
  }
  for (int i = 0; i < PaneCount(); ++i) {
    if (i != full && layout_.Enlarged(i)) Pane(i)->raise();
  }
  if (full >= 0) ShowFullScreen(Pane(full), true);
  PlaceChrome();
  update();
  RefreshStatus();
}

// The full-screen pane is a window of its own over the whole screen, on top
// of every other; it goes back to the form when it leaves.
void MFormView::ShowFullScreen(MViewer* pane, bool on) {
  if (pane->FullScreen() == on) return;
  pane->SetFullScreen(on);
  QWidget* top = window();
  if (on) {
    // Over a main window that stays on top, the pane could not be seen.
    if (AlwaysOnTop()) SetStaysOnTop(top, false);
    const QScreen* s = top->screen() != nullptr ? top->screen() : QGuiApplication::primaryScreen();
    pane->setParent(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    if (s != nullptr) pane->setGeometry(s->geometry());
    pane->showFullScreen();
    pane->raise();
    pane->activateWindow();
    pane->setFocus();
    return;
  }
  // Left because another window took the focus: that window keeps it.
  const bool hadFocus = pane->isActiveWindow();
  pane->setParent(this);
  pane->show();
  if (AlwaysOnTop()) SetStaysOnTop(top, true);
  if (top->isMinimized() || !top->isVisible()) top->showNormal();
  if (!hadFocus) return;
  top->raise();
  top->activateWindow();
}

void MFormView::PlaceChrome() {
  if (maximise_) maximise_->move(width() - 97, kTitleButtonTop);
  if (minimise_) minimise_->move(width() - 73, kTitleButtonTop);
  if (wide_) wide_->move(width() - 49, kTitleButtonTop);
  if (close_) close_->move(width() - 25, kTitleButtonTop);
  if (panel_) panel_->setGeometry(Geometry().SidePanelLeft(), 0, FormGeometry::kSidePanelWidth, height());
}
