#include "link/LinkEngine.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sched.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "base/base.h"
#include "link/ChannelIo.h"
#include "link/ControlChannel.h"
#include "link/KeyValue.h"
#include "link/LinkMessages.h"
#include "link/MediaStream.h"

namespace link_detail {

namespace {
thread_local bool t_selectThread = false;
}  // namespace

bool OnSelectThread() { return t_selectThread; }

void PauseWhileClearing(int round) {
  if (round < 50) {
    sched_yield();
  } else {
    ::usleep(500);
  }
  if (round == 20000) LogMessage("%s:%d (a link consumer is still in use)\r\n", LOGPOS);
}

}  // namespace link_detail

namespace {

LinkRecord g_linkTable[kLinkSlots];
SelectEventSet g_selectSets[kLinkSlots];

// The capture thread's way to a slot's audio channel (see BeginTalkBack).
class SlotTalkBackSender : public TalkBackSender {
 public:
  long SendTalkBack(const std::uint8_t* bytes, int count) override;
};
SlotTalkBackSender g_talkBack[kLinkSlots];

// Stops the threads when the program ends without StopLinkEngine.
struct EngineGuard {
  ~EngineGuard() { StopLinkEngine(); }
} g_engineGuard;

// epoll user data: channel index in the low byte, connection generation above.
std::uint64_t PackEvent(int index, std::uint32_t generation) {
  return static_cast<std::uint64_t>(generation) << 8 | static_cast<std::uint64_t>(index);
}

// How soon a channel with waiting but incomplete data is looked at again.
constexpr int kRetryMs = 20;

std::uint32_t TickCount() {
  return static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now().time_since_epoch()).count());
}

PHD* ChannelOf(LinkRecord& record, int index) {
  switch (index) {
    case kControlChannel: return &record.control;
    case kVideoChannel: return &record.video;
    case kAudioChannel: return &record.audio;
    default: return nullptr;
  }
}

// Closes a socket; failures other than "not a socket" are logged.
void CloseSocket(int fd) {
  if (::close(fd) != 0 && errno != EBADF && errno != ENOTSOCK) LogMessage("%s:%d (%d)\r\n", LOGPOS, errno);
}

// Resets |phd| only when it still holds connection |generation|; returns
// whether it did.
bool ResetIfCurrent(PHD& phd, std::uint32_t generation) {
  int fd = -1;
  {
    std::lock_guard<std::mutex> hold(phd.io);
    if (phd.generation.load() != generation) return false;
    fd = phd.socket.exchange(-1);
    phd.generation.fetch_add(1);
    phd.event = -1;
    phd.status = 0;
    phd.TYPE = 0;
    phd.frameSink.Drop();
    phd.audioSink.Drop();
    phd.talkBack = false;
    phd.slot = -1;
    if (fd >= 0) CloseSocket(fd);
  }
  return true;
}

// The window message that tells the camera closed a channel of |type|.
unsigned ClosedMessage(int type) {
  switch (type) {
    case kControlChannel: return WM_CONTROL_CLOSED;
    case kVideoChannel: return WM_VIDEO_CLOSED;
    case kAudioChannel: return WM_AUDIO_CLOSED;
    default: return 0;
  }
}

