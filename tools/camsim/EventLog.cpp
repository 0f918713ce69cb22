#include "camsim/EventLog.h"

#include <chrono>
#include <cstring>

#include "base/base.h"

namespace camsim {

EventLog::~EventLog() {
  if (file_) std::fclose(file_);
}

int EventLog::Open(const std::string& path) {
  file_ = std::fopen(path.c_str(), "a");
  if (!file_) {
    LogMessage("%s:%d (%d)\r\n", LOGPOS, errno);
    return 0;
  }
  line_.reserve(4096);
  return 1;
}

void EventLog::Str(const char* text, std::size_t length) {
  line_.push_back('"');
  for (std::size_t i = 0; i < length; ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '"' || c == '\\') {
      line_.push_back('\\');
      line_.push_back(static_cast<char>(c));
    } else if (c == '\n') {
      line_ += "\\n";
    } else if (c < 0x20 || c >= 0x7F) {
      char esc[8];
      std::snprintf(esc, sizeof esc, "\\u%04x", c);
      line_ += esc;
    } else {
      line_.push_back(static_cast<char>(c));
    }
  }
  line_.push_back('"');
}

void EventLog::Begin(int camera, const char* channel, const char* dir) {
  const double now =
      std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
  char head[160];
  std::snprintf(head, sizeof head, "{\"time\":%.3f,\"camera\":%d,\"channel\":\"%s\",\"dir\":\"%s\",\"keys\":{",
                now, camera, channel, dir);
  line_.assign(head);
}

void EventLog::Message(int camera, const char* channel, const char* dir, const char* text,
                       std::size_t length) {
  if (!file_) return;
  Begin(camera, channel, dir);
  const char* p = text;
  const char* end = text + length;
  bool first = true;
  const char* var = nullptr;
  std::size_t varLength = 0;
  while (p < end) {
    const char* nl = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
    const char* lineEnd = nl ? nl : end;
    const char* hash = static_cast<const char*>(std::memchr(p, '#', static_cast<std::size_t>(lineEnd - p)));
    if (hash) {
      if (hash - p == 3 && std::memcmp(p, "VAR", 3) == 0) {
        var = hash + 1;
        varLength = static_cast<std::size_t>(end - var);
        while (varLength && var[varLength - 1] == '\n') --varLength;
        break;
      }
      if (!first) line_.push_back(',');
      first = false;
      Str(p, static_cast<std::size_t>(hash - p));
      line_.push_back(':');
      Str(hash + 1, static_cast<std::size_t>(lineEnd - hash - 1));
    }
    p = lineEnd + 1;
  }
  line_.push_back('}');
  if (var) {
    line_ += ",\"var\":";
    Str(var, varLength);
  }
  line_ += "}\n";
  std::fwrite(line_.data(), 1, line_.size(), file_);
  std::fflush(file_);
}

void EventLog::Note(int camera, const char* channel, const char* dir, const std::string& keys) {
  if (!file_) return;
  Begin(camera, channel, dir);
  std::size_t start = 0;
  bool first = true;
  while (start < keys.size()) {
    std::size_t semi = keys.find(';', start);
    if (semi == std::string::npos) semi = keys.size();
    std::size_t eq = keys.find('=', start);
    if (eq != std::string::npos && eq < semi) {
      if (!first) line_.push_back(',');
      first = false;
      Str(keys.data() + start, eq - start);
      line_.push_back(':');
      Str(keys.data() + eq + 1, semi - eq - 1);
    }
    start = semi + 1;
  }
  line_ += "}}\n";
  std::fwrite(line_.data(), 1, line_.size(), file_);
  std::fflush(file_);
}

}  // namespace camsim
