// What the camera tells a pane about its own upkeep: a key pressed on the
// camera (1058), new network settings that the camera must restart for
// (1073), a motion alarm setup that could not connect (1148), and the
// progress or failure of a firmware update (1153, 1154). While an update runs
// the pane neither watches for stalls nor reconnects when the camera goes
// away. UI thread; the flag is atomic because the session's watchdog reads it.
#pragma once

#include <atomic>
#include <cstdint>

class PaneContext;
class MessageRouter;

class PaneMaintenance {
 public:
  explicit PaneMaintenance(PaneContext& pane) : pane_(pane) {}
  void Register(MessageRouter& router);
  bool UpdateInProgress() const { return updateInProgress_.load() != 0; }

 private:
  void OnUpdateProgress(std::intptr_t code);

  PaneContext& pane_;
  std::atomic<int> updateInProgress_{0};
};