void ThreadSelect(SelectEventSet* set) {
  link_detail::t_selectThread = true;
  LinkRecord& record = g_linkTable[set->slot];
  bool pending[4] = {};
  bool retry[4] = {};  // look again after kRetryMs although no event came
  bool hangup[4] = {};
  std::uint32_t seen[4] = {};
  auto stop = [&] {
    // Every slot's thread ends at every exit: told only with the debug switch.
    LogDebugMessage("STOP (Thread_Select)\r\n");
    set->finished = true;
  };
  while (set->running.load() == 1) {
    const bool anyPending = pending[1] || pending[2] || pending[3];
    const bool anyRetry = retry[1] || retry[2] || retry[3];
    epoll_event events[8];
    const int n = ::epoll_wait(set->pollSet, events, 8, anyPending ? 0 : anyRetry ? kRetryMs : kSelectWakeMs);
    if (n < 0) {
      if (errno == EINTR) continue;
      LogMessage("%s:%d (%d)\r\n", LOGPOS, errno);
      break;
    }
    if (n == 0 && !anyPending && !anyRetry) {
      sched_yield();
      continue;
    }
    for (int index = 1; index <= 3; ++index) {
      if (retry[index]) pending[index] = true;
      retry[index] = false;
    }
    for (int i = 0; i < n; ++i) {
      const int index = static_cast<int>(events[i].data.u64 & 0xff);
      const auto generation = static_cast<std::uint32_t>(events[i].data.u64 >> 8);
      if (index == 0) {
        std::uint64_t drain;
        [[maybe_unused]] ssize_t r = ::read(set->stopEvent, &drain, sizeof drain);
        stop();
        return;
      }
      PHD* phd = ChannelOf(record, index);
      if (phd == nullptr) {
        LogMessage("%s:%d (iEventIndex=%d)\r\n", LOGPOS, index);
        stop();
        return;
      }
      if (phd->generation.load() != generation) continue;  // an older connection's event
      if (seen[index] != generation) {
        seen[index] = generation;
        hangup[index] = false;
      }
      pending[index] = true;
      if (events[i].events & (EPOLLRDHUP | EPOLLHUP | EPOLLERR)) hangup[index] = true;
    }
    for (int index = 1; index <= 3; ++index) {
      if (!pending[index]) continue;
      PHD* phd = ChannelOf(record, index);
      if (phd->generation.load() != seen[index]) {
        pending[index] = false;
        continue;
      }
      const int more = ProcessEventSelection(phd, hangup[index]);
      pending[index] = more == 1;
      retry[index] = more == 2;
    }
  }
  stop();
}

}  // namespace

bool IsValidSlot(int slot) { return slot >= 0 && slot < kLinkSlots; }
LinkRecord& LinkSlot(int slot) { return g_linkTable[slot]; }
SelectEventSet& SelectSet(int slot) { return g_selectSets[slot]; }

namespace {
LinkConsumer<WindowTarget> g_noWindow;  // stays empty: the guard of an invalid slot
}  // namespace

ConsumerGuard<WindowTarget> AcquireWindow(int slot) {
  return IsValidSlot(slot) ? g_linkTable[slot].window.Acquire() : g_noWindow.Acquire();
}

void RegisterWindow(int slot, WindowTarget* window) {
  if (IsValidSlot(slot)) g_linkTable[slot].window.Set(window);
}

void UnregisterWindow(int slot) {
  if (IsValidSlot(slot)) g_linkTable[slot].window.Clear();
}

void SetFrameSink(int slot, FrameSink* sink) {
  if (IsValidSlot(slot)) g_linkTable[slot].video.frameSink.Set(sink);
}

void ClearFrameSink(int slot) {
  if (IsValidSlot(slot)) g_linkTable[slot].video.frameSink.Clear();
}

void SetAudioSink(int slot, AudioSink* sink) {
  if (IsValidSlot(slot)) g_linkTable[slot].audio.audioSink.Set(sink);
}

void ClearAudioSink(int slot) {
  if (IsValidSlot(slot)) g_linkTable[slot].audio.audioSink.Clear();
}

int BeginTalkBack(int slot) {
  if (!IsValidSlot(slot)) return 0;
  PHD& phd = g_linkTable[slot].audio;
  std::lock_guard<std::mutex> hold(phd.io);
  if (phd.socket.load() < 0) return 0;
  phd.talkBackGeneration = phd.generation.load();
  phd.talkBack = true;
  return 1;
}

void EndTalkBack(int slot) {
  if (!IsValidSlot(slot)) return;
  PHD& phd = g_linkTable[slot].audio;
  std::lock_guard<std::mutex> hold(phd.io);
  phd.talkBack = false;
}

TalkBackSender* SlotTalkBack(int slot) { return IsValidSlot(slot) ? &g_talkBack[slot] : nullptr; }

long SlotTalkBackSender::SendTalkBack(const std::uint8_t* bytes, int count) {
  PHD& phd = g_linkTable[this - g_talkBack].audio;
  std::lock_guard<std::mutex> hold(phd.io);
  const int fd = phd.socket.load();
  // The socket number is only trusted for the connection talk-back began on:
  // after a reset it may belong to another connection.
  if (fd < 0 || !phd.talkBack.load() || phd.talkBackGeneration.load() != phd.generation.load()) {
    errno = ENOTSOCK;
    return -1;
  }
  return ::send(fd, bytes, static_cast<std::size_t>(count), MSG_NOSIGNAL | MSG_DONTWAIT);
}

