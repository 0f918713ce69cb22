#include "controls/MSelectRecordBox.h"

#include "base/RecordPaths.h"
#include "base/SettingsIndex.h"
#include "controls/MCheckBox.h"
#include "controls/MEdit.h"
#include "controls/MStatic.h"
#include "controls/Skin.h"
#include "StringTable.h"

#include <QIntValidator>

namespace {

constexpr QSize kButtonSize{72, 24};
constexpr QSize kCloseSize{19, 19};
const QColor kBoxBackground(244, 244, 240);
const QColor kFrameGreen(86, 140, 0);

RecordChoiceHook& Hook() {
  static RecordChoiceHook hook;
  return hook;
}

QRect Box(int left, int top, int right, int bottom) { return QRect(QPoint(left, top), QPoint(right - 1, bottom - 1)); }

}  // namespace

MSelectRecordBox::MSelectRecordBox(const SettingsKey& key)
    : MBoxBase(StringText(kTitleQuestion), StringText(20047), kIconQuestion, QRect(10, 5, 300, 20),
               Box(60, 50, 320, 86)),
      key_(key),
      modes_(new MCheckBoxGroup) {
  AddButton(kIdClose, width() - 24, 5, kCloseSize, QStringLiteral("×"));
  AddButton(kIdYes, 150, height() - 45, kButtonSize, QString::fromUtf8(UiString(UiText::kOk)));
  AddButton(kIdRecordCancel, 250, height() - 45, kButtonSize, QString::fromUtf8(UiString(UiText::kCancel)));
  MCheckBox* video = MCheckBox::Drawn(StringText(20136), this, kIdRecordVideo, Box(60, 100, 200, 116), kBoxBackground);
  MCheckBox* slides = MCheckBox::Drawn(StringText(20137), this, kIdRecordSlides, Box(60, 120, 200, 136), kBoxBackground);
  modes_->Add(video);
  modes_->Add(slides);
  connect(video, &MCheckBox::commanded, this, [this] { SetMode(1); });
  connect(slides, &MCheckBox::commanded, this, [this] { SetMode(2); });
  periodLabel_ = new MStatic(this, kIdSlidePeriodLabel, Box(80, 140, 170, 156), kBoxBackground, Qt::black, skin::PlainFont());
  periodLabel_->setText(StringText(20138));
  period_ = new MEdit(this, kIdSlidePeriodEdit, Box(180, 140, 200, 156), Qt::white, Qt::black);
  period_->setMaxLength(2);
  period_->setValidator(new QIntValidator(0, 99, period_));
  period_->setStyleSheet(QStringLiteral("border: 1px solid rgb(%1,%2,%3);").arg(kFrameGreen.red()).arg(kFrameGreen.green()).arg(kFrameGreen.blue()));
  period_->setText(QString::number(ClampSlidePeriod(ReadSettingDword(key_, settings::kRecordInterval))));
  secondsLabel_ = new MStatic(this, kIdSlideSecondsLabel, Box(205, 140, 230, 156), kBoxBackground, Qt::black, skin::PlainFont());
  secondsLabel_->setText(StringText(20139));
  SetMode(1);
}

MSelectRecordBox::~MSelectRecordBox() { delete modes_; }

QWidget* MSelectRecordBox::Control(int id) const {
  switch (id) {
    case kIdSlidePeriodLabel: return periodLabel_;
    case kIdSlidePeriodEdit: return period_;
    case kIdSlideSecondsLabel: return secondsLabel_;
    default: break;
  }
  for (const auto& box : modes_->Boxes()) {
    if (box && box->id() == id) return box;
  }
  return findChild<QWidget*>(QString::number(id));
}

void MSelectRecordBox::SetMode(int mode) {
  choice_.mode = mode;
  choice_.period = 0;
  modes_->Select(mode == 1 ? kIdRecordVideo : kIdRecordSlides);
  const bool slides = mode == 2;
  periodLabel_->setVisible(slides);
  period_->setVisible(slides);
  secondsLabel_->setVisible(slides);
}

void MSelectRecordBox::OnButton(int id) {
  if (id == kIdYes) {
    // Anything but a number from 1 to 60 is brought into that range.
    choice_.period = ClampSlidePeriod(period_->GetText(QStringLiteral("0")).toInt());
    WriteSettingDword(key_, settings::kRecordInterval, choice_.period);
  }
  choice_.result = id;
  MBoxBase::OnButton(id);
}

RecordChoice ChooseRecording(const SettingsKey& key, QWidget* parent) {
  if (Hook()) return Hook()(key);
  MSelectRecordBox box(key);
  box.DoModal(parent);
  return box.Choice();
}

RecordChoiceHook SetRecordChoiceHook(RecordChoiceHook hook) {
  RecordChoiceHook previous = std::move(Hook());
  Hook() = std::move(hook);
  return previous;
}
