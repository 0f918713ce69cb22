// setup get|set: read a configuration section (printed as NAME=VALUE lines) or
// write NAME=VALUE pairs to it.
#include <strings.h>

#include <cstdio>
#include <cstring>
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

// The keys the camera keeps as numbers, per section; it reads any other value
// of them as 0, so such a value is refused before anything is sent. Other
// keys are texts (names, addresses, "dhcp", ...) and go as given.
struct NumberKey {
  const char* section;
  const char* key;
  bool negative;  // may be below 0 (sync adjustments, RS-485 speed)
};

const NumberKey kNumberKeys[] = {
    {"NETWORK", "STANDALONE", false},   {"NETWORK", "HTTP_CHG", false},     {"NETWORK", "HTTP_PORT", false},
    {"NETWORK", "CTL_CHG", false},      {"NETWORK", "CTL_PORT", false},     {"DDNS", "DDNS_ENABLE", false},
    {"DDNS", "DDNS_TYPE", false},       {"USER", "ALLOW_MAX", false},       {"VIDEO", "RES", false},
    {"VIDEO", "VCODEC", false},         {"VIDEO", "QUALITY", false},        {"VIDEO", "BRIGHT", false},
    {"VIDEO", "CONTRAST", false},       {"VIDEO", "NIGHT_MODE", false},     {"VIDEO", "WIDTH", false},
    {"VIDEO", "HEIGHT", false},         {"VIDEO", "DISPLAY_OSD_TIME", false}, {"VIDEO", "TIMEZONE", false},
    {"VIDEO", "DISPLAY_OSD_NAME", false}, {"VIDEO", "OSD_COLOR", false},  {"AUDIO", "ALLOW_MIC", false},
    {"MDALARM", "SENSIBILITY", false},  {"MDALARM", "FTP_PORT", false},     {"MDALARM", "SMTP_PORT", false},
    {"MDALARM", "AUTH_ENABLE", false},  {"ADVANCE", "FPS", false},          {"ADVANCE", "TYPE", false},
    {"ADVANCE", "HSYNC", true},         {"ADVANCE", "VSYNC", true},         {"ADVANCE", "ID", false},
    {"ADVANCE", "PROTOCOL", false},     {"ADVANCE", "SPEED", true},         {"ADVANCE", "IO_ENABLE", false},
    {"ADVANCE", "SENSOR_SETUP", false},
};

bool SameKey(const std::string& a, const char* b) {
  return strcasecmp(a.c_str(), b) == 0;
}

// A whole decimal number as the camera writes one ("%d"): digits, a leading
// "-" only when |negative|, within 32 bits.
bool IsNumber(const std::string& text, bool negative) {
  std::size_t at = negative && !text.empty() && text[0] == '-' ? 1 : 0;
  if (at == text.size() || text.size() - at > 10) return false;
  long long value = 0;
  for (; at < text.size(); ++at) {
    if (text[at] < '0' || text[at] > '9') return false;
    value = value * 10 + (text[at] - '0');
  }
  return value <= 2147483647LL + (text[0] == '-' ? 1 : 0);
}

// Refuses (printed) a value a number key cannot take.
bool CheckValue(const char* section, const std::string& key, const std::string& value) {
  for (const NumberKey& k : kNumberKeys) {
    if (std::strcmp(k.section, section) != 0 || !SameKey(key, k.key)) continue;
    if (IsNumber(value, k.negative)) return true;
    std::fprintf(stderr, "error: %s takes a whole number%s, not '%s'\n", k.key, k.negative ? "" : " of 0 or more",
                 Shown(value).c_str());
    return false;
  }
  return true;
}

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
                         "ADVANCE)\n", Shown(args.positional[1]).c_str());
    return kBadArguments;
  }
  Target target;
  if (!ReadTarget(args, 2, &target)) return kBadArguments;
  std::string var;
  for (std::size_t i = 3; i < args.positional.size(); ++i) {
    const std::string& pair = args.positional[i];
    const std::size_t equals = pair.find('=');
    if (equals == std::string::npos || pair.find_first_of(";#\n") != std::string::npos) {
      std::fprintf(stderr, "error: '%s' is not NAME=VALUE\n", Shown(pair).c_str());
      return kBadArguments;
    }
    if (!CheckValue(section->name, pair.substr(0, equals), pair.substr(equals + 1))) return kBadArguments;
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
