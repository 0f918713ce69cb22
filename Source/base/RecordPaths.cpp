#include "base/RecordPaths.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

LocalTime ToLocalTime(std::time_t t) {
  std::tm tm{};
  localtime_r(&t, &tm);
  return LocalTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

LocalTime SystemLocalTime() { return ToLocalTime(std::time(nullptr)); }

std::string JoinPath(const std::string& dir, const std::string& name) {
  if (!dir.empty() && (dir.back() == '/' || dir.back() == '\\')) return dir + name;
  return dir + "/" + name;
}

std::string PaneRecordDir(const std::string& recordDir, int slot) {
  char name[16];
  std::snprintf(name, sizeof name, "VIEWER%02d", slot);
  return JoinPath(recordDir, name);
}

std::string HourDir(const std::string& paneDir, const LocalTime& t) {
  char name[32];
  std::snprintf(name, sizeof name, "%04d_%02d_%02d/%02d", t.year, t.month, t.day, t.hour);
  return JoinPath(paneDir, name);
}

std::string AviFilePath(const std::string& hourDir, bool alarm, const LocalTime& t) {
  char name[32];
  std::snprintf(name, sizeof name, "%s%02d_%02d.avi", alarm ? "MD_" : "", t.minute, t.second);
  return JoinPath(hourDir, name);
}

std::string SlideFilePath(const std::string& hourDir, const LocalTime& t) {
  char name[16];
  std::snprintf(name, sizeof name, "%02d_%02d.jpg", t.minute, t.second);
  return JoinPath(hourDir, name);
}

std::string SnapshotFilePath(const std::string& captureDir, int slot, const LocalTime& t) {
  char name[64];
  std::snprintf(name, sizeof name, "VIEWER%02d_%04d-%02d-%02d_%02d-%02d-%02d.jpg", slot, t.year, t.month, t.day,
                t.hour, t.minute, t.second);
  return JoinPath(captureDir, name);
}

std::string NumberedFilePath(const std::string& path, int n) {
  if (n <= 0) return path;
  const std::size_t sep = path.find_last_of("/\\");
  const std::size_t nameStart = sep == std::string::npos ? 0 : sep + 1;
  std::size_t dot = path.rfind('.');
  // A dot in a directory's name, or the leading dot of a hidden name, is no
  // extension.
  if (dot == std::string::npos || dot <= nameStart) dot = path.size();
  return path.substr(0, dot) + "-" + std::to_string(n) + path.substr(dot);
}

int RecordPeriodMinutes(int stored, bool* adjusted) {
  const bool bad = stored < 1;
  if (adjusted != nullptr) *adjusted = bad;
  return bad ? 1 : stored;
}

bool PeriodSplitDue(const LocalTime& start, const LocalTime& now, int periodMinutes) {
  const bool leftTheMinute = now.minute != start.minute || now.hour != start.hour || now.day != start.day ||
                             now.month != start.month || now.year != start.year;
  return leftTheMinute && now.minute % RecordPeriodMinutes(periodMinutes) == 0;
}

bool SlideDue(int tickCounter, int intervalSeconds) {
  return intervalSeconds > 0 && tickCounter % intervalSeconds == 0;
}

int ClampSlidePeriod(int seconds) { return seconds > 60 ? 60 : seconds < 1 ? 1 : seconds; }

bool CreateDirectories(const std::string& path) {
  std::error_code ec;
  std::filesystem::create_directories(std::filesystem::path(path), ec);
  return std::filesystem::is_directory(std::filesystem::path(path), ec);
}
