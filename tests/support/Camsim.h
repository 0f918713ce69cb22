// The camera simulator as a child process: N cameras on a block of free
// loopback ports with the admin port right after the last camera, its output
// in <dir>/camsim.log and every control message in <dir>/events.jsonl.
#pragma once

#include <initializer_list>
#include <string>
#include <vector>

#include "ChildProcess.h"

namespace testsupport {

struct CamsimOptions {
  int cameras = 3;
  // Without the admin port its port (the one after the last camera) is
  // still kept free, so it can serve as a port without a listener.
  bool admin = true;
  std::string config;              // --config FILE, when not empty
  std::vector<std::string> extra;  // further options
  int start_ms = 60000;            // how long to wait for "ready"
};

class Camsim {
 public:
  // |binary|: the camsim executable.
  explicit Camsim(std::string binary) : binary_(std::move(binary)) {}
  ~Camsim() { Stop(); }
  Camsim(const Camsim&) = delete;
  Camsim& operator=(const Camsim&) = delete;

  // True once every camera serves. A port block taken by someone else in the
  // meantime makes camsim exit; the next free block is tried then.
  // |dir|: an existing folder for its log and events files.
  bool Start(const std::string& dir, const CamsimOptions& options = {});
  // SIGTERM and reap; returns the exit status as ChildProcess::Stop does.
  int Stop();

  int Port(int camera = 0) const { return port_ + camera; }
  int AdminPort() const { return admin_; }
  std::string Host(int camera = 0) const { return "127.0.0.1:" + std::to_string(Port(camera)); }
  std::string LogFile() const { return dir_ + "/camsim.log"; }
  std::string EventsFile() const { return dir_ + "/events.jsonl"; }
  ChildProcess& process() { return child_; }

  // One admin command ("stall 0 4"); true when the answer is OK. The whole
  // answer (several lines for "status") goes to |answer| when given.
  bool Admin(const std::string& command, std::string* answer = nullptr) const;

  // Control messages the cameras received that hold every one of |needles|,
  // from camera |camera| only unless it is -1.
  int CountEvents(std::initializer_list<const char*> needles, int camera = -1) const;

 private:
  std::string binary_, dir_;
  ChildProcess child_;
  int port_ = 0;
  int admin_ = 0;
};

}  // namespace testsupport
