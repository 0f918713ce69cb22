#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "base/base.h"

namespace fs = std::filesystem;

namespace {

// "YYYY-MM-DD hh:mm:ss.mmm " at the start of a line.
const std::regex kLineTime(R"(^\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}\.\d{3} )");

// |text| with the time taken off the start of each line (lines that lack
// one keep a "!" in its place, so that a comparison shows them).
std::string WithoutTimes(const std::string& text) {
  std::string out;
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = text.find('\n', at);
    end = end == std::string::npos ? text.size() : end + 1;
    const std::string line = text.substr(at, end - at);
    out += std::regex_search(line, kLineTime) ? line.substr(24) : "!" + line;
    at = end;
  }
  return out;
}

std::string ReadWithIconv(const std::string& path) {
  std::string cmd = "iconv -f UTF-16LE -t UTF-8 '" + path + "'";
  FILE* p = ::popen(cmd.c_str(), "r");
  std::string out;
  char buf[256];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  EXPECT_EQ(::pclose(p), 0);
  return out;
}

// The log's clock, in the tests' hands.
std::atomic<std::int64_t> g_now{0};
std::int64_t FakeNow() { return g_now.load(); }
constexpr std::int64_t kStart = 1796997787123;  // 2026-12-11 14:03:07.123 UTC

class LogFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/tessora-log-XXXXXX";
    dir_ = ::mkdtemp(tmpl);
    FlushLogRepeats();
  }
  void TearDown() override {
    SetLogEnabled(false);
    FlushLogRepeats();
    fs::remove_all(dir_);
  }
  std::string dir_;
};

TEST_F(LogFileTest, FileNameFollowsPattern) {
  const std::string path = SetLogFileName(3, dir_);
  const std::string name = fs::path(path).filename().string();
  EXPECT_TRUE(std::regex_match(name, std::regex(R"(\[Log 3\] \d{4}_[1-9]\d?_[1-9]\d? - \d{1,2}_\d{1,2}_\d{1,2}\.txt)")))
      << name;
  EXPECT_EQ(fs::path(path).parent_path().string(), dir_);
}

TEST_F(LogFileTest, KoreanTextIsWrittenAsUtf16WithoutBom) {
  const std::string path = SetLogFileName(0, dir_);
  SetLogEnabled(true);
  LogMessage("%s:%d camera %s\r\n", "link/Link.cpp", 42, "현관 카메라");
  LogMessageW(L"%s:%d (%d)\r\n", L"ui/MViewer.cpp", 7, -1);
  ASSERT_TRUE(fs::exists(path));
  std::ifstream raw(path, std::ios::binary);
  char first[2] = {};
  raw.read(first, 2);
  EXPECT_EQ(first[0], '2');  // the year of the line's time; no byte-order mark
  EXPECT_EQ(first[1], '\0');
  const std::string text = ReadWithIconv(path);
  EXPECT_EQ(WithoutTimes(text), "link/Link.cpp:42 camera 현관 카메라\r\nui/MViewer.cpp:7 (-1)\r\n") << text;
}

TEST_F(LogFileTest, NothingIsWrittenWhenFileLoggingIsOff) {
  const std::string path = SetLogFileName(1, dir_);
  SetLogEnabled(false);
  LogMessage("%s:%d\r\n", "x", 1);
  EXPECT_FALSE(fs::exists(path));
  EXPECT_TRUE(fs::is_empty(dir_));
}

TEST_F(LogFileTest, LongLinesAreCutNotOverrun) {
  const std::string path = SetLogFileName(0, dir_);
  SetLogEnabled(true);
  std::string big(5000, 'x');
  LogMessage("%s", big.c_str());
  EXPECT_EQ(fs::file_size(path), (24u + 2047u) * 2);  // the time, then the cut text
}

TEST_F(LogFileTest, UnwritableFileStillReachesStandardError) {
  SetLogFileName(0, dir_ + "/missing-folder");
  SetLogEnabled(true);
  testing::internal::CaptureStderr();
  LogMessage("%s:%d\r\n", "base/x.cpp", 9);
  EXPECT_EQ(WithoutTimes(testing::internal::GetCapturedStderr()), "base/x.cpp:9\r\n");
}

