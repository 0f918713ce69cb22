#include "form/AboutBox.h"

#include <QGridLayout>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QSettings>
#include <QVBoxLayout>
#include <algorithm>

#include "MessageRouter.h"
#include "StringTable.h"
#include "Version.h"
#include "base/base.h"
#include "controls/MButton.h"
#include "controls/MInfoBox.h"
#include "controls/Skin.h"
#include "form/FormContext.h"
#include "form/MFormView.h"
#include "form/ProgramKeys.h"
#include "pane/MViewer.h"

namespace {

// The message boxes' look (skin::BoxBackground), at any size.
const QColor kBoxFill(244, 244, 240);
const QColor kBandTop(52, 86, 140);
const QColor kBandBottom(30, 58, 104);
constexpr int kBand = 30;      // the title band, also what drags the box
constexpr QSize kCloseSize{19, 19};
constexpr QSize kOkSize{72, 24};
constexpr char kManualCommand[] = "man tessora-viewer";

QString Ui(UiText key) { return QString::fromUtf8(UiString(key)); }

QLabel* MakeLabel(QWidget* parent, const QString& text, const QFont& font, QStringList* lines) {
  auto* label = new QLabel(text, parent);
  label->setTextFormat(Qt::PlainText);
  label->setFont(font);
  lines->append(text);
  return label;
}

}  // namespace

AboutPlaces ProgramPlaces(const QString& paneRecordingFolder) {
  // The same store the settings are read from and written to.
  const QSettings store(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Halvik"),
                        QStringLiteral("Tessora"));
  AboutPlaces p;
  p.settingsFile = store.fileName();
  p.logFolder = QString::fromStdString(DefaultDirectory());
  p.recordingFolder = paneRecordingFolder.isEmpty() ? p.logFolder : paneRecordingFolder;
  return p;
}

AboutBox::AboutBox(const AboutPlaces& places, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint) {
  setAttribute(Qt::WA_DeleteOnClose);
  setFont(skin::PlainFont());
  const QString title = Ui(UiText::kAboutTitle);
  setWindowTitle(title);
  const QFont bold = skin::BoldFont();
  const QFont plain = skin::PlainFont();
  QStringList lines;

  auto* root = new QVBoxLayout(this);
  root->setContentsMargins(12, 5, 12, 12);
  root->setSpacing(6);
  root->setSizeConstraint(QLayout::SetFixedSize);  // as large as the lines need
  // The title on the band, clear of the close button.
  auto* band = new QHBoxLayout;
  QLabel* titleLabel = MakeLabel(this, title, bold, &lines);
  QPalette white = titleLabel->palette();
  white.setColor(QPalette::WindowText, Qt::white);
  titleLabel->setPalette(white);
  titleLabel->setFixedHeight(kBand - 10);
  band->addWidget(titleLabel);
  band->addStretch();
  band->addSpacing(kCloseSize.width() + 5);
  root->addLayout(band);
  root->addSpacing(kBand - 25 + 6);

  root->addWidget(MakeLabel(this, QStringLiteral("TessoraViewer %1").arg(QStringLiteral(TESSORA_VERSION_TEXT)),
                            bold, &lines));
  root->addSpacing(6);

  root->addWidget(MakeLabel(this, Ui(UiText::kAboutKeys), bold, &lines));
  auto* keys = new QGridLayout;
  keys->setHorizontalSpacing(16);
  int row = 0;
  for (const ProgramKey& k : kProgramKeys) {
    keys->addWidget(MakeLabel(this, Ui(k.key), bold, &lines), row, 0);
    keys->addWidget(MakeLabel(this, Ui(k.what), plain, &lines), row, 1);
    ++row;
  }
  keys->setColumnStretch(1, 1);
  root->addLayout(keys);
  root->addSpacing(6);

  root->addWidget(MakeLabel(this, Ui(UiText::kAboutPlaces), bold, &lines));
  auto* placesGrid = new QGridLayout;
  placesGrid->setHorizontalSpacing(16);
  const std::pair<UiText, QString> rows[] = {
      {UiText::kAboutSettings, places.settingsFile},
      {UiText::kAboutLogs, places.logFolder},
      {UiText::kAboutRecordings, places.recordingFolder},
  };
  row = 0;
  for (const auto& [name, path] : rows) {
    placesGrid->addWidget(MakeLabel(this, Ui(name), bold, &lines), row, 0);
    QLabel* where = MakeLabel(this, path, plain, &lines);
    where->setTextInteractionFlags(Qt::TextSelectableByMouse);  // to copy it
    placesGrid->addWidget(where, row, 1);
    ++row;
  }
  placesGrid->setColumnStretch(1, 1);
  root->addLayout(placesGrid);
  root->addSpacing(6);
  root->addWidget(MakeLabel(this, Ui(UiText::kAboutManual).arg(QLatin1String(kManualCommand)), plain, &lines));

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  MButton* ok = MButton::Labelled(this, kIdOk, 0, 0, kOkSize, Ui(UiText::kOk));
  ok->setFixedSize(kOkSize);
  buttons->addWidget(ok);
  root->addSpacing(6);
  root->addLayout(buttons);
  connect(ok, &MButton::clicked, this, &QWidget::close);

  close_ = MButton::Labelled(this, kIdInfoClose, 0, 5, kCloseSize, QStringLiteral("×"));
  connect(close_, &MButton::clicked, this, &QWidget::close);
  lines_ = lines;
}

