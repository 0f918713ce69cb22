// The side panel of the main form: the camera combos (LAN search results or
// the stored camera list) and the buttons that act on the current pane:
// setup, log out, listening, talking, the camera speaker's volume,
// snapshot and recording, and the pan/tilt pad.
#pragma once

#include <QBasicTimer>
#include <QComboBox>
#include <QWidget>

#include "controls/MButton.h"
#include "controls/MCheckButton.h"
#include "controls/MStaticPanTilt.h"
#include "form/StatusStrip.h"

class QSlider;

// Control ids.
inline constexpr int kIdLanCombo = 2208;
inline constexpr int kIdCameraListCombo = 2209;
inline constexpr int kIdSetupButton = 2300;
inline constexpr int kIdLogOutButton = 2302;
inline constexpr int kIdMicButton = 2303;
inline constexpr int kIdSpeakerButton = 2304;
inline constexpr int kIdVolumeBar = 2305;
inline constexpr int kIdSnapshotButton = 2306;
inline constexpr int kIdRecordButton = 2307;

// Which of the panel's controls the current pane offers.
struct SidePanelShown {
  bool setup = false;
  bool logOut = false;
  bool mic = false;
  bool speaker = false;
  bool volume = false;
  bool pad = false;
  bool snapshot = false;
  bool record = false;
  bool operator==(const SidePanelShown&) const = default;
};
SidePanelShown SidePanelVisibility(const PaneStatus& s, bool audioReady);

class SidePanel : public QWidget {
  Q_OBJECT
 public:
  // Placed by the owner at the panel's column, the full height of the form.
  explicit SidePanel(QWidget* form);

  // Shows what the current pane offers and its switches.
  void Apply(const PaneStatus& s, bool audioReady);
  // Combo 2209 when the stored camera list is on, else 2208.
  void SetCameraListEnabled(bool on);
  QWidget* Control(int id) const;
  MCheckButton* MicButton() const { return mic_; }
  MCheckButton* SpeakerButton() const { return speaker_; }
  MCheckButton* RecordButton() const { return record_; }
  QSlider* VolumeBar() const { return volume_; }
  MStaticPanTilt* Pad() const { return pad_; }
  LanCombo* LanSearchCombo() const { return lan_; }
  QComboBox* CameraListCombo() const { return list_; }

 signals:
  // A button was clicked (its control id).
  void command(int id);
  // The volume bar was moved by the user to |position|.
  void volumeMoved(int position);
  // The pan/tilt pad asks for a step.
  void padStep(const PtzStep& step);

 private:
  MButton* setup_;
  MButton* logOut_;
  MCheckButton* mic_;
  MCheckButton* speaker_;
  MCheckButton* snapshot_;
  MCheckButton* record_;
  QSlider* volume_;
  MStaticPanTilt* pad_;
  LanCombo* lan_;
  QComboBox* list_;
  bool cameraList_ = false;
};
