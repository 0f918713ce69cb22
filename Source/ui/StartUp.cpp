#include "StartUp.h"

#include "InstanceRegistry.h"
#include "controls/MInfoBox.h"
#include "controls/MessageBoxes.h"

namespace {

constexpr int kTooManyViewers = 20029;
constexpr int kAlreadyRunning = 20140;
constexpr int kStartingAnother = 20141;
constexpr int kActivatingAll = 20142;

}  // namespace

void BringInstancesForward(int count) {
  for (int k = 0; k < count; ++k) InstanceRegistry::BringForward(k, k);
}

StartDecision DecideInstance(InstanceRegistry& registry) {
  // Two processes started together may race for a number: try again with the
  // next count when the claim fails.
  for (int attempt = 0; attempt < InstanceRegistry::kMaxInstances; ++attempt) {
    const int running = registry.CountRunning();
    if (running >= InstanceRegistry::kMaxInstances) {
      ShowError(kTooManyViewers);
      BringInstancesForward(InstanceRegistry::kMaxInstances);
      return {};
    }
    if (running > 0 && attempt == 0) {
      const int answer = AskQuestion(kAlreadyRunning);
      if (answer == kIdYes) {
        ShowNotice(kStartingAnother);
      } else if (answer == kIdNo) {
        ShowNotice(kActivatingAll);
        BringInstancesForward(running);
        return {};
      } else {
        return {};
      }
    }
    if (registry.Claim(running)) return {true, running};
  }
  return {};
}