void AboutBox::resizeEvent(QResizeEvent* e) {
  close_->move(width() - 24, 5);
  QDialog::resizeEvent(e);
}

void AboutBox::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), kBoxFill);
  QLinearGradient band(0, 0, 0, kBand);
  band.setColorAt(0, kBandTop);
  band.setColorAt(1, kBandBottom);
  p.fillRect(QRect(0, 0, width(), kBand), band);
  p.setPen(kBandBottom);
  p.drawRect(rect().adjusted(0, 0, -1, -1));
}

// Centred over the main window, inside the work area.
void AboutBox::showEvent(QShowEvent* e) {
  adjustSize();
  QWidget* parent = parentWidget();
  const QScreen* screen = parent != nullptr ? parent->screen() : QGuiApplication::primaryScreen();
  const QRect area = screen != nullptr ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
  const QRect over = parent != nullptr && parent->isVisible() ? parent->window()->frameGeometry() : area;
  QRect box(QPoint(0, 0), size());
  box.moveCenter(over.center());
  box.moveRight(std::min(box.right(), area.right()));
  box.moveBottom(std::min(box.bottom(), area.bottom()));
  box.moveLeft(std::max(box.left(), area.left()));
  box.moveTop(std::max(box.top(), area.top()));
  move(box.topLeft());
  QDialog::showEvent(e);
}

void AboutBox::keyPressEvent(QKeyEvent* e) {
  switch (e->key()) {
    case Qt::Key_Escape:
    case Qt::Key_Return:
    case Qt::Key_Enter: close(); return;
    default: QDialog::keyPressEvent(e);
  }
}

void AboutBox::mousePressEvent(QMouseEvent* e) {
  if (e->button() == Qt::LeftButton && e->position().y() < kBand) {
    dragging_ = true;
    dragOffset_ = e->globalPosition().toPoint() - frameGeometry().topLeft();
  }
}

void AboutBox::mouseMoveEvent(QMouseEvent* e) {
  if (dragging_ && (e->buttons() & Qt::LeftButton)) move(e->globalPosition().toPoint() - dragOffset_);
}

void AboutBox::mouseReleaseEvent(QMouseEvent*) { dragging_ = false; }

// --- the help command ---------------------------------------------------------

void HelpCommands::Register(MessageRouter& router) { router.RegisterCommand(kIdHelp, [this] { ShowAbout(); }); }

void HelpCommands::ShowAbout() {
  if (box_) {
    box_->raise();
    box_->activateWindow();
    return;
  }
  MViewer* pane = form_.CurrentPane();
  QString recordings;
  if (pane != nullptr) recordings = QString::fromStdString(pane->Session().Recording().StoredPaneDir());
  box_ = new AboutBox(ProgramPlaces(recordings), owner_ != nullptr ? owner_->window() : nullptr);
  box_->show();
  box_->raise();
  box_->activateWindow();
}
