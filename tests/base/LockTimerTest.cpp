#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "base/MultimediaTimer.h"
#include "base/TimedLock.h"
#include "base/base.h"

namespace {

TEST(TimedLock, TimeOutNamesHolderAndCaller) {
  TimedLock lock;
  ASSERT_EQ(lock.Acquire(1000, "base/t.cpp", 1), 1);
  const auto holder = CurrentThreadId();
  EXPECT_EQ(lock.Owner(), holder);

  std::uint32_t waiter = 0;
  int result = -1;
  testing::internal::CaptureStderr();
  std::thread t([&] {
    waiter = CurrentThreadId();
    result = lock.Acquire(50, "link/Link.cpp", 77);
  });
  t.join();
  const std::string line = testing::internal::GetCapturedStderr();
  EXPECT_EQ(result, 0);
  // After the line's time ("YYYY-MM-DD hh:mm:ss.mmm ").
  ASSERT_GT(line.size(), 24u) << line;
  EXPECT_EQ(line.substr(24), "link/Link.cpp:77 (last=" + std::to_string(holder) +
                                 ", current=" + std::to_string(waiter) + ")\r\n");

  lock.Release();
  EXPECT_EQ(lock.Owner(), 0u);
}

TEST(TimedLock, HolderReleasesAtScopeEnd) {
  TimedLock lock;
  int counter = 0;  // plain int: the lock alone must order the updates
  auto work = [&] {
    for (int i = 0; i < 1000; ++i) {
      TimedLockHolder hold(lock, TimedLock::kDefaultWaitMs, LOGPOS);
      ASSERT_TRUE(hold.held());
      ++counter;
    }
  };
  std::thread a(work), b(work);
  a.join();
  b.join();
  EXPECT_EQ(counter, 2000);
  EXPECT_EQ(lock.Owner(), 0u);
}

TEST(MultimediaTimer, PeriodRule) {
  struct Case {
    unsigned min, max, period;
  } cases[] = {{1, 1000000, 2}, {10, 1000000, 10}, {1, 1, 1}, {2, 2, 2}, {0, 65535, 2}};
  for (const auto& c : cases) {
    EXPECT_EQ(MultimediaTimer::ChoosePeriod(c.min, c.max), c.period) << c.min << "," << c.max;
  }
}

TEST(MultimediaTimer, WaitBeforeBeginReturnsOneAtOnce) {
  ASSERT_FALSE(MultimediaTimer::IsBegun());
  EXPECT_EQ(MultimediaTimer::Wait(10000), 1u);  // would hang the test if it slept
}

TEST(MultimediaTimer, BegunWaitLastsAtLeastTheAskedTime) {
  MultimediaTimer::Begin();
  MultimediaTimer::Begin();  // second Begin changes nothing
  EXPECT_TRUE(MultimediaTimer::IsBegun());
  EXPECT_EQ(MultimediaTimer::Period(), 2u);
  for (unsigned ms : {0u, 1u, 7u}) {
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(MultimediaTimer::Wait(ms), 0u);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(ms));
  }
  MultimediaTimer::End();
  EXPECT_FALSE(MultimediaTimer::IsBegun());
  EXPECT_EQ(MultimediaTimer::Period(), 0u);
}

}  // namespace
