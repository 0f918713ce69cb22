// "--events FILE": one JSON line per message received or sent, so tests can
// assert on what the viewer did:
//   {"time":1700000000.125,"camera":0,"channel":"control","dir":"in",
//    "keys":{"SRC":"V","CMD":"OPEN",...},"var":"RES=2;"}
#pragma once

#include <cstdio>
#include <string>

namespace camsim {

class EventLog {
 public:
  ~EventLog();
  // Opens |path| for appending. Returns 1 or 0.
  int Open(const std::string& path);
  bool enabled() const { return file_ != nullptr; }
  // Logs a key#value message text (lines up to VAR as keys, VAR raw).
  void Message(int camera, const char* channel, const char* dir, const char* text, std::size_t length);
  // Logs an event that is not a message, with |keys| as "K=V" pairs
  // separated by ";" (for example "FAULT=garbage;COUNT=10").
  void Note(int camera, const char* channel, const char* dir, const std::string& keys);

 private:
  void Begin(int camera, const char* channel, const char* dir);
  void Str(const char* text, std::size_t length);
  std::FILE* file_ = nullptr;
  std::string line_;  // reused line buffer
};

}  // namespace camsim
