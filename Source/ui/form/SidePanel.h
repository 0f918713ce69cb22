// The side panel of the main form: the camera combos (LAN search results or
// the stored camera list) and the buttons that act on the current pane:
// setup, log out, listening, talking and the camera speaker's volume.
#pragma once

#include <QBasicTimer>
#include <QComboBox>
#include <QWidget>

#include "controls/MButton.h"
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

// Which of the panel's controls the current pane offers.
struct SidePanelShown {
  bool setup = false;
  bool logOut = false;
  bool mic = false;
  bool speaker = false;
  bool volume = false;
  bool operator==(const SidePanelShown&) const = default;
};
SidePanelShown SidePanelVisibility(const PaneStatus& s, bool audioReady);

// A skinned button that shows an on state and can be made busy: while busy
// it shows the wait cursor and ignores clicks (the owner toggles the state
// itself after a click).
class MCheckButton : public MButton {
  Q_OBJECT
 public:
  enum class Glyph { Microphone, Speaker };
  MCheckButton(QWidget* parent, int id, int x, int y, Glyph glyph);
  void SetCheck(bool on);
  bool Check() const { return on_; }
  // Busy for |milliseconds| (the button's timer 2004 ends it).
  void SetBusy(int milliseconds);
  bool Busy() const { return busy_.isActive(); }

 protected:
  void paintEvent(QPaintEvent*) override;
  void mouseReleaseEvent(QMouseEvent*) override;
  void timerEvent(QTimerEvent*) override;

 private:
  QPixmap onFace_;
  bool on_ = false;
  QBasicTimer busy_;  // timer 2004
};

// The LAN search combo tells when its list is about to open, so that the
// search runs first.
class LanCombo : public QComboBox {
  Q_OBJECT
 public:
  using QComboBox::QComboBox;
  void showPopup() override;
 signals:
  void aboutToOpen();
};

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
  QSlider* VolumeBar() const { return volume_; }
  LanCombo* LanSearchCombo() const { return lan_; }
  QComboBox* CameraListCombo() const { return list_; }

 signals:
  // A button was clicked (its control id).
  void command(int id);
  // The volume bar was moved by the user to |position|.
  void volumeMoved(int position);

 private:
  MButton* setup_;
  MButton* logOut_;
  MCheckButton* mic_;
  MCheckButton* speaker_;
  QSlider* volume_;
  LanCombo* lan_;
  QComboBox* list_;
  bool cameraList_ = false;
};
