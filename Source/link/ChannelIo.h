// Socket calls of the channel readers. Each call checks, under the channel's
// io lock, that the channel still holds the connection the reader started on.
#pragma once

#include <cstddef>
#include <cstdint>

#include "link/LinkEngine.h"

// What the reader started on: the socket number and its connection generation.
struct ChannelView {
  PHD* phd = nullptr;
  int socket = -1;
  std::uint32_t generation = 0;
};

ChannelView ViewChannel(PHD& phd);

// One non-blocking recv (flags as recv; MSG_DONTWAIT is added). Returns the
// count, 0 when the peer closed, or -1 with errno (ENOTSOCK when the channel
// was closed or replaced meanwhile).
long ChannelRecv(const ChannelView& view, void* buffer, std::size_t size, int flags);

// Discards exactly |count| waiting bytes (they were seen with MSG_PEEK).
// Returns 1, or 0 when they could not be consumed.
int ChannelDiscard(const ChannelView& view, std::size_t count);

// The reader's stall limit: a peer that stops sending in the middle of a frame
// is given up after this long without any byte arriving.
inline constexpr int kStallLimitMs = 5000;

enum class ExactResult { kDone, kClosed, kGaveUp };

// Reads exactly |size| bytes, waiting (10 ms steps) while the peer is slow.
// Peer closed: logs "%s:%d.\n" and returns kClosed. Closed channel, reset or
// aborted connection: quietly kGaveUp. Other errors: "%s:%d. (errno=%d)\n".
// No byte for kStallLimitMs, or the channel abandoned at shutdown: logged,
// kGaveUp.
ExactResult ReadExactly(const ChannelView& view, void* buffer, std::size_t size);

// What one reader call did.
enum class ReadResult {
  kNoProgress,  // nothing consumed; look again shortly while bytes are waiting
  kNoConsumer,  // nothing consumed because the consumer has no room; wait for new data
  kProgress,    // bytes consumed
  kMessage,     // (control reader) one whole message is in the buffer
  kClosed,      // the peer closed the connection
};
