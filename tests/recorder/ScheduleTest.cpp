// Reservations: the local-time count, rolling a reservation forward to its
// occurrence, and the once-a-minute decision, including the days the clock
// changes for daylight-saving time.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>
#include <utility>
#include <vector>

#include "base/Schedule.h"

namespace {

std::int64_t At(int y, int mo, int d, int h, int mi) { return LocalToFiletime({y, mo, d, h, mi, 0}); }

StoredReservation Slot(int id, const char* period, const char* duration, std::int64_t start) {
  StoredReservation s;
  s.used = "O";
  s.name = "slot" + std::to_string(id);
  s.period = period;
  s.duration = duration;
  s.id = std::to_string(id);
  s.startTime = std::to_string(start);
  return s;
}

TEST(ScheduleTest, LocalTimeCount) {
  EXPECT_EQ(At(1601, 1, 1, 0, 0), 0);
  EXPECT_EQ(At(1970, 1, 1, 0, 0), 116444736000000000LL);
  EXPECT_EQ(At(2010, 2, 30, 0, 0), -1);
  EXPECT_EQ(At(2011, 2, 29, 0, 0), -1);
  EXPECT_GT(At(2012, 2, 29, 0, 0), 0);
  const LocalTime times[] = {{1601, 1, 1, 0, 0, 0}, {2009, 10, 21, 13, 56, 56}, {2000, 2, 29, 23, 59, 59},
                             {2100, 12, 31, 12, 0, 1}};
  for (const LocalTime& t : times) {
    LocalTime back;
    ASSERT_TRUE(FiletimeToLocal(LocalToFiletime(t), &back));
    EXPECT_EQ(back, t);
  }
  LocalTime ignored;
  EXPECT_FALSE(FiletimeToLocal(-5, &ignored));
  const std::pair<const char*, std::int64_t> numbers[] = {{"123", 123}, {" 42x", 42}, {"", 0}, {"abc", 0},
                                                          {"-7", 0}, {"99999999999999999999999", 0}};
  for (const auto& [text, value] : numbers) EXPECT_EQ(ParseDecimal(text), value) << text;
}

// Rolling forward to the current or next occurrence.
TEST(ScheduleTest, RollsForwardToTheOccurrence) {
  struct Case {
    const char* name;
    StoredReservation slot;
    std::int64_t now, start, end;
  };
  const std::int64_t first = At(2009, 10, 1, 22, 0);
  const Case cases[] = {
      {"daily, before its window", Slot(1, "Daily", "0:30", first), At(2009, 10, 5, 21, 0), At(2009, 10, 5, 22, 0),
       At(2009, 10, 5, 22, 30)},
      {"daily, inside its window", Slot(1, "Daily", "0:30", first), At(2009, 10, 5, 22, 15), At(2009, 10, 5, 22, 0),
       At(2009, 10, 5, 22, 30)},
      {"daily, after its window", Slot(1, "Daily", "0:30", first), At(2009, 10, 5, 23, 0), At(2009, 10, 6, 22, 0),
       At(2009, 10, 6, 22, 30)},
      {"anything else is daily", Slot(1, "Hourly", "0:30", first), At(2009, 10, 5, 23, 0), At(2009, 10, 6, 22, 0),
       At(2009, 10, 6, 22, 30)},
      {"weekly", Slot(1, "Weekly", "1:00", first), At(2009, 10, 5, 23, 0), At(2009, 10, 8, 22, 0),
       At(2009, 10, 8, 23, 0)},
      {"monthly on the 31st skips short months", Slot(1, "Monthly", "0:30", At(2009, 1, 31, 8, 0)),
       At(2009, 2, 10, 0, 0), At(2009, 3, 31, 8, 0), At(2009, 3, 31, 8, 30)},
      {"monthly, April to May", Slot(1, "Monthly", "0:30", At(2009, 1, 31, 8, 0)), At(2009, 4, 5, 0, 0),
       At(2009, 5, 31, 8, 0), At(2009, 5, 31, 8, 30)},
      {"not yet begun", Slot(1, "Daily", "2:00", At(2030, 1, 1, 10, 0)), At(2009, 10, 5, 23, 0),
       At(2030, 1, 1, 10, 0), At(2030, 1, 1, 12, 0)},
      {"unparsable texts read as 0", Slot(1, "Daily", "x:y", 0), At(2009, 10, 5, 23, 10), At(2009, 10, 6, 0, 0),
       At(2009, 10, 6, 0, 0)},
  };
  for (Case c : cases) {
    SCOPED_TRACE(c.name);
    if (std::string(c.name) == "unparsable texts read as 0") c.slot.startTime = "soon";
    const std::vector<ScheduleEntry> t = LoadSchedule({c.slot}, c.now, nullptr);
    ASSERT_EQ(t.size(), 1u);
    EXPECT_EQ(t[0].nextStart, c.start);
    EXPECT_EQ(t[0].nextEnd, c.end);
  }
  // Slots not in use are left out; at most three entries.
  StoredReservation unused = Slot(9, "Daily", "0:30", first);
  unused.used = "X";
  const std::vector<ScheduleEntry> packed =
      LoadSchedule({unused, Slot(1, "Daily", "0:30", first), unused, Slot(2, "Daily", "0:30", first),
                    Slot(3, "Daily", "0:30", first), Slot(4, "Daily", "0:30", first)},
                   At(2009, 10, 5, 12, 0), nullptr);
  ASSERT_EQ(packed.size(), 3u);
  EXPECT_EQ(packed[0].id, 1);
  EXPECT_EQ(packed[2].id, 3);
  EXPECT_TRUE(LoadSchedule({unused, unused}, At(2009, 10, 5, 12, 0), nullptr).empty());
}

// A pane's scheduler driven minute by minute by a clock: the local time
// comes from the process's time zone, the real time is UTC.
class Clocked {
 public:
  std::vector<StoredReservation> slots;
  std::vector<std::pair<std::time_t, bool>> switches;  // when the recording went on / off (UTC)
  bool blocked = false;
  ReservationScheduler scheduler{ReservationScheduler::Hooks{[this] { return slots; },
                                                             [this](bool on) {
                                                               switches.emplace_back(now_, on);
                                                               return 1;
                                                             }}};

