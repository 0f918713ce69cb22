#include "Camsim.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <fstream>

#include "FreePort.h"

namespace testsupport {

bool Camsim::Start(const std::string& dir, const CamsimOptions& options) {
  Stop();
  dir_ = dir;
  for (int attempt = 0; attempt < 8; ++attempt) {
    port_ = FreePortBlock(options.cameras + 1);
    if (port_ < 0) return false;
    admin_ = options.admin ? port_ + options.cameras : 0;
    std::vector<std::string> argv{binary_,        "--cameras",   std::to_string(options.cameras),
                                  "--port",       std::to_string(port_), "--admin-port",
                                  std::to_string(admin_), "--events", EventsFile(),
                                  "--no-stdin"};
    if (!options.config.empty()) argv.insert(argv.end(), {"--config", options.config});
    argv.insert(argv.end(), options.extra.begin(), options.extra.end());
    if (!child_.Start(argv, ChildOptions{LogFile(), {}})) return false;
    if (child_.WaitFor("ready\n", options.start_ms)) return true;
    child_.Stop();
  }
  return false;
}

int Camsim::Stop() { return child_.Stop(); }

bool Camsim::Admin(const std::string& command, std::string* answer) const {
  std::string text;
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<std::uint16_t>(admin_));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const std::string line = command.ends_with('\n') ? command : command + "\n";
  bool ok = fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
            write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
  // The answer ends with a line starting "OK" or "ERR" (status lists the
  // cameras before its "OK").
  auto complete = [&text] {
    std::size_t at = 0;
    while (at < text.size()) {
      const std::size_t nl = text.find('\n', at);
      if (nl == std::string::npos) return false;
      if (text.compare(at, 2, "OK") == 0 || text.compare(at, 3, "ERR") == 0) return true;
      at = nl + 1;
    }
    return false;
  };
  char buffer[512];
  pollfd p{fd, POLLIN, 0};
  while (ok && !complete() && poll(&p, 1, 10000) > 0) {
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n <= 0) break;
    text.append(buffer, static_cast<std::size_t>(n));
  }
  if (fd >= 0) close(fd);
  ok = ok && complete() && text.find("\nERR") == std::string::npos && text.rfind("ERR", 0) != 0;
  if (answer != nullptr) *answer = text;
  return ok;
}

int Camsim::CountEvents(std::initializer_list<const char*> needles, int camera) const {
  std::ifstream in(EventsFile());
  const std::string cam = "\"camera\":" + std::to_string(camera) + ",";
  std::string line;
  int n = 0;
  while (std::getline(in, line)) {
    bool all = line.find("\"dir\":\"in\"") != std::string::npos && (camera < 0 || line.find(cam) != std::string::npos);
    for (const char* needle : needles) all = all && line.find(needle) != std::string::npos;
    n += all ? 1 : 0;
  }
  return n;
}

}  // namespace testsupport
