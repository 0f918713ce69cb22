// How the core talks to windows. The core's threads never touch widgets: they
// post (or send) numbered messages to a window target, which the application
// implements on the UI thread and tests implement with a recording fake.
// Message numbers are WM_USER + n as the program has always numbered them.
#pragma once

#include <cstdint>

inline constexpr unsigned WM_USER = 1024;

class WindowTarget {
 public:
  virtual ~WindowTarget() = default;
  // Queues the message for the window's thread and returns at once.
  virtual void Post(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) = 0;
  // Runs the window's handler (on the window's thread) and waits for its
  // result. Pointers in wParam/lParam need only live until Send returns.
  virtual std::intptr_t Send(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) = 0;
  // Makes every Send that is waiting for the window's thread return 0 at
  // once, without running the handler later (the caller is unregistering the
  // window and may be that thread). Sends that began after this call wait as
  // usual.
  virtual void CancelPendingSends() {}
};
