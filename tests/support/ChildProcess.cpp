#include "ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

namespace testsupport {

using Clock = std::chrono::steady_clock;

bool ChildProcess::Start(const std::vector<std::string>& argv, const ChildOptions& options) {
  Stop();
  if (argv.empty()) return false;
  out_.clear();
  log_ = options.log;
  status_ = -1;
  int fds[2] = {-1, -1};
  if (log_.empty() && pipe2(fds, O_CLOEXEC) != 0) return false;
  // Everything the child needs is made before fork: only async-signal-safe
  // calls come after it.
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  // The environment: this process's, with options.env replacing or adding.
  std::vector<std::string> env = options.env;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string entry = *e;
    const std::string name = entry.substr(0, entry.find('=') + 1);
    bool replaced = false;
    for (const auto& o : options.env) replaced = replaced || o.rfind(name, 0) == 0;
    if (!replaced) env.push_back(entry);
  }
  std::vector<char*> envp;
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  started_ = Clock::now();
  pid_ = fork();
  if (pid_ < 0) {
    if (fds[0] >= 0) close(fds[0]);
    if (fds[1] >= 0) close(fds[1]);
    return false;
  }
  if (pid_ == 0) {
    const int out = log_.empty() ? fds[1] : open(log_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (out >= 0) {
      dup2(out, 1);
      dup2(out, 2);
    }
    execvpe(args[0], args.data(), envp.data());
    _exit(127);
  }
  if (log_.empty()) {
    close(fds[1]);
    fd_ = fds[0];
  }
  return true;
}

void ChildProcess::Reaped(int status) {
  status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  pid_ = -1;
}

bool ChildProcess::Running() {
  if (pid_ <= 0) return false;
  int status = 0;
  if (waitpid(pid_, &status, WNOHANG) == pid_) {
    Reaped(status);
    return false;
  }
  return true;
}

bool ChildProcess::Signal(int signo) const { return pid_ > 0 && kill(pid_, signo) == 0; }

const std::string& ChildProcess::Output() {
  if (!log_.empty()) {
    out_ = ReadText(log_);
  } else {
    char buffer[4096];
    pollfd p{fd_, POLLIN, 0};
    ssize_t n = 0;
    while (fd_ >= 0 && poll(&p, 1, 0) > 0 && (n = read(fd_, buffer, sizeof buffer)) > 0) {
      out_.append(buffer, static_cast<std::size_t>(n));
    }
  }
  return out_;
}

bool ChildProcess::ReadSome(int ms) {
  if (fd_ < 0) return false;
  pollfd p{fd_, POLLIN, 0};
  if (poll(&p, 1, ms) <= 0) return true;
  char buffer[4096];
  const ssize_t n = read(fd_, buffer, sizeof buffer);
  if (n <= 0) return false;
  out_.append(buffer, static_cast<std::size_t>(n));
  return true;
}

bool ChildProcess::WaitFor(const std::string& text, int ms) {
  const auto end = Clock::now() + std::chrono::milliseconds(ms);
  for (;;) {
    if (Output().find(text) != std::string::npos) return true;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
    if (left <= 0) return false;
    if (log_.empty()) {
      if (!ReadSome(static_cast<int>(std::min<long long>(left, 100)))) return Output().find(text) != std::string::npos;
    } else {
      if (!Running()) return Output().find(text) != std::string::npos;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }
}

Outcome ChildProcess::Finish(int ms) {
  const auto end = Clock::now() + std::chrono::milliseconds(ms);
  if (log_.empty()) {
    while (Clock::now() < end && ReadSome(100)) {
    }
  } else {
    while (Clock::now() < end && Running()) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  if (pid_ > 0) {
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, &status, 0);
    }
    Reaped(status);
  }
  Outcome o;
  o.status = status_;
  o.out = Output();
  o.seconds = std::chrono::duration<double>(Clock::now() - started_).count();
  if (fd_ >= 0) {
    close(fd_);
    fd_ = -1;
  }
  return o;
}

int ChildProcess::Stop(int ms) {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    const auto end = Clock::now() + std::chrono::milliseconds(ms);
    int status = 0;
    pid_t done = 0;
    while ((done = waitpid(pid_, &status, WNOHANG)) == 0 && Clock::now() < end) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (done == 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, &status, 0);
    }
    Reaped(status);
  }
  if (fd_ >= 0) {
    close(fd_);
    fd_ = -1;
  }
  return status_;
}

int RunForked(const std::function<void()>& body) {
  const pid_t child = fork();
  if (child < 0) return -1;
  if (child == 0) {
    body();
    _exit(0);
  }
  int status = 0;
  return waitpid(child, &status, 0) == child ? status : -1;
}

bool SanitizerReport(const std::string& text) {
  return text.find("Sanitizer") != std::string::npos || text.find("runtime error:") != std::string::npos;
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace testsupport
