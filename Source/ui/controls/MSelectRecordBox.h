// The recording choice box: video, or slides every N seconds (1 to 60,
// shown from and stored in "Record"\"Interval"). OK stores the period (in
// either mode) and answers 6; the close button answers 2 and cancel 7.
#pragma once

#include <functional>

#include "base/MRegistry.h"
#include "controls/MInfoBox.h"

class MCheckBox;
class MCheckBoxGroup;
class MEdit;
class MStatic;

// Control ids of the box.
inline constexpr int kIdRecordVideo = 2388;
inline constexpr int kIdRecordSlides = 2389;
inline constexpr int kIdSlidePeriodLabel = 2390;
inline constexpr int kIdSlidePeriodEdit = 2391;
inline constexpr int kIdSlideSecondsLabel = 2392;
inline constexpr int kIdRecordCancel = 7;

// What the person chose.
struct RecordChoice {
  int result = kIdClose;  // 6 OK, 7 cancel, 2 closed
  int mode = 1;           // 1 video, 2 slides
  int period = 0;         // seconds between slides (slides only)
};

class MSelectRecordBox : public MBoxBase {
  Q_OBJECT
 public:
  explicit MSelectRecordBox(const SettingsKey& key);
  ~MSelectRecordBox() override;
  RecordChoice Choice() const { return choice_; }
  QWidget* Control(int id) const;

 protected:
  void OnButton(int id) override;

 private:
  void SetMode(int mode);

  SettingsKey key_;
  RecordChoice choice_;
  MCheckBoxGroup* modes_;
  MStatic* periodLabel_;
  MEdit* period_;
  MStatic* secondsLabel_;
};

// Shows the box modally over |parent| for the pane's settings |key| (a test
// may answer instead, see SetRecordChoiceHook).
RecordChoice ChooseRecording(const SettingsKey& key, QWidget* parent);
// Tests: answers the box without showing it; returns the previous hook.
using RecordChoiceHook = std::function<RecordChoice(const SettingsKey&)>;
RecordChoiceHook SetRecordChoiceHook(RecordChoiceHook hook);