  void Minutes(std::time_t from, int minutes, bool forceFirst = false) {
    for (int i = 0; i < minutes; ++i) {
      now_ = from + 60 * i;
      std::tm tm{};
      localtime_r(&now_, &tm);
      const LocalTime local{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
      scheduler.Check(local, now_, forceFirst && i == 0, blocked);
    }
  }
  // Local "YYYY-MM-DD hh:mm" of each switch.
  std::vector<std::string> Log() const {
    std::vector<std::string> out;
    for (const auto& [t, on] : switches) {
      std::tm tm{};
      localtime_r(&t, &tm);
      char text[48];
      std::strftime(text, sizeof text, "%m-%d %H:%M", &tm);
      out.push_back(std::string(on ? "on " : "off ") + text);
    }
    return out;
  }

 private:
  std::time_t now_ = 0;
};

class ScheduleRun : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* tz = std::getenv("TZ");
    if (tz != nullptr) savedTz_ = tz;
    // Central European rules: 02:00 becomes 03:00 on the last Sunday of
    // March, 03:00 becomes 02:00 on the last Sunday of October.
    setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
    tzset();
  }
  void TearDown() override {
    if (savedTz_.empty()) unsetenv("TZ");
    else setenv("TZ", savedTz_.c_str(), 1);
    tzset();
  }
  static std::time_t Utc(int y, int mo, int d, int h, int mi) {
    return static_cast<std::time_t>((At(y, mo, d, h, mi) - At(1970, 1, 1, 0, 0)) / 10000000LL);
  }

 private:
  std::string savedTz_;
};

