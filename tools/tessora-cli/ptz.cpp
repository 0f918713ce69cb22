// ptz: one pan/tilt/zoom/focus step, a preset, or scanning.
#include <cstdio>

#include "CliSession.h"
#include "Commands.h"
#include "link/CameraCommands.h"
#include "link/LinkEngine.h"

namespace cli {

int RunPtz(int argc, char** argv) {
  const Arguments args = ParseArguments(
      argc, argv, SignInOptionsAnd({"--pan", "--tilt", "--zoom", "--focus", "--preset-goto", "--preset-save"}),
      {"--scan-start", "--scan-stop"});
  Target target;
  if (!CheckArguments(args, 1) || !ReadTarget(args, 0, &target)) return kBadArguments;
  int axes[4] = {0, 0, 0, 0};
  const char* names[4] = {"--pan", "--tilt", "--zoom", "--focus"};
  bool move = false;
  for (int i = 0; i < 4; ++i) {
    if (!args.Has(names[i])) continue;
    if (!ParseInt(args.Get(names[i]), &axes[i])) {
      std::fprintf(stderr, "error: %s needs a whole number\n", names[i]);
      return kBadArguments;
    }
    move = true;
  }
  int preset = 0;
  const bool gotoPreset = args.Has("--preset-goto");
  const bool savePreset = args.Has("--preset-save");
  if ((gotoPreset || savePreset) &&
      (!ParseInt(args.Get(gotoPreset ? "--preset-goto" : "--preset-save"), &preset) || preset < 0 || preset > 3)) {
    std::fprintf(stderr, "error: a preset is a number 0 to 3\n");
    return kBadArguments;
  }
  const int actions = move + gotoPreset + savePreset + args.Has("--scan-start") + args.Has("--scan-stop");
  if (actions != 1) {
    std::fprintf(stderr, "error: give one action: a move (--pan/--tilt/--zoom/--focus), a preset, or a scan\n");
    return kBadArguments;
  }
  Session session;
  if (const int signedIn = session.SignIn(target); signedIn != kOk) return signedIn;
  int sent;
  if (move) sent = MovePanTilt(Session::kSlot, axes[0], axes[1], axes[2], axes[3]);
  else if (gotoPreset) sent = GotoPreset(Session::kSlot, preset);
  else if (savePreset) sent = SavePreset(Session::kSlot, preset);
  else if (args.Has("--scan-start")) sent = StartScan(Session::kSlot);
  else sent = StopScan(Session::kSlot);
  if (sent != kSendOk) {
    std::fprintf(stderr, "error: sending the command failed: %s\n", SendFailureText(sent));
    return kFailed;
  }
  std::printf("sent\n");
  return kOk;
}

}  // namespace cli
