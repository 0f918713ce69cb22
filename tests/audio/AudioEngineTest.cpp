// The playback and capture threads against fake devices.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "support/LatchRecorder.h"
#include "audio/MAudio.h"
#include "audio/MuLaw.h"

namespace {

// Polls |done| for up to ten seconds (a "does not hang" bound).
bool WaitFor(const std::function<bool()>& done) {
  for (int i = 0; i < 1000; ++i) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return done();
}

class FakeOutput : public AudioOutput {
 public:
  int Open() override { return Locked([&] { ++opens; return openResult; }); }
  void Close() override { Locked([&] { ++closes; return 0; }); }
  int Play() override { return Locked([&] { playing = true; return 1; }); }
  void Stop() override { Locked([&] { playing = false; return 0; }); }
  void Rewind() override { Locked([&] { ++rewinds; return 0; }); }
  int Restore() override { return Locked([&] { ++restores; lost = false; return 1; }); }
  int Write(const std::uint8_t* pcm, int bytes) override {
    return Locked([&] {
      if (lost) return kLost;
      writes.push_back(bytes);
      const auto* s = reinterpret_cast<const std::int16_t*>(pcm);
      samples.insert(samples.end(), s, s + bytes / 2);
      return bytes;
    });
  }
  template <typename F>
  int Locked(F f) {
    std::lock_guard<std::mutex> hold(mutex);
    return f();
  }
  std::mutex mutex;
  int openResult = 1;
  int opens = 0, closes = 0, rewinds = 0, restores = 0;
  bool playing = false, lost = false;
  std::vector<int> writes;
  std::vector<std::int16_t> samples;
};

class FakeRecorder : public MediaRecorder {
 public:
  int WriteVideo(int, const std::uint8_t*, int, int) override { return 1; }
  int WriteAudio(const std::uint8_t* data, int size) override {
    std::lock_guard<std::mutex> hold(mutex);
    bytes.insert(bytes.end(), data, data + size);
    blocks.push_back(size);
    return 1;
  }
  size_t Count() {
    std::lock_guard<std::mutex> hold(mutex);
    return bytes.size();
  }
  std::mutex mutex;
  std::vector<std::uint8_t> bytes;
  std::vector<int> blocks;
};

std::vector<std::uint8_t> Tone(int n) {
  std::vector<std::uint8_t> b(n);
  for (int i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(0x80 + (i * 37) % 120);
  return b;
}

TEST(MAudioPlayerTest, NoDeviceMeansStartFailsCleanly) {
  MAudioPlayer none;
  EXPECT_EQ(none.Start(), 0);
  FakeOutput out;
  out.openResult = 0;
  MAudioPlayer player(&out);
  EXPECT_EQ(player.Start(), 0);
  EXPECT_EQ(player.State(), kAudioStopped);
  const std::uint8_t b[4] = {};
  EXPECT_EQ(player.PushReceived(b, 4), 0) << "no FIFO while stopped";
}

// Received bytes are played in 320-byte turns, decoded sample by sample; a
// lost device is restored and the turn written again.
TEST(MAudioPlayerTest, PlaysReceivedBytesInTurns) {
  FakeOutput out;
  MAudioPlayer player(&out);
  ASSERT_EQ(player.Start(), 1);
  EXPECT_TRUE(out.playing);
  out.Locked([&] { out.lost = true; return 0; });
  const std::vector<std::uint8_t> bytes = Tone(8196);
  EXPECT_EQ(player.PushReceived(bytes.data(), 8196), 3199) << "the rest is dropped";
  ASSERT_TRUE(WaitFor([&] { return out.Locked([&] { return static_cast<int>(out.samples.size()); }) == 3199; }));
  player.Stop();
  EXPECT_EQ(player.State(), kAudioStopped);
  EXPECT_EQ(out.closes, 1);
  EXPECT_EQ(out.restores, 1);
  for (size_t i = 0; i + 1 < out.writes.size(); ++i) EXPECT_LE(out.writes[i], 640);
  for (int i = 0; i < 3199; ++i) ASSERT_EQ(out.samples[i], UlawToLinear(bytes[i])) << i;
  EXPECT_EQ(player.PushReceived(bytes.data(), 10), 0) << "after Stop nothing is stored";
}

// Muted (a pane that is not the selected one): nothing is played, but a
// running recording still receives every block; Resume plays again.
TEST(MAudioPlayerTest, MutedPlayerStillFeedsTheRecorder) {
  FakeOutput out;
  FakeRecorder rec;
  MAudioPlayer player(&out);
  player.SetRecorder(&rec);
  player.SetRecording(1);
  ASSERT_EQ(player.Start(), 1);
  player.Silence();
  EXPECT_TRUE(player.IsMuted());
  EXPECT_FALSE(out.playing);
  EXPECT_EQ(out.rewinds, 1);
  const std::vector<std::uint8_t> bytes = Tone(960);
  EXPECT_EQ(player.PushReceived(bytes.data(), 960), 960);
  ASSERT_TRUE(WaitFor([&] { return rec.Count() == 960; }));
  EXPECT_EQ(out.Locked([&] { return static_cast<int>(out.samples.size()); }), 0);
  EXPECT_EQ(rec.bytes, bytes);
  for (int b : rec.blocks) EXPECT_LE(b, 320);

  player.Resume();
  EXPECT_TRUE(out.playing);
  player.SetRecording(0);
  EXPECT_EQ(player.PushReceived(bytes.data(), 320), 320);
  ASSERT_TRUE(WaitFor([&] { return out.Locked([&] { return static_cast<int>(out.samples.size()); }) == 320; }));
  EXPECT_EQ(rec.Count(), 960u) << "recording off";
  player.Stop();
}

TEST(MAudioPlayerTest, SilenceEmptiesTheFifo) {
  FakeOutput out;
  MAudioPlayer player(&out);
  // Not started: the FIFO refuses, Silence and Resume are harmless.
  player.Silence();
  player.Resume();
  ASSERT_EQ(player.Start(), 1);
  player.Silence();
  const std::vector<std::uint8_t> bytes = Tone(3199);
  // Whatever the thread has not taken yet is discarded by the next Silence.
  player.PushReceived(bytes.data(), 3199);
  player.Silence();
  EXPECT_LE(player.PushReceived(bytes.data(), 3199), 3199);
  player.Stop();
  EXPECT_EQ(out.rewinds, 3);
}


// Taking the recorder back (to stop, or to hand the sound to the next file)
// waits for the block being written: SetRecorder returns only once that write
// ended, and no later block reaches the old recorder.
TEST(MAudioPlayerTest, SetRecorderWaitsForTheBlockBeingWritten) {
  for (const bool toNext : {false, true}) {
    SCOPED_TRACE(toNext ? "next recorder" : "stop");
    FakeOutput out;
    LatchRecorder old, next;
    MAudioPlayer player(&out);
    player.SetRecorder(&old);
    player.SetRecording(1);
    ASSERT_EQ(player.Start(), 1);
    old.HoldNextWrite();
    const std::vector<std::uint8_t> bytes = Tone(320 * 4);
    ASSERT_EQ(player.PushReceived(bytes.data(), 320), 320);
    ASSERT_TRUE(old.WaitUntilHeld());

    MediaRecorder* const successor = toNext ? &next : nullptr;
    bool writingAtReturn = true;
    int writesAtReturn = -1;
    std::thread owner([&] {
      player.SetRecorder(successor);
      writingAtReturn = old.Writing();
      writesAtReturn = old.Writes();
    });
    // The pointer changes at once; the owner then waits for the write.
    EXPECT_TRUE(WaitFor([&] { return player.Recorder() == successor; }));
    old.Release();
    owner.join();
    EXPECT_FALSE(writingAtReturn) << "returned while the block was being written";
    EXPECT_EQ(writesAtReturn, 1);

    // More sound, all of it played: none of it reaches the old recorder.
    ASSERT_EQ(player.PushReceived(bytes.data() + 320, 960), 960);
    ASSERT_TRUE(WaitFor([&] { return out.Locked([&] { return static_cast<int>(out.samples.size()); }) == 1280; }));
    player.Stop();
    EXPECT_EQ(old.Writes(), 1) << "a block reached the recorder after it was taken back";
    EXPECT_EQ(old.Bytes(), 320);
    EXPECT_EQ(next.Bytes(), toNext ? 960 : 0);
  }
}

// Called on the playback thread itself (here from inside the recorder's own
// write) the hand-over does not wait for that write, which would never end.
TEST(MAudioPlayerTest, SetRecorderOnThePlaybackThreadDoesNotWait) {
  class SelfStoppingRecorder : public MediaRecorder {
   public:
    explicit SelfStoppingRecorder(MAudioPlayer& player) : player_(player) {}
    int WriteVideo(int, const std::uint8_t*, int, int) override { return 1; }
    int WriteAudio(const std::uint8_t*, int) override {
      writes.fetch_add(1);
      player_.SetRecorder(nullptr);
      return 1;
    }
    std::atomic<int> writes{0};

   private:
    MAudioPlayer& player_;
  };
  FakeOutput out;
  MAudioPlayer player(&out);
  SelfStoppingRecorder rec(player);
  player.SetRecorder(&rec);
  player.SetRecording(1);
  ASSERT_EQ(player.Start(), 1);
  const std::vector<std::uint8_t> bytes = Tone(960);
  ASSERT_EQ(player.PushReceived(bytes.data(), 960), 960);
  ASSERT_TRUE(WaitFor([&] { return out.Locked([&] { return static_cast<int>(out.samples.size()); }) == 960; }));
  player.Stop();
  EXPECT_EQ(rec.writes.load(), 1);
  EXPECT_EQ(player.Recorder(), nullptr);
}

// A capture device fed by the test: blocks become available when the test
// adds samples; Wait signals when a whole block is there.
class FakeInput : public AudioInput {
 public:
  int Open() override { return openResult; }
  void Close() override {}
  int Start() override {
    std::lock_guard<std::mutex> hold(mutex);
    running = true;
    return 1;
  }
  void Stop() override {
    std::lock_guard<std::mutex> hold(mutex);
    running = false;
  }
  int Wait(int ms) override {
    std::unique_lock<std::mutex> hold(mutex);
    return ready.wait_for(hold, std::chrono::milliseconds(ms), [&] { return pcm.size() >= 2560; }) ? 1 : 0;
  }
  int Available() override {
    std::lock_guard<std::mutex> hold(mutex);
    ++looks;
    return static_cast<int>(pcm.size());
  }
  // Times the capture thread looked at what is available.
  int Looks() {
    std::lock_guard<std::mutex> hold(mutex);
    return looks;
  }
  int Read(std::uint8_t* out, int bytes) override {
    std::lock_guard<std::mutex> hold(mutex);
    reads.push_back(bytes);
    const int n = std::min<int>(bytes, static_cast<int>(pcm.size()));
    std::copy(pcm.begin(), pcm.begin() + n, out);
    pcm.erase(pcm.begin(), pcm.begin() + n);
    return n;
  }
  void Add(const std::vector<std::int16_t>& samples) {
    std::lock_guard<std::mutex> hold(mutex);
    const auto* b = reinterpret_cast<const std::uint8_t*>(samples.data());
    pcm.insert(pcm.end(), b, b + samples.size() * 2);
    ready.notify_all();
  }
  std::mutex mutex;
  std::condition_variable ready;
  std::vector<std::uint8_t> pcm;
  std::vector<int> reads;
  int looks = 0;
  int openResult = 1;
  bool running = false;
};

// The link's talk-back sender over one end of a socket pair.
class SocketSender : public TalkBackSender {
 public:
  long SendTalkBack(const std::uint8_t* bytes, int count) override {
    return ::send(fd, bytes, static_cast<std::size_t>(count), MSG_NOSIGNAL | MSG_DONTWAIT);
  }
  int fd = -1;
};

class MAudioCaptureTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds_), 0);
    fcntl(fds_[0], F_SETFL, O_NONBLOCK);
    sender_.fd = fds_[0];
  }
  void TearDown() override {
    if (fds_[0] >= 0) close(fds_[0]);
    if (fds_[1] >= 0) close(fds_[1]);
  }
  // Reads what arrived at the camera's end without waiting.
  std::vector<std::uint8_t> Received() {
    std::vector<std::uint8_t> got(1 << 16);
    const ssize_t n = recv(fds_[1], got.data(), got.size(), MSG_DONTWAIT);
    got.resize(n > 0 ? n : 0);
    return got;
  }
  static std::vector<std::int16_t> Ramp(int n, int start) {
    std::vector<std::int16_t> s(n);
    for (int i = 0; i < n; ++i) s[i] = static_cast<std::int16_t>((start + i * 97) % 60000 - 30000);
    return s;
  }
  int fds_[2] = {-1, -1};
  SocketSender sender_;
};

