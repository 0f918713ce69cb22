// The conventions every program of the project keeps on its command line:
// --help prints the usage on standard output and exits 0, --version prints
// the name and the build's version and exits 0, and bad usage (an unknown
// option, a missing value, an extra argument) goes to standard error with
// exit status 2. None of this needs a display.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "Version.h"
#include "support/ChildProcess.h"

namespace {

namespace fs = std::filesystem;

struct Split {
  int status = -1;
  std::string out;
  std::string err;
};

// Runs |argv| with standard error sent to a file by the shell, so the two
// streams can be told apart; without a display.
Split RunProgram(const std::vector<std::string>& argv) {
  const std::string errFile =
      (fs::temp_directory_path() / ("tessora-conventions-" + std::to_string(getpid()) + ".err")).string();
  std::vector<std::string> shell = {"/bin/sh", "-c", "exec \"$0\" \"$@\" 2>\"$RUN_ERR\""};
  shell.insert(shell.end(), argv.begin(), argv.end());
  testsupport::ChildOptions options;
  options.env = {"RUN_ERR=" + errFile, "DISPLAY=", "WAYLAND_DISPLAY=", "QT_QPA_PLATFORM=offscreen"};
  testsupport::ChildProcess child(shell, options);
  const testsupport::Outcome o = child.Finish(60000);
  Split split{o.status, o.out, testsupport::ReadText(errFile)};
  fs::remove(errFile);
  if (testsupport::SanitizerReport(split.err)) ADD_FAILURE() << split.err;
  return split;
}

struct Program {
  const char* name;
  std::string binary;
};

std::vector<Program> Programs() {
  std::vector<Program> programs = {{"tessora-cli", TESSORA_CLI}, {"camsim", CAMSIM}};
#ifdef TESSORA_VIEWER
  programs.push_back({"tessora-viewer", TESSORA_VIEWER});
#endif
  return programs;
}

TEST(ConventionsTest, HelpAndVersionGoToStandardOutput) {
  for (const auto& p : Programs()) {
    SCOPED_TRACE(p.name);
    const Split help = RunProgram({p.binary, "--help"});
    EXPECT_EQ(help.status, 0) << help.err;
    EXPECT_EQ(help.out.rfind(std::string("usage: ") + p.name, 0), 0u) << help.out;
    EXPECT_EQ(help.err, "");

    const Split version = RunProgram({p.binary, "--version"});
    EXPECT_EQ(version.status, 0) << version.err;
    EXPECT_EQ(version.out, std::string(p.name) + " " + TESSORA_VERSION_TEXT + "\n");
    EXPECT_EQ(version.err, "");
  }
}

TEST(ConventionsTest, BadUsageExitsTwoWithAMessageOnStandardError) {
  const struct {
    const char* program;
    std::vector<std::string> arguments;
    const char* says;
  } cases[] = {
      {"tessora-cli", {"--bogus"}, "unknown command '--bogus'"},
      {"tessora-cli", {"probe", "127.0.0.1", "-u", "a", "-p", "b", "--bogus"}, "unknown option --bogus"},
      {"tessora-cli", {"probe", "127.0.0.1", "-u", "a", "-p", "b", "extra"}, "unexpected argument 'extra'"},
      {"tessora-cli", {"probe", "127.0.0.1", "-u", "a", "-p"}, "option -p needs a value"},
      {"camsim", {"--bogus"}, "unknown option: --bogus"},
      {"camsim", {"extra"}, "unknown option: extra"},
      {"camsim", {"--cameras"}, "--cameras needs a value"},
      {"tessora-viewer", {"--bogus"}, "unknown option --bogus"},
      {"tessora-viewer", {"extra"}, "unexpected argument 'extra'"},
      {"tessora-viewer", {"--instance"}, "--instance needs a value"},
      {"tessora-viewer", {"--instance", "4"}, "--instance takes a number from 0 to 3"},
      {"tessora-viewer", {"--lang", "xx"}, "--lang takes en or ko"},
      {"tessora-viewer", {"-platform"}, "-platform needs a value"},
  };
  const auto programs = Programs();
  for (const auto& c : cases) {
    const Program* program = nullptr;
    for (const auto& p : programs) {
      if (std::string(p.name) == c.program) program = &p;
    }
    if (program == nullptr) continue;  // the viewer in a build without the interface
    std::vector<std::string> argv = {program->binary};
    argv.insert(argv.end(), c.arguments.begin(), c.arguments.end());
    const Split o = RunProgram(argv);
    SCOPED_TRACE(std::string(c.program) + " " + c.says);
    EXPECT_EQ(o.status, 2) << o.err;
    EXPECT_NE(o.err.find(c.says), std::string::npos) << o.err;
    EXPECT_EQ(o.out, "");
  }
}

}  // namespace
