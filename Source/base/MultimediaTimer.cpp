#include "base/MultimediaTimer.h"

#include <atomic>
#include <cerrno>
#include <ctime>

#include "base/base.h"

namespace MultimediaTimer {
namespace {

// Written by Begin/End on the UI thread while the owning render starts or
// stops; read by render threads in Wait.
std::atomic<bool> g_begun{false};
std::atomic<unsigned> g_period{0};
std::atomic<unsigned> g_lastResult{0};

// The resolution range the platform offers, in milliseconds. Linux sleeps
// with sub-millisecond precision, so the lower bound is 1.
constexpr unsigned kDeviceMinimum = 1;
constexpr unsigned kDeviceMaximum = 1000000;

}  // namespace

unsigned ChoosePeriod(unsigned minimum, unsigned maximum) {
  unsigned p = minimum > 2 ? minimum : 2;
  return p < maximum ? p : maximum;
}

void Begin() {
  if (g_begun.load()) return;
  g_period.store(ChoosePeriod(kDeviceMinimum, kDeviceMaximum));
  g_begun.store(true);
}

void End() {
  if (!g_begun.load()) return;
  g_period.store(0);
  g_begun.store(false);
}

bool IsBegun() { return g_begun.load(); }
unsigned Period() { return g_period.load(); }

unsigned Wait(unsigned milliseconds) {
  if (!g_begun.load(std::memory_order_relaxed)) return 1;
  timespec deadline{};
  clock_gettime(CLOCK_MONOTONIC, &deadline);
  deadline.tv_sec += milliseconds / 1000;
  deadline.tv_nsec += static_cast<long>(milliseconds % 1000) * 1000000L;
  if (deadline.tv_nsec >= 1000000000L) {
    deadline.tv_sec += 1;
    deadline.tv_nsec -= 1000000000L;
  }
  int rc;
  do {
    rc = clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr);
  } while (rc == EINTR);
  if (rc != 0) LogMessage("%s(%d):mmresult=%#x\r\n", LOGPOS, static_cast<unsigned>(rc));
  g_lastResult.store(static_cast<unsigned>(rc), std::memory_order_relaxed);
  return static_cast<unsigned>(rc);
}

}  // namespace MultimediaTimer