TEST_F(MAudioCaptureTest, StartFailsWithoutDevice) {
  MAudioCapture none;
  EXPECT_EQ(none.Start(&sender_), 0);
  FakeInput in;
  in.openResult = 0;
  MAudioCapture cap(&in);
  EXPECT_EQ(cap.Start(&sender_), 0);
  EXPECT_EQ(cap.State(), kAudioStopped);
}

// Less than a block: nothing is sent. Three blocks waiting: one block per
// turn, each 1280 mu-law bytes encoded from the captured samples.
TEST_F(MAudioCaptureTest, SendsWholeBlocksAsMuLaw) {
  FakeInput in;
  MAudioCapture cap(&in);
  ASSERT_EQ(cap.Start(&sender_), 1);
  const std::vector<std::int16_t> part = Ramp(1000, 0);
  in.Add(part);
  // The look before the second one from now saw the partial block.
  const int looks = in.Looks();
  ASSERT_TRUE(WaitFor([&] { return in.Looks() >= looks + 2; }));
  EXPECT_EQ(cap.BlocksSent(), 0);
  EXPECT_TRUE(Received().empty());

  std::vector<std::int16_t> rest = Ramp(3 * 1280 - 1000, 1000 * 97);
  in.Add(rest);
  ASSERT_TRUE(WaitFor([&] { return cap.BlocksSent() == 3; }));
  cap.Stop();
  std::vector<std::int16_t> all = part;
  all.insert(all.end(), rest.begin(), rest.end());
  const std::vector<std::uint8_t> got = Received();
  ASSERT_EQ(got.size(), 3u * 1280);
  for (size_t i = 0; i < got.size(); ++i) ASSERT_EQ(got[i], LinearToUlaw(all[i])) << i;
  for (int r : in.reads) EXPECT_EQ(r, 2560);
}

