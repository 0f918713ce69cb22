// The render: Start/Stop, the render threads presenting through a fake
// surface, the recorder hand-off and taking the recorder back, snapshots
// (also of pictures not shown), the display flag and the multimedia timer's
// ownership.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <thread>
#include <vector>

#include "VideoTestUtil.h"
#include "base/MediaRecorder.h"
#include "base/MultimediaTimer.h"
#include "base/WindowTarget.h"
#include "base/base.h"
#include "support/LatchRecorder.h"
#include "video/Convert.h"
#include "video/MVideoRender.h"
#include "video/MotionJpeg.h"
#include "video/VideoSurface.h"

namespace {

class FakeSurface : public BufferSurface {
 public:
  FakeSurface() : BufferSurface(kKindRGB32) {}
  int CreateVideoSurfaces(int w, int h) override {
    if (failCreate) return 0;
    return BufferSurface::CreateVideoSurfaces(w, h);
  }
  void PresentFrame(const std::uint8_t* picture, int w, int h, PictureRange range, bool mirror) override {
    BufferSurface::PresentFrame(picture, w, h, range, mirror);
    lastMirror = mirror;
    lastRange = static_cast<int>(range);
    presented.fetch_add(1);
  }
  int BlitFrame() override {
    blitted.fetch_add(1);
    return 1;
  }
  bool failCreate = false;
  std::atomic<int> presented{0};
  std::atomic<int> blitted{0};
  std::atomic<bool> lastMirror{false};
  std::atomic<int> lastRange{-1};
};

class FakeWindow : public WindowTarget {
 public:
  void Post(unsigned message, std::uintptr_t, std::intptr_t) override {
    std::lock_guard<std::mutex> lock(mutex);
    posted.push_back(message);
  }
  std::intptr_t Send(unsigned, std::uintptr_t, std::intptr_t) override { return 0; }
  std::vector<unsigned> Posted() {
    std::lock_guard<std::mutex> lock(mutex);
    return posted;
  }
  std::mutex mutex;
  std::vector<unsigned> posted;
};

class FakeRecorder : public MediaRecorder {
 public:
  struct Frame { int size, key, duration; };
  int WriteVideo(int size, const std::uint8_t*, int key, int duration) override {
    std::lock_guard<std::mutex> lock(mutex);
    frames.push_back({size, key, duration});
    return 1;
  }
  int WriteAudio(const std::uint8_t*, int) override { return 1; }
  std::vector<Frame> Frames() {
    std::lock_guard<std::mutex> lock(mutex);
    return frames;
  }
  std::mutex mutex;
  std::vector<Frame> frames;
};

// Polls |done| for up to 10 s (a bound against hanging, not a speed check).
template <typename F>
bool Eventually(F done) {
  for (int i = 0; i < 1000; ++i) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return done();
}

// Hands one frame, stamped |micros| after the epoch, to the queue the way the
// link's reader does.
void PushAt(MFrameQueue* q, const char* code, std::uint32_t seq, bool key, std::uint64_t micros,
            const vt::Bytes& payload) {
  FrameSlot* s = q->GetFreeFrameSlot();
  ASSERT_NE(s, nullptr);
  std::memset(s->header, 0, sizeof s->header);
  std::memcpy(s->header, code, 4);
  const std::uint32_t fields[5] = {static_cast<std::uint32_t>(micros / 1000000),
                                   static_cast<std::uint32_t>(micros % 1000000), seq,
                                   static_cast<std::uint32_t>(payload.size()), key ? 1u : 0u};
  std::memcpy(s->header + 4, fields, sizeof fields);
  std::memcpy(s->payload, payload.data(), payload.size());
  s->headerCount = 32;
  s->payloadCount = static_cast<int>(payload.size());
  if (q->SubmitFrame(s) == 1) {
    s->headerCount = s->payloadCount = s->ready = 0;
    q->RequireKeyFrame();
  }
}

void Push(MFrameQueue* q, const char* code, std::uint32_t seq, bool key, std::uint32_t ms,
          const vt::Bytes& payload) {
  PushAt(q, code, seq, key, std::uint64_t{ms} * 1000, payload);
}

VideoFormat Format(int codec, int w, int h) {
  VideoFormat f;
  f.codec = static_cast<std::uint8_t>(codec);
  f.width = w;
  f.height = h;
  return f;
}

// Simulated time: sleeps move the clock on (and yield for real briefly).
class FakeClock : public RenderClock {
 public:
  std::int64_t NowNanos() override { return now.load(); }
  void SleepMs(int ms) override {
    if (ms == 100) prebufferPolls.fetch_add(1);
    if (ms != 10 && ms != 100) Record(&sleeps, ms);  // the polls are not pacing
    Advance(ms);
  }
  void PreciseWaitMs(int ms) override {
    Record(&precise, ms);
    Advance(ms);
  }
  std::vector<int> Sleeps() { return Get(sleeps); }
  std::vector<int> Precise() { return Get(precise); }
  // Sleeps of the wait for 15 queued frames, counted as they begin.
  std::atomic<int> prebufferPolls{0};

