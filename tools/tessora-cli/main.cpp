// tessora-cli: the command-line companion of the viewer, over the core library.
#include <cstdio>
#include <cstring>
#include <iterator>

#include "Commands.h"
#include "CliSession.h"
#include "Version.h"

namespace {

// What every command that signs in takes first.
#define SIGN_IN "HOST[:PORT] -u ID [-p PW | --password-file F]"

// One line per subcommand; add a subcommand by adding its file and a line here.
const cli::Command kCommands[] = {
    {"search", "[--progress]", "find cameras on the local network (UDP broadcast)", cli::RunSearch},
    {"probe", SIGN_IN, "sign in, print the sign-in result and the video format", cli::RunProbe},
    {"ptz", SIGN_IN " [--pan N] [--tilt N] [--zoom N] [--focus N] | --preset-goto N | "
                    "--preset-save N | --scan-start | --scan-stop",
     "steer a pan/tilt camera", cli::RunPtz},
    {"setup", "get|set SECTION " SIGN_IN " [NAME=VALUE ...]", "read or write a configuration section of the camera",
     cli::RunSetup},
    {"snapshot", SIGN_IN " OUT.jpg", "save the next picture of the camera as a JPEG file", cli::RunSnapshot},
    {"record", SIGN_IN " --seconds N [--audio] [--progress] OUT.avi",
     "record N seconds of video (and the camera's sound) into an AVI file", cli::RunRecord},
};

#undef SIGN_IN

void PrintHelp(std::FILE* out) {
  std::fprintf(out, "usage: tessora-cli [-v] COMMAND [ARGUMENTS]\n"
                    "       tessora-cli --help | --version\n\ncommands:\n");
  for (const auto& c : kCommands) std::fprintf(out, "  %-8s %s\n           %s\n", c.name, c.usage, c.summary);
  std::fprintf(out,
               "\noptions of every command:\n"
               "  -v, --verbose  also show the diagnostic lines of the camera link\n"
               "  --help         the usage of the command\n"
               "\nPORT defaults to %d. The password is taken from the first of:\n"
               "  -p PW                 (every local user can read it in the process list)\n"
               "  --password-file F     the first line of F (a warning when other users can\n"
               "                        read F: chmod 600 it)\n"
               "  %s      the environment variable, when set and not empty\n"
               "  a prompt              without echo, when standard input is a terminal\n"
               "An empty password is given as -p \"\" or an empty file. On a terminal\n"
               "search and record show their progress on standard error (--progress: also\n"
               "when it is not a terminal).\n"
               "Exit status: 0 done (also when record is stopped by SIGINT or SIGTERM),\n"
               "1 failed (unreachable, unknown host, refused, no answer), 2 bad arguments,\n"
               "3 record wrote fewer seconds than asked (the camera stalled or dropped).\n",
               cli::kDefaultPort, cli::kPasswordVariable);
}

bool Is(const char* word, const char* a, const char* b = nullptr) {
  return std::strcmp(word, a) == 0 || (b != nullptr && std::strcmp(word, b) == 0);
}

}  // namespace

int main(int argc, char** argv) {
  // The core's diagnostic lines stay off standard error unless -v asks.
  cli::ShowDiagnostics(false);
  int first = 1;
  while (first < argc && cli::IsVerboseFlag(argv[first])) {
    cli::ShowDiagnostics(true);
    ++first;
  }
  if (first >= argc) {
    std::fprintf(stderr, "error: a command is missing\n\n");
    PrintHelp(stderr);
    return cli::kBadArguments;
  }
  const char* name = argv[first];
  if (Is(name, "--help", "-h") || Is(name, "help")) {
    PrintHelp(stdout);
    return cli::kOk;
  }
  if (Is(name, "--version")) {
    std::printf("tessora-cli %s\n", TESSORA_VERSION_TEXT);
    return cli::kOk;
  }
  for (const auto& c : kCommands) {
    if (std::strcmp(name, c.name) != 0) continue;
    for (int i = first + 1; i < argc; ++i) {
      if (Is(argv[i], "--help", "-h")) {
        std::printf("usage: tessora-cli %s %s\n  %s\n", c.name, c.usage, c.summary);
        return cli::kOk;
      }
    }
    const int rc = c.run(argc - first - 1, argv + first + 1);
    if (rc == cli::kBadArguments) std::fprintf(stderr, "usage: tessora-cli %s %s\n", c.name, c.usage);
    return rc;
  }
  std::fprintf(stderr, "error: unknown command '%s'\n\n", cli::Shown(name).c_str());
  PrintHelp(stderr);
  return cli::kBadArguments;
}
