#include "link/MediaStream.h"

#include <sys/socket.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <sched.h>

#include "base/base.h"
#include "link/CameraCommands.h"
#include "link/KeyValue.h"

namespace {

std::atomic<std::uint64_t> g_videoBytesCopied{0};
// Release/acquire: whoever sees a count has the reader's look for a sink
// (made before the count) ordered before anything it does next.
std::atomic<std::uint64_t> g_audioBytesDropped{0};

bool IsStartCode(const std::uint8_t* p) {
  return p[0] == 'M' && p[1] == 'M' &&
         ((p[2] == 'P' && p[3] == 'G') || (p[2] == 'J' && p[3] == 'P'));
}

int OpenStream(int slot, int type, const char* cls) {
  if (!IsValidSlot(slot)) {
    LogMessage("%s:%d\r\n", LOGPOS);
    return 0;
  }
  LinkRecord& record = LinkSlot(slot);
  PHD& phd = type == kVideoChannel ? record.video : record.audio;
  char address[16];
  int port;
  {
    TimedLockHolder hold(record.lock, TimedLock::kDefaultWaitMs, LOGPOS);
    if (!hold.held()) return 0;
    std::memcpy(address, record.address, sizeof address);
    port = record.port;
  }
  if (ConnectChannel(address, &phd, &SelectSet(slot), port, type) != 1) return 0;
  phd.slot = slot;
  char stid[kLinkIdSize];
  char dtid[kLinkIdSize];
  CopyLinkIds(slot, stid, dtid);
  MessageBuilder body;
  body.Line("CMD", "OPEN").Line("CLS", cls);
  char message[kMessageBufferSize];
  const int length = ComposeMessage(message, sizeof message, stid, dtid, body.text());
  if (length < 0 || SendOnChannel(phd, message, static_cast<std::size_t>(length)) != length) {
    LogMessage("%s:%d (%d)\r\n", LOGPOS, errno);
    return 0;
  }
  return 1;
}

void FreeSlot(FrameSlot* slot) {
  slot->headerCount = 0;
  slot->payloadCount = 0;
  slot->ready = 0;
}

// After a broken start code: discards bytes up to the next start code and
// puts it in the header. Returns 1 when found, 0 when the waiting data ran out
// after some was discarded, -1 when nothing could be looked at.
int Resynchronise(const ChannelView& view, FrameSlot* slot) {
  std::uint8_t peek[kResyncPeekBytes];
  for (int round = 0;; ++round) {
    if (view.phd->abandon.load()) return 0;
    const long n = ChannelRecv(view, peek, sizeof peek, MSG_PEEK);
    if (n < 4) return round == 0 ? -1 : 0;
    for (long i = 0; i <= n - 4; ++i) {
      if (!IsStartCode(peek + i)) continue;
      if (!ChannelDiscard(view, static_cast<std::size_t>(i + 4))) return 0;
      std::memcpy(slot->header, peek + i, 4);
      slot->headerCount = 4;
      slot->payloadCount = 0;
      return 1;
    }
    if (!ChannelDiscard(view, static_cast<std::size_t>(n - 3))) return 0;
    sched_yield();
  }
}

}  // namespace

std::uint64_t VideoBytesCopied() { return g_videoBytesCopied.load(std::memory_order_relaxed); }

std::uint64_t AudioBytesDropped() { return g_audioBytesDropped.load(std::memory_order_acquire); }

int OpenVideoStream(int slot) { return OpenStream(slot, kVideoChannel, "VSTREAM"); }

int OpenAudioStream(int slot) { return OpenStream(slot, kAudioChannel, "ASTREAM") == 1 ? 1 : -1; }