 private:
  void Advance(int ms) {
    now.fetch_add(static_cast<std::int64_t>(ms) * 1000000);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  void Record(std::vector<int>* v, int ms) {
    std::lock_guard<std::mutex> lock(mutex);
    v->push_back(ms);
  }
  std::vector<int> Get(const std::vector<int>& v) {
    std::lock_guard<std::mutex> lock(mutex);
    return v;
  }
  std::atomic<std::int64_t> now{1'000'000'000};
  std::mutex mutex;
  std::vector<int> sleeps, precise;
};

TEST(VideoRender, StartRefusals) {
  FakeWindow window;
  struct Case { const char* name; bool surface; bool failCreate; bool format; bool window; VideoFormat f; };
  const Case cases[] = {
      {"no display", false, false, true, true, Format(0, 320, 240)},
      {"no format", true, false, false, true, Format(0, 320, 240)},
      {"no window", true, false, true, false, Format(0, 320, 240)},
      {"unknown codec", true, false, true, true, Format(3, 320, 240)},
      {"larger than the picture buffer", true, false, true, true, Format(0, 704, 480)},
      {"odd width", true, false, true, true, Format(0, 321, 240)},
      {"surfaces cannot be made", true, true, true, true, Format(0, 320, 240)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeSurface surface;
    surface.failCreate = c.failCreate;
    MVideoRender render(c.surface ? &surface : nullptr);
    testing::internal::CaptureStderr();
    EXPECT_EQ(render.Start(c.format ? &c.f : nullptr, c.window ? &window : nullptr), 0);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(render.State(), MVideoRender::kStopped);
    EXPECT_FALSE(MultimediaTimer::IsBegun());
  }
}

TEST(VideoRender, MotionJpegFramesAreRecordedPresentedAndSnapshotted) {
  FakeSurface surface;
  FakeWindow window;
  FakeRecorder recorder;
  vt::TempDir dir;
  MVideoRender render(&surface);
  const VideoFormat f = Format(kCodecMotionJpeg, 320, 240);
  ASSERT_EQ(render.Start(&f, &window), 1);
  EXPECT_EQ(render.State(), MVideoRender::kRunning);
  render.SetRecorder(&recorder);
  render.SetMirror(1);

  const vt::Bytes bad(500, 0x11);
  // Frames 40 ms apart, one broken frame (skipped, not recorded), then a
  // 600 ms gap (recorded with the 40 ms stand-in).
  const std::uint32_t times[] = {0, 40, 80, 120, 160, 760, 800};
  testing::internal::CaptureStderr();
  for (int i = 0; i < 7; ++i) {
    Push(render.Queue(), "MMJP", static_cast<std::uint32_t>(i + 1), i == 0, times[i],
         i == 2 ? bad : vt::EncodeJpeg(vt::Pattern(320, 240, 2, 1, i), 2, 1, 85, false));
  }
  // Frames 1..6 are taken; 1..5 are handled (each needs its successor).
  ASSERT_TRUE(Eventually([&] { return surface.presented.load() == 4 && surface.blitted.load() == 4; }));
  EXPECT_EQ(render.FramesPresented(), 4u);
  EXPECT_EQ(render.FramesSkipped(), 1u) << "the broken frame";
  EXPECT_EQ(render.SurfaceKind(), kKindRGB32);
  render.RequestSnapshot(dir.File("snap.jpg"), 1);
  Push(render.Queue(), "MMJP", 8, false, 840, vt::EncodeJpeg(vt::Pattern(320, 240, 2, 1, 8), 2, 1, 85, false));
  ASSERT_TRUE(Eventually([&] { return render.SnapshotPending() == 0; }));
  render.RequestSnapshot(dir.File("missing/snap.jpg"), 1);
  Push(render.Queue(), "MMJP", 9, false, 880, vt::EncodeJpeg(vt::Pattern(320, 240, 2, 1, 9), 2, 1, 85, false));
  ASSERT_TRUE(Eventually([&] { return render.SnapshotPending() == 0; }));
  render.Stop();
  const std::string log = testing::internal::GetCapturedStderr();
  EXPECT_EQ(render.State(), MVideoRender::kStopped);
  EXPECT_NE(log.find("(seq=3, size=500, w=320, h=240)"), std::string::npos) << log;

  const std::vector<FakeRecorder::Frame> frames = recorder.Frames();
  ASSERT_EQ(frames.size(), 6u);
  const int durations[] = {40, 40, 40, 40, 40, 40};  // 600 ms stands in as 40
  for (size_t i = 0; i < frames.size(); ++i) {
    EXPECT_EQ(frames[i].key, 1);
    EXPECT_EQ(frames[i].duration, durations[i]) << i;
  }
  EXPECT_TRUE(surface.lastMirror.load());
  EXPECT_EQ(surface.lastRange.load(), static_cast<int>(PictureRange::kFull)) << "JPEG samples are full range";
  EXPECT_EQ(window.Posted(), (std::vector<unsigned>{WM_SNAPSHOT_DONE, WM_SNAPSHOT_FAILED}));
  EXPECT_TRUE(std::filesystem::exists(dir.File("snap.jpg")));

  // The picture shown last is frame 7's (frame 8 was its successor; frame 9
  // waits for one).
  vt::Bytes expected(320 * 240 * 3 / 2);
  const vt::Bytes jpeg = vt::EncodeJpeg(vt::Pattern(320, 240, 2, 1, 6), 2, 1, 85, false);
  {
    TimedLockHolder hold(MotionJpegLock(), 1000, LOGPOS);
    ASSERT_EQ(DecodeJpegFrame(jpeg.data(), static_cast<int>(jpeg.size()), 320, 240, expected.data(),
                              expected.data() + 320 * 240 * 5 / 4, expected.data() + 320 * 240),
              0);
  }
  EXPECT_EQ(0, std::memcmp(render.Picture(), expected.data(), expected.size()));
}

TEST(VideoRender, DisplayOffDecodesWithoutPresenting) {
  FakeSurface surface;
  FakeWindow window;
  FakeRecorder recorder;
  MVideoRender render(&surface);
  render.SetDisplay(0);
  const VideoFormat f = Format(kCodecMotionJpeg, 320, 240);
  ASSERT_EQ(render.Start(&f, &window), 1);
  render.SetRecorder(&recorder);
  for (int i = 0; i < 4; ++i) {
    Push(render.Queue(), "MMJP", static_cast<std::uint32_t>(i + 1), true, static_cast<std::uint32_t>(i),
         vt::EncodeJpeg(vt::Pattern(320, 240, 2, 1, i), 2, 1, 85, false));
  }
  ASSERT_TRUE(Eventually([&] { return recorder.Frames().size() == 2; }));
  render.Stop();
  EXPECT_EQ(surface.presented.load(), 0);
  EXPECT_EQ(surface.blitted.load(), 0);
  EXPECT_EQ(render.FramesPresented(), 0u);
  EXPECT_EQ(render.FramesSkipped(), 2u);
  EXPECT_EQ(render.SurfaceKind(), 0);
}

// Frames 39.9 ms apart, across a second boundary: the durations handed to the
// recorder add up to the camera's time from the first to the last frame
// (ms 999 to 1199), so a recording's clock does not fall behind the camera's.
TEST(VideoRender, RecordedDurationsAddUpToTheCamerasTime) {
  FakeSurface surface;
  FakeWindow window;
  FakeRecorder recorder;
  MVideoRender render(&surface);
  render.SetDisplay(0);
  const VideoFormat f = Format(kCodecMotionJpeg, 320, 240);
  ASSERT_EQ(render.Start(&f, &window), 1);
  render.SetRecorder(&recorder);
  const vt::Bytes jpeg = vt::EncodeJpeg(vt::Pattern(320, 240, 2, 1, 0), 2, 1, 85, false);
  for (int i = 0; i < 7; ++i) {
    PushAt(render.Queue(), "MMJP", static_cast<std::uint32_t>(i + 1), true, 999950u + 39900u * i, jpeg);
  }
  // Frames 1..6 are taken; 1..5 are handed on (each needs its successor).
  ASSERT_TRUE(Eventually([&] { return recorder.Frames().size() == 5; }));
  render.Stop();
  int total = 0;
  for (const FakeRecorder::Frame& frame : recorder.Frames()) total += frame.duration;
  EXPECT_EQ(total, 200);  // not 40 + 4 * 39 = 196, each difference cut on its own
}

// An H.264 stream made by the ffmpeg tool, 40 frames of 320 x 240 with key
// frames at 0 and 20, one packet per frame; |keys| tells which are key frames.
std::vector<vt::Bytes> H264Stream(const vt::TempDir& dir, const std::string& pixFmt, std::vector<bool>* keys) {
  const std::string enc = dir.File("s.h264");
  if (vt::Run("ffmpeg -nostdin -y -loglevel error -f lavfi -i testsrc=size=320x240:rate=25 -frames:v 40 -pix_fmt " +
              pixFmt + " -c:v libx264 -profile:v baseline -bf 0 -g 20 -f h264 '" + enc + "'") != 0) {
    return {};
  }
  vt::Bytes stream;
  if (!vt::ReadFile(enc, &stream)) return {};
  return vt::SplitH264(stream, keys);
}

// Also: the pictures reach the surface with the range the stream gives,
// video range unless it is marked full.
TEST(VideoRender, MpegStreamWaitsForAKeyFrameAndFifteenFrames) {
  struct Case {
    const char* pixFmt;
    PictureRange range;
  };
  for (const Case& c : {Case{"yuv420p", PictureRange::kVideo}, Case{"yuvj420p -color_range pc", PictureRange::kFull}}) {
    SCOPED_TRACE(c.pixFmt);
    vt::TempDir dir;
    std::vector<bool> keys;
    const std::vector<vt::Bytes> frames = H264Stream(dir, c.pixFmt, &keys);
    ASSERT_EQ(frames.size(), 40u);

    FakeSurface surface;
    FakeWindow window;
    FakeClock clock;
    MVideoRender render(&surface, &clock);
    const VideoFormat f = Format(kCodecH264, 320, 240);
    ASSERT_EQ(render.Start(&f, &window), 1);
    // Frames from the middle of a GOP are discarded until the key frame.
    for (int i = 15; i < 20; ++i) Push(render.Queue(), "MMPG", static_cast<std::uint32_t>(i), keys[i], i, frames[i]);
    EXPECT_EQ(render.Queue()->Count(), 0);
    for (int i = 20; i < 34; ++i) Push(render.Queue(), "MMPG", static_cast<std::uint32_t>(i), keys[i], i, frames[i]);
    ASSERT_TRUE(keys[20]);
    // The poll before the second sleep from now looked at the 14 queued
    // frames and went on waiting.
    const int polls = clock.prebufferPolls.load();
    ASSERT_TRUE(Eventually([&] { return clock.prebufferPolls.load() >= polls + 2; }));
    EXPECT_EQ(surface.presented.load(), 0) << "shown before 15 frames were queued";
    for (int i = 34; i < 40; ++i) Push(render.Queue(), "MMPG", static_cast<std::uint32_t>(i), keys[i], i, frames[i]);
    // 20 frames accepted; 19 taken; 18 handled (each needs its successor).
    ASSERT_TRUE(Eventually([&] { return surface.presented.load() == 18; }));
    render.Stop();
    EXPECT_EQ(surface.blitted.load(), 18);
    EXPECT_EQ(render.FramesPresented(), 18u);
    EXPECT_EQ(render.Queue()->FramesAccepted(), 20u);
    EXPECT_EQ(render.Queue()->FramesDiscarded(), 5u);
    EXPECT_EQ(render.SurfaceKind(), 0) << "after Stop";
    EXPECT_EQ(surface.lastRange.load(), static_cast<int>(c.range));
    EXPECT_EQ(render.Range(), c.range);
  }
}

TEST(VideoRender, FirstRenderOfInstanceZeroOwnsTheTimer) {
  FakeWindow window;
  FakeSurface s1, s2;
  MVideoRender a(&s1), b(&s2);
  const VideoFormat f = Format(kCodecMotionJpeg, 320, 240);
  ASSERT_EQ(a.Start(&f, &window), 1);
  ASSERT_EQ(b.Start(&f, &window), 1);
  EXPECT_TRUE(a.OwnsTimer());
  EXPECT_FALSE(b.OwnsTimer());
  EXPECT_TRUE(MultimediaTimer::IsBegun());
  b.Stop();
  EXPECT_TRUE(MultimediaTimer::IsBegun());
  a.Stop();
  EXPECT_FALSE(MultimediaTimer::IsBegun());

  MVideoRender::SetInstanceNumber(1);
  ASSERT_EQ(a.Start(&f, &window), 1);
  EXPECT_FALSE(a.OwnsTimer());
  EXPECT_FALSE(MultimediaTimer::IsBegun());
  a.Stop();
  MVideoRender::SetInstanceNumber(0);
}

TEST(VideoRender, PacingWaitsUseTheTimerOnlyInTheRenderThatOwnsIt) {
  FakeWindow window;
  FakeSurface s1, s2;
  FakeClock c1, c2;
  MVideoRender owner(&s1, &c1), other(&s2, &c2);
  const VideoFormat f = Format(kCodecMotionJpeg, 320, 240);
  ASSERT_EQ(owner.Start(&f, &window), 1);
  ASSERT_EQ(other.Start(&f, &window), 1);
  const vt::Bytes jpeg = vt::EncodeJpeg(vt::Pattern(320, 240, 2, 1), 2, 1, 85, false);
  // Both threads stop at their first decode until every frame is queued, so
  // the queue lengths the pacing sees are known: 5, 4, 3, 2, 1 (frames 1..5
  // are shown; 6 waits for a successor and 7 for a second queued frame).
  ASSERT_EQ(MotionJpegLock().Acquire(1000, LOGPOS), 1);
  const std::uint32_t times[] = {0, 40, 80, 120, 121, 122, 123};
  for (int i = 0; i < 7; ++i) {
    Push(owner.Queue(), "MMJP", static_cast<std::uint32_t>(i + 1), i == 0, times[i], jpeg);
    Push(other.Queue(), "MMJP", static_cast<std::uint32_t>(i + 1), i == 0, times[i], jpeg);
  }
  MotionJpegLock().Release();
  ASSERT_TRUE(Eventually([&] { return s1.blitted.load() == 5 && s2.blitted.load() == 5; }))
      << s1.blitted.load() << " " << s2.blitted.load() << testing::PrintToString(c1.Precise());
  owner.Stop();
  other.Stop();
  // 40 ms apart plus the slow-down of a short queue (-4, then -6 per turn);
  // frame 5, 1 ms after frame 4, still waits because the wall clock was held
  // back.
  const std::vector<int> waits = {44, 46, 46, 7};
  EXPECT_EQ(c1.Precise(), waits);
  EXPECT_TRUE(c1.Sleeps().empty()) << testing::PrintToString(c1.Sleeps());
  EXPECT_EQ(c2.Sleeps(), waits);
  EXPECT_TRUE(c2.Precise().empty());
}

TEST(VideoRender, ThreadThatDoesNotEndIsLoggedAndLeftToFinish) {
  FakeSurface surface;
  FakeWindow window;
  auto render = std::make_unique<MVideoRender>(&surface);
  const VideoFormat f = Format(kCodecMotionJpeg, 320, 240);
  ASSERT_EQ(render->Start(&f, &window), 1);
  // Hold the Motion JPEG lock so the thread blocks in its lock wait.
  ASSERT_EQ(MotionJpegLock().Acquire(1000, LOGPOS), 1);
  const vt::Bytes jpeg = vt::EncodeJpeg(vt::Pattern(320, 240, 2, 1), 2, 1, 85, false);
  for (int i = 0; i < 3; ++i) Push(render->Queue(), "MMJP", static_cast<std::uint32_t>(i + 1), true, i, jpeg);
  // One frame left means the thread took two (a third needs two queued): it
  // holds a pair and goes on to the decode, into the lock wait.
  EXPECT_TRUE(Eventually([&] { return render->Queue()->Count() == 1; }));
  testing::internal::CaptureStderr();
  render->Stop();
  const std::string log = testing::internal::GetCapturedStderr();
  EXPECT_NE(log.find("render thread did not end"), std::string::npos) << log;
  EXPECT_EQ(render->State(), MVideoRender::kStopped);
  // A new Start is refused while the old thread still runs.
  testing::internal::CaptureStderr();
  EXPECT_EQ(render->Start(&f, &window), 0);
  testing::internal::GetCapturedStderr();
  MotionJpegLock().Release();
  render.reset();  // waits for the thread it left running
  EXPECT_EQ(surface.presented.load(), 0);
}

// Forty 320 x 240 frames 40 ms apart, Motion JPEG or H.264 (key frames at 0
// and 20), with the luma plane of each as the reference tools see it (full
// range).
struct TestStream {
  int codec = 0;
  std::vector<vt::Bytes> frames;
  std::vector<bool> keys;
  std::vector<vt::Bytes> luma;
  int pushed = 0;

  bool Make(int streamCodec, const vt::TempDir& dir) {
    codec = streamCodec;
    constexpr size_t kLuma = 320 * 240;
    if (codec == kCodecH264) {
      frames = H264Stream(dir, "yuv420p", &keys);
      vt::Bytes planes;
      if (frames.size() != 40 || !vt::ReferenceDecode(dir.File("s.h264"), "yuvj420p", &planes) ||
          planes.size() != 40 * kLuma * 3 / 2) {
        return false;
      }
      for (size_t i = 0; i < 40; ++i) {
        const auto* y = planes.data() + i * kLuma * 3 / 2;
        luma.emplace_back(y, y + kLuma);
      }
      return true;
    }
    for (int i = 0; i < 40; ++i) {
      const vt::Planes picture = vt::Pattern(320, 240, 2, 1, i);
      frames.push_back(vt::EncodeJpeg(picture, 2, 1, 85, false));
      keys.push_back(true);
      luma.push_back(picture.y);
    }
    return true;
  }
  // Hands the next |count| frames to |q| (sequence numbers from 1).
  void Feed(MFrameQueue* q, int count) {
    for (; count > 0 && pushed < static_cast<int>(frames.size()); --count, ++pushed) {
      Push(q, codec == kCodecH264 ? "MMPG" : "MMJP", static_cast<std::uint32_t>(pushed + 1), keys[pushed],
           static_cast<std::uint32_t>(pushed * 40), frames[pushed]);
    }
  }
  // Frames fed before the first one is handled (H.264 waits for 15 queued).
  int FirstPair() const { return codec == kCodecH264 ? 16 : 2; }
};


// Taking the recorder back (to stop, or to hand frames to the next file)
// waits for the frame being written: SetRecorder returns only once that write
// ended, and no later frame reaches the old recorder.
TEST(VideoRender, SetRecorderWaitsForTheFrameBeingWritten) {
  vt::TempDir dir;
  TestStream jpeg, h264;
  ASSERT_TRUE(jpeg.Make(kCodecMotionJpeg, dir));
  ASSERT_TRUE(h264.Make(kCodecH264, dir));
  struct Case {
    const char* name;
    const TestStream* stream;
    bool toNext;
  };
  const Case cases[] = {{"Motion JPEG, stop", &jpeg, false},
                        {"Motion JPEG, next recorder", &jpeg, true},
                        {"H.264, stop", &h264, false},
                        {"H.264, next recorder", &h264, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TestStream stream = *c.stream;
    FakeSurface surface;
    FakeWindow window;
    FakeClock clock;
    LatchRecorder old, next;
    MVideoRender render(&surface, &clock);
    const VideoFormat f = Format(stream.codec, 320, 240);
    ASSERT_EQ(render.Start(&f, &window), 1);
    render.SetRecorder(&old);
    old.HoldNextWrite();
    stream.Feed(render.Queue(), stream.FirstPair() + 1);
    ASSERT_TRUE(old.WaitUntilHeld());

    MediaRecorder* const successor = c.toNext ? &next : nullptr;
    bool writingAtReturn = true;
    int writesAtReturn = -1;
    std::thread owner([&] {
      render.SetRecorder(successor);
      writingAtReturn = old.Writing();
      writesAtReturn = old.Writes();
    });
    // The pointer changes at once; the owner then waits for the write.
    EXPECT_TRUE(Eventually([&] { return render.Recorder() == successor; }));
    old.Release();
    owner.join();
    EXPECT_FALSE(writingAtReturn) << "returned while the frame was being written";
    EXPECT_EQ(writesAtReturn, 1);

    // Every frame but the last two is handled (each needs its successor).
    stream.Feed(render.Queue(), 8);
    const int handled = stream.pushed - 2;
    ASSERT_TRUE(Eventually([&] { return surface.presented.load() == handled; })) << surface.presented.load();
    render.Stop();
    EXPECT_EQ(old.Writes(), 1) << "a frame reached the recorder after it was taken back";
    EXPECT_EQ(next.Writes(), c.toNext ? handled - 1 : 0);
  }
}

// Called on the render thread itself (here from inside the recorder's own
// write) the hand-over does not wait for that write, which would never end.
TEST(VideoRender, SetRecorderOnTheRenderThreadDoesNotWait) {
  class SelfStoppingRecorder : public MediaRecorder {
   public:
    explicit SelfStoppingRecorder(MVideoRender& render) : render_(render) {}
    int WriteVideo(int, const std::uint8_t*, int, int) override {
      writes.fetch_add(1);
      render_.SetRecorder(nullptr);
      return 1;
    }
    int WriteAudio(const std::uint8_t*, int) override { return 1; }
    std::atomic<int> writes{0};

   private:
    MVideoRender& render_;
  };
  vt::TempDir dir;
  TestStream stream;
  ASSERT_TRUE(stream.Make(kCodecMotionJpeg, dir));
  FakeSurface surface;
  FakeWindow window;
  FakeClock clock;
  MVideoRender render(&surface, &clock);
  SelfStoppingRecorder recorder(render);
  const VideoFormat f = Format(kCodecMotionJpeg, 320, 240);
  ASSERT_EQ(render.Start(&f, &window), 1);
  render.SetRecorder(&recorder);
  stream.Feed(render.Queue(), 6);
  ASSERT_TRUE(Eventually([&] { return surface.presented.load() == 4; }));
  render.Stop();
  EXPECT_EQ(recorder.writes.load(), 1);
  EXPECT_EQ(render.Recorder(), nullptr);
}

// A picture that is not shown (a covered pane, or every pane while another
// fills the screen) is still decoded, and a pending snapshot takes it.
TEST(VideoRender, SnapshotIsTakenWhileThePictureIsOff) {
  vt::TempDir dir;
  for (const int codec : {kCodecMotionJpeg, kCodecH264}) {
    SCOPED_TRACE(codec);
    TestStream stream;
    ASSERT_TRUE(stream.Make(codec, dir));
    FakeSurface surface;
    FakeWindow window;
    FakeClock clock;
    MVideoRender render(&surface, &clock);
    render.SetDisplay(0);
    const VideoFormat f = Format(codec, 320, 240);
    ASSERT_EQ(render.Start(&f, &window), 1);
    const std::string path = dir.File("off.jpg");
    std::filesystem::remove(path);
    render.RequestSnapshot(path, 1);
    stream.Feed(render.Queue(), stream.FirstPair() + 1);
    ASSERT_TRUE(Eventually([&] { return render.SnapshotPending() == 0; }));
    render.Stop();
    EXPECT_EQ(window.Posted(), std::vector<unsigned>{WM_SNAPSHOT_DONE});
    EXPECT_EQ(surface.presented.load(), 0);

    // The file holds one of the stream's pictures (not an empty buffer).
    vt::Bytes snapshot;
    ASSERT_TRUE(vt::ReferenceDecode(path, "yuvj422p", &snapshot));
    ASSERT_EQ(snapshot.size(), 320u * 240 * 2);
    double best = 0;
    for (const vt::Bytes& y : stream.luma) best = std::max(best, vt::Psnr(snapshot.data(), y.data(), y.size()));
    EXPECT_GT(best, 30.0);
  }
}

}  // namespace
