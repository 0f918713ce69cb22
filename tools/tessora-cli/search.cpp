// search: one LAN search, the cameras listed as ADDRESS:PORT.
#include <cstdio>

#include "CliSession.h"
#include "Commands.h"
#include "base/CAMManager.h"

namespace cli {

int RunSearch(int argc, char** argv) {
  const Arguments args = ParseArguments(argc, argv, {}, {"--progress"});
  if (!CheckArguments(args, 0)) return kBadArguments;
  CAMManager manager;
  if (manager.Start() != 1) {
    std::fprintf(stderr, "error: cannot open the search sockets\n");
    return kFailed;
  }
  ProgressLine progress(args.Has("--progress"));
  progress.Show("searching...");
  manager.SearchCameras();
  const auto lines = manager.Results().Listing();
  manager.Stop();
  progress.Show("cameras found: %zu", lines.size());
  progress.Finish();
  for (const auto& line : lines) std::printf("%s\n", line.c_str());
  if (lines.empty()) std::fprintf(stderr, "no cameras answered\n");
  return kOk;
}

}  // namespace cli
