// The video frame reader fed arbitrary bytes through a socketpair.
#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "link/LinkEngine.h"
#include "link/MediaStream.h"

namespace {

struct Queue : FrameSink {
  Queue() : buffer(FrameSlot::kMaxPayload) { slot.payload = buffer.data(); }
  FrameSlot* GetFreeFrameSlot() override { return &slot; }
  int SubmitFrame(FrameSlot* s) override {
    if (s->payloadCount < 0 || s->payloadCount > FrameSlot::kMaxPayload) __builtin_trap();
    s->headerCount = s->payloadCount = 0;
    return ++frames % 3 == 0;  // now and then ask for a key frame
  }
  void RequireKeyFrame() override {}
  std::vector<std::uint8_t> buffer;
  FrameSlot slot;
  int frames = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 200000) return 0;
  static Queue queue;
  int pair[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, pair) != 0) return 0;
  int big = 1 << 20;
  ::setsockopt(pair[0], SOL_SOCKET, SO_SNDBUF, &big, sizeof big);
  if (size > 0) [[maybe_unused]] ssize_t w = ::write(pair[0], data, size);
  ::shutdown(pair[0], SHUT_WR);
  PHD phd;
  phd.TYPE = kVideoChannel;
  phd.frameSink = &queue;
  phd.socket = pair[1];
  for (int i = 0; i < 100000 && phd.socket.load() >= 0; ++i) ProcessEventSelection(&phd, true);
  if (phd.socket.load() >= 0) ::close(phd.socket.load());
  ::close(pair[0]);
  queue.slot.headerCount = queue.slot.payloadCount = 0;
  return 0;
}