void CopyLinkIds(int slot, char stid[kLinkIdSize], char dtid[kLinkIdSize]) {
  LinkRecord& record = g_linkTable[slot];
  std::lock_guard<std::mutex> hold(record.idLock);
  std::memcpy(stid, record.STID, kLinkIdSize);
  std::memcpy(dtid, record.DTID, kLinkIdSize);
}

void SetLinkDtid(int slot, const char* dtid) {
  if (!IsValidSlot(slot)) return;
  LinkRecord& record = g_linkTable[slot];
  std::lock_guard<std::mutex> hold(record.idLock);
  std::snprintf(record.DTID, sizeof record.DTID, "%s", dtid);
}

int StartLinkEngine() {
  int started = 0;
  for (int slot = 0; slot < kLinkSlots; ++slot) {
    SelectEventSet& set = g_selectSets[slot];
    if (set.thread.joinable() || set.running.load() == 1) {
      ++started;  // already running
      continue;
    }
    set.running = 1;
    set.slot = slot;
    for (PHD* phd : {&g_linkTable[slot].control, &g_linkTable[slot].video, &g_linkTable[slot].audio}) {
      phd->abandon = false;
    }
    set.stopEvent = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    set.pollSet = ::epoll_create1(EPOLL_CLOEXEC);
    if (set.stopEvent < 0 || set.pollSet < 0) {
      LogMessage("%s:%d (%d)\r\n", LOGPOS, errno);
      StopSelectThread(&set);
      continue;
    }
    epoll_event stopEvent{};
    stopEvent.events = EPOLLIN;
    stopEvent.data.u64 = PackEvent(0, 0);
    if (::epoll_ctl(set.pollSet, EPOLL_CTL_ADD, set.stopEvent, &stopEvent) != 0) {
      LogMessage("%s:%d (%d)\r\n", LOGPOS, errno);
      StopSelectThread(&set);
      continue;
    }
    try {
      set.finished = false;
      set.thread = std::thread(ThreadSelect, &set);
      ++started;
    } catch (const std::system_error& e) {
      set.finished = true;
      LogMessage("%s:%d (error = %d)\r\n", LOGPOS, e.code().value());
    }
  }
  return started > 0 ? 1 : 0;
}

void StopSelectThread(SelectEventSet* set) {
  if (set == nullptr) return;
  if (set->thread.joinable()) {
    set->running = 0;
    LinkRecord& record = g_linkTable[set->slot];
    for (PHD* phd : {&record.control, &record.video, &record.audio}) phd->abandon = true;
    const std::uint64_t one = 1;
    if (set->stopEvent >= 0) {
      [[maybe_unused]] ssize_t r = ::write(set->stopEvent, &one, sizeof one);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kStopWaitMs);
    while (!set->finished.load() && std::chrono::steady_clock::now() < deadline) {
      ::usleep(5000);
    }
    if (set->finished.load()) {
      set->thread.join();
    } else {
      // A thread cannot be killed safely; it is left to end on its own. Its
      // events stay open so that it never waits on a reused descriptor.
      LogMessage("TERMINATE THREAD (SELECT).\r\n");
      set->thread.detach();
      set->stopEvent = -1;
      set->pollSet = -1;
      return;
    }
  }
  set->running = 0;
  for (int* fd : {&set->stopEvent, &set->pollSet}) {
    if (*fd >= 0 && ::close(*fd) != 0) LogMessage("%s:%d (%d)\r\n", LOGPOS, errno);
    *fd = -1;
  }
}

void StopLinkEngine() {
  for (int slot = 0; slot < kLinkSlots; ++slot) StopSelectThread(&g_selectSets[slot]);
}

int PrepareLink(int slot, WindowTarget* window, const char* address, int port) {
  if (!IsValidSlot(slot) || address == nullptr) {
    LogMessage("%s:%d\r\n", LOGPOS);
    return 0;
  }
  LinkRecord& record = g_linkTable[slot];
  TimedLockHolder hold(record.lock, TimedLock::kDefaultWaitMs, LOGPOS);
  if (!hold.held()) return 0;
  SetLinkDtid(slot, "TESSORA");
  ::usleep(10000);
  {
    std::lock_guard<std::mutex> ids(record.idLock);
    std::snprintf(record.STID, sizeof record.STID, "%d_%d", slot, static_cast<std::int32_t>(TickCount()));
  }
  std::snprintf(record.address, sizeof record.address, "%s", address);
  record.port = port;
  RegisterWindow(slot, window);
  return 1;
}

