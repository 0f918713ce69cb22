#include "controls/MInfoBox.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QTimerEvent>
#include <algorithm>

#include "controls/FitText.h"
#include "controls/MButton.h"
#include "controls/Skin.h"
#include "StringTable.h"
#include "WindowMessage.h"

namespace {

constexpr QSize kButtonSize{72, 24};
constexpr QSize kCloseSize{19, 19};
constexpr int kTitleBand = 25;  // the draggable caption band

}  // namespace

QString StringText(int id) {
  // Messages are written with CR LF line ends; Qt breaks lines on LF alone.
  return QString::fromUtf8(LoadStringText(id)).remove(QLatin1Char('\r'));
}

MBoxBase::MBoxBase(const QString& title, const QString& message, int iconId, QRect titleRect,
                   QRect messageRect)
    : QDialog(nullptr, Qt::Dialog | Qt::FramelessWindowHint),
      title_(title.left(255)),
      message_(message.left(2047)),
      iconId_(iconId),
      titleRect_(titleRect),
      messageRect_(messageRect),
      titleFont_(fit::FittingFont(skin::BoldFont(), title_, titleRect.width())) {
  setFixedSize(skin::kBoxSize);
  setFont(skin::BoldFont());
  setWindowTitle(title_);
}

MButton* MBoxBase::AddButton(int id, int x, int y, QSize size, const QString& label) {
  MButton* b = MButton::Labelled(this, id, x, y, size, label);
  connect(b, &MButton::clicked, this, [this, id] { OnButton(id); });
  return b;
}

void MBoxBase::OnButton(int id) {
  if (modeless_) {
    setResult(id);
    close();
  } else {
    done(id);
  }
}

int MBoxBase::DoModal(QWidget* parent) {
  if (parent) {
    setParent(parent, windowFlags());
  }
  return exec();
}

void MBoxBase::showEvent(QShowEvent* e) {
  PlaceOverParent();
  QDialog::showEvent(e);
}

void MBoxBase::PlaceOverParent() {
  QWidget* parent = parentWidget();
  QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen();
  const QRect area = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
  QRect over = area;
  if (parent && parent->isVisible() && !parent->isMinimized()) {
    over = parent->window()->frameGeometry();
  }
  QRect box(QPoint(0, 0), size());
  box.moveCenter(over.center());
  // Keep the box inside the work area.
  if (box.right() > area.right()) box.moveRight(area.right());
  if (box.bottom() > area.bottom()) box.moveBottom(area.bottom());
  if (box.left() < area.left()) box.moveLeft(area.left());
  if (box.top() < area.top()) box.moveTop(area.top());
  move(box.topLeft());
}

void MBoxBase::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.drawPixmap(0, 0, skin::BoxBackground());
  p.drawPixmap(16, 49, skin::BoxIcon(iconId_));
  p.setFont(titleFont_);
  p.setPen(Qt::white);
  p.drawText(titleRect_, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, title_);
  p.setFont(MessageFont());
  p.setPen(Qt::black);
  p.setClipRect(MessageArea());
  p.drawText(messageRect_, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, message_);
}

QRect MBoxBase::MessageArea() const {
  QRect area = messageRect_ & rect();
  // A button below the message's top that shares its columns ends the area
  // two pixels above it: text under a button cannot be read.
  for (const MButton* b : findChildren<MButton*>(Qt::FindDirectChildrenOnly)) {
    const QRect g = b->geometry();
    if (g.top() > area.top() && g.left() <= area.right() && g.right() >= area.left()) {
      area.setBottom(std::min(area.bottom(), g.top() - 3));
    }
  }
  return area;
}

QFont MBoxBase::MessageFont() const {
  return fit::FittingWrappedFont(skin::BoldFont(), message_, MessageArea().size());
}

void MBoxBase::mousePressEvent(QMouseEvent* e) {
  if (e->button() == Qt::LeftButton && e->position().y() < kTitleBand) {
    dragging_ = true;
    dragOffset_ = e->globalPosition().toPoint() - frameGeometry().topLeft();
  }
}

