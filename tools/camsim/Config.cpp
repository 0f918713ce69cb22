#include "camsim/Config.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace camsim {
namespace {

bool ToInt(const std::string& text, int lo, int hi, int* out) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  long v = std::strtol(text.c_str(), &end, 10);
  if (errno || *end || v < lo || v > hi) return false;
  *out = static_cast<int>(v);
  return true;
}

std::string Trim(const std::string& s) {
  std::size_t a = s.find_first_not_of(" \t\r");
  if (a == std::string::npos) return {};
  std::size_t b = s.find_last_not_of(" \t\r");
  return s.substr(a, b - a + 1);
}

std::vector<std::string> Split(const std::string& s, char sep) {
  std::vector<std::string> parts;
  std::string part;
  std::istringstream in(s);
  while (std::getline(in, part, sep)) parts.push_back(Trim(part));
  return parts;
}

// Applies one "key = value" to a camera. Returns false with |error| set.
bool ApplyCameraKey(CameraConfig* cam, const std::string& key, const std::string& value,
                    bool* accountsReset, std::string* error) {
  struct IntKey {
    const char* name;
    int CameraConfig::*field;
    int lo, hi;
  };
  static const IntKey kInts[] = {
      {"fps", &CameraConfig::fps, 1, 30},
      {"model", &CameraConfig::model, 0, 0x7FFFFFFF},
      {"zone", &CameraConfig::zone, 0, 37},
      {"flash", &CameraConfig::flash, 0, 1},
      {"fhorz", &CameraConfig::fhorz, 0, 1},
      {"fvert", &CameraConfig::fvert, 0, 1},
      {"gio_enable", &CameraConfig::gioEnable, 0, 1},
      {"md_enable", &CameraConfig::mdEnable, 0, 1},
      {"sensor_enable", &CameraConfig::sensorEnable, 0, 1},
      {"sensor_active", &CameraConfig::sensorActive, 0, 1},
      {"gi_01", &CameraConfig::gi01, 0, 1},
      {"go_01", &CameraConfig::go01, 0, 1},
      {"own_params", &CameraConfig::ownParams, 0, 1},
      {"mic_nak_code", &CameraConfig::micNakCode, -1000000, 1000000},
      {"update_fail", &CameraConfig::updateFail, 0, 520},
  };
  for (const IntKey& k : kInts) {
    if (key == k.name) {
      if (!ToInt(value, k.lo, k.hi, &(cam->*k.field))) {
        *error = "bad value for " + key + ": " + value;
        return false;
      }
      return true;
    }
  }
  if (key == "codec" || key == "mjpeg" || key == "mpeg4") {
    VideoKind kind;
    if (!ParseVideoKind(value, &kind)) {
      *error = "unknown codec: " + value;
      return false;
    }
    if (key == "codec") cam->kind = kind;
    if (key == "mjpeg" || (key == "codec" && IsJpegKind(kind))) cam->jpegKind = kind;
    if (key == "mpeg4" || (key == "codec" && VcodecOf(kind) == 1)) cam->mpeg4Kind = kind;
    if ((key == "mjpeg" && !IsJpegKind(kind)) || (key == "mpeg4" && VcodecOf(kind) != 1)) {
      *error = "codec " + value + " does not fit " + key;
      return false;
    }
    return true;
  }
  if (key == "size") {
    std::size_t x = value.find('x');
    int w = 0, h = 0;
    if (x == std::string::npos || !ToInt(value.substr(0, x), 16, 1920, &w) ||
        !ToInt(value.substr(x + 1), 16, 1088, &h) || (w % 16) || (h % 16)) {
      *error = "bad size (WxH, multiples of 16): " + value;
      return false;
    }
    cam->width = w;
    cam->height = h;
    return true;
  }
  if (key == "ver") {
    cam->ver = value;
    return true;
  }
  if (key == "account") {
    std::vector<std::string> f = Split(value, ':');
    Account a;
    if (f.size() < 3 || f.size() > 4 || f[0].empty() || !ToInt(f[2], 0, 2, &a.group) ||
        (f.size() == 4 && !ToInt(f[3], 1, 100, &a.maxUsers))) {
      *error = "bad account (id:password:group[:max users]): " + value;
      return false;
    }
    a.id = f[0];
    a.password = f[1];
    if (!*accountsReset) {
      cam->accounts.clear();
      *accountsReset = true;
    }
    cam->accounts.push_back(a);
    return true;
  }
  if (key == "nak") {
    for (const std::string& item : Split(value, ',')) {
      if (item.find('/') == std::string::npos) {
        *error = "bad nak entry (CLS/MTD): " + item;
        return false;
      }
      cam->nak.insert(item);
    }
    return true;
  }
  std::size_t dot = key.find('.');
  if (dot != std::string::npos && dot > 0 && dot + 1 < key.size()) {
    cam->setup[key] = value;
    return true;
  }
  *error = "unknown key: " + key;
  return false;
}

}  // namespace

