// The start-up decision: the command line, the interface language, and which
// instance number this process runs as, after the questions and notices
// about instances already running.
#pragma once

#include <string>

#include "StringTable.h"

class InstanceRegistry;
struct SettingsKey;

struct StartDecision {
  bool start = false;
  int instance = -1;
  int exitCode = 0;  // when not starting
};

// Counts the running instances and asks the user what to do (through the
// message box presenter). On a start the registry holds the new number.
StartDecision DecideInstance(InstanceRegistry& registry);

// --instance N: takes number N without the questions. When another process
// holds it, says so on standard error, asks that one to come forward and
// ends with exit code 1.
StartDecision ClaimInstance(InstanceRegistry& registry, int number);

// Brings instances 0..count-1 forward, the k-th to the corner plus 50 k.
void BringInstancesForward(int count);

// The viewer's command line. Qt's own options (-platform, -style, -display
// ...) are passed over with their values: the application object reads
// them. Every other word is a usage error.
struct ViewerOptions {
  bool help = false;
  bool version = false;
  int instance = -1;   // --instance N, 0 to 3; -1 when not given
  std::string lang;    // --lang CODE as given; empty when not given
  std::string error;   // the usage error, empty when none
};
ViewerOptions ParseViewerArguments(int argc, const char* const* argv);
const char* ViewerUsage();

// The interface language: --lang when given, else the global setting
// "Language" ("en" or "ko"; anything else is logged and read as Korean),
// else Korean.
Language ChooseLanguage(const std::string& option, const SettingsKey& global);
