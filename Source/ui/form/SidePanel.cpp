#include "form/SidePanel.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QSlider>
#include <QTimerEvent>

#include "controls/MInfoBox.h"
#include "controls/Skin.h"
#include "pane/ViewerSession.h"
#include "base/base.h"
#include "video/VideoFormat.h"

namespace {

constexpr QSize kWideSize{60, 26};
constexpr int kComboTop = 29;
constexpr int kComboHeight = 21;
constexpr int kComboOpenHeight = 23;  // per item
// The pad is centred in the panel's width.
constexpr int kPadLeft = (160 - MStaticPanTilt::kSize.width()) / 2;
constexpr int kPadTop = 380;

}  // namespace

SidePanelShown SidePanelVisibility(const PaneStatus& s, bool audioReady) {
  SidePanelShown shown;
  if (s.state == kPaneIdle) {
    shown.setup = true;
    return shown;
  }
  if (s.state < kPaneLive) {
    shown.logOut = true;
    return shown;
  }
  shown.setup = true;
  shown.logOut = true;
  shown.snapshot = true;
  shown.record = true;
  shown.pad = (s.group == 0 || s.group == 1) && s.model != kModelFixed;
  const bool audio = audioReady && (s.codec == kCodecMpeg4 || s.codec == kCodecH264) && s.model != kModelFixed;
  shown.mic = audio;
  if (s.group == 0) {
    shown.speaker = audio;
    shown.volume = audio && s.talking;
  }
  return shown;
}


SidePanel::SidePanel(QWidget* form) : QWidget(form) {
  setFont(skin::PlainFont());
  setup_ = MButton::Labelled(this, kIdSetupButton, 20, 65, kWideSize, StringText(20019));
  logOut_ = MButton::Labelled(this, kIdLogOutButton, 85, 65, kWideSize, StringText(20020));
  mic_ = new MCheckButton(this, kIdMicButton, 20, 140, MCheckButton::Glyph::Microphone);
  speaker_ = new MCheckButton(this, kIdSpeakerButton, 48, 140, MCheckButton::Glyph::Speaker);
  snapshot_ = new MCheckButton(this, kIdSnapshotButton, 15, 290, MCheckButton::Glyph::Camera);
  record_ = new MCheckButton(this, kIdRecordButton, 45, 290, MCheckButton::Glyph::Record);
  snapshot_->setToolTip(StringText(20025));
  record_->setToolTip(StringText(20026));
  setup_->setToolTip(StringText(20019));
  logOut_->setToolTip(StringText(20020));
  mic_->setToolTip(StringText(20021));
  speaker_->setToolTip(StringText(20022));
  for (MButton* b : {setup_, logOut_, static_cast<MButton*>(mic_), static_cast<MButton*>(speaker_),
                     static_cast<MButton*>(snapshot_), static_cast<MButton*>(record_)}) {
    connect(b, &MButton::clicked, this, [this, b] { emit command(b->id()); });
  }

  volume_ = new QSlider(Qt::Horizontal, this);
  volume_->setObjectName(QString::number(kIdVolumeBar));
  volume_->setRange(0, 26);
  volume_->setGeometry(10, 175, 140, 20);
  volume_->hide();
  connect(volume_, &QSlider::sliderReleased, this, [this] { emit volumeMoved(volume_->value()); });
  connect(volume_, &QSlider::actionTriggered, this, [this](int action) {
    // Clicks and keys move the bar in steps; a drag reports on release.
    if (action != QAbstractSlider::SliderMove) emit volumeMoved(volume_->sliderPosition());
  });

  pad_ = new MStaticPanTilt(this, kPadLeft, kPadTop);
  pad_->hide();
  connect(pad_, &MStaticPanTilt::step, this, &SidePanel::padStep);

  lan_ = new LanCombo(this);
  lan_->setObjectName(QString::number(kIdLanCombo));
  list_ = new QComboBox(this);
  list_->setObjectName(QString::number(kIdCameraListCombo));
  for (QComboBox* c : {static_cast<QComboBox*>(lan_), list_}) {
    c->setGeometry(0, kComboTop, 160, kComboHeight);
    c->setMaxVisibleItems(16);
    c->setStyleSheet(QStringLiteral("QComboBox QAbstractItemView::item { min-height: %1px; }").arg(kComboOpenHeight));
  }
  list_->hide();
}

QWidget* SidePanel::Control(int id) const {
  switch (id) {
    case kIdLanCombo: return lan_;
    case kIdCameraListCombo: return list_;
    case kIdSetupButton: return setup_;
    case kIdLogOutButton: return logOut_;
    case kIdMicButton: return mic_;
    case kIdSpeakerButton: return speaker_;
    case kIdVolumeBar: return volume_;
    case kIdSnapshotButton: return snapshot_;
    case kIdRecordButton: return record_;
    default: return nullptr;
  }
}

void SidePanel::SetCameraListEnabled(bool on) {
  cameraList_ = on;
  lan_->hidePopup();
  list_->hidePopup();
  lan_->setVisible(!on);
  list_->setVisible(on);
}

void SidePanel::Apply(const PaneStatus& s, bool audioReady) {
  const SidePanelShown shown = SidePanelVisibility(s, audioReady);
  setup_->setVisible(shown.setup);
  logOut_->setVisible(shown.logOut);
  mic_->setVisible(shown.mic);
  speaker_->setVisible(shown.speaker);
  volume_->setVisible(shown.volume);
  pad_->setVisible(shown.pad);
  snapshot_->setVisible(shown.snapshot);
  record_->setVisible(shown.record);
  record_->SetCheck(s.recording);
  mic_->SetCheck(s.listening);
  speaker_->SetCheck(s.talking);
  if (!volume_->isSliderDown()) volume_->setValue(s.volume);
  SetCameraListEnabled(cameraList_);
}
