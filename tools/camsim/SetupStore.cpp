#include "camsim/SetupStore.h"

#include <cstdlib>
#include <cstring>

#include "link/KeyValue.h"

namespace camsim {

namespace {
constexpr const char* kSections[] = {"NETWORK", "DDNS",    "USER",     "VIDEO",      "AUDIO",
                                     "MDALARM", "ADVANCE", "USERINFO2", "MAINTENANCE"};
constexpr std::size_t kMaxAccounts = 10;
}  // namespace

std::vector<std::string> VarTokens(const char* var) {
  std::vector<std::string> tokens;
  std::string cur;
  for (const char* p = var; *p; ++p) {
    if (*p == '=' || *p == ';' || *p == '\n') {
      if (!cur.empty()) tokens.push_back(cur);
      cur.clear();
    } else {
      cur.push_back(*p);
    }
  }
  if (!cur.empty()) tokens.push_back(cur);
  return tokens;
}

bool SetupStore::IsSection(const std::string& section) {
  for (const char* s : kSections) {
    if (section == s) return true;
  }
  return false;
}

void SetupStore::Init(const CameraConfig& cam, const std::string& address, int port) {
  accounts_ = cam.accounts;
  const std::string w = std::to_string(cam.width), h = std::to_string(cam.height);
  const std::string mac = "00:1A:2B:3C:4D:" + std::to_string(10 + cam.index);
  sections_ = {
      {"NETWORK",
       {{"IP_TYPE", "static"}, {"ID", "0"}, {"PW", "0"}, {"IP_ADDR", address},
        {"SUBNET_MASK", "255.255.255.0"}, {"GATEWAY", "0"}, {"DNS_TYPE", "auto"}, {"DNS1", "0"},
        {"DNS2", "0"}, {"ALIAS", "0"}, {"STANDALONE", "1"}, {"HTTP_CHG", "0"}, {"HTTP_PORT", "80"},
        {"CTL_CHG", "0"}, {"CTL_PORT", std::to_string(port)}}},
      {"DDNS",
       {{"DDNS_ENABLE", "0"}, {"DDNS_TYPE", "0"}, {"DDNS_SERVER", "0"}, {"DDNS_HOST", "0"},
        {"DDNS_ID", "0"}, {"DDNS_PW", "0"}}},
      {"USER", {{"ALLOW_MAX", "10"}}},
      {"VIDEO",
       {{"RES", std::to_string(ResOf(cam.width, cam.height))}, {"VCODEC", std::to_string(VcodecOf(cam.kind))},
        {"QUALITY", "6"}, {"BRIGHT", "3"}, {"CONTRAST", "6"}, {"NIGHT_MODE", "0"}, {"WIDTH", w},
        {"HEIGHT", h}, {"DISPLAY_OSD_TIME", "0"}, {"TIMEZONE", "12"}, {"DISPLAY_OSD_NAME", "0"},
        {"OSD_NAME", "CAM" + std::to_string(cam.index)}, {"OSD_COLOR", "0"}}},
      {"AUDIO", {{"ALLOW_MIC", "1"}}},
      {"MDALARM",
       {{"SENSIBILITY", "5"}, {"MOTION_TYPE", "notuse"}, {"FTP_SERVER", "0"}, {"FTP_DIR", "0"},
        {"FTP_PORT", "21"}, {"FTP_ID", "0"}, {"FTP_PW", "0"}, {"SMTP_SERVER", "0"}, {"SMTP_PORT", "25"},
        {"AUTH_ENABLE", "0"}, {"SMTP_ID", "0"}, {"SMTP_PW", "0"}, {"SEND_MAIL", "0"}, {"RECV_MAIL", "0"}}},
      {"ADVANCE",
       {{"SENSOR_SETUP", "0"}, {"IO_ENABLE", "1"}, {"SPEED", "9600"}, {"PROTOCOL", "0"}, {"ID", "1"},
        {"VSYNC", "0"}, {"HSYNC", "0"}, {"TYPE", "0"}, {"FPS", std::to_string(cam.fps)}}},
      {"USERINFO2", {}},
      {"MAINTENANCE",
       {{"MODEL", std::to_string(cam.model)}, {"USERS", "0"}, {"IP", address}, {"MAC", mac},
        {"OLD", "0.5.0.0"}}},
  };
  // Overrides from the configuration: "SECTION.KEY = value".
  for (const auto& kv : cam.setup) {
    std::size_t dot = kv.first.find('.');
    Set(kv.first.substr(0, dot), kv.first.substr(dot + 1), kv.second);
  }
}

SetupStore::Pairs* SetupStore::Find(const std::string& section) {
  for (auto& s : sections_) {
    if (s.first == section) return &s.second;
  }
  return nullptr;
}

const SetupStore::Pairs* SetupStore::Find(const std::string& section) const {
  for (const auto& s : sections_) {
    if (s.first == section) return &s.second;
  }
  return nullptr;
}

std::string SetupStore::Var(const std::string& section) const {
  std::string out;
  if (const Pairs* p = Find(section)) {
    for (const auto& kv : *p) out += kv.first + "=" + (kv.second.empty() ? "0" : kv.second) + ";";
  }
  return out;
}

std::string SetupStore::Value(const std::string& section, const std::string& key) const {
  if (const Pairs* p = Find(section)) {
    for (const auto& kv : *p) {
      if (kv.first == key) return kv.second;
    }
  }
  return "0";
}

int SetupStore::IntValue(const std::string& section, const std::string& key) const {
  return ValueToInt(Value(section, key).c_str());
}

void SetupStore::Set(const std::string& section, const std::string& key, const std::string& value) {
  Pairs* p = Find(section);
  if (!p) {
    sections_.push_back({section, {}});
    p = &sections_.back().second;
  }
  for (auto& kv : *p) {
    if (kv.first == key) {
      kv.second = value;
      return;
    }
  }
  p->emplace_back(key, value);
}

int SetupStore::ApplyVar(const std::string& section, const char* var) {
  char text[kVarBufferSize];
  std::strncpy(text, var, sizeof text - 1);
  text[sizeof text - 1] = 0;
  KeyValueList list;
  ParseKeyValues(text, &list, kVarDelimiters);
  for (int i = 0; i < list.Count(); ++i) Set(section, list.At(i).key, list.At(i).value);
  return list.Count();
}

const Account* SetupStore::FindAccount(const std::string& id) const {
  for (const Account& a : accounts_) {
    if (a.id == id) return &a;
  }
  return nullptr;
}

std::string SetupStore::PasswdVar() const {
  std::string out;
  // The administrator first: the viewer's Modify acts on the first row.
  for (int pass = 0; pass < 2; ++pass) {
    for (const Account& a : accounts_) {
      if ((a.group == 0) != (pass == 0)) continue;
      out += a.id + "=" + std::to_string(a.group) + "=" + std::to_string(a.maxUsers) + ";";
    }
  }
  return out;
}

int SetupStore::AddAccount(const char* var) {
  std::vector<std::string> t = VarTokens(var);
  if (t.size() != 3 || FindAccount(t[0]) || accounts_.size() >= kMaxAccounts) return 0;
  int group = ValueToInt(t[1].c_str());
  if (group != 1 && group != 2) return 0;
  accounts_.push_back({t[0], t[2], group, 4});
  return 1;
}

int SetupStore::ModifyAccount(const char* var) {
  std::vector<std::string> t = VarTokens(var);
  if (t.size() != 4) return 0;
  Account* old = nullptr;
  for (Account& a : accounts_) {
    if (a.id == t[0]) old = &a;
  }
  if (!old || old->group != 0 || ValueToInt(t[2].c_str()) != 0) return 0;
  if (t[1] != t[0] && FindAccount(t[1])) return 0;
  old->id = t[1];
  old->password = t[3];
  return 1;
}

int SetupStore::DeleteAccount(const char* var) {
  std::vector<std::string> t = VarTokens(var);
  if (t.size() != 1) return 0;
  for (auto it = accounts_.begin(); it != accounts_.end(); ++it) {
    if (it->id == t[0]) {
      if (it->group == 0) return 0;  // the administrator stays
      accounts_.erase(it);
      return 1;
    }
  }
  return 0;
}

}  // namespace camsim
