#include "base/Schedule.h"

#include <cctype>
#include <ctime>

namespace {

constexpr std::int64_t kTicksPerSecond = 10000000LL;

// Days since 1970-01-01 of a proleptic Gregorian date.
std::int64_t DaysFromCivil(std::int64_t y, int m, int d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t yoe = y - era * 400;
  const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(std::int64_t z, int* y, int* m, int* d) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const std::int64_t doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  *d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  *m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  *y = static_cast<int>(yoe + era * 400 + (*m <= 2));
}

bool LeapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int y, int m) {
  static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && LeapYear(y) ? 29 : days[m - 1];
}

const std::int64_t kDay1601 = DaysFromCivil(1601, 1, 1);

LocalTime AddMinutes(const LocalTime& t, int minutes) {
  LocalTime out = t;
  FiletimeToLocal(LocalToFiletime(t) + minutes * kFiletimeMinute, &out);
  return out;
}

}  // namespace

std::int64_t LocalToFiletime(const LocalTime& t) {
  if (t.year < 1601 || t.year > 30827 || t.month < 1 || t.month > 12 || t.day < 1 ||
      t.day > DaysInMonth(t.year, t.month) || t.hour < 0 || t.hour > 23 || t.minute < 0 || t.minute > 59 ||
      t.second < 0 || t.second > 59) {
    return -1;
  }
  const std::int64_t days = DaysFromCivil(t.year, t.month, t.day) - kDay1601;
  return days * kFiletimeDay + ((t.hour * 60LL + t.minute) * 60 + t.second) * kTicksPerSecond;
}

bool FiletimeToLocal(std::int64_t count, LocalTime* t) {
  if (count < 0) return false;
  const std::int64_t days = count / kFiletimeDay;
  std::int64_t seconds = (count % kFiletimeDay) / kTicksPerSecond;
  CivilFromDays(days + kDay1601, &t->year, &t->month, &t->day);
  t->hour = static_cast<int>(seconds / 3600);
  seconds %= 3600;
  t->minute = static_cast<int>(seconds / 60);
  t->second = static_cast<int>(seconds % 60);
  return true;
}

LocalTime FirstExistingLocalTime(const LocalTime& t) {
  auto exists = [](const LocalTime& c) {
    std::tm tm{};
    tm.tm_year = c.year - 1900;
    tm.tm_mon = c.month - 1;
    tm.tm_mday = c.day;
    tm.tm_hour = c.hour;
    tm.tm_min = c.minute;
    tm.tm_sec = c.second;
    tm.tm_isdst = -1;
    if (std::mktime(&tm) == static_cast<std::time_t>(-1)) return true;  // cannot tell: take it as it is
    // A time in the hour the clock skips comes back moved.
    return tm.tm_year == c.year - 1900 && tm.tm_mon == c.month - 1 && tm.tm_mday == c.day && tm.tm_hour == c.hour &&
           tm.tm_min == c.minute;
  };
  if (exists(t)) return t;
  for (int minutes = 1; minutes <= 24 * 60; ++minutes) {
    const LocalTime later = AddMinutes(t, minutes);
    if (exists(later)) return later;
  }
  return t;
}

std::int64_t ParseDecimal(const std::string& text) {
  std::size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  std::int64_t value = 0;
  for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
    if (value > (INT64_MAX - 9) / 10) return 0;  // no such count: read as 0
    value = value * 10 + (text[i] - '0');
  }
  return value;
}

namespace {

// The next occurrence of a monthly reservation: one calendar month later at
// the same time of day; a month without that day is skipped.
std::int64_t NextMonth(std::int64_t start) {
  LocalTime t;
  if (!FiletimeToLocal(start, &t)) return -1;
  for (int tries = 0; tries < 48; ++tries) {
    if (++t.month == 13) {
      t.month = 1;
      ++t.year;
    }
    const std::int64_t next = LocalToFiletime(t);
    if (next >= 0) return next;
  }
  return -1;
}

}  // namespace

