// setup get|set: read a configuration section (printed as NAME=VALUE lines) or
// write NAME=VALUE pairs to it.
#include <cstdio>
#include <string>

#include "CliSession.h"
#include "Commands.h"
#include "link/CameraCommands.h"
#include "link/KeyValue.h"
#include "link/LinkEngine.h"
#include "link/LinkMessages.h"

namespace cli {

namespace {

struct Section {
  const char* name;
  unsigned getReply;  // window message of the GET reply
  unsigned setReply;  // window message of the SET reply, 0 when the camera's answer produces none
};

const Section kSections[] = {
    {"NETWORK", WM_SETUP_NETWORK_GET, WM_SETUP_NETWORK_SET}, {"DDNS", WM_SETUP_DDNS_GET, WM_SETUP_DDNS_SET},
    {"USER", WM_SETUP_USER_GET, WM_SETUP_USER_SET},          {"VIDEO", WM_SETUP_VIDEO_GET, WM_SETUP_VIDEO_SET},
    {"AUDIO", WM_SETUP_AUDIO_GET, 0},                        {"MDALARM", WM_SETUP_MDALARM_GET, WM_SETUP_MDALARM_SET},
    {"MAINTENANCE", WM_SETUP_MAINTENANCE_GET, 0},            {"ADVANCE", WM_SETUP_ADVANCE_GET, 0},
};

}  // namespace

int RunSetup(int argc, char** argv) {
  const Arguments args = ParseArguments(argc, argv, kSignInOptions);
  if (!CheckArguments(args, args.positional.size())) return kBadArguments;
  if (args.positional.size() < 2 || (args.positional[0] != "get" && args.positional[0] != "set")) {
    std::fprintf(stderr, "error: usage: setup get|set SECTION HOST[:PORT] -u ID [-p PW] [NAME=VALUE ...]\n");
    return kBadArguments;
  }
  const bool set = args.positional[0] == "set";
  const Section* section = nullptr;
  for (const auto& s : kSections) {
    if (args.positional[1] == s.name) section = &s;
  }
  if (section == nullptr) {
    std::fprintf(stderr, "error: unknown section '%s' (NETWORK, DDNS, USER, VIDEO, AUDIO, MDALARM, MAINTENANCE, "
                         "ADVANCE)\n", args.positional[1].c_str());
    return kBadArguments;
  }
  Target target;
  if (!ReadTarget(args, 2, &target)) return kBadArguments;
  std::string var;
  for (std::size_t i = 3; i < args.positional.size(); ++i) {
    const std::string& pair = args.positional[i];
    if (pair.find('=') == std::string::npos || pair.find_first_of(";#\n") != std::string::npos) {
      std::fprintf(stderr, "error: '%s' is not NAME=VALUE\n", pair.c_str());
      return kBadArguments;
    }
    var += pair + ";";
  }
  if (set && var.empty()) {
    std::fprintf(stderr, "error: setup set needs NAME=VALUE pairs\n");
    return kBadArguments;
  }
  if (!set && !var.empty()) {
    std::fprintf(stderr, "error: setup get takes no NAME=VALUE pairs\n");
    return kBadArguments;
  }

  Session session;
  if (const int signedIn = session.SignIn(target); signedIn != kOk) return signedIn;
  // This tool is every setup window at once.
  SetupReplyTargets& targets = GetSetupReplyTargets();
  for (auto* entry : {&targets.network, &targets.ddns, &targets.user, &targets.videoAudio, &targets.maintenance,
                      &targets.mdalarm, &targets.advance}) {
    *entry = &session.window();
  }
  const int sent = SendSetupRequest(Session::kSlot, section->name, set ? "SET" : "GET", set ? var.c_str() : nullptr);
  if (sent != kSendOk) {
    std::fprintf(stderr, "error: sending the request failed: %s\n", SendFailureText(sent));
    return kFailed;
  }
  const unsigned wanted = set ? section->setReply : section->getReply;
  if (wanted == 0) {
    std::printf("sent (the camera's answer to this request is not reported)\n");
    return kOk;
  }
  Message reply;
  if (!session.window().Wait({wanted, WM_SETUP_REFUSED, WM_CONTROL_CLOSED}, 5000, &reply)) {
    std::fprintf(stderr, "error: the camera did not answer\n");
    return kFailed;
  }
  if (reply.message == WM_SETUP_REFUSED) {
    std::fprintf(stderr, "error: the camera refused the request\n");
    return kFailed;
  }
  if (reply.message != wanted) {
    std::fprintf(stderr, "error: the camera closed the connection\n");
    return kFailed;
  }
  if (set) {
    std::printf("done\n");
    return kOk;
  }
  KeyValueList pairs;
  ParseKeyValues(reply.text.data(), &pairs, kVarDelimiters);
  for (int i = 0; i < pairs.Count(); ++i) std::printf("%s=%s\n", pairs.At(i).key, pairs.At(i).value);
  return kOk;
}

}  // namespace cli