TEST_F(MAudioCaptureTest, PausedCaptureSendsNothing) {
  FakeInput in;
  MAudioCapture cap(&in);
  ASSERT_EQ(cap.Start(&sender_), 1);
  cap.Pause();
  EXPECT_FALSE(in.running);
  in.Add(Ramp(1280, 0));
  ASSERT_TRUE(WaitFor([&] { return in.Available() == 0; })) << "read while paused";
  EXPECT_EQ(cap.BlocksSent(), 0);
  cap.Resume();
  EXPECT_TRUE(in.running);
  in.Add(Ramp(1280, 0));
  ASSERT_TRUE(WaitFor([&] { return cap.BlocksSent() == 1; }));
  cap.Stop();
}

// The send rules: a full socket drops the block and goes on; a closed peer
// ends the thread (state stopped, device still open until Stop).
TEST_F(MAudioCaptureTest, SendErrorRules) {
  FakeInput in;
  MAudioCapture cap(&in);
  int small = 4096;
  setsockopt(fds_[0], SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
  ASSERT_EQ(cap.Start(&sender_), 1);
  for (int i = 0; i < 200; ++i) in.Add(Ramp(1280, i));
  ASSERT_TRUE(WaitFor([&] { return in.Available() == 0; }));
  EXPECT_EQ(cap.State(), kAudioRunning) << "would-block drops the block only";
  EXPECT_LT(cap.BlocksSent(), 200);

  close(fds_[1]);
  fds_[1] = -1;
  in.Add(Ramp(1280, 0));
  ASSERT_TRUE(WaitFor([&] { return cap.State() == kAudioStopped; }));
  cap.Stop();
}

}  // namespace
