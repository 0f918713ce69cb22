// Pacing accuracy: a real render thread shows a 25 fps Motion JPEG stream
// fed at the camera's pace with about 12 frames queued; each frame's show
// time is compared with its intended time (the first show plus the stream
// time since the first frame).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "BenchFixtures.h"
#include "base/WindowTarget.h"
#include "video/Convert.h"
#include "video/MVideoRender.h"
#include "video/VideoSurface.h"

namespace {

using Clock = std::chrono::steady_clock;

class TimingSurface : public BufferSurface {
 public:
  TimingSurface() : BufferSurface(kKindRGB32) { shows.reserve(1000); }
  int BlitFrame() override {
    std::lock_guard<std::mutex> lock(mutex);
    shows.push_back(Clock::now());
    return 1;
  }
  std::mutex mutex;
  std::vector<Clock::time_point> shows;
};

class NullWindow : public WindowTarget {
 public:
  void Post(unsigned, std::uintptr_t, std::intptr_t) override {}
  std::intptr_t Send(unsigned, std::uintptr_t, std::intptr_t) override { return 0; }
};

void Push(MFrameQueue* q, std::uint32_t seq, const bench::Packet& payload, int size) {
  FrameSlot* s = q->GetFreeFrameSlot();
  if (s == nullptr) return;
  std::memset(s->header, 0, sizeof s->header);
  std::memcpy(s->header, "MMJP", 4);
  const std::uint32_t ms = seq * 40;
  const std::uint32_t fields[5] = {ms / 1000, (ms % 1000) * 1000, seq, static_cast<std::uint32_t>(size),
                                   seq == 0 ? 1u : 0u};
  std::memcpy(s->header + 4, fields, sizeof fields);
  std::memcpy(s->payload, payload.data(), static_cast<size_t>(size));
  s->headerCount = 32;
  s->payloadCount = size;
  q->SubmitFrame(s);
}

void BM_PacingAccuracy25fps(benchmark::State& state) {
  const bench::Stream& s = bench::JpegStream(320, 240);
  const int frames = 150;
  std::vector<double> gaps;
  for (auto _ : state) {
    TimingSurface surface;
    NullWindow window;
    MVideoRender render(&surface);
    VideoFormat f;
    f.codec = 0;
    f.width = 320;
    f.height = 240;
    if (render.Start(&f, &window) != 1) {
      state.SkipWithError("render did not start");
      return;
    }
    // 12 frames at once, then one every 40 ms.
    const auto start = Clock::now();
    for (int i = 0; i < frames; ++i) {
      if (i >= 12) std::this_thread::sleep_until(start + std::chrono::milliseconds(40 * (i - 12)));
      Push(render.Queue(), static_cast<std::uint32_t>(i), s.packets[i % s.packets.size()], s.sizes[i % s.sizes.size()]);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    render.Stop();
    std::lock_guard<std::mutex> lock(surface.mutex);
    // Leave out the first few shows while the queue settles.
    for (size_t i = 10; i < surface.shows.size(); ++i) {
      const double intended = 40.0 * static_cast<double>(i - 10);
      const double actual = std::chrono::duration<double, std::milli>(surface.shows[i] - surface.shows[10]).count();
      gaps.push_back(std::abs(actual - intended));
    }
  }
  std::sort(gaps.begin(), gaps.end());
  if (gaps.empty()) return;
  state.counters["frames"] = static_cast<double>(gaps.size());
  state.counters["p50_ms"] = gaps[gaps.size() / 2];
  state.counters["p95_ms"] = gaps[gaps.size() * 95 / 100];
  state.counters["max_ms"] = gaps.back();
}

BENCHMARK(BM_PacingAccuracy25fps)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