int ConnectChannel(const char* address, PHD* phd, SelectEventSet* set, int port, int type) {
  if (type < kControlChannel || type > kAudioChannel || phd == nullptr || set == nullptr ||
      phd->socket.load() != -1) {
    LogMessage("%s:%d\r\n", LOGPOS);
    return 0;
  }
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    LogMessage("%s:%d (%d)\r\n", LOGPOS, errno);
    return 0;
  }
  auto fail = [fd] {
    CloseSocket(fd);
    return 0;
  };
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(static_cast<std::uint16_t>(port));
  if (address == nullptr || ::inet_pton(AF_INET, address, &to.sin_addr) != 1) {
    LogMessage("%s:%d (%d)\r\n", LOGPOS, EINVAL);
    return fail();
  }
  if (::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
    if (errno != EINPROGRESS) {
      LogMessage("connect fail (%d) !!\r\n", errno);
      return fail();
    }
    pollfd p{fd, POLLOUT, 0};
    const int ready = ::poll(&p, 1, kConnectTimeoutMs);
    if (ready == 0) {
      LogMessage("connect timeout !!\r\n");
      return fail();
    }
    if (ready < 0) {
      LogMessage("connect fail (%d) !!\r\n", errno);
      return fail();
    }
    // Writable also means "refused" here: the outcome is in SO_ERROR.
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = errno;
    if (error != 0) {
      LogMessage("connect fail (%d) !!\r\n", error);
      return fail();
    }
  }
  const int on = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);

  std::lock_guard<std::mutex> hold(phd->io);
  if (phd->socket.load() != -1) {  // another thread opened it meanwhile
    LogMessage("%s:%d\r\n", LOGPOS);
    return fail();
  }
  phd->frameSink.Drop();
  phd->audioSink.Drop();
  phd->talkBack = false;
  phd->resyncing = false;
  phd->TYPE = type;
  phd->status = 6;
  phd->slot = set->slot;
  const std::uint32_t generation = phd->generation.fetch_add(1) + 1;
  phd->socket = fd;
  epoll_event event{};
  event.events = EPOLLIN | EPOLLRDHUP | EPOLLET;
  event.data.u64 = PackEvent(type, generation);
  if (set->pollSet >= 0 && ::epoll_ctl(set->pollSet, EPOLL_CTL_ADD, fd, &event) != 0) {
    LogMessage("%s:%d (%d)\r\n", LOGPOS, errno);
    phd->socket = -1;
    phd->generation.fetch_add(1);
    phd->status = 0;
    phd->TYPE = 0;
    phd->slot = -1;
    return fail();
  }
  phd->event = set->pollSet;
  return 1;
}

