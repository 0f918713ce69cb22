// Process-wide services the main form starts while it is created: the video
// framework, the disk space manager thread and the LAN search thread (each
// once per process).
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

class CAMManager;

// Builds the colour conversion tables and checks that there is a screen to
// show pictures on. Returns 1, or 0 (logged).
int StartVideoFramework();

// Starts the disk space manager thread (30-second cycles, 2000 MB free-space
// limit) unless it runs already.
void StartDiskSpaceManager();

// The process's LAN search; started on the first call of StartLanSearch.
CAMManager& LanSearch();
// Starts the LAN search thread unless it runs already. Returns 1 when it runs.
int StartLanSearch();

// The automatic sign-in of panes with a stored password: one pass on its own
// thread, one pane after another with a pause between them (each sign-in may
// wait for its camera). The hooks run on that thread; the owner moves
// anything that touches widgets to its UI thread. A pane's SignIn may be
// called from here directly: the pane runs its sign-ins one at a time and
// drops this one's outcome when it was logged out meanwhile.
class AutoSignInThread {
 public:
  struct Hooks {
    std::function<void()> openNotice;     // before the first pane
    std::function<void(int pane)> signIn;
    std::function<void()> finish;         // after the last pause
  };
  AutoSignInThread() = default;
  ~AutoSignInThread() { Stop(); }
  AutoSignInThread(const AutoSignInThread&) = delete;
  AutoSignInThread& operator=(const AutoSignInThread&) = delete;

  // Signs in |panes| in order, pausing |step| after each. Returns false when
  // the thread cannot start (logged).
  bool Start(std::vector<int> panes, std::chrono::milliseconds step, Hooks hooks);
  // Cuts the pauses short (no further pane signs in) and joins the thread.
  void Stop();

 private:
  void Run(std::vector<int> panes, std::chrono::milliseconds step, Hooks hooks);

  std::mutex lock_;
  std::condition_variable wake_;
  bool stop_ = false;  // guarded by lock_
  std::thread thread_;  // started and joined by the owner's thread
};
