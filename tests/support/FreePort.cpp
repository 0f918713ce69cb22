#include "FreePort.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <fstream>

namespace testsupport {
namespace {

// Binds a listening-style socket on 127.0.0.1:|port| (0: any); returns the
// port bound, or -1.
int BindLoopback(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<std::uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t n = sizeof a;
  int bound = -1;
  if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&a), &n) == 0) {
    bound = ntohs(a.sin_port);
  }
  close(fd);
  return bound;
}

int EphemeralLow() {
  std::ifstream range("/proc/sys/net/ipv4/ip_local_port_range");
  int low = 0;
  return range >> low && low > 2048 ? low : 32768;
}

}  // namespace

int FreePort() { return BindLoopback(0); }

int FreePortBlock(int count) {
  if (count < 1) return -1;
  constexpr int kLow = 10000;
  const int high = EphemeralLow() - count;  // last possible first port
  if (high <= kLow) return -1;
  const int span = high - kLow;
  // Start from the process id so that test processes running side by side
  // look in different places; step by a prime to cover the range.
  const int start = static_cast<int>(getpid()) * 37 % span;
  for (int i = 0; i < 4000; ++i) {
    const int base = kLow + (start + i * 7919) % span;
    bool free = true;
    for (int p = base; p < base + count && free; ++p) free = BindLoopback(p) == p;
    if (free) return base;
  }
  return -1;
}

bool Accepts(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<std::uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  close(fd);
  return ok;
}

}  // namespace testsupport
