#include "form/SidePanel.h"

#include <QEvent>
#include <QMouseEvent>
#include <algorithm>

#include "controls/MInfoBox.h"
#include "controls/Skin.h"
#include "form/FormContext.h"
#include "pane/MViewer.h"
#include "pane/ViewerSession.h"
#include "video/VideoFormat.h"

namespace {

using Glyph = MCheckButton::Glyph;

constexpr int kPanelWidth = 160;
constexpr QSize kWideSize{60, 26};
constexpr int kComboTop = 29;
constexpr int kComboRows = 16;
constexpr int kComboRowHeight = 23;
const QColor kComboBackground(255, 255, 255);
const QColor kComboText(0, 0, 0);
// The volume bar: 26 steps of 5 pixels between its 7-pixel margins.
constexpr int kVolumeMaximum = 26;
constexpr int kVolumePixelsPerStep = 5;
constexpr QSize kVolumeSize{kVolumeMaximum * kVolumePixelsPerStep + 2 * kTrackMargin, 20};
// The pad is centred in the panel's width.
constexpr int kPadLeft = (kPanelWidth - MStaticPanTilt::kSize.width()) / 2;
constexpr int kPadTop = 380;

// The icon buttons: id, place (x in the panel, y in the form), face and
// tooltip. Rows of three and four are spread evenly over the 160 pixels.
struct IconPlace {
  int id;
  int x;
  int y;
  Glyph glyph;
  int tooltip;
};
constexpr IconPlace kIcons[] = {
    {kIdSensorButton, 90, 110, Glyph::Sensor, 20150},
    {kIdOutputButton, 118, 110, Glyph::Output, 20151},
    {kIdMicButton, kMicLeft, 140, Glyph::Microphone, 20021},
    {kIdSpeakerButton, 48, 140, Glyph::Speaker, 20022},
    {kIdMotionButton, kMicLeft + kMotionOffset, 140, Glyph::Motion, 20023},
    {kIdFlashButton, 118, 140, Glyph::Flash, 20024},
    {kIdScanStartButton, 20, 220, Glyph::ScanStart, 20147},
    {kIdScanStopButton, 67, 220, Glyph::ScanStop, 20148},
    {kIdFunctionButton, 114, 220, Glyph::Function, 20149},
    {kIdZoomInButton, 15, 255, Glyph::ZoomIn, 20114},
    {kIdZoomOutButton, 50, 255, Glyph::ZoomOut, 20115},
    {kIdFocusInButton, 85, 255, Glyph::FocusIn, 20116},
    {kIdFocusOutButton, 120, 255, Glyph::FocusOut, 20117},
    {kIdSnapshotButton, 15, 290, Glyph::Camera, 20025},
    {kIdRecordButton, 45, 290, Glyph::Record, 20026},
    {kIdMirrorButton, 85, 290, Glyph::Mirror, 20027},
    {kIdFlipButton, 115, 290, Glyph::Flip, 20028},
    {kIdPreset1Button, 15, 335, Glyph::Preset1, 20143},
    {kIdPreset1Button + 1, 50, 335, Glyph::Preset2, 20144},
    {kIdPreset1Button + 2, 85, 335, Glyph::Preset3, 20145},
    {kIdPreset1Button + 3, 120, 335, Glyph::Preset4, 20146},
};

bool IsLensButton(int id) { return id >= kIdZoomInButton && id <= kIdFocusOutButton; }
bool IsPresetButton(int id) { return id >= kIdPreset1Button && id < kIdPreset1Button + 4; }

void Add(std::vector<int>& ids, std::initializer_list<int> more) { ids.insert(ids.end(), more); }

}  // namespace

PanelSwitches PanelSwitchesOf(const ViewerSession& session) {
  // The same states the commands toggle on.
  const PaneCameraControls& c = session.Controls();
  PanelSwitches w;
  w.ioEnabled = session.Info().ioEnabled != 0;
  w.sensorOn = c.SensorOn();
  w.outputOn = c.OutputOn();
  w.mirrored = c.Mirrored();
  w.flipped = c.Flipped();
  return w;
}

bool SidePanelShown::Shows(int id) const { return std::find(ids.begin(), ids.end(), id) != ids.end(); }

SidePanelShown SidePanelVisibility(const PaneStatus& s, const PanelSwitches& w, bool audioReady) {
  SidePanelShown shown;
  if (s.state == kPaneIdle) {
    shown.ids = {kIdSetupButton};
    return shown;
  }
  if (s.state < kPaneLive) {
    shown.ids = {kIdLogOutButton};
    return shown;
  }
  std::vector<int>& ids = shown.ids;
  Add(ids, {kIdSetupButton, kIdLogOutButton, kIdSnapshotButton, kIdRecordButton});
  const bool fixed = s.model == kModelFixed;
  const bool audio = audioReady && (s.codec == kCodecMpeg4 || s.codec == kCodecH264) && !fixed;
  if (audio) ids.push_back(kIdMicButton);
  if (s.group == 0 || s.group == 1) {
    Add(ids, {kIdFlipButton, kIdMirrorButton});
    if (!fixed) {
      shown.pad = true;
      Add(ids, {kIdPreset1Button, kIdPreset1Button + 1, kIdPreset1Button + 2, kIdPreset1Button + 3});
    }
    if (s.model == kModelPanTilt) {
      Add(ids, {kIdZoomInButton, kIdZoomOutButton, kIdFocusInButton, kIdFocusOutButton, kIdScanStartButton,
                kIdScanStopButton, kIdFunctionButton});
    }
  }
  if (s.group == 0) {
    if (audio) {
      ids.push_back(kIdSpeakerButton);
      if (s.talking) ids.push_back(kIdVolumeBar);
    }
    ids.push_back(kIdMotionButton);
    shown.motionLeft = fixed ? kMicLeft : kMicLeft + kMotionOffset;
    if (w.ioEnabled) Add(ids, {kIdSensorButton, kIdOutputButton});
    if (!fixed) ids.push_back(kIdFlashButton);
  }
  std::sort(ids.begin(), ids.end());
  return shown;
}