ReadResult ReceiveVideoFrame(PHD* phd) {
  if (phd == nullptr) return ReadResult::kNoProgress;
  // Held until the frame is handed over: the queue cannot go away meanwhile.
  auto sink = phd->frameSink.Acquire();
  FrameSlot* slot = sink ? sink->GetFreeFrameSlot() : nullptr;
  if (slot == nullptr) {
    LogMessage("%s:%d\r\n", LOGPOS);
    return ReadResult::kNoConsumer;
  }
  if (slot->headerCount != 0 || slot->payloadCount != 0) {
    LogMessage("%s:%d (%d)\r\n", LOGPOS, slot->headerCount != 0 ? slot->headerCount : slot->payloadCount);
    return ReadResult::kNoConsumer;
  }
  const ChannelView view = ViewChannel(*phd);
  // Only start a frame when something is waiting (a wake-up may find nothing).
  std::uint8_t probe;
  const long waiting = ChannelRecv(view, &probe, 1, MSG_PEEK);
  if (waiting == 0) return ReadResult::kClosed;
  if (waiting < 0) return ReadResult::kNoProgress;

  auto abandon = [slot](ExactResult result) {
    FreeSlot(slot);
    return result == ExactResult::kClosed ? ReadResult::kClosed : ReadResult::kProgress;
  };
  ExactResult result = ExactResult::kDone;
  const bool continuingSearch = phd->resyncing.load();
  if (!continuingSearch) {
    result = ReadExactly(view, slot->header, 4);
    if (result != ExactResult::kDone) return abandon(result);
    if (IsStartCode(slot->header)) {
      slot->headerCount = 4;
    } else {
      // One key-frame request per broken stretch, however many read events
      // the search for the next start code takes.
      LogMessage("START CODE IS BROKEN.\r\n");
      RequestKeyFrame(phd->slot.load());
      sink->RequireKeyFrame();
      phd->resyncing = true;
    }
  }
  if (phd->resyncing.load()) {
    const int found = Resynchronise(view, slot);
    if (found != 1) {
      // Too little waiting to decide: wait for more data rather than spin.
      FreeSlot(slot);
      return found < 0 && continuingSearch ? ReadResult::kNoProgress : ReadResult::kProgress;
    }
    phd->resyncing = false;
  }
  result = ReadExactly(view, slot->header + 4, FrameSlot::kHeaderSize - 4);
  if (result != ExactResult::kDone) return abandon(result);
  slot->headerCount = FrameSlot::kHeaderSize;

  const std::int32_t size = slot->PayloadSize();
  if (size > FrameSlot::kMaxPayload || size < 0 || (size > 0 && slot->payload == nullptr)) {
    LogMessage("%s:%d (remain=%d)\r\n", LOGPOS, size);
    return abandon(ExactResult::kGaveUp);
  }
  if (size > 0) {
    result = ReadExactly(view, slot->payload, static_cast<std::size_t>(size));
    if (result != ExactResult::kDone) return abandon(result);
  }
  slot->payloadCount = size;
  g_videoBytesCopied.fetch_add(static_cast<std::uint64_t>(FrameSlot::kHeaderSize + size),
                               std::memory_order_relaxed);

  if (sink->SubmitFrame(slot) == 1) {
    RequestKeyFrame(phd->slot.load());
    sink->RequireKeyFrame();
    FreeSlot(slot);
  }
  return ReadResult::kProgress;
}

ReadResult ReceiveAudio(PHD* phd) {
  if (phd == nullptr) return ReadResult::kNoProgress;
  thread_local std::uint8_t buffer[kAudioReceiveBytes];
  const ChannelView view = ViewChannel(*phd);
  const long n = ChannelRecv(view, buffer, sizeof buffer, 0);
  if (n <= 0) {
    const int error = n == 0 ? 0 : errno;
    if (n < 0 && (error == EAGAIN || error == EWOULDBLOCK)) return ReadResult::kNoProgress;
    LogMessage("%s:%d (%d)\r\n", LOGPOS, error);
    return n == 0 ? ReadResult::kClosed : ReadResult::kNoProgress;
  }
  auto sink = phd->audioSink.Acquire();
  if (!sink) {
    g_audioBytesDropped.fetch_add(static_cast<std::uint64_t>(n), std::memory_order_release);
    LogMessage("%s:%d\r\n", LOGPOS);
    return ReadResult::kProgress;
  }
  const int stored = sink->PushReceived(buffer, static_cast<int>(n));
  if (stored < n) LogMessage("%s %d (%d != %d)\r\n", LOGPOS, stored, static_cast<int>(n));
  return ReadResult::kProgress;
}
