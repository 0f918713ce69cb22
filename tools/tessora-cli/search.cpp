// search: one LAN search, the cameras listed as ADDRESS:PORT.
#include <cstdio>

#include "CliSession.h"
#include "Commands.h"
#include "base/CAMManager.h"

namespace cli {

int RunSearch(int argc, char** argv) {
  const Arguments args = ParseArguments(argc, argv);
  if (!args.error.empty() || !args.positional.empty()) {
    std::fprintf(stderr, "error: search takes no arguments\n");
    return kBadArguments;
  }
  CAMManager manager;
  if (manager.Start() != 1) {
    std::fprintf(stderr, "error: cannot open the search sockets\n");
    return kFailed;
  }
  manager.SearchCameras();
  const auto lines = manager.Results().Listing();
  manager.Stop();
  for (const auto& line : lines) std::printf("%s\n", line.c_str());
  if (lines.empty()) std::fprintf(stderr, "no cameras answered\n");
  return kOk;
}

}  // namespace cli