SidePanel::SidePanel(QWidget* parent, FormContext* form) : QWidget(parent), form_(form) {
  setFont(skin::PlainFont());
  AddButton(MButton::Labelled(this, kIdSetupButton, 20, 65, kWideSize, StringText(20019)), 20019);
  AddButton(MButton::Labelled(this, kIdLogOutButton, 85, 65, kWideSize, StringText(20020)), 20020);
  for (const IconPlace& icon : kIcons) AddButton(new MCheckButton(this, icon.id, icon.x, icon.y, icon.glyph), icon.tooltip);

  volume_ = MTrackBar::Drawn(this, kIdVolumeBar, 10, 175, kVolumeSize);
  volume_->setObjectName(QString::number(kIdVolumeBar));
  volume_->SetRange(kVolumeMaximum, kVolumePixelsPerStep);
  volume_->installEventFilter(this);
  connect(volume_, &MTrackBar::released, this, [this](int, int value) {
    volumeHeld_ = false;
    emit volumeMoved(value);
  });

  pad_ = new MStaticPanTilt(this, kPadLeft, kPadTop);
  connect(pad_, &MStaticPanTilt::step, this, &SidePanel::padStep);

  const QRect openRect(0, kComboTop, kPanelWidth, MComboBox::kClosedHeight + kComboRows * kComboRowHeight);
  lan_ = new MComboBox(this, kIdLanCombo, openRect, kComboBackground, kComboText);
  list_ = new MComboBox(this, kIdCameraListCombo, openRect, kComboBackground, kComboText);
  lan_->setObjectName(QString::number(kIdLanCombo));
  list_->setObjectName(QString::number(kIdCameraListCombo));
  Apply(PaneStatus{}, PanelSwitches{}, false);
}

void SidePanel::AddButton(MButton* b, int tooltip) {
  const int id = b->id();
  b->setToolTip(StringText(tooltip));
  buttons_[id] = b;
  // Zoom and focus repeat as commands while held; a preset held long
  // enough stores it instead of going there.
  if (IsLensButton(id)) b->SetRepeat(kLensRepeatMs);
  if (IsPresetButton(id)) {
    // One store per press, however long it is held.
    b->SetRepeat(kPresetHoldMs, static_cast<int>(kPresetHoldMessage));
    b->installEventFilter(this);
    connect(b, &MButton::repeated, this, [this](int from, int msg) {
      if (presetStored_.count(from) != 0) return;
      presetStored_.insert(from);
      emit message(static_cast<unsigned>(msg), from);
    });
  }
  connect(b, &MButton::commanded, this, &SidePanel::command);
}

QWidget* SidePanel::Control(int id) const {
  switch (id) {
    case kIdLanCombo: return lan_;
    case kIdCameraListCombo: return list_;
    case kIdVolumeBar: return volume_;
    default: return Button(id);
  }
}

MButton* SidePanel::Button(int id) const {
  const auto it = buttons_.find(id);
  return it == buttons_.end() ? nullptr : it->second;
}

MCheckButton* SidePanel::CheckButton(int id) const { return qobject_cast<MCheckButton*>(Button(id)); }

void SidePanel::SetCameraListEnabled(bool on) {
  cameraList_ = on;
  lan_->Close();
  list_->Close();
  lan_->setVisible(!on);
  list_->setVisible(on);
}

void SidePanel::Apply(const PaneStatus& s, bool audioReady) {
  PanelSwitches w;
  MViewer* pane = form_ != nullptr ? form_->CurrentPane() : nullptr;
  if (pane != nullptr) w = PanelSwitchesOf(pane->Session());
  Apply(s, w, audioReady);
}

void SidePanel::Apply(const PaneStatus& s, const PanelSwitches& w, bool audioReady) {
  const SidePanelShown shown = SidePanelVisibility(s, w, audioReady);
  for (const auto& [id, button] : buttons_) button->setVisible(shown.Shows(id));
  volume_->setVisible(shown.Shows(kIdVolumeBar));
  pad_->setVisible(shown.pad);
  if (MButton* motion = Button(kIdMotionButton)) motion->move(shown.motionLeft, motion->y());
  const struct {
    int id;
    bool on;
  } checks[] = {{kIdMicButton, s.listening}, {kIdSpeakerButton, s.talking}, {kIdMotionButton, s.motionOn},
                {kIdFlashButton, s.flashOn},  {kIdSensorButton, w.sensorOn},  {kIdOutputButton, w.outputOn},
                {kIdFlipButton, w.flipped},   {kIdMirrorButton, w.mirrored},  {kIdRecordButton, s.recording}};
  for (const auto& c : checks) CheckButton(c.id)->SetCheck(c.on);
  if (!volumeHeld_) volume_->SetPos(s.volume);
  SetCameraListEnabled(cameraList_);
}

bool SidePanel::eventFilter(QObject* watched, QEvent* e) {
  if (e->type() == QEvent::MouseButtonPress && static_cast<QMouseEvent*>(e)->button() == Qt::LeftButton) {
    if (watched == volume_) {
      volumeHeld_ = true;
    } else if (auto* b = qobject_cast<MButton*>(watched)) {
      presetStored_.erase(b->id());  // a new press of a preset button
    }
  }
  return QWidget::eventFilter(watched, e);
}