// A new log file begins with full lines: what was still counted is told in
// the file it began in.
TEST_F(LogFileTest, ANewFileStartsAfresh) {
  fs::create_directories(dir_ + "/one");
  fs::create_directories(dir_ + "/two");
  const std::string first = SetLogFileName(0, dir_ + "/one");
  SetLogEnabled(true);
  SetLogToStderr(false);
  for (int i = 0; i < 3; ++i) LogMessage("again\r\n");
  const std::string second = SetLogFileName(0, dir_ + "/two");
  LogMessage("again\r\n");
  SetLogToStderr(true);
  const std::string old = WithoutTimes(ReadWithIconv(first));
  EXPECT_EQ(old.substr(0, old.find(" (last ")), "again\r\nagain ... repeated 2 times") << old;
  EXPECT_EQ(WithoutTimes(ReadWithIconv(second)), "again\r\n");
}

// Lines from several threads at once: each is written whole, with its time,
// and nothing is lost; the same line from one place is written once and the
// others counted, however the threads interleave. (The clock stands still:
// no minute passes, however slow the machine.)
TEST_F(LogFileTest, LinesFromManyThreadsStayWhole) {
  const std::string path = SetLogFileName(0, dir_);
  SetLogEnabled(true);
  SetLogToStderr(false);
  g_now = kStart;
  SetLogClockForTesting(FakeNow);
  constexpr int kThreads = 4;
  constexpr int kLines = 150;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < kLines; ++i) {
        LogMessage("thread %d line %d of a text long enough to be written in several pieces ????????\r\n", t, i);
        LogMessage("the same from every thread\r\n");
      }
    });
  }
  for (auto& thread : threads) thread.join();
  FlushLogRepeats();
  SetLogToStderr(true);
  SetLogClockForTesting(nullptr);
  const std::string text = ReadWithIconv(path);
  std::istringstream lines(text);
  std::string line;
  int distinct = 0, same = 0, summaries = 0;
  while (std::getline(lines, line)) {
    ASSERT_TRUE(std::regex_search(line, kLineTime)) << line;
    ASSERT_EQ(line.back(), '\r') << line;
    const std::string body = line.substr(24, line.size() - 25);
    if (body == "the same from every thread") {
      ++same;
    } else if (body.rfind("the same from every thread ... repeated ", 0) == 0) {
      ++summaries;
      EXPECT_NE(body.find(" repeated " + std::to_string(kThreads * kLines - 1) + " times (last "), std::string::npos)
          << body;
    } else {
      ASSERT_TRUE(std::regex_match(body, std::regex(R"(thread \d line \d+ of a text long enough .* \?{8})"))) << body;
      ++distinct;
    }
  }
  EXPECT_EQ(distinct, kThreads * kLines);
  EXPECT_EQ(same, 1);
  EXPECT_EQ(summaries, 1);
}

// The repeat rule and the line times, with the log's clock in our hands and
// the local time zone set.

class LogRepeats : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* tz = std::getenv("TZ");
    hadTz_ = tz != nullptr;
    if (hadTz_) oldTz_ = tz;
    SetZone("UTC0");
    g_now = kStart;
    SetLogClockForTesting(FakeNow);
    FlushLogRepeats();
  }
  void TearDown() override {
    FlushLogRepeats();
    SetLogClockForTesting(nullptr);
    SetLogDebug(false);
    if (hadTz_) {
      ::setenv("TZ", oldTz_.c_str(), 1);
    } else {
      ::unsetenv("TZ");
    }
    ::tzset();
  }
  static void SetZone(const char* zone) {
    ::setenv("TZ", zone, 1);
    ::tzset();
  }
  bool hadTz_ = false;
  std::string oldTz_;
};

// Two places of our own: the place of a line is where LogMessage is called.
void LogFrom(int place, const char* text) {
  if (place == 0) {
    LogMessage("%s\r\n", text);
  } else {
    LogMessage("%s\r\n", text);
  }
}

