// A slot's consumers against its event thread: once unregistered, a window,
// frame sink or audio sink is never called again, even while the camera sends
// replies, video and audio at full rate; and talk-back never reaches a
// connection other than the audio connection it began on.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "TestCamera.h"
#include "link/CameraCommands.h"
#include "link/LinkEngine.h"
#include "link/LinkMessages.h"
#include "link/MediaStream.h"

namespace {

constexpr int kSlot = 11;

// Counts calls that arrive after the consumer was unregistered.
std::atomic<int> g_lateCalls{0};

struct Released {
  std::atomic<bool> released{false};
  void Check() {
    if (released.load()) g_lateCalls.fetch_add(1);
  }
};

class CheckedWindow : public WindowTarget, public Released {
 public:
  void Post(unsigned, std::uintptr_t, std::intptr_t) override {
    Check();
    posts.fetch_add(1);
  }
  std::intptr_t Send(unsigned, std::uintptr_t, std::intptr_t) override {
    Check();
    sends.fetch_add(1);
    return 0;
  }
  std::atomic<int> posts{0};
  std::atomic<int> sends{0};
};

// Takes every frame at once. The payload buffer is freed when the queue is
// released, as a pane's queue is when its render stops.
class CheckedQueue : public FrameSink, public Released {
 public:
  CheckedQueue() : buffer_(new std::uint8_t[FrameSlot::kMaxPayload]) { slot_.payload = buffer_.get(); }
  FrameSlot* GetFreeFrameSlot() override {
    Check();
    return &slot_;
  }
  int SubmitFrame(FrameSlot* slot) override {
    Check();
    slot->headerCount = slot->payloadCount = 0;
    frames.fetch_add(1);
    return 0;
  }
  void RequireKeyFrame() override { Check(); }
  void Free() { buffer_.reset(); }
  std::atomic<int> frames{0};

 private:
  std::unique_ptr<std::uint8_t[]> buffer_;
  FrameSlot slot_;
};

class CheckedPlayer : public AudioSink, public Released {
 public:
  int PushReceived(const std::uint8_t*, int count) override {
    Check();
    bytes.fetch_add(count);
    return count;
  }
  std::atomic<int> bytes{0};
};

std::string VideoPacket(std::uint32_t sequence) {
  std::string p(32, '\0');
  std::memcpy(p.data(), "MMPG", 4);
  const std::uint32_t fields[] = {0, 100, 5000, sequence, 48, 1};
  for (int f = 1; f < 6; ++f) {
    for (int i = 0; i < 4; ++i) p[static_cast<std::size_t>(4 * f + i)] = static_cast<char>(fields[f] >> (8 * i));
  }
  return p + std::string(48, 'v');
}

// Writes |next()| to |fd| again and again without blocking until |stop|.
void Pump(int fd, const std::atomic<bool>& stop, const std::function<std::string()>& next) {
  std::string pending;
  while (!stop.load()) {
    if (pending.empty()) pending = next();
    const ssize_t n = ::send(fd, pending.data(), pending.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      pending.erase(0, static_cast<std::size_t>(n));
    } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      pollfd p{fd, POLLOUT, 0};
      ::poll(&p, 1, 5);
    } else {
      return;
    }
  }
}

class SlotConsumers : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(StartLinkEngine(), 1);
    ASSERT_EQ(PrepareLink(kSlot, &signInWindow, "127.0.0.1", camera.port()), 1);
    ASSERT_EQ(OpenControl(kSlot, "admin", "pw", 0), 1);
    control = camera.AcceptSignIn("CMD#OPEN\nCLS#CONTROL\nRSP#ACK\nSTID#7_99\nVER#0,5,0,0");
    ASSERT_TRUE(signInWindow.WaitFor(WM_LOGIN_ACCEPTED));
    ASSERT_EQ(OpenVideoStream(kSlot), 1);
    video = camera.Accept();
    ASSERT_GE(video, 0);
    camera.ReadMessage(video);
    ASSERT_EQ(OpenAudioStream(kSlot), 1);
    audio = camera.Accept();
    ASSERT_GE(audio, 0);
    camera.ReadMessage(audio);
  }
  void TearDown() override { CloseLink(kSlot); }

  TestCamera camera;
  RecordingWindow signInWindow;
  int control = -1;
  int video = -1;
  int audio = -1;
};