int VcodecOf(VideoKind kind) {
  if (kind == VideoKind::kH264) return 2;
  if (kind == VideoKind::kMpeg4 || kind == VideoKind::kMpeg4Bare) return 1;
  return 0;
}

int ResOf(int width, int height) {
  if (width == 320 && height == 240) return 0;
  if (width == 640 && height == 480) return 2;
  return 3;
}

CameraConfig DefaultCamera(int index) {
  CameraConfig cam;
  cam.index = index;
  static const VideoKind kTurn[] = {VideoKind::kH264, VideoKind::kMpeg4, VideoKind::kJpeg422};
  cam.kind = kTurn[index % 3];
  if (index == 3) cam.model = 33554432;
  cam.accounts = {{"admin", "admin", 0, 1}, {"power", "power", 1, 4}, {"user", "user", 2, 4}};
  return cam;
}

int ApplyConfigText(const std::string& text, Options* o, std::string* error) {
  std::istringstream in(text);
  std::string line;
  int lineNo = 0;
  // The current section: -2 none/global, -1 [all], else a camera index.
  int section = -2;
  std::vector<std::pair<std::string, std::string>> allKeys;
  std::vector<std::vector<std::pair<std::string, std::string>>> camKeys(static_cast<std::size_t>(o->cameras));
  auto fail = [&](const std::string& why) {
    *error = "config line " + std::to_string(lineNo) + ": " + why;
    return 0;
  };
  while (std::getline(in, line)) {
    ++lineNo;
    std::string t = Trim(line);
    if (t.empty() || t[0] == '#' || t[0] == ';') continue;
    if (t[0] == '[') {
      if (t.back() != ']') return fail("bad section header");
      std::string name = Trim(t.substr(1, t.size() - 2));
      int n = 0;
      if (name == "global") {
        section = -2;
      } else if (name == "all") {
        section = -1;
      } else if (name.rfind("camera ", 0) == 0 && ToInt(Trim(name.substr(7)), 0, 15, &n)) {
        section = n < o->cameras ? n : -3;  // cameras beyond --cameras are ignored
      } else {
        return fail("unknown section [" + name + "]");
      }
      continue;
    }
    std::size_t eq = t.find('=');
    if (eq == std::string::npos) return fail("expected key = value");
    std::string key = Trim(t.substr(0, eq));
    std::string value = t.substr(eq + 1);
    // A comment may follow the value after blank space and ";".
    for (std::size_t at = 0; (at = value.find(';', at)) != std::string::npos; ++at) {
      if (at > 0 && (value[at - 1] == ' ' || value[at - 1] == '\t')) {
        value.erase(at);
        break;
      }
    }
    value = Trim(value);
    if (section == -2) {
      if (key == "loop_seconds") {
        if (!ToInt(value, 1, 60, &o->loopSeconds)) return fail("bad loop_seconds");
      } else if (key == "spk_dir") {
        o->spkDir = value;
      } else if (key == "update_step_ms") {
        if (!ToInt(value, 0, 60000, &o->updateStepMs)) return fail("bad update_step_ms");
      } else if (key == "update_answer_seconds") {
        if (!ToInt(value, 1, 3600, &o->updateAnswerSeconds)) return fail("bad update_answer_seconds");
      } else {
        return fail("unknown key in [global]: " + key);
      }
    } else if (section == -1) {
      allKeys.emplace_back(key, value);
    } else if (section >= 0) {
      camKeys[static_cast<std::size_t>(section)].emplace_back(key, value);
    }
  }
  // [all] first, then each camera's own section.
  for (int i = 0; i < o->cameras; ++i) {
    CameraConfig& cam = o->cams[static_cast<std::size_t>(i)];
    bool accountsReset = false;
    for (auto& kv : allKeys) {
      if (!ApplyCameraKey(&cam, kv.first, kv.second, &accountsReset, error)) {
        *error = "config [all]: " + *error;
        return 0;
      }
    }
    bool ownReset = false;
    for (auto& kv : camKeys[static_cast<std::size_t>(i)]) {
      if (!ApplyCameraKey(&cam, kv.first, kv.second, &ownReset, error)) {
        *error = "config [camera " + std::to_string(i) + "]: " + *error;
        return 0;
      }
    }
  }
  return 1;
}