TEST_F(LogRepeats, SameLineFromTheSamePlaceIsCounted) {
  struct Step {
    std::int64_t at;  // milliseconds after kStart
    int place;        // 0, 1; -1: FlushLogRepeats
    const char* text;
  };
  const struct {
    const char* name;
    std::vector<Step> steps;
    const char* written;
  } cases[] = {
      {"the same line twice",
       {{0, 0, "A"}, {1000, 0, "A"}, {2000, -1, ""}},
       "2026-12-11 14:03:07.123 A\r\n"
       "2026-12-11 14:03:09.123 A ... repeated 1 times (last 2026-12-11 14:03:08.123)\r\n"},
      {"another text from the same place tells the count first; both are remembered",
       {{0, 0, "A"}, {1000, 0, "A"}, {1500, 0, "A"}, {2000, 0, "B"}, {3000, 0, "A"}, {4000, 0, "B"}, {5000, -1, ""}},
       "2026-12-11 14:03:07.123 A\r\n"
       "2026-12-11 14:03:09.123 A ... repeated 2 times (last 2026-12-11 14:03:08.623)\r\n"
       "2026-12-11 14:03:09.123 B\r\n"
       "2026-12-11 14:03:12.123 A ... repeated 1 times (last 2026-12-11 14:03:10.123)\r\n"
       "2026-12-11 14:03:12.123 B ... repeated 1 times (last 2026-12-11 14:03:11.123)\r\n"},
      {"the same text from another place is another line",
       {{0, 0, "A"}, {1, 1, "A"}, {2, 0, "A"}, {3, 1, "A"}, {4, -1, ""}},
       "2026-12-11 14:03:07.123 A\r\n"
       "2026-12-11 14:03:07.124 A\r\n"
       "2026-12-11 14:03:07.127 A ... repeated 1 times (last 2026-12-11 14:03:07.125)\r\n"
       "2026-12-11 14:03:07.127 A ... repeated 1 times (last 2026-12-11 14:03:07.126)\r\n"},
      {"a summary at most once a minute while the repeats go on",
       {{0, 0, "A"}, {20000, 0, "A"}, {40000, 0, "A"}, {59999, 0, "A"}, {60000, 0, "A"}, {80000, 0, "A"},
        {119999, 0, "A"}, {120000, 0, "A"}, {130000, -1, ""}},
       "2026-12-11 14:03:07.123 A\r\n"
       "2026-12-11 14:04:07.123 A ... repeated 4 times (last 2026-12-11 14:04:07.123)\r\n"
       "2026-12-11 14:05:07.123 A ... repeated 3 times (last 2026-12-11 14:05:07.123)\r\n"},
      {"repeats that ended are told by the next line of any place; after a quiet minute the line is new",
       {{0, 0, "A"}, {10000, 0, "A"}, {69999, 1, "X"}, {70000, 1, "Y"}, {200000, 0, "A"}, {201000, -1, ""}},
       "2026-12-11 14:03:07.123 A\r\n"
       "2026-12-11 14:04:17.122 X\r\n"
       "2026-12-11 14:04:17.123 A ... repeated 1 times (last 2026-12-11 14:03:17.123)\r\n"
       "2026-12-11 14:04:17.123 Y\r\n"
       "2026-12-11 14:06:27.123 A\r\n"},
      {"flushing forgets the recent lines",
       {{0, 0, "A"}, {1, -1, ""}, {2, 0, "A"}},
       "2026-12-11 14:03:07.123 A\r\n"
       "2026-12-11 14:03:07.125 A\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FlushLogRepeats();
    testing::internal::CaptureStderr();
    for (const Step& s : c.steps) {
      g_now = kStart + s.at;
      if (s.place < 0) {
        FlushLogRepeats();
      } else {
        LogFrom(s.place, s.text);
      }
    }
    FlushLogRepeats();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), c.written);
  }
}

