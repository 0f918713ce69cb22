#include "MFormView.h"

#include <QPainter>
#include <QRandomGenerator>
#include <QTimerEvent>

#include "MViewer.h"
#include "Skin.h"
#include "WindowMessage.h"
#include "base/base.h"
#include "link/LinkEngine.h"

namespace {

constexpr int kLeft = 8;
constexpr int kTop = 44;
constexpr int kGapX = 5;
constexpr int kGapY = 15;
constexpr int kSidePanel = 171;
constexpr int kTickMs = 1000;

}  // namespace

MFormView::MFormView(QWidget* parent, int columns, int rows, int instance)
    : QWidget(parent), columns_(columns), rows_(rows) {
  if (columns_ < 1 || rows_ < 1 || columns_ * rows_ > kMaxPanes) {
    LogMessage("%s:%d (%d)\r\n", LOGPOS, columns_ * rows_);
    columns_ = 4;
    rows_ = 4;
  }
  setAutoFillBackground(false);
  if (StartLinkEngine() != 1) LogMessage("%s:%d\r\n", LOGPOS);
  const int count = columns_ * rows_;
  for (int i = 0; i < count; ++i) {
    auto* pane = new MViewer(this, this, i, i + instance * count, CellRect(i));
    panes_.push_back(pane);
    auto* title = new QLabel(this);
    title->setFont(skin::BoldFont());
    title->setGeometry(CellRect(i).left(), CellRect(i).top() - 14, 140, 14);
    titles_.push_back(title);
    RefreshTitle(i);
  }
  SelectPane(0);
  setMinimumSize(FormSize());
  tickStart_ = QRandomGenerator::global()->bounded(count);
  tick_.start(kTickMs, this);
  autoSignIn_ = std::thread(&MFormView::AutoSignInThread, this);
}

MFormView::~MFormView() {
  if (autoSignIn_.joinable()) autoSignIn_.join();
  tick_.stop();
  for (MViewer* pane : panes_) pane->LogOut();
}

QRect MFormView::CellRect(int index) const {
  const int row = index / columns_, col = index % columns_;
  return QRect(kLeft + col * (kCellWidth + kGapX), kTop + row * (kCellHeight + kGapY), kCellWidth, kCellHeight);
}

QSize MFormView::FormSize() const {
  return QSize(columns_ * kCellWidth + columns_ * kGapX + kSidePanel, rows_ * kCellHeight + rows_ * kGapY + 47);
}

void MFormView::AutoSignInThread() {
  // Panes with a stored password sign in one after another; each call may
  // wait up to 2 s for its camera, so this runs beside the UI thread.
  for (MViewer* pane : panes_) {
    ViewerSession& s = pane->Session();
    if (s.AutoSignIn() && s.State() == 0) s.SignIn(s.StoredFields());
  }
}

void MFormView::SetVideoPaused(bool paused) {
  for (MViewer* pane : panes_) pane->Session().SetVideoPaused(paused ? 1 : 0);
}

void MFormView::SelectPane(int index) {
  if (index < 0 || index >= PaneCount()) return;
  current_ = index;
  for (int i = 0; i < PaneCount(); ++i) {
    panes_[static_cast<std::size_t>(i)]->SetSelected(i == index);
    RefreshTitle(i);
  }
  update();
}

void MFormView::RefreshTitle(int index) {
  MViewer* pane = Pane(index);
  QString alias = pane->Session().StoredFields().alias;
  QString text = QStringLiteral("Viewer %1").arg(index + 1);
  if (!alias.isEmpty()) text += QStringLiteral(" ") + alias;
  QLabel* title = titles_[static_cast<std::size_t>(index)];
  title->setText(text);
  // Live panes in green, the current pane in white, others grey.
  const int state = pane->Session().State();
  const char* colour = state >= 6 ? "#00e100" : index == current_ ? "white" : "#a0a0a0";
  title->setStyleSheet(QStringLiteral("color: %1").arg(QLatin1String(colour)));
}

bool MFormView::event(QEvent* e) {
  if (auto* m = dynamic_cast<WindowMessageEvent*>(e)) {
    const int slot = static_cast<int>(m->wParam);
    if (m->message() == 1025 && slot >= 0 && slot < PaneCount()) RefreshTitle(slot);
    if (m->message() == 1026) SelectPane(slot);
    return true;
  }
  return QWidget::event(e);
}

void MFormView::timerEvent(QTimerEvent* e) {
  if (e->timerId() != tick_.timerId()) return QWidget::timerEvent(e);
  const int count = PaneCount();
  for (int k = 0; k < count; ++k) Pane((tickStart_ + k) % count)->Tick();
  tickStart_ = (tickStart_ + 1) % count;
}

void MFormView::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), QColor(40, 48, 40));
  // A frame around the current pane.
  p.setPen(QPen(QColor(165, 198, 99), 2));
  p.drawRect(CellRect(current_).adjusted(-2, -2, 1, 1));
}
