// A tool run by the pane tests' media helper must leave the sanitizer's view
// of this process intact: afterwards a value handed to a new thread under a
// mutex is not a race, and starting that thread is allowed. (A child started
// with clone(CLONE_VM) runs the sanitizer's forked-child set-up in the
// parent's memory: the next thread start aborts the process, and lock
// releases of the calling thread are no longer seen.)
#include <cstdio>
#include <future>
#include <mutex>
#include <thread>

#include "MediaProbe.h"

namespace {
std::mutex g_lock;
int g_value = 0;  // guarded by g_lock
}  // namespace

int main() {
  // Another thread is running while the tool starts.
  std::promise<void> release;
  std::thread companion([done = release.get_future()]() mutable { done.wait(); });
  int code = -1;
  mediaprobe::Run("true", {}, &code);
  release.set_value();
  companion.join();
  if (code != 0) {
    std::fprintf(stderr, "the child exited with %d\n", code);
    return 1;
  }
  for (int round = 0; round < 2; ++round) {
    {
      std::lock_guard<std::mutex> hold(g_lock);
      g_value = round + 1;
    }
    int seen = 0;
    std::thread reader([&seen] {
      std::lock_guard<std::mutex> hold(g_lock);
      seen = g_value;
    });
    reader.join();
    if (seen != round + 1) return 1;
  }
  std::puts("done");
  return 0;
}