// Consumers come and go while a reader may hold them; freed right after they
// are unregistered (the frame buffer at once, the objects at the end so that
// a late call is counted rather than undefined).
TEST_F(SlotConsumers, UnregisteredConsumersAreNeverCalledAgain) {
  g_lateCalls = 0;
  std::atomic<bool> stop{false};
  std::uint32_t sequence = 0;
  std::thread replies(Pump, control, std::cref(stop), [] {
    return CameraMessage("CMD#ALIVE\nRSP#ACK") + CameraMessage("CMD#SETUP\nCLS#VIDEO\nMTD#GET\nRSP#ACK\nVAR#RES=2;");
  });
  std::thread frames(Pump, video, std::cref(stop), [&sequence] { return VideoPacket(++sequence); });
  std::thread sound(Pump, audio, std::cref(stop), [] { return std::string(800, '\x7f'); });

  std::vector<std::unique_ptr<CheckedWindow>> windows;
  std::vector<std::unique_ptr<CheckedQueue>> queues;
  std::vector<std::unique_ptr<CheckedPlayer>> players;
  long long posts = 0, sends = 0, framesTaken = 0, bytes = 0;
  // 400 rounds within 4 s; then on, up to 30 s, with the consumers held
  // 50 ms a round, until every kind of traffic has reached a registered
  // consumer at least once (on a slow machine or a sanitizer build a whole
  // frame may not fit in the short rounds).
  const auto start = std::chrono::steady_clock::now();
  auto more = [&](int round) {
    const auto now = std::chrono::steady_clock::now();
    if (round < 400 && now < start + std::chrono::seconds(4)) return true;
    const bool allSeen = posts > 0 && sends > 0 && framesTaken > 0 && bytes > 0;
    return !allSeen && now < start + std::chrono::seconds(30);
  };
  for (int round = 0; more(round); ++round) {
    auto window = std::make_unique<CheckedWindow>();
    auto queue = std::make_unique<CheckedQueue>();
    auto player = std::make_unique<CheckedPlayer>();
    RegisterWindow(kSlot, window.get());
    SetFrameSink(kSlot, queue.get());
    SetAudioSink(kSlot, player.get());
    std::this_thread::sleep_for(std::chrono::milliseconds(round < 400 ? round % 3 : 50));
    // In a different order each round.
    switch (round % 3) {
      case 0: UnregisterWindow(kSlot); ClearFrameSink(kSlot); ClearAudioSink(kSlot); break;
      case 1: ClearAudioSink(kSlot); UnregisterWindow(kSlot); ClearFrameSink(kSlot); break;
      default: ClearFrameSink(kSlot); ClearAudioSink(kSlot); UnregisterWindow(kSlot); break;
    }
    window->released = true;
    queue->released = true;
    player->released = true;
    queue->Free();
    posts += window->posts;
    sends += window->sends;
    framesTaken += queue->frames;
    bytes += player->bytes;
    windows.push_back(std::move(window));
    queues.push_back(std::move(queue));
    players.push_back(std::move(player));
  }
  // Let the readers run on with nothing registered for a moment.
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  stop = true;
  replies.join();
  frames.join();
  sound.join();
  EXPECT_EQ(g_lateCalls.load(), 0);
  // The traffic did reach the consumers while they were registered.
  EXPECT_GT(posts, 0);
  EXPECT_GT(sends, 0);
  EXPECT_GT(framesTaken, 0);
  EXPECT_GT(bytes, 0);
}

