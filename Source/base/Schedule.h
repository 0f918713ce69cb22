// Reservations: recordings a pane makes by itself from a first start, for a
// length, again every day, week or month. Times are FILETIME counts (100 ns
// since 1601-01-01) of the local calendar time, as the settings store them;
// converting between that count and a calendar time is plain arithmetic,
// with no time zone involved. What the local clock does around a change of
// daylight-saving time is a rule of its own (LocalTimeRules), given to the
// scheduler, so tests can set it.
//
// Daylight-saving time: a reservation keeps its local wall-clock time
// (22:00 stays 22:00 on both sides of a change). An occurrence that starts
// in the hour the clock skips runs from the first minute after the skip for
// its whole length; an occurrence in the hour the clock repeats runs once,
// for its length of real time, and is not started again when the clock
// passes its window a second time.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "base/RecordPaths.h"

inline constexpr std::int64_t kFiletimeMinute = 600000000LL;
inline constexpr std::int64_t kFiletimeDay = 864000000000LL;
inline constexpr std::int64_t kFiletimeWeek = 6048000000000LL;

// The count of |t| (valid dates from 1601 on); -1 for a date that does not
// exist (30 February) or lies outside 1601..30827.
std::int64_t LocalToFiletime(const LocalTime& t);
// The calendar time of |count|; false for a negative count.
bool FiletimeToLocal(std::int64_t count, LocalTime* t);

inline constexpr int kPeriodDaily = 0x3002;
inline constexpr int kPeriodWeekly = 0x3003;
inline constexpr int kPeriodMonthly = 0x3004;
inline constexpr int kScheduleEntries = 3;

// One stored slot as its texts.
struct StoredReservation {
  std::string used = "X";  // "X": not in use
  std::string name = "None";
  std::string period = "Daily";
  std::string duration;   // "H:MM"
  std::string id;
  std::string startTime;  // decimal FILETIME count
};

struct ScheduleEntry {
  int id = 0;
  std::string name;
  int period = kPeriodDaily;
  int durationHours = 0;
  int durationMinutes = 0;
  std::int64_t nextStart = 0;
  std::int64_t nextEnd = 0;
  bool used = false;
};

// The local clock's rule for times that do not exist: the first existing
// local time at or after |t| (|t| itself almost always).
using LocalTimeRules = std::function<LocalTime(const LocalTime& t)>;
// The system's rule (the process's time zone).
LocalTime FirstExistingLocalTime(const LocalTime& t);

// A decimal number at the start of |text| (after blanks); 0 when there is none.
std::int64_t ParseDecimal(const std::string& text);

// The schedule table: the in-use slots in slot order (at most
// kScheduleEntries), each rolled forward to its current or next occurrence
// at |now|.
std::vector<ScheduleEntry> LoadSchedule(const std::vector<StoredReservation>& slots, std::int64_t now,
                                        const LocalTimeRules& rules);

// The once-a-minute decision of a pane: which occurrence records now.
class ReservationScheduler {
 public:
  struct Hooks {
    std::function<std::vector<StoredReservation>()> load;  // the stored slots
    std::function<int(bool on)> setRecording;              // 1 on success
  };
  explicit ReservationScheduler(Hooks hooks, LocalTimeRules rules = FirstExistingLocalTime)
      : hooks_(std::move(hooks)), rules_(std::move(rules)) {}

  // One check at local time |now| (seconds dropped) and real time
  // |realSeconds| (seconds since 1970, UTC). |blocked|: a manual recording
  // or motion detection runs, so no reservation starts (one already running
  // still ends when its window ends or its entry changed). Returns whether
  // the recording switched.
  bool Check(const LocalTime& now, std::int64_t realSeconds, bool force, bool blocked);
  // The user stopped the running occurrence: it is not started again.
  void StopByUser();
  // The recording was stopped from outside (log-out of the file, a split).
  void SetRunning(bool on) { running_ = on; }

  bool Running() const { return running_; }
  bool Checked() const { return lastMinute_ != -1; }
  int CurrentId() const { return currentId_; }
  std::int64_t CurrentStart() const { return currentStart_; }
  std::int64_t CurrentEnd() const { return currentEnd_; }
  const std::vector<ScheduleEntry>& Table() const { return table_; }

 private:
  void Stop(bool finished);

  Hooks hooks_;
  LocalTimeRules rules_;
  std::vector<ScheduleEntry> table_;
  int lastMinute_ = -1;
  bool running_ = false;
  bool stoppedByUser_ = false;
  int currentId_ = 0;
  std::int64_t currentStart_ = -1, currentEnd_ = -1;
  std::int64_t realEnd_ = 0;  // when the running occurrence has had its length of real time
  // The occurrence that last ran to its end (not started again when the
  // clock goes back over its window).
  int doneId_ = 0;
  std::int64_t doneStart_ = -1, doneEnd_ = -1;
};