const char* Usage() {
  return "usage: camsim [options]\n"
         "  --cameras N       number of cameras, 1..16 (default 4)\n"
         "  --bind ADDR       IPv4 address to listen on (default 127.0.0.1)\n"
         "  --port N          control port of camera 0; camera i uses N+i (default 9090)\n"
         "  --admin-port N    loopback port of the admin commands (default 9089, 0 = off)\n"
         "  --config FILE     INI configuration (see camsim.ini.example)\n"
         "  --events FILE     append every message as one JSON line\n"
         "  --search          answer LAN searches on UDP port 33333\n"
         "  --no-stdin        do not read admin commands from standard input\n"
         "  --own-params      H.264 and MPEG-4 key frames carry parameter sets that differ\n"
         "                    from the viewer's built-in ones (config key own_params)\n"
         "  --help            this text\n"
         "  --version         the version\n"
         "Exit status: 0 ended by SIGINT or SIGTERM, 1 cannot serve (a busy port, bad\n"
         "configuration), 2 bad options.\n";
}

int ParseCommandLine(int argc, char** argv, Options* o, std::string* error) {
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto need = [&](std::string* out) {
      if (i + 1 >= argc) {
        *error = a + " needs a value";
        return false;
      }
      *out = argv[++i];
      return true;
    };
    std::string v;
    if (a == "--help" || a == "-h") {
      *error = Usage();
      return 2;
    } else if (a == "--version") {
      return 3;
    } else if (a == "--cameras") {
      if (!need(&v)) return 0;
      if (!ToInt(v, 1, 16, &o->cameras)) return (*error = "--cameras must be 1..16"), 0;
    } else if (a == "--bind") {
      if (!need(&o->bind)) return 0;
    } else if (a == "--port") {
      if (!need(&v)) return 0;
      if (!ToInt(v, 1, 65535 - 15, &o->port)) return (*error = "--port must be 1..65520"), 0;
    } else if (a == "--admin-port") {
      if (!need(&v)) return 0;
      if (!ToInt(v, 0, 65535, &o->adminPort)) return (*error = "--admin-port must be 0..65535"), 0;
    } else if (a == "--config") {
      if (!need(&o->configFile)) return 0;
    } else if (a == "--events") {
      if (!need(&o->eventsFile)) return 0;
    } else if (a == "--search") {
      o->search = true;
    } else if (a == "--no-stdin") {
      o->stdinCommands = false;
    } else if (a == "--own-params") {
      o->ownParams = true;
    } else {
      *error = "unknown option: " + a + " (see --help)";
      return 0;
    }
  }
  o->cams.clear();
  for (int i = 0; i < o->cameras; ++i) {
    o->cams.push_back(DefaultCamera(i));
    o->cams.back().ownParams = o->ownParams ? 1 : 0;
  }
  if (!o->configFile.empty()) {
    std::ifstream f(o->configFile);
    if (!f) {
      *error = "cannot read config file " + o->configFile + ": " + std::strerror(errno);
      return 0;
    }
    std::stringstream text;
    text << f.rdbuf();
    if (!ApplyConfigText(text.str(), o, error)) return 0;
  }
  return 1;
}

}  // namespace camsim
