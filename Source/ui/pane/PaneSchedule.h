// The pane's scheduled recordings: once a minute (and at once when the pane
// goes live or the reservation editor changed them, message 1185) the
// scheduler decides whether a reservation records now, and the recording
// part starts or stops the reservation recording. A manual recording or
// motion detection keeps reservations from starting.
//
// Threads: UI thread only.
#pragma once

#include <cstdint>
#include <functional>

#include "base/Schedule.h"
#include "pane/PaneLifecycle.h"

class MessageRouter;
class PaneCameraControls;
class PaneContext;
class PaneRecording;

// Message the reservation editor posts to the current pane.
inline constexpr unsigned WM_RESERVATIONS_CHANGED = 1185;

class PaneSchedule : public PaneLifecycle {
 public:
  // |realClock|: seconds since 1970 (UTC); null: the system's.
  PaneSchedule(PaneContext& pane, PaneRecording& recording, PaneCameraControls& controls, LocalClock clock,
               std::function<std::int64_t()> realClock);
  void Register(MessageRouter& router);

  // The minute's step (|force|: reload the table and check at once).
  void CheckReservations(bool force);
  // Once a second from the pane's tick, after the first check.
  void Tick();
  // The user stopped the running reservation: it stays stopped until its
  // window ends.
  void StopByUser();

  const ReservationScheduler& Scheduler() const { return scheduler_; }

  // PaneLifecycle: a check at once when the pane goes live, then once a
  // minute from the tick.
  void OnLive() override { CheckReservations(true); }
  void OnTick(int) override { Tick(); }

 private:
  std::vector<StoredReservation> ReadSlots();

  PaneContext& pane_;
  PaneRecording& recording_;
  PaneCameraControls& controls_;
  const LocalClock clock_;
  const std::function<std::int64_t()> realClock_;
  ReservationScheduler scheduler_;
};