// A place with more lines than the table holds: the oldest is told and
// forgotten when its room is needed, and nothing is lost.
TEST_F(LogRepeats, AFullTableTellsTheOldestItMakesRoomFor) {
  testing::internal::CaptureStderr();
  LogFrom(0, "first");
  LogFrom(0, "first");
  for (int i = 0; i < 64; ++i) {
    g_now = g_now + 1;
    LogFrom(1, ("other " + std::to_string(i)).c_str());
  }
  g_now = g_now + 1;
  LogFrom(0, "first");  // written again: its entry made room for "other 63"
  const std::string written = WithoutTimes(testing::internal::GetCapturedStderr());
  const std::string told = "first ... repeated 1 times (last 2026-12-11 14:03:07.123)\r\n";
  EXPECT_NE(written.find(told + "other 63\r\n"), std::string::npos) << written;
  EXPECT_EQ(written.substr(written.size() - 7), "first\r\n") << written;
}

TEST_F(LogRepeats, LineTimesAreLocalTimeToTheMillisecond) {
  const struct {
    const char* zone;
    std::int64_t at;
    const char* line;
  } cases[] = {
      {"UTC0", kStart, "2026-12-11 14:03:07.123 x\r\n"},
      {"KST-9", kStart, "2026-12-11 23:03:07.123 x\r\n"},
      {"KST-9", kStart + 36000000, "2026-12-12 09:03:07.123 x\r\n"},  // past midnight
      {"UTC0", kStart - 123, "2026-12-11 14:03:07.000 x\r\n"},
      {"UTC0", 1000000000005, "2001-09-09 01:46:40.005 x\r\n"},
      {"EST5", 0, "1969-12-31 19:00:00.000 x\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.zone) + " " + c.line);
    SetZone(c.zone);
    g_now = c.at;
    FlushLogRepeats();
    testing::internal::CaptureStderr();
    LogMessage("x\r\n");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), c.line);
  }
}

TEST_F(LogRepeats, DebugLinesOnlyWithTheDebugSwitch) {
  for (bool on : {false, true, false}) {
    SCOPED_TRACE(on ? "on" : "off");
    SetLogDebug(on);
    FlushLogRepeats();
    testing::internal::CaptureStderr();
    LogDebugMessage("STOP (%s)\r\n", "Thread_Select");
    LogMessage("always\r\n");
    EXPECT_EQ(WithoutTimes(testing::internal::GetCapturedStderr()),
              on ? "STOP (Thread_Select)\r\nalways\r\n" : "always\r\n");
  }
}

// The counts still open when the program ends are written at its end.
TEST_F(LogRepeats, TheProgramsEndTellsTheCountsStillOpen) {
  char tmpl[] = "/tmp/tessora-log-end-XXXXXX";
  const int fd = ::mkstemp(tmpl);
  ASSERT_GE(fd, 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::dup2(fd, 2);
    LogFrom(0, "A");
    g_now = kStart + 1000;
    LogFrom(0, "A");
    std::exit(0);
  }
  int status = -1;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  std::ifstream in(tmpl);
  const std::string written((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ::close(fd);
  ::unlink(tmpl);
  EXPECT_EQ(WithoutTimes(written), "A\r\nA ... repeated 1 times (last 2026-12-11 14:03:08.123)\r\n");
}

TEST(SourceName, TrimsToAreaAndModule) {
  EXPECT_STREQ(SourceName("/home/u/src/Source/link/Link.cpp"), "link/Link.cpp");
  EXPECT_STREQ(SourceName("/x/tools/camsim/main.cpp"), "camsim/main.cpp");
  EXPECT_STREQ(SourceName("plain.cpp"), "plain.cpp");
}

TEST(Utf8ToUtf16, InvalidBytesBecomeReplacementCharacters) {
  const char bad[] = "a\xff\xe0\x80z";
  std::u16string out = Utf8ToUtf16(bad, sizeof bad - 1);
  EXPECT_EQ(out, u"a\uFFFD\uFFFD\uFFFDz");
  EXPECT_EQ(Utf8ToUtf16("\xf0\x9f\x93\xb7", 4), u"\U0001F4F7");
}

}  // namespace
