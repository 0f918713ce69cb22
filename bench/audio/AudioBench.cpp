// CPU of the playback and capture threads, idle and running, with devices
// that cost nothing, so the figure is the threads' own.
#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "audio/MAudio.h"

namespace {

constexpr int kSeconds = 3;

double CpuSeconds() {
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  return ru.ru_utime.tv_sec + ru.ru_stime.tv_sec + (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

class NullOutput : public AudioOutput {
 public:
  int Open() override { return 1; }
  void Close() override {}
  int Play() override { return 1; }
  void Stop() override {}
  void Rewind() override {}
  int Restore() override { return 1; }
  int Write(const std::uint8_t*, int bytes) override { return bytes; }
};

// Produces one 160 ms block every 160 ms of real time when |live|.
class PacedInput : public AudioInput {
 public:
  explicit PacedInput(bool live) : live_(live), start_(std::chrono::steady_clock::now()) {}
  int Open() override { return 1; }
  void Close() override {}
  int Start() override { return 1; }
  void Stop() override {}
  int Wait(int ms) override {
    std::this_thread::sleep_until(std::min(NextBlock(), std::chrono::steady_clock::now() + std::chrono::milliseconds(ms)));
    return Available() >= MAudioCapture::kBlockBytes ? 1 : 0;
  }
  int Available() override {
    if (!live_) return 0;
    const auto blocks = (std::chrono::steady_clock::now() - start_) / std::chrono::milliseconds(160);
    return static_cast<int>((blocks - taken_) * MAudioCapture::kBlockBytes);
  }
  int Read(std::uint8_t* out, int bytes) override {
    std::fill(out, out + bytes, 0x10);
    ++taken_;
    return bytes;
  }

 private:
  std::chrono::steady_clock::time_point NextBlock() const {
    if (!live_) return std::chrono::steady_clock::time_point::max();
    return start_ + std::chrono::milliseconds(160) * (taken_ + 1);
  }
  bool live_;
  std::chrono::steady_clock::time_point start_;
  long taken_ = 0;
};

void BM_PlaybackThread(benchmark::State& state) {
  const bool running = state.range(0) != 0;
  NullOutput out;
  MAudioPlayer player(&out);
  std::vector<std::uint8_t> block(320, 0x55);
  double percent = 0;
  for (auto _ : state) {
    player.Start();
    const double before = CpuSeconds();
    for (int i = 0; i < kSeconds * 25; ++i) {
      if (running) player.PushReceived(block.data(), 320);  // the link's 40 ms of sound
      std::this_thread::sleep_for(std::chrono::milliseconds(40));
    }
    percent = (CpuSeconds() - before) * 100.0 / kSeconds;
    player.Stop();
  }
  state.counters["cpu_percent_of_core"] = percent;
}

void BM_CaptureThread(benchmark::State& state) {
  const bool running = state.range(0) != 0;
  int fds[2];
  if (socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0) return;
  double percent = 0;
  for (auto _ : state) {
    PacedInput in(running);
    MAudioCapture capture(&in);
    capture.Start(fds[0]);
    const double before = CpuSeconds();
    std::vector<std::uint8_t> sink(65536);
    for (int i = 0; i < kSeconds * 10; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      while (recv(fds[1], sink.data(), sink.size(), MSG_DONTWAIT) > 0) {
      }
    }
    percent = (CpuSeconds() - before) * 100.0 / kSeconds;
    capture.Stop();
  }
  close(fds[0]);
  close(fds[1]);
  state.counters["cpu_percent_of_core"] = percent;
}

BENCHMARK(BM_PlaybackThread)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CaptureThread)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
