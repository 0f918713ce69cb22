// The subcommands. Each lives in its own source file and is listed once in
// the table of main.cpp. argv starts after the subcommand's name.
#pragma once

namespace cli {

struct Command {
  const char* name;
  const char* usage;    // one line: arguments
  const char* summary;  // one line: what it does
  int (*run)(int argc, char** argv);
};

int RunSearch(int argc, char** argv);
int RunProbe(int argc, char** argv);
int RunPtz(int argc, char** argv);
int RunSetup(int argc, char** argv);
int RunSnapshot(int argc, char** argv);
int RunRecord(int argc, char** argv);

}  // namespace cli
