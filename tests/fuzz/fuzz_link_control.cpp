// The control channel's reader and dispatcher fed arbitrary bytes through a
// socketpair, until the peer's close is handled.
#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>

#include "link/ControlChannel.h"
#include "link/LinkEngine.h"

namespace {

struct NullWindow : WindowTarget {
  void Post(unsigned, std::uintptr_t, std::intptr_t) override {}
  std::intptr_t Send(unsigned, std::uintptr_t, std::intptr_t) override { return 0; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 65536) return 0;
  static NullWindow window;
  static const int prepared = PrepareLink(0, &window, "127.0.0.1", 1);
  (void)prepared;
  int pair[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, pair) != 0) return 0;
  int one = 1 << 20;
  ::setsockopt(pair[0], SOL_SOCKET, SO_SNDBUF, &one, sizeof one);
  if (size > 0) [[maybe_unused]] ssize_t w = ::write(pair[0], data, size);
  ::shutdown(pair[0], SHUT_WR);
  PHD phd;
  phd.TYPE = kControlChannel;
  phd.slot = 0;
  phd.socket = pair[1];
  for (int i = 0; i < 100000 && phd.socket.load() >= 0; ++i) ProcessEventSelection(&phd, true);
  if (phd.socket.load() >= 0) ::close(phd.socket.load());
  ::close(pair[0]);
  return 0;
}
