// Where recordings go and when a recording moves to its next file.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "MediaTools.h"
#include "base/RecordPaths.h"

namespace {

const LocalTime kAt{2009, 10, 21, 13, 56, 56};

TEST(RecordPathsTest, NamesOfTheTree) {
  struct Case {
    std::string dir;
    std::string pane, hour, avi, alarm, slide, snapshot;
  };
  const Case cases[] = {
      {"/rec", "/rec/VIEWER03", "/rec/VIEWER03/2009_10_21/13", "/rec/VIEWER03/2009_10_21/13/56_56.avi",
       "/rec/VIEWER03/2009_10_21/13/MD_56_56.avi", "/rec/VIEWER03/2009_10_21/13/56_56.jpg",
       "/rec/VIEWER03_2009-10-21_13-56-56.jpg"},
      // A directory ending with a separator gets no second one.
      {"/rec/", "/rec/VIEWER03", "/rec/VIEWER03/2009_10_21/13", "/rec/VIEWER03/2009_10_21/13/56_56.avi",
       "/rec/VIEWER03/2009_10_21/13/MD_56_56.avi", "/rec/VIEWER03/2009_10_21/13/56_56.jpg",
       "/rec/VIEWER03_2009-10-21_13-56-56.jpg"},
      {"/미디어 자료", "/미디어 자료/VIEWER03", "/미디어 자료/VIEWER03/2009_10_21/13",
       "/미디어 자료/VIEWER03/2009_10_21/13/56_56.avi", "/미디어 자료/VIEWER03/2009_10_21/13/MD_56_56.avi",
       "/미디어 자료/VIEWER03/2009_10_21/13/56_56.jpg", "/미디어 자료/VIEWER03_2009-10-21_13-56-56.jpg"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.dir);
    const std::string pane = PaneRecordDir(c.dir, 3);
    EXPECT_EQ(pane, c.pane);
    const std::string hour = HourDir(pane, kAt);
    EXPECT_EQ(hour, c.hour);
    EXPECT_EQ(AviFilePath(hour, false, kAt), c.avi);
    EXPECT_EQ(AviFilePath(hour, true, kAt), c.alarm);
    EXPECT_EQ(SlideFilePath(hour, kAt), c.slide);
    EXPECT_EQ(SnapshotFilePath(c.dir, 3, kAt), c.snapshot);
  }
}

// Steps a clock second by second from |from| for |seconds| and lists the
// times at which a file started at |from| would be split (each split
// starts the next file at that time).
std::vector<LocalTime> Splits(LocalTime from, int seconds, int period) {
  std::vector<LocalTime> out;
  LocalTime start = from;
  std::tm tm{};
  tm.tm_year = from.year - 1900;
  tm.tm_mon = from.month - 1;
  tm.tm_mday = from.day;
  tm.tm_hour = from.hour;
  tm.tm_min = from.minute;
  tm.tm_sec = from.second;
  tm.tm_isdst = -1;
  std::time_t t = std::mktime(&tm);
  for (int i = 1; i <= seconds; ++i) {
    const LocalTime now = ToLocalTime(t + i);
    if (PeriodSplitDue(start, now, period)) {
      out.push_back(now);
      start = now;
    }
  }
  return out;
}

// The name a recording takes when its own is taken: the number goes before
// the extension, which stays last (the container follows it).
TEST(RecordPathsTest, NumberedNamesKeepTheExtensionLast) {
  struct Case {
    const char* path;
    int n;
    const char* numbered;
  };
  const Case cases[] = {
      {"/r/VIEWER00/2009_10_21/13/56_56.avi", 1, "/r/VIEWER00/2009_10_21/13/56_56-1.avi"},
      {"/r/VIEWER00/2009_10_21/13/MD_56_56.avi", 2, "/r/VIEWER00/2009_10_21/13/MD_56_56-2.avi"},
      {"/r/56_56-1.avi", 1, "/r/56_56-1-1.avi"},
      {"/r/56_56.avi", 0, "/r/56_56.avi"},
      {"/r/clip.tar.mov", 3, "/r/clip.tar-3.mov"},
      {"/r.d/clip", 1, "/r.d/clip-1"},          // the dot of a folder is no extension
      {"/r/.avi", 1, "/r/.avi-1"},              // nor the leading dot of a name
      {"C:\\r.d\\56_56", 1, "C:\\r.d\\56_56-1"},
      {"56_56.avi", 12, "56_56-12.avi"},
  };
  for (const Case& c : cases) EXPECT_EQ(NumberedFilePath(c.path, c.n), c.numbered) << c.path << " " << c.n;
}

TEST(RecordPathsTest, FilesSplitInTheFirstSecondOfTheirBoundaryMinute) {
  setenv("TZ", "UTC", 1);
  tzset();
  struct Case {
    const char* name;
    LocalTime from;
    int seconds, period;
    std::vector<LocalTime> splits;
  };
  const Case cases[] = {
      {"period 10", kAt, 25 * 60, 10, {{2009, 10, 21, 14, 0, 0}, {2009, 10, 21, 14, 10, 0}, {2009, 10, 21, 14, 20, 0}}},
      {"period 1", {2009, 10, 21, 13, 58, 30}, 120, 1, {{2009, 10, 21, 13, 59, 0}, {2009, 10, 21, 14, 0, 0}}},
      {"started on a boundary", {2009, 10, 21, 14, 0, 10}, 65, 1, {{2009, 10, 21, 14, 1, 0}}},
      {"across midnight", {2009, 12, 31, 23, 59, 40}, 30, 1, {{2010, 1, 1, 0, 0, 0}}},
      {"period 0 counts as 1", {2009, 10, 21, 13, 58, 30}, 40, 0, {{2009, 10, 21, 13, 59, 0}}},
      {"period 60", {2009, 10, 21, 13, 58, 30}, 3 * 60, 60, {{2009, 10, 21, 14, 0, 0}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<LocalTime> got = Splits(c.from, c.seconds, c.period);
    ASSERT_EQ(got.size(), c.splits.size());
    for (std::size_t i = 0; i < got.size(); ++i) EXPECT_EQ(got[i], c.splits[i]) << i;
  }
  // The next day's file lands in the next day's directory.
  EXPECT_EQ(HourDir("/r/VIEWER00", Splits({2009, 12, 31, 23, 59, 40}, 30, 1).at(0)), "/r/VIEWER00/2010_01_01/00");
  bool adjusted = false;
  EXPECT_EQ(RecordPeriodMinutes(0, &adjusted), 1);
  EXPECT_TRUE(adjusted);
  EXPECT_EQ(RecordPeriodMinutes(5, &adjusted), 5);
  EXPECT_FALSE(adjusted);
}

TEST(RecordPathsTest, SlidesAndTheirPeriod) {
  std::vector<int> seconds;
  for (int tick = 0; tick < 60; ++tick) {
    if (SlideDue(tick, 7)) seconds.push_back(tick);
  }
  EXPECT_EQ(seconds, (std::vector<int>{0, 7, 14, 21, 28, 35, 42, 49, 56}));
  EXPECT_FALSE(SlideDue(0, 0));
  const std::pair<int, int> clamps[] = {{0, 1}, {-5, 1}, {1, 1}, {7, 7}, {60, 60}, {99, 60}};
  for (const auto& [in, out] : clamps) EXPECT_EQ(ClampSlidePeriod(in), out) << in;
}

TEST(RecordPathsTest, CreatesEveryDirectoryOfAPath) {
  mediatest::TempDir dir;
  const std::string deep = dir.File("a b/한글/2009_10_21/13");
  EXPECT_TRUE(CreateDirectories(deep));
  EXPECT_TRUE(std::filesystem::is_directory(deep));
  EXPECT_TRUE(CreateDirectories(deep));  // already there
  const std::string file = dir.File("plain");
  { std::FILE* f = std::fopen(file.c_str(), "w"); std::fclose(f); }
  EXPECT_FALSE(CreateDirectories(file + "/below"));  // a file is in the way
}

}  // namespace