TEST_F(ScheduleRun, DailyWindowsOverlapsAndTheUser) {
  Clocked r;
  r.slots = {Slot(1, "Daily", "0:30", At(2009, 10, 1, 22, 0)), Slot(2, "Daily", "1:00", At(2009, 10, 1, 22, 10))};
  // 21:50 to 23:40 local on 5 October (UTC+2).
  r.Minutes(Utc(2009, 10, 5, 19, 50), 110, true);
  EXPECT_EQ(r.Log(), (std::vector<std::string>{"on 10-05 22:00", "off 10-05 22:30", "on 10-05 22:30",
                                               "off 10-05 23:10"}));
  EXPECT_FALSE(r.scheduler.Running());

  // Stopped by the user: not again in that window; the next day it runs.
  Clocked u;
  u.slots = {Slot(1, "Daily", "0:30", At(2009, 10, 1, 22, 0))};
  u.Minutes(Utc(2009, 10, 5, 19, 55), 10, true);  // 21:55 .. 22:04
  ASSERT_TRUE(u.scheduler.Running());
  u.scheduler.StopByUser();
  u.Minutes(Utc(2009, 10, 5, 20, 5), 24 * 60);  // 22:05 .. next day 22:04
  EXPECT_EQ(u.Log(), (std::vector<std::string>{"on 10-05 22:00", "off 10-05 22:04", "on 10-06 22:00"}));

  // Blocked by a manual recording: due reservations wait, then start while
  // their window is open.
  Clocked b;
  b.slots = {Slot(1, "Daily", "0:30", At(2009, 10, 1, 22, 0))};
  b.blocked = true;
  b.Minutes(Utc(2009, 10, 5, 19, 55), 15, true);  // 21:55 .. 22:09
  b.blocked = false;
  b.Minutes(Utc(2009, 10, 5, 20, 10), 30);
  EXPECT_EQ(b.Log(), (std::vector<std::string>{"on 10-05 22:10", "off 10-05 22:30"}));

  // Motion detection switched on while one runs (it comes back on when a
  // pane goes live): no new one starts, but the running one still ends with
  // its window instead of running on while detection stays on.
  Clocked m;
  m.slots = {Slot(1, "Daily", "0:30", At(2009, 10, 1, 22, 0)), Slot(2, "Daily", "0:30", At(2009, 10, 1, 22, 30))};
  m.Minutes(Utc(2009, 10, 5, 19, 59), 5, true);  // 21:59 .. 22:03
  m.blocked = true;
  m.Minutes(Utc(2009, 10, 5, 20, 4), 60);  // 22:04 .. 23:03
  EXPECT_EQ(m.Log(), (std::vector<std::string>{"on 10-05 22:00", "off 10-05 22:30"}));
  EXPECT_FALSE(m.scheduler.Running());

  // Deleted while it runs: the forced check stops it.
  Clocked d;
  d.slots = {Slot(1, "Daily", "0:30", At(2009, 10, 1, 22, 0))};
  d.Minutes(Utc(2009, 10, 5, 19, 59), 3, true);
  d.slots.clear();
  d.Minutes(Utc(2009, 10, 5, 20, 2), 1, true);
  EXPECT_EQ(d.Log(), (std::vector<std::string>{"on 10-05 22:00", "off 10-05 22:02"}));
}

// Across the changes of daylight-saving time a daily reservation keeps its
// wall-clock time, one in the skipped hour runs once from the end of the
// skip, one in the repeated hour runs once for its real length.
TEST_F(ScheduleRun, DaylightSavingChanges) {
  struct Case {
    const char* name;
    StoredReservation slot;
    std::time_t from;
    int minutes;
    std::vector<std::string> log;
  };
  const Case cases[] = {
      {"22:00 stays 22:00 in March", Slot(1, "Daily", "0:30", At(2026, 3, 20, 22, 0)), Utc(2026, 3, 28, 12, 0),
       3 * 24 * 60,
       {"on 03-28 22:00", "off 03-28 22:30", "on 03-29 22:00", "off 03-29 22:30", "on 03-30 22:00",
        "off 03-30 22:30"}},
      {"22:00 stays 22:00 in October", Slot(1, "Daily", "0:30", At(2026, 10, 20, 22, 0)), Utc(2026, 10, 24, 12, 0),
       3 * 24 * 60,
       {"on 10-24 22:00", "off 10-24 22:30", "on 10-25 22:00", "off 10-25 22:30", "on 10-26 22:00",
        "off 10-26 22:30"}},
      {"in the skipped hour", Slot(1, "Daily", "0:30", At(2026, 3, 20, 2, 30)), Utc(2026, 3, 28, 12, 0), 2 * 24 * 60,
       {"on 03-29 03:00", "off 03-29 03:30", "on 03-30 02:30", "off 03-30 03:00"}},
      {"in the repeated hour", Slot(1, "Daily", "0:30", At(2026, 10, 20, 2, 30)), Utc(2026, 10, 24, 12, 0),
       2 * 24 * 60,
       {"on 10-25 02:30", "off 10-25 02:00", "on 10-26 02:30", "off 10-26 03:00"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Clocked r;
    r.slots = {c.slot};
    r.Minutes(c.from, c.minutes, true);
    EXPECT_EQ(r.Log(), c.log);
  }
}

}  // namespace
