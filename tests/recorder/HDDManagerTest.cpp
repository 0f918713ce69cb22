// The disk space manager on a temporary tree, with its clock moved and the
// free space simulated.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>

#include "MediaTools.h"
#include "base/HDDManager.h"

namespace fs = std::filesystem;

namespace {

constexpr std::int64_t kHour = 3600LL * 1000000000LL;
constexpr std::int64_t kMB = 1048576;

std::int64_t RealNow() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

class HDDManagerTest : public ::testing::Test {
 protected:
  HDDManagerTest()
      : manager_([this] { return now_.load(); },
                 [this](const std::string& dir) {
                   std::lock_guard<std::mutex> hold(freeLock_);
                   auto it = free_.find(dir);
                   return it == free_.end() ? 100000 * kMB : it->second;
                 }) {}

  std::string Pane(const std::string& name) {
    const std::string p = root_.File(name);
    fs::create_directories(p);
    return p;
  }
  // Creates pane/day/hour with one file of |bytes| (0: no file). The short
  // pause keeps creation times of successive hours apart on filesystems with
  // a coarse clock.
  std::string Hour(const std::string& pane, const std::string& day, const std::string& hour,
                   std::int64_t bytes) {
    const std::string h = pane + "/" + day + "/" + hour;
    fs::create_directories(h);
    if (bytes > 0) {
      const int fd = ::open((h + "/00_00.avi").c_str(), O_CREAT | O_WRONLY, 0644);
      EXPECT_EQ(ftruncate(fd, bytes), 0);
      ::close(fd);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return h;
  }
  void SetFree(const std::string& dir, std::int64_t bytes) {
    std::lock_guard<std::mutex> hold(freeLock_);
    free_[dir] = bytes;
  }
  void Age(std::int64_t ns) { now_.store(RealNow() + ns); }

  mediatest::TempDir root_;
  std::atomic<std::int64_t> now_{RealNow()};
  std::mutex freeLock_;
  std::map<std::string, std::int64_t> free_;
  HDDManager manager_;
};

TEST_F(HDDManagerTest, RegistrationTable) {
  EXPECT_EQ(manager_.RegisterDirectory("/rec/a", 10), 1);
  EXPECT_EQ(manager_.RegisterDirectory("/rec/a", 20), 1) << "same directory, one entry";
  EXPECT_EQ(manager_.Entry(1).inUse, false);
  EXPECT_EQ(manager_.Entry(0).capacityMB, 10u);
  for (int i = 1; i < HDDManager::kEntries; ++i) {
    EXPECT_EQ(manager_.RegisterDirectory("/rec/" + std::to_string(i), 0), 1);
  }
  EXPECT_EQ(manager_.RegisterDirectory("/rec/full", 0), 0) << "table full";
  EXPECT_EQ(manager_.RegisterDirectory("/rec/A", 0), 0) << "names are case-sensitive";
  EXPECT_EQ(manager_.UnregisterDirectory("/rec/none"), 0);
  EXPECT_EQ(manager_.UnregisterDirectory("/rec/a"), 1);
  EXPECT_EQ(manager_.UnregisterDirectory("/rec/a"), 0);
  EXPECT_EQ(manager_.RegisterDirectory("/rec/full", 0), 1) << "the freed entry is reused";
  EXPECT_EQ(manager_.Entry(0).dir, "/rec/full");
}

// Hours younger than 61 minutes are neither deleted (empty, over capacity,
// or on a full disk) nor cached.
TEST_F(HDDManagerTest, YoungHoursAreUntouched) {
  const std::string pane = Pane("VIEWER00");
  const std::string empty = Hour(pane, "2024_05_01", "10", 0);
  const std::string full = Hour(pane, "2024_05_01", "11", 3 * kMB);
  ASSERT_EQ(manager_.RegisterDirectory(pane, 1), 1);
  SetFree(pane, 0);
  Age(HDDManager::kMinimumAgeSeconds * 1000000000LL - 5 * 1000000000LL);
  manager_.RunCycle();
  manager_.RunCycle();
  EXPECT_TRUE(fs::exists(empty));
  EXPECT_TRUE(fs::exists(full + "/00_00.avi"));
  EXPECT_FALSE(fs::exists(full + "/capacity"));
  EXPECT_EQ(manager_.Entry(0).usedMB, 3u);
}

// Old empty hours go, and a day left without hours goes with them.
TEST_F(HDDManagerTest, EmptyOldHoursAndDaysAreRemoved) {
  const std::string pane = Pane("VIEWER01");
  const std::string emptyDay = Hour(pane, "2024_05_01", "10", 0);
  const std::string emptyHour = Hour(pane, "2024_05_02", "08", 0);
  const std::string kept = Hour(pane, "2024_05_02", "09", kMB);
  ASSERT_EQ(manager_.RegisterDirectory(pane, 0), 1);
  Age(2 * kHour);
  manager_.RunCycle();
  EXPECT_FALSE(fs::exists(emptyHour));
  EXPECT_FALSE(fs::exists(pane + "/2024_05_01"));
  EXPECT_TRUE(fs::exists(kept + "/00_00.avi"));
  (void)emptyDay;
}

// The size of a finished hour is written once, then trusted: files added
// later are not counted.
TEST_F(HDDManagerTest, SizeCacheIsWrittenOnceAndTrusted) {
  const std::string pane = Pane("VIEWER02");
  const std::string hour = Hour(pane, "2024_05_01", "10", 3 * kMB);
  ASSERT_EQ(manager_.RegisterDirectory(pane, 0), 1);
  Age(2 * kHour);
  manager_.RunCycle();
  std::ifstream in(hour + "/capacity");
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_EQ(text.str(), std::to_string(3 * kMB));
  EXPECT_EQ(manager_.Entry(0).usedMB, 3u);

  const int fd = ::open((hour + "/late.avi").c_str(), O_CREAT | O_WRONLY, 0644);
  ASSERT_EQ(ftruncate(fd, 5 * kMB), 0);
  ::close(fd);
  manager_.RunCycle();
  EXPECT_EQ(manager_.Entry(0).usedMB, 3u);
}

// A pane over its capacity loses its oldest hour, one per cycle, until it is
// under the limit.
TEST_F(HDDManagerTest, CapacityDeletesOneOldestHourPerCycle) {
  const std::string pane = Pane("VIEWER03");
  const std::string h1 = Hour(pane, "2024_05_01", "22", kMB);
  const std::string h2 = Hour(pane, "2024_05_01", "23", kMB);
  const std::string h3 = Hour(pane, "2024_05_02", "00", kMB);
  ASSERT_EQ(manager_.RegisterDirectory(pane, 2), 1);
  Age(3 * kHour);
  struct Step {
    bool h1, h2, h3;
  };
  const Step expected[] = {{false, true, true}, {false, false, true}, {false, false, true}};
  for (const Step& s : expected) {
    manager_.RunCycle();
    EXPECT_EQ(fs::exists(h1), s.h1);
    EXPECT_EQ(fs::exists(h2), s.h2);
    EXPECT_EQ(fs::exists(h3), s.h3);
  }
}

// Two panes on one filesystem short of space: each cycle deletes only the
// older of their two oldest hours. Unlimited capacity leaves this rule alone.
TEST_F(HDDManagerTest, FreeSpaceDeletesOnlyTheOlderOfTwoPanes) {
  const std::string a = Pane("VIEWER04");
  const std::string b = Pane("VIEWER05");
  const std::string b1 = Hour(b, "2024_05_01", "10", kMB);
  const std::string a1 = Hour(a, "2024_05_01", "11", kMB);
  const std::string b2 = Hour(b, "2024_05_01", "12", kMB);
  const std::string a2 = Hour(a, "2024_05_01", "13", kMB);
  ASSERT_EQ(manager_.RegisterDirectory(a, 0), 1);
  ASSERT_EQ(manager_.RegisterDirectory(b, 0), 1);
  Age(5 * kHour);
  manager_.RunCycle();
  EXPECT_TRUE(fs::exists(b1) && fs::exists(a1)) << "enough free space: nothing deleted";

  SetFree(a, 2000 * kMB);
  SetFree(b, 1500 * kMB);
  struct Step {
    bool b1, a1, b2, a2;
  };
  const Step expected[] = {{false, true, true, true}, {false, false, true, true}, {false, false, false, true}};
  for (const Step& s : expected) {
    manager_.RunCycle();
    EXPECT_EQ(fs::exists(b1), s.b1);
    EXPECT_EQ(fs::exists(a1), s.a1);
    EXPECT_EQ(fs::exists(b2), s.b2);
    EXPECT_EQ(fs::exists(a2), s.a2);
  }
}

// The thread measures at once when started and stops when asked.
TEST_F(HDDManagerTest, ThreadRunsACycleAtStart) {
  const std::string pane = Pane("VIEWER06");
  const std::string hour = Hour(pane, "2024_05_01", "10", 2 * kMB);
  ASSERT_EQ(manager_.RegisterDirectory(pane, 0), 1);
  Age(2 * kHour);
  manager_.StartDiskManager();
  manager_.StartDiskManager();  // once per process
  for (int i = 0; i < 1000 && manager_.Cycles() == 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  manager_.StopDiskManager();
  EXPECT_GE(manager_.Cycles(), 1);
  EXPECT_TRUE(fs::exists(hour + "/capacity"));
  EXPECT_EQ(manager_.Entry(0).usedMB, 2u);
}

}  // namespace