std::vector<ScheduleEntry> LoadSchedule(const std::vector<StoredReservation>& slots, std::int64_t now,
                                        const LocalTimeRules& rules) {
  std::vector<ScheduleEntry> table;
  for (const StoredReservation& slot : slots) {
    if (slot.used == "X") continue;
    if (static_cast<int>(table.size()) == kScheduleEntries) break;
    ScheduleEntry e;
    e.id = static_cast<int>(ParseDecimal(slot.id));
    e.name = slot.name;
    e.period = slot.period == "Weekly" ? kPeriodWeekly : slot.period == "Monthly" ? kPeriodMonthly : kPeriodDaily;
    const std::size_t colon = slot.duration.find(':');
    e.durationHours = static_cast<int>(ParseDecimal(slot.duration.substr(0, colon)));
    e.durationMinutes = colon == std::string::npos ? 0 : static_cast<int>(ParseDecimal(slot.duration.substr(colon + 1)));
    if (e.durationHours > 1000000 || e.durationMinutes > 1000000) e.durationHours = e.durationMinutes = 0;
    const std::int64_t length = (e.durationHours * 60LL + e.durationMinutes) * kFiletimeMinute;
    std::int64_t start = ParseDecimal(slot.startTime);
    if (start + length < now) {
      if (e.period == kPeriodMonthly) {
        while (start >= 0 && start + length < now) start = NextMonth(start);
      } else {
        // Whole periods at once: the first occurrence whose end is not past.
        const std::int64_t step = e.period == kPeriodWeekly ? kFiletimeWeek : kFiletimeDay;
        start += (now - length - start + step - 1) / step * step;
      }
    }
    if (start < 0) continue;  // a monthly day that never comes again (logged by the caller's empty entry)
    // A start in the hour the clock skips begins when that hour is over.
    LocalTime t;
    if (rules && FiletimeToLocal(start, &t)) {
      const LocalTime existing = rules(t);
      if (!(existing == t)) start = LocalToFiletime(existing);
    }
    e.nextStart = start;
    e.nextEnd = start + length;
    e.used = true;
    table.push_back(e);
  }
  return table;
}

bool ReservationScheduler::Check(const LocalTime& now, std::int64_t realSeconds, bool force, bool blocked) {
  const bool was = running_;
  LocalTime minute = now;
  minute.second = 0;
  const std::int64_t count = LocalToFiletime(minute);
  if (count < 0) return false;
  if (!force && now.minute == lastMinute_) return false;
  lastMinute_ = now.minute;
  if (force || now.minute == 0) table_ = LoadSchedule(hooks_.load ? hooks_.load() : std::vector<StoredReservation>{}, count, rules_);
  // A manual recording or motion detection keeps reservations from
  // starting; one that runs still ends with its window or its edit.
  if (blocked && !running_) return running_ != was;
  if (running_) {
    if (force) {
      bool same = false;
      for (const ScheduleEntry& e : table_) {
        if (e.id == currentId_) same = e.nextStart == currentStart_ && e.nextEnd == currentEnd_;
      }
      if (!same) Stop(false);
    } else if (realSeconds + 30 >= realEnd_) {
      // Its length of real time is over (the same as its local end, except
      // when the clock was changed meanwhile).
      Stop(true);
    }
  }
  if (!running_ && !blocked) {
    for (const ScheduleEntry& e : table_) {
      if (!e.used || e.nextStart > count || count >= e.nextEnd) continue;
      const bool current = e.nextStart == currentStart_ && e.nextEnd == currentEnd_;
      const bool done = e.id == doneId_ && e.nextStart == doneStart_ && e.nextEnd == doneEnd_;
      if ((current && stoppedByUser_) || done) break;
      running_ = hooks_.setRecording && hooks_.setRecording(true) == 1;
      currentId_ = e.id;
      currentStart_ = e.nextStart;
      currentEnd_ = e.nextEnd;
      // From the start of this minute, as the local end is.
      realEnd_ = realSeconds - now.second + (e.nextEnd - count) / kTicksPerSecond;
      stoppedByUser_ = false;
      break;
    }
  }
  return running_ != was;
}

void ReservationScheduler::Stop(bool finished) {
  if (hooks_.setRecording) hooks_.setRecording(false);
  running_ = false;
  if (finished) {
    doneId_ = currentId_;
    doneStart_ = currentStart_;
    doneEnd_ = currentEnd_;
  }
}

void ReservationScheduler::StopByUser() {
  if (running_ && hooks_.setRecording) hooks_.setRecording(false);
  running_ = false;
  stoppedByUser_ = true;
}
