// The side panel of the main form: the camera combos (LAN search results or
// the stored camera list) and the controls that act on the current pane:
// setup, log out, sensor and output, listening, talking, motion detection,
// flash, the camera speaker's volume, scan and the function key, zoom and
// focus, snapshot, recording, mirror and flip, the four presets and the
// pan/tilt pad. Which of them show, and which check buttons are pressed,
// follows the current pane (SidePanelVisibility, Apply).
#pragma once

#include <QWidget>
#include <map>
#include <set>
#include <vector>

#include "controls/MButton.h"
#include "controls/MCheckButton.h"
#include "controls/MComboBox.h"
#include "controls/MStaticPanTilt.h"
#include "controls/MTrackBar.h"
#include "form/StatusStrip.h"

class FormContext;
class ViewerSession;

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
inline constexpr int kIdFlipButton = 2308;
inline constexpr int kIdMirrorButton = 2309;
inline constexpr int kIdZoomInButton = 2310;
inline constexpr int kIdZoomOutButton = 2311;
inline constexpr int kIdFocusInButton = 2312;
inline constexpr int kIdFocusOutButton = 2313;
inline constexpr int kIdMotionButton = 2314;
inline constexpr int kIdFlashButton = 2315;
inline constexpr int kIdPreset1Button = 2500;  // to 2503
inline constexpr int kIdScanStartButton = 2504;
inline constexpr int kIdScanStopButton = 2505;
inline constexpr int kIdFunctionButton = 2506;
inline constexpr int kIdSensorButton = 2507;
inline constexpr int kIdOutputButton = 2508;

// How often zoom and focus repeat while held, and how long a preset button
// is held to store the preset (then it sends |kPresetHoldMessage| with its
// id instead of the click).
inline constexpr int kLensRepeatMs = 200;
inline constexpr int kPresetHoldMs = 2000;
inline constexpr unsigned kPresetHoldMessage = 1029;

// Motion detection sits this far right of listening, or at listening's
// place on the fixed model, which has no sound.
inline constexpr int kMicLeft = 20;
inline constexpr int kMotionOffset = 70;

// The camera switches the panel shows beyond PaneStatus, as the pane's
// camera controls keep them.
struct PanelSwitches {
  bool ioEnabled = false;  // the camera has the sensor input and relay output
  bool sensorOn = false;
  bool outputOn = false;
  bool mirrored = false;
  bool flipped = false;
  bool operator==(const PanelSwitches&) const = default;
};
// UI thread.
PanelSwitches PanelSwitchesOf(const ViewerSession& session);

// Which of the panel's controls the current pane offers: the control ids
// (ascending), the pad, and where motion detection is placed.
struct SidePanelShown {
  std::vector<int> ids;
  bool pad = false;
  int motionLeft = kMicLeft + kMotionOffset;
  bool Shows(int id) const;
  bool operator==(const SidePanelShown&) const = default;
};
SidePanelShown SidePanelVisibility(const PaneStatus& s, const PanelSwitches& w, bool audioReady);

class SidePanel : public QWidget {
  Q_OBJECT
 public:
  // Placed by the owner at the panel's column, the full height of the form.
  // |form| (may be null) gives the current pane whose switches Apply shows.
  explicit SidePanel(QWidget* parent, FormContext* form = nullptr);

  // Shows what the current pane offers and presses its switches.
  void Apply(const PaneStatus& s, bool audioReady);
  void Apply(const PaneStatus& s, const PanelSwitches& w, bool audioReady);
  // Combo 2209 when the stored camera list is on, else 2208; both closed.
  void SetCameraListEnabled(bool on);
  // Any control by id (the combos, buttons, the volume bar); null for none.
  QWidget* Control(int id) const;
  MButton* Button(int id) const;
  MCheckButton* CheckButton(int id) const;
  MCheckButton* MicButton() const { return CheckButton(kIdMicButton); }
  MCheckButton* SpeakerButton() const { return CheckButton(kIdSpeakerButton); }
  MCheckButton* RecordButton() const { return CheckButton(kIdRecordButton); }
  MTrackBar* VolumeBar() const { return volume_; }
  MStaticPanTilt* Pad() const { return pad_; }
  MComboBox* LanSearchCombo() const { return lan_; }
  MComboBox* CameraListCombo() const { return list_; }

 signals:
  // A button was clicked, or a zoom or focus button repeated (its id).
  void command(int id);
  // A button held long enough to send |message| with its id.
  void message(unsigned message, int id);
  // The volume bar was let go at |position|.
  void volumeMoved(int position);
  // The pan/tilt pad asks for a step.
  void padStep(const PtzStep& step);

 protected:
  bool eventFilter(QObject* watched, QEvent* e) override;

 private:
  void AddButton(MButton* b, int tooltip);

  FormContext* form_;
  std::map<int, MButton*> buttons_;  // every button and check button by id
  MTrackBar* volume_;
  bool volumeHeld_ = false;  // the bar is being dragged: refreshes leave it
  std::set<int> presetStored_;  // preset buttons whose present press stored
  MStaticPanTilt* pad_;
  MComboBox* lan_;
  MComboBox* list_;
  bool cameraList_ = false;
};