void MBoxBase::mouseMoveEvent(QMouseEvent* e) {
  if (dragging_ && (e->buttons() & Qt::LeftButton)) {
    move(e->globalPosition().toPoint() - dragOffset_);
  } else {
    dragging_ = false;
  }
}

// --- MInfoBox -------------------------------------------------------------

namespace {

QString MessageWithDetail(int messageId, const QString& detail) {
  if (messageId == 0) return detail;
  return detail.isEmpty() ? StringText(messageId) : StringText(messageId) + QLatin1Char('\n') + detail;
}

}  // namespace

MInfoBox::MInfoBox(int titleId, int messageId, int iconId, const QString& detail)
    : MBoxBase(StringText(titleId), MessageWithDetail(messageId, detail), iconId, QRect(10, 5, 227, 20),
               QRect(60, 50, 260, 330)) {
  Build();
}

MInfoBox::MInfoBox()
    : MBoxBase(QStringLiteral("View"), QStringLiteral("Access Denied"), kIconError,
               QRect(10, 5, 227, 20), QRect(60, 50, 260, 330)) {
  Build();
}

void MInfoBox::Build() {
  AddButton(kIdInfoClose, width() - 24, 5, kCloseSize, QStringLiteral("×"));
  AddButton(kIdOk, 250, height() - 60, kButtonSize, QString::fromUtf8(UiString(UiText::kOk)));
}

void MInfoBox::ShowModeless(int milliseconds, QWidget* parent) {
  modeless_ = true;
  setAttribute(Qt::WA_DeleteOnClose);
  if (parent) setParent(parent, windowFlags());
  show();
  if (milliseconds > 0) timer_.start(milliseconds, this);
}

void MInfoBox::timerEvent(QTimerEvent* e) {
  if (e->timerId() != timer_.timerId()) return QDialog::timerEvent(e);
  timer_.stop();
  close();
}

// --- MInfoBox3 ------------------------------------------------------------

MInfoBox3::MInfoBox3(QObject* owner, int boxCode, int messageId, bool noButton)
    : MBoxBase(StringText(kTitleNotice), StringText(messageId), kIconNotice,
               QRect(10, 5, 227, 20), QRect(60, 50, 260, 330)),
      owner_(owner),
      boxCode_(boxCode) {
  if (!noButton) AddButton(kIdOk, 250, height() - 60, kButtonSize, QString::fromUtf8(UiString(UiText::kCancel)));
}

void MInfoBox3::ShowModeless(QWidget* parent) {
  modeless_ = true;
  setAttribute(Qt::WA_DeleteOnClose);
  if (parent) setParent(parent, windowFlags());
  show();
}

void MInfoBox3::OnButton(int id) {
  PostWindowMessage(owner_.data(), WM_INFOBOX_CANCEL, static_cast<std::uintptr_t>(boxCode_), 0);
  MBoxBase::OnButton(id);
}

// --- MQuestionBox ---------------------------------------------------------

MQuestionBox::MQuestionBox(int titleId, int messageId, int iconId, const QString& detail)
    : MBoxBase(StringText(titleId),
               detail.isEmpty() ? StringText(messageId)
                                : StringText(messageId) + QLatin1Char('\n') + detail,
               iconId, QRect(10, 5, skin::kBoxSize.width() - 15, 20),
               QRect(50, 50, skin::kBoxSize.width() - 55, skin::kBoxSize.height() - 110)) {
  AddButton(kIdClose, width() - 24, 5, kCloseSize, QStringLiteral("×"));
  AddButton(kIdYes, 150, height() - 60, kButtonSize, QString::fromUtf8(UiString(UiText::kYes)));
  AddButton(kIdNo, 250, height() - 60, kButtonSize, QString::fromUtf8(UiString(UiText::kNo)));
}