// True once |done| holds, false when it still does not after 10 s.
bool WaitUntil(const std::function<bool()>& done) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// Unregistering waits for a reader that holds the consumer and returns once
// it lets go. The consumer is a window: while Clear() waits for a reader it
// cancels the window's pending sends, which tells the test that Clear() has
// found the reader and is waiting.
TEST(LinkConsumer, ClearWaitsForTheReaderHoldingIt) {
  struct WaitedOnWindow : CheckedWindow {
    void CancelPendingSends() override { cancels.fetch_add(1); }
    std::atomic<int> cancels{0};
  };
  g_lateCalls = 0;
  LinkConsumer<WindowTarget> entry;
  WaitedOnWindow window;
  entry.Set(&window);
  std::atomic<bool> holding{false};
  std::atomic<bool> letGo{false};
  std::thread reader([&] {
    auto guard = entry.Acquire();
    holding = static_cast<bool>(guard);
    while (!letGo.load()) std::this_thread::yield();
    if (guard) guard->Post(WM_USER, 0, 0);
  });
  std::atomic<bool> cleared{false};
  std::thread clearer;
  if (WaitUntil([&] { return holding.load(); })) {
    clearer = std::thread([&] {
      entry.Clear();
      window.released = true;  // its owner would free it now
      cleared = true;
    });
    EXPECT_TRUE(WaitUntil([&] { return window.cancels.load() > 0; })) << "Clear() did not wait for the reader";
    EXPECT_FALSE(cleared.load()) << "returned while a reader held the consumer";
    EXPECT_FALSE(entry.Acquire()) << "a new reader must find nothing";
  } else {
    ADD_FAILURE() << "the reader found no consumer";
  }
  letGo = true;
  reader.join();
  if (clearer.joinable()) clearer.join();
  EXPECT_TRUE(cleared.load());
  EXPECT_EQ(g_lateCalls.load(), 0) << "the reader's call came after Clear() returned";
}

// Talk-back is tied to the audio connection it began on: once the camera
// closes that connection nothing is sent, not even to a connection that was
// given the same socket number, nor to a new audio connection until talk-back
// begins again on it.
TEST_F(SlotConsumers, TalkBackNeverReachesAnotherConnection) {
  RecordingWindow window;
  RegisterWindow(kSlot, &window);
  const std::uint8_t block[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  TalkBackSender* sender = SlotTalkBack(kSlot);
  ASSERT_NE(sender, nullptr);
  EXPECT_EQ(sender->SendTalkBack(block, 16), -1) << "before BeginTalkBack";
  ASSERT_EQ(BeginTalkBack(kSlot), 1);
  ASSERT_EQ(sender->SendTalkBack(block, 16), 16);
  char got[64];
  EXPECT_EQ(::recv(audio, got, sizeof got, 0), 16);

  const int oldNumber = LinkSlot(kSlot).audio.socket.load();
  ::close(audio);  // the camera hangs up the audio channel
  ASSERT_TRUE(window.WaitFor(WM_AUDIO_CLOSED));
  ASSERT_TRUE(WaitUntil([] { return LinkSlot(kSlot).audio.socket.load() == -1; }));
  // Take the freed numbers with connections of our own.
  std::vector<std::pair<int, int>> pairs;
  bool reused = false;
  for (int i = 0; i < 4; ++i) {
    int fds[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
    reused = reused || fds[0] == oldNumber || fds[1] == oldNumber;
    pairs.emplace_back(fds[0], fds[1]);
  }
  EXPECT_TRUE(reused) << "the test wants the closed number in use again";
  errno = 0;
  EXPECT_EQ(sender->SendTalkBack(block, 16), -1);
  EXPECT_EQ(errno, ENOTSOCK);

  // A new audio connection: not written to until talk-back begins on it.
  ASSERT_EQ(OpenAudioStream(kSlot), 1);
  const int again = camera.Accept();
  ASSERT_GE(again, 0);
  camera.ReadMessage(again);
  EXPECT_EQ(sender->SendTalkBack(block, 16), -1);
  ASSERT_EQ(BeginTalkBack(kSlot), 1);
  EXPECT_EQ(sender->SendTalkBack(block, 16), 16);
  EXPECT_EQ(::recv(again, got, sizeof got, 0), 16);
  EndTalkBack(kSlot);
  EXPECT_EQ(sender->SendTalkBack(block, 16), -1);
  for (const auto& [a, b] : pairs) {
    EXPECT_EQ(::recv(a, got, sizeof got, MSG_DONTWAIT), -1);
    EXPECT_EQ(::recv(b, got, sizeof got, MSG_DONTWAIT), -1);
    ::close(a);
    ::close(b);
  }
  // Closing it ourselves is not reported as the camera's doing.
  CloseAudioChannel(kSlot);
  usleep(50000);
  EXPECT_EQ(window.Count(WM_AUDIO_CLOSED), 1);
  UnregisterWindow(kSlot);
}

}  // namespace
