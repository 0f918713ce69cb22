// The camera simulator as a child process of a pane test: N cameras on a
// block of loopback ports below the ephemeral range, its admin port ten
// above, and every control message logged to an events file the test reads.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QString>
#include <QtTest>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <initializer_list>
#include <sstream>
#include <string>

class CamsimProcess {
 public:
  CamsimProcess() = default;
  ~CamsimProcess() { Stop(); }
  CamsimProcess(const CamsimProcess&) = delete;
  CamsimProcess& operator=(const CamsimProcess&) = delete;

  // Starts |cameras| cameras with logs in |dir|; true once they serve.
  bool Start(const QString& dir, int cameras = 2) {
    port_ = FreePortBlock();
    const std::string log = (dir + QStringLiteral("/camsim.log")).toStdString();
    events_ = (dir + QStringLiteral("/events.jsonl")).toStdString();
    pid_ = fork();
    if (pid_ == 0) {
      if (std::freopen(log.c_str(), "w", stdout) == nullptr) _exit(126);
      execl(CAMSIM, CAMSIM, "--cameras", std::to_string(cameras).c_str(), "--port", std::to_string(port_).c_str(),
            "--admin-port", std::to_string(AdminPort()).c_str(), "--events", events_.c_str(), "--no-stdin",
            static_cast<char*>(nullptr));
      _exit(127);
    }
    for (int i = 0; i < 3000; ++i) {  // a generous bound for a loaded machine
      std::ifstream in(log);
      std::stringstream text;
      text << in.rdbuf();
      if (text.str().find("ready") != std::string::npos) return true;
      QTest::qWait(20);
    }
    return false;
  }

  void Stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

  // The port of camera 0 (camera n is on Port() + n).
  int Port() const { return port_; }
  int AdminPort() const { return port_ + 10; }

  // One admin command ("stall 0 4"); true when the simulator answered OK.
  bool Admin(const std::string& command) const {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<std::uint16_t>(AdminPort()));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
      close(fd);
      return false;
    }
    const std::string line = command + "\n";
    bool ok = write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
    char reply[256] = {};
    ok = ok && read(fd, reply, sizeof reply - 1) > 0 && std::strncmp(reply, "OK", 2) == 0;
    close(fd);
    return ok;
  }

  // Control messages the cameras received that hold every one of |needles|,
  // from camera |camera| only unless it is -1.
  int CountEvents(std::initializer_list<const char*> needles, int camera = -1) const {
    std::ifstream in(events_);
    const std::string cam = "\"camera\":" + std::to_string(camera) + ",";
    std::string line;
    int n = 0;
    while (std::getline(in, line)) {
      bool all = line.find("\"dir\":\"in\"") != std::string::npos &&
                 (camera < 0 || line.find(cam) != std::string::npos);
      for (const char* needle : needles) all = all && line.find(needle) != std::string::npos;
      n += all ? 1 : 0;
    }
    return n;
  }

 private:
  // A base port whose next few ports are very likely free as well.
  static int FreePortBlock() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t n = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &n);
    close(fd);
    return ntohs(a.sin_port) % 10000 + 20000;  // below the ephemeral range
  }

  pid_t pid_ = -1;
  int port_ = 0;
  std::string events_;
};