long SendOnChannel(PHD& phd, const void* data, std::size_t size) {
  std::lock_guard<std::mutex> hold(phd.io);
  const int fd = phd.socket.load();
  if (fd < 0) {
    errno = ENOTSOCK;
    return -1;
  }
  return ::send(fd, data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
}

int SendControlMessage(int slot, const char* body) {
  if (!IsValidSlot(slot) || body == nullptr) return kSendFailed;
  LinkRecord& record = g_linkTable[slot];
  if (record.control.socket.load() == -1) return kSendNotConnected;
  char stid[kLinkIdSize];
  char dtid[kLinkIdSize];
  CopyLinkIds(slot, stid, dtid);
  char message[kMessageBufferSize];
  const int length = ComposeMessage(message, sizeof message, stid, dtid, body);
  if (length < 0) return kSendFailed;
  const long sent = SendOnChannel(record.control, message, static_cast<std::size_t>(length));
  // Closed meanwhile (ENOTSOCK): as if it had been closed before the call.
  if (sent < 0) return errno == ENOTSOCK ? kSendNotConnected : kSendFailed;
  return kSendOk;
}

void ResetChannel(PHD* phd) {
  if (phd == nullptr) return;
  ResetIfCurrent(*phd, phd->generation.load());
}

void ExpectChannelClose(PHD* phd) {
  if (phd == nullptr) return;
  std::lock_guard<std::mutex> hold(phd->io);
  if (phd->socket.load() >= 0) phd->closeExpected = phd->generation.load();
}

void ReportChannelClose(PHD* phd) {
  if (phd == nullptr) return;
  std::lock_guard<std::mutex> hold(phd->io);
  phd->closeExpected = 0;
}

void CloseLink(int slot) {
  if (!IsValidSlot(slot)) return;
  LinkRecord& record = g_linkTable[slot];
  {
    TimedLockHolder hold(record.lock, TimedLock::kDefaultWaitMs, LOGPOS);
    // Closing matters more than the lock: a stuck holder must not keep a dead
    // connection open, and ResetChannel is safe without it.
    ResetChannel(&record.control);
    ResetChannel(&record.video);
    ResetChannel(&record.audio);
  }
  // The channels are gone; now let go of the pane's consumers, waiting for a
  // reader that took one before (without the slot lock: a window handler the
  // reader waits for may need it).
  record.window.Clear();
  record.video.frameSink.Clear();
  record.audio.audioSink.Clear();
}

void CloseAudioChannel(int slot) {
  if (!IsValidSlot(slot)) return;
  ResetChannel(&g_linkTable[slot].audio);
  g_linkTable[slot].audio.audioSink.Clear();
}

int ProcessEventSelection(PHD* phd, bool hangup) {
  if (phd == nullptr) return 0;
  const ChannelView view = ViewChannel(*phd);
  if (view.socket < 0) return 0;

  ReadResult result = ReadResult::kNoProgress;
  switch (phd->TYPE.load()) {
    case kControlChannel: {
      thread_local char message[kInboundBufferSize];
      result = ReceiveControlMessage(phd, message);
      if (result == ReadResult::kMessage) DispatchControlMessage(phd, message);
      break;
    }
    case kVideoChannel:
      result = ReceiveVideoFrame(phd);
      break;
    case kAudioChannel:
      result = ReceiveAudio(phd);
      break;
    default: {
      LogMessage("%s:%d (PHD::TYPE = %d)\r\n", LOGPOS, phd->TYPE.load());
      char scratch[kMessageBufferSize];
      const long n = ChannelRecv(view, scratch, sizeof scratch, 0);
      if (n < 1) LogMessage("%s:%d (error=%d)\r\n", LOGPOS, n == 0 ? 0 : errno);
      result = n == 0 ? ReadResult::kClosed : ReadResult::kProgress;
      break;
    }
  }

  if (result != ReadResult::kClosed) {
    int waiting = 0;
    {
      std::lock_guard<std::mutex> hold(phd->io);
      if (phd->generation.load() != view.generation) return 0;  // reset meanwhile
      if (::ioctl(view.socket, FIONREAD, &waiting) != 0) waiting = 0;
    }
    const bool progressed = result != ReadResult::kNoProgress && result != ReadResult::kNoConsumer;
    if (waiting > 0 && progressed) return 1;
    if (!hangup) {
      // Bytes wait that do not yet make a whole unit, or that nobody takes
      // yet (no frame sink between two renders): look again shortly as well
      // as on new data. A sender blocked on a full window sends nothing new,
      // so waiting for new data alone would stall the channel for good.
      const bool again = result == ReadResult::kNoProgress || result == ReadResult::kNoConsumer;
      return waiting > 0 && again ? 2 : 0;
    }
    // The peer has closed: whatever is left can never complete.
  }

  // Close event.
  int error = 0;
  {
    std::lock_guard<std::mutex> hold(phd->io);
    if (phd->generation.load() != view.generation) return 0;
    socklen_t length = sizeof error;
    if (::getsockopt(view.socket, SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = 0;
  }
  if (error != 0 && error != ECONNABORTED) LogMessage("%s:%d. (errno=%d)\n", LOGPOS, error);
  const int type = phd->TYPE.load();
  const int slot = phd->slot.load();
  const std::uint32_t expected = phd->closeExpected.load();
  const bool asked = expected != 0 && expected == view.generation;
  // Only the camera's doing is told: not a connection the viewer reset
  // meanwhile, nor one whose close it asked for. Told after the reset, so the
  // window may open the channel again at once.
  if (!ResetIfCurrent(*phd, view.generation) || asked) return 0;
  const unsigned message = ClosedMessage(type);
  if (message == 0) return 0;
  if (auto window = AcquireWindow(slot)) window->Post(message, 0, 0);
  return 0;
}
