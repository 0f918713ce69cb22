#include "link/ChannelIo.h"

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>

#include "base/base.h"

ChannelView ViewChannel(PHD& phd) {
  std::lock_guard<std::mutex> hold(phd.io);
  return ChannelView{&phd, phd.socket.load(), phd.generation.load()};
}

long ChannelRecv(const ChannelView& view, void* buffer, std::size_t size, int flags) {
  std::lock_guard<std::mutex> hold(view.phd->io);
  if (view.socket < 0 || view.phd->socket.load() != view.socket ||
      view.phd->generation.load() != view.generation) {
    errno = ENOTSOCK;
    return -1;
  }
  return ::recv(view.socket, buffer, size, flags | MSG_DONTWAIT);
}

int ChannelDiscard(const ChannelView& view, std::size_t count) {
  char scratch[2048];
  while (count > 0) {
    const std::size_t chunk = count < sizeof scratch ? count : sizeof scratch;
    const long n = ChannelRecv(view, scratch, chunk, 0);
    if (n <= 0) return 0;
    count -= static_cast<std::size_t>(n);
  }
  return 1;
}

ExactResult ReadExactly(const ChannelView& view, void* buffer, std::size_t size) {
  auto* out = static_cast<std::uint8_t*>(buffer);
  std::size_t have = 0;
  auto lastByte = std::chrono::steady_clock::now();
  while (have < size) {
    const long n = ChannelRecv(view, out + have, size - have, 0);
    if (n > 0) {
      have += static_cast<std::size_t>(n);
      lastByte = std::chrono::steady_clock::now();
      continue;
    }
    if (n == 0) {
      LogMessage("%s:%d.\n", LOGPOS);
      return ExactResult::kClosed;
    }
    const int error = errno;
    if (error == ENOTSOCK || error == ECONNABORTED || error == ECONNRESET || error == EBADF) {
      return ExactResult::kGaveUp;
    }
    if (error != EAGAIN && error != EWOULDBLOCK && error != EINTR) {
      LogMessage("%s:%d. (errno=%d)\n", LOGPOS, error);
      return ExactResult::kGaveUp;
    }
    if (view.phd->abandon.load()) {
      LogMessage("%s:%d (abandoned, %d of %d)\r\n", LOGPOS, static_cast<int>(have), static_cast<int>(size));
      return ExactResult::kGaveUp;
    }
    const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - lastByte).count();
    if (waited >= kStallLimitMs) {
      LogMessage("%s:%d (stalled, %d of %d)\r\n", LOGPOS, static_cast<int>(have), static_cast<int>(size));
      return ExactResult::kGaveUp;
    }
    // Wait for more data for at most 10 ms (a closed or reused socket number
    // only makes this return early; the next recv checks the channel).
    pollfd p{view.socket, POLLIN, 0};
    ::poll(&p, 1, 10);
  }
  return ExactResult::kDone;
}
