// Where recordings and pictures go, and when a recording moves to its next
// file: plain rules over a local calendar time, so they are tested without a
// clock or a disk.
//
//   record directory D (a setting)
//     VIEWERnn                  the pane's directory (slot nn, from 00)
//       YYYY_MM_DD/hh           one directory per hour of the day
//         mm_ss.avi             a file started at mm:ss (MD_mm_ss.avi for an alarm)
//         mm_ss.jpg             a slide taken at mm:ss
//   capture directory C
//     VIEWERnn_YYYY-MM-DD_hh-mm-ss.jpg   a snapshot
//
// A directory that already ends with a separator gets no second one. All
// times are local time.
#pragma once

#include <ctime>
#include <functional>
#include <string>

struct LocalTime {
  int year = 1970;
  int month = 1;  // 1..12
  int day = 1;    // 1..31
  int hour = 0;
  int minute = 0;
  int second = 0;
  bool operator==(const LocalTime&) const = default;
};

// The present local time, from the system (a test gives its own).
using LocalClock = std::function<LocalTime()>;
LocalTime SystemLocalTime();
LocalTime ToLocalTime(std::time_t t);

// |dir| + separator + |name|, without doubling a separator |dir| ends with.
std::string JoinPath(const std::string& dir, const std::string& name);
std::string PaneRecordDir(const std::string& recordDir, int slot);
std::string HourDir(const std::string& paneDir, const LocalTime& t);
std::string AviFilePath(const std::string& hourDir, bool alarm, const LocalTime& t);
std::string SlideFilePath(const std::string& hourDir, const LocalTime& t);
std::string SnapshotFilePath(const std::string& captureDir, int slot, const LocalTime& t);
// The name a file takes when |path| is already there: "-n" before the
// extension, which stays last ("56_56.avi", 2 -> "56_56-2.avi"; a name
// without an extension gets it at its end). |n| of 0 or below gives |path|.
std::string NumberedFilePath(const std::string& path, int n);

// Minutes per file as used: a stored period below 1 would divide by zero and
// counts as 1 (|adjusted| tells the caller to log it).
int RecordPeriodMinutes(int stored, bool* adjusted = nullptr);
// Whether a file started at |start| is replaced at |now|: the clock has left
// the file's minute (or hour, or day) and stands on a multiple of |period|.
bool PeriodSplitDue(const LocalTime& start, const LocalTime& now, int periodMinutes);
// Whether a slide is taken on this tick of the pane's 0..59 seconds counter.
bool SlideDue(int tickCounter, int intervalSeconds);
// The slide period the choice box stores: above 60 is 60, below 1 is 1.
int ClampSlidePeriod(int seconds);

// Creates every directory of |path| (existing ones are fine); false when the
// last one does not exist afterwards.
bool CreateDirectories(const std::string& path);
