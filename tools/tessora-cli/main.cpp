// tessora-cli: the command-line companion of the viewer, over the core library.
#include <cstdio>
#include <cstring>
#include <iterator>

#include "Commands.h"
#include "CliSession.h"

namespace {

// One line per subcommand; add a subcommand by adding its file and a line here.
const cli::Command kCommands[] = {
    {"search", "", "find cameras on the local network (UDP broadcast)", cli::RunSearch},
    {"probe", "HOST[:PORT] -u ID -p PW", "sign in, print the sign-in result and the video format", cli::RunProbe},
    {"ptz", "HOST[:PORT] -u ID -p PW [--pan N] [--tilt N] [--zoom N] [--focus N] | --preset-goto N | "
            "--preset-save N | --scan-start | --scan-stop",
     "steer a pan/tilt camera", cli::RunPtz},
    {"setup", "get|set SECTION HOST[:PORT] -u ID -p PW [NAME=VALUE ...]",
     "read or write a configuration section of the camera", cli::RunSetup},
    {"snapshot", "HOST[:PORT] -u ID -p PW OUT.jpg", "save the next picture of the camera as a JPEG file", cli::RunSnapshot},
    {"record", "HOST[:PORT] -u ID -p PW --seconds N [--audio] OUT.avi",
     "record N seconds of video (and the camera's sound) into an AVI file", cli::RunRecord},
};

void PrintHelp(std::FILE* out) {
  std::fprintf(out, "usage: tessora-cli COMMAND [ARGUMENTS]\n\ncommands:\n");
  for (const auto& c : kCommands) std::fprintf(out, "  %-8s %s\n           %s\n", c.name, c.usage, c.summary);
  std::fprintf(out, "\nPORT defaults to %d. Exit status: 0 done, 1 failed (unreachable, refused,\n"
                    "no answer), 2 bad arguments.\n", cli::kDefaultPort);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    PrintHelp(stderr);
    return cli::kBadArguments;
  }
  if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0 || std::strcmp(argv[1], "help") == 0) {
    PrintHelp(stdout);
    return cli::kOk;
  }
  for (const auto& c : kCommands) {
    if (std::strcmp(argv[1], c.name) != 0) continue;
    if (argc > 2 && std::strcmp(argv[2], "--help") == 0) {
      std::printf("usage: tessora-cli %s %s\n  %s\n", c.name, c.usage, c.summary);
      return cli::kOk;
    }
    return c.run(argc - 2, argv + 2);
  }
  std::fprintf(stderr, "error: unknown command '%s'\n\n", argv[1]);
  PrintHelp(stderr);
  return cli::kBadArguments;
}
