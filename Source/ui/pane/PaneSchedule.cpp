#include "pane/PaneSchedule.h"

#include <ctime>

#include "MessageRouter.h"
#include "base/MRegistry.h"
#include "base/SettingsIndex.h"
#include "base/base.h"
#include "pane/PaneCameraControls.h"
#include "pane/PaneContext.h"
#include "pane/PaneRecording.h"

namespace {

constexpr int kTextCapacity = 260;

QString SlotText(const SettingsKey& key, const settings::TextSetting& s, int slot) {
  char name[64];
  std::snprintf(name, sizeof name, "%s%d", s.value, slot);
  QString text;
  ReadSettingString(key, s.subkey, name, QString::fromUtf8(s.fallback), kTextCapacity, &text);
  return text;
}

}  // namespace

PaneSchedule::PaneSchedule(PaneContext& pane, PaneRecording& recording, PaneCameraControls& controls,
                           LocalClock clock, std::function<std::int64_t()> realClock)
    : pane_(pane),
      recording_(recording),
      controls_(controls),
      clock_(clock ? std::move(clock) : LocalClock(SystemLocalTime)),
      realClock_(realClock ? std::move(realClock) : [] { return static_cast<std::int64_t>(std::time(nullptr)); }),
      scheduler_(ReservationScheduler::Hooks{[this] { return ReadSlots(); },
                                             [this](bool on) { return recording_.SetReservationRecording(on, 0); }}) {}

void PaneSchedule::Register(MessageRouter& router) {
  router.Register(WM_RESERVATIONS_CHANGED, [this](WindowMessageEvent&) { CheckReservations(true); });
}

std::vector<StoredReservation> PaneSchedule::ReadSlots() {
  const SettingsKey& key = pane_.Settings();
  int count = ReadSettingDword(key, settings::kReservationCount);
  if (count > kScheduleEntries) {
    LogMessage("%s:%d (Count %d)\r\n", LOGPOS, count);  // the editor keeps 3 slots
    count = kScheduleEntries;
  }
  std::vector<StoredReservation> stored;
  for (int i = 0; i < count; ++i) {
    StoredReservation s;
    s.used = SlotText(key, settings::kReservationUsed, i).toStdString();
    s.name = SlotText(key, settings::kReservationName, i).toStdString();
    s.period = SlotText(key, settings::kReservationPeriod, i).toStdString();
    s.duration = SlotText(key, settings::kReservationDuration, i).toStdString();
    s.id = SlotText(key, settings::kReservationId, i).toStdString();
    s.startTime = SlotText(key, settings::kReservationStartTime, i).toStdString();
    stored.push_back(std::move(s));
  }
  return stored;
}

void PaneSchedule::CheckReservations(bool force) {
  // A split that could not start its next file ended the recording.
  scheduler_.SetRunning(recording_.ReservationRecording());
  const bool blocked = recording_.Recording() || controls_.MotionOn();
  if (scheduler_.Check(clock_(), realClock_(), force, blocked)) pane_.PostStatus();
}

void PaneSchedule::Tick() {
  if (scheduler_.Checked()) CheckReservations(false);
}

void PaneSchedule::StopByUser() {
  scheduler_.StopByUser();
  pane_.PostStatus();
}
