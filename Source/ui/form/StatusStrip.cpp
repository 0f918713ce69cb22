#include "form/StatusStrip.h"

#include <QFontMetrics>
#include <QLabel>

#include "controls/MStatic.h"
#include "controls/Skin.h"
#include "pane/ViewerSession.h"

namespace strip {

QString TitleText(const PaneStatus& s) {
  if (!s.alias.isEmpty() && s.alias != QLatin1String("0")) return s.alias;
  return s.address.isEmpty() ? QStringLiteral("0") : s.address;
}

bool TitleShown(const PaneStatus& s) { return s.renderStarted && s.state > kPaneIdle; }

bool MicShown(const PaneStatus& s) { return s.state > kPaneVideoOpen && s.listening; }

bool SpeakerShown(const PaneStatus& s) { return s.state >= kPaneLive && s.talking && s.group == 0; }

bool MotionShown(const PaneStatus& s) { return s.state >= kPaneLive && s.motionOn && s.group == 0; }

bool FlashShown(const PaneStatus& s) { return s.state >= kPaneLive && s.flashOn && s.group == 0; }

// A scheduled recording goes on while the pane reconnects or is logged out.
bool RecordingShown(const PaneStatus& s) { return s.recording; }

QColor TitleColour(const PaneStatus& s, bool current) {
  if (s.recording) return current ? QColor(255, 0, 0) : QColor(255, 100, 100);
  return current ? kCurrentTitleText : kTitleText;
}

QString CodecName(int codec) {
  switch (codec) {
    case 0: return QStringLiteral("MJPEG");
    case 1: return QStringLiteral("MPEG4");
    case 2: return QStringLiteral("H.264");
    default: return {};
  }
}

QString ResolutionName(int resolution) {
  switch (resolution) {
    case 0: return QStringLiteral("QVGA");
    case 1: return QStringLiteral("ZOOM");
    case 2: return QStringLiteral("VGA");
    default: return {};
  }
}

}  // namespace strip

namespace {

constexpr int kStatusWidth = 30;
constexpr int kLabelHeight = 15;
constexpr int kFormatWidth = 60;
constexpr int kTitleHeight = 14;

QString Style(const QColor& text, const QColor& background) {
  return QStringLiteral("color: %1; background-color: %2").arg(text.name(), background.name());
}

// A label of the strip: its text steps down in size where its place is too
// narrow for it (a skinned label refits on every text and size).
QLabel* MakeLabel(QWidget* parent, const QString& text, const QColor& colour, Qt::Alignment align) {
  QFont f = skin::BoldFont();
  f.setPixelSize(11);
  auto* l = new MStatic(parent, 0, QRect(), QColor(), colour, f);
  l->setObjectName(text.isEmpty() ? QStringLiteral("strip") : text);
  l->setText(text);
  l->setAlignment(align);
  l->setStyleSheet(Style(colour, strip::kBackground));
  l->hide();
  return l;
}

}  // namespace

StatusStrip::StatusStrip(QWidget* form, int paneCount) {
  for (int i = 0; i < paneCount; ++i) {
    titles_.push_back(MakeLabel(form, {}, strip::kTitleText, Qt::AlignLeft | Qt::AlignVCenter));
    titles_.back()->setFont(skin::BoldFont());
    texts_.emplace_back();
  }
  const char* names[kStatusCount] = {"MIC", "SPK", "MD", "LED", "REC"};
  const QColor colours[kStatusCount] = {QColor(0, 255, 0), QColor(0, 255, 255), QColor(255, 0, 255),
                                        QColor(255, 255, 0), QColor(255, 0, 0)};
  for (int i = 0; i < kStatusCount; ++i) {
    status_[i] = MakeLabel(form, QString::fromLatin1(names[i]), colours[i], Qt::AlignCenter);
  }
  codec_ = MakeLabel(form, {}, strip::kTitleText, Qt::AlignRight | Qt::AlignVCenter);
  resolution_ = MakeLabel(form, {}, strip::kTitleText, Qt::AlignRight | Qt::AlignVCenter);
  for (QLabel* l : {codec_, resolution_}) l->setStyleSheet(QStringLiteral("color: white"));
}

void StatusStrip::SetTitle(int index, const QRect& cell, int titleWidth, const PaneStatus& s, bool current,
                           bool covered) {
  QLabel* title = Title(index);
  title->setGeometry(cell.left(), cell.top() - kTitleHeight, titleWidth, kTitleHeight);
  const bool shown = strip::TitleShown(s) && !covered;
  texts_[static_cast<std::size_t>(index)] = shown ? strip::TitleText(s) : QString();
  // A long alias or address is shortened to the label, never drawn past it.
  const QString full = texts_[static_cast<std::size_t>(index)];
  title->setText(QFontMetrics(title->font()).elidedText(full, Qt::ElideRight, titleWidth - 2));
  title->setToolTip(full);
  title->setStyleSheet(Style(strip::TitleColour(s, current), strip::kBackground));
  title->setVisible(shown);
}

void StatusStrip::SetCurrent(const QRect& cell, int titleWidth, const PaneStatus& s) {
  const bool shown[kStatusCount] = {strip::MicShown(s), strip::SpeakerShown(s), strip::MotionShown(s),
                                    strip::FlashShown(s), strip::RecordingShown(s)};
  int x = cell.left() + titleWidth;
  for (int i = 0; i < kStatusCount; ++i) {
    status_[i]->setGeometry(x, cell.top() - kLabelHeight, kStatusWidth, kLabelHeight);
    status_[i]->setVisible(shown[i]);
    x += kStatusWidth;
  }
  const bool format = s.state != kPaneIdle;
  codec_->setText(strip::CodecName(s.codec));
  resolution_->setText(strip::ResolutionName(s.resolution));
  codec_->setGeometry(cell.right() + 1 - kFormatWidth, cell.bottom() + 1, kFormatWidth, kTitleHeight);
  resolution_->setGeometry(cell.right() + 1 - 2 * kFormatWidth, cell.bottom() + 1, kFormatWidth, kTitleHeight);
  codec_->setVisible(format);
  resolution_->setVisible(format);
}
