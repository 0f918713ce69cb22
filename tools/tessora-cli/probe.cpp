// probe: sign in, print the sign-in result and the VIDEO section's codec and
// size, sign out.
#include <cstdio>
#include <ctime>

#include "CliSession.h"
#include "Commands.h"
#include "link/CameraCommands.h"
#include "link/LinkMessages.h"

namespace cli {

namespace {

const char* CodecName(int codec) {
  switch (codec) {
    case 0: return "Motion JPEG";
    case 1: return "MPEG-4";
    case 2: return "H.264";
    default: return "unknown";
  }
}

}  // namespace

int RunProbe(int argc, char** argv) {
  const Arguments args = ParseArguments(argc, argv, kSignInOptions);
  Target target;
  if (!CheckArguments(args, 1) || !ReadTarget(args, 0, &target)) return kBadArguments;
  Session session;
  if (const int signedIn = session.SignIn(target); signedIn != kOk) return signedIn;

  const LoginInfo& info = session.login().info;
  char when[64] = "?";
  const std::time_t t = static_cast<std::time_t>(info.cameraTime);
  std::tm tm{};
  if (gmtime_r(&t, &tm) != nullptr) std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", &tm);
  std::printf("signed in to %s:%d\n", session.address().c_str(), target.port);
  std::printf("group: %d\nmodel: %d\ncamera time: %s\n", static_cast<int>(session.login().wParam), info.model, when);
  std::printf("flash: %d\nflip: horizontal %d, vertical %d\n", info.flash, info.horizontalFlip, info.verticalFlip);
  std::printf("I/O: enabled %d, input %d, output %d\n", info.ioEnabled, info.generalInput1, info.generalOutput1);
  std::printf("alarms: motion %d, sensor enabled %d, sensor active %d\n", info.motionEnabled, info.sensorEnabled,
              info.sensorActive);

  VideoFormat format;
  if (!ReadVideoFormat(session, &format)) return kFailed;
  std::printf("video: %s (VCODEC %d), %dx%d\n", CodecName(format.codec), format.codec, format.width, format.height);
  return kOk;
}

}  // namespace cli
