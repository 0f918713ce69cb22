// search: one LAN search, the cameras listed as ADDRESS:PORT.
#include <cerrno>
#include <cstdio>
#include <cstring>

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
  const bool sent = manager.SearchCameras() == 0;
  const int error = errno;
  const auto lines = manager.Results().Listing();
  manager.Stop();
  if (!sent) {
    // No camera could have heard it: "no cameras answered" would mislead.
    progress.Finish();
    std::fprintf(stderr, "error: the search request could not be sent: %s\n", std::strerror(error));
    return kFailed;
  }
  progress.Show("cameras found: %zu", lines.size());
  progress.Finish();
  for (const auto& line : lines) std::printf("%s\n", line.c_str());
  if (lines.empty()) std::fprintf(stderr, "no cameras answered\n");
  return kOk;
}

}  // namespace cli
