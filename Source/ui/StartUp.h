// The start-up decision: which instance number this process runs as, after
// the questions and notices about instances already running.
#pragma once

class InstanceRegistry;

struct StartDecision {
  bool start = false;
  int instance = -1;
};

// Counts the running instances and asks the user what to do (through the
// message box presenter). On a start the registry holds the new number.
StartDecision DecideInstance(InstanceRegistry& registry);

// Brings instances 0..count-1 forward, the k-th to the corner plus 50 k.
void BringInstancesForward(int count);
