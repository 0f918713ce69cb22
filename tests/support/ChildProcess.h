// Child processes for tests: a program started with fork/exec, its stdout
// and stderr together in a pipe the test reads or in a log file, and ended
// by its PID (SIGTERM, then SIGKILL after a grace period) when the object
// goes. Nothing here is shared between threads: one test thread owns each
// ChildProcess.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace testsupport {

struct ChildOptions {
  // Empty: the output goes to a pipe, read by WaitFor/Finish. Otherwise the
  // output is written to this file (truncated) and WaitFor reads the file.
  std::string log;
  // NAME=VALUE entries added to the child's environment.
  std::vector<std::string> env;
};

struct Outcome {
  int status = -1;     // exit status, or 128 + signal number
  std::string out;     // what the child printed (pipe or log file)
  double seconds = 0;  // from the start to the end of Finish
};

class ChildProcess {
 public:
  ChildProcess() = default;
  explicit ChildProcess(const std::vector<std::string>& argv, const ChildOptions& options = {}) {
    Start(argv, options);
  }
  ~ChildProcess() { Stop(); }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Starts argv[0] (looked up in PATH when it has no slash). False when the
  // fork failed; a program that cannot be run exits with status 127.
  bool Start(const std::vector<std::string>& argv, const ChildOptions& options = {});

  pid_t pid() const { return pid_; }
  // True while the child has not ended (reaps it once it has).
  bool Running();
  bool Signal(int signo) const;

  // The output read so far (pipe) or the log file's text now.
  const std::string& Output();

  // Reads the output for up to |ms|; true once |text| has appeared. Returns
  // early, false, when the child ends without printing it.
  bool WaitFor(const std::string& text, int ms);

  // Reads the output until the child ends (SIGKILL after |ms|), reaps it and
  // returns its status and everything it printed.
  Outcome Finish(int ms);

  // SIGTERM, then SIGKILL when it has not ended after |ms|; reaps it.
  // Returns the status as in Outcome (-1 when there was no child).
  int Stop(int ms = 10000);

 private:
  bool ReadSome(int ms);  // false at end of the pipe
  void Reaped(int status);

  pid_t pid_ = -1;
  int fd_ = -1;
  int status_ = -1;
  std::string log_;
  std::string out_;
  std::chrono::steady_clock::time_point started_;
};

// Runs |body| in a forked copy of this process and returns the raw wait
// status (WIFEXITED/WIFSIGNALED); -1 when fork failed. The child leaves with
// _exit(0) when |body| returns.
int RunForked(const std::function<void()>& body);

// True when |text| holds a sanitizer report (ASan, UBSan, TSan, LSan).
bool SanitizerReport(const std::string& text);

// A file's whole content; empty when it cannot be read.
std::string ReadText(const std::string& path);

}  // namespace testsupport
