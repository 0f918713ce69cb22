// Parse + dispatch of a typical reply, and the video reader over socketpairs
// at 16 streams x 25 fps of 30 KB frames (CPU per frame, bytes copied per frame).
#include <benchmark/benchmark.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include "link/ControlChannel.h"
#include "link/KeyValue.h"
#include "link/LinkEngine.h"
#include "link/MediaStream.h"

namespace {

struct NullWindow : WindowTarget {
  void Post(unsigned, std::uintptr_t, std::intptr_t) override {}
  std::intptr_t Send(unsigned, std::uintptr_t, std::intptr_t) override { return 0; }
};

const std::string kReply =
    "SRC#C\nSTID#7_99\nDST#V\nDTID#0_812\nCMD#SETUP\nCLS#VIDEO\nMTD#GET\nRSP#ACK\n"
    "VAR#RES=2;VCODEC=1;QUALITY=3;BRIGHT=5;CONTRAST=5;NIGHT_MODE=0;WIDTH=640;HEIGHT=480;"
    "DISPLAY_OSD_TIME=1;TIMEZONE=15;DISPLAY_OSD_NAME=1;OSD_NAME=Gate;OSD_COLOR=0;\n\n";

void BM_ParseAndDispatchReply(benchmark::State& state) {
  static NullWindow window;
  PrepareLink(1, &window, "127.0.0.1", 1);
  PHD phd;
  phd.slot = 1;
  char message[kInboundBufferSize];
  for (auto _ : state) {
    std::memcpy(message, kReply.c_str(), kReply.size() + 1);
    DispatchControlMessage(&phd, message);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_ParseAndDispatchReply);

void BM_ParseOnly(benchmark::State& state) {
  KeyValueList list;
  char message[kInboundBufferSize];
  for (auto _ : state) {
    std::memcpy(message, kReply.c_str(), kReply.size() + 1);
    list.Clear();
    ParseKeyValues(message, &list, kMessageDelimiters);
    benchmark::DoNotOptimize(FindValue(&list, "RSP"));
  }
}
BENCHMARK(BM_ParseOnly);

struct Queue : FrameSink {
  Queue() : buffer(FrameSlot::kMaxPayload) { slot.payload = buffer.data(); }
  FrameSlot* GetFreeFrameSlot() override { return &slot; }
  int SubmitFrame(FrameSlot* s) override {
    s->headerCount = s->payloadCount = 0;
    ++frames;
    return 0;
  }
  void RequireKeyFrame() override {}
  std::vector<std::uint8_t> buffer;
  FrameSlot slot;
  long frames = 0;
};

double ThreadCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// 16 streams, each fed 25 frames of 30 KB per iteration (one second of
// video) by a writer thread; the reader thread's CPU time is measured.
void BM_VideoReader16x25(benchmark::State& state) {
  constexpr int kStreams = 16;
  constexpr int kFramesPerSecond = 25;
  constexpr int kPayload = 30 * 1024;
  std::string frame(32 + kPayload, 'x');
  std::memcpy(frame.data(), "MMPG", 4);
  const std::int32_t size = kPayload;
  std::memcpy(frame.data() + 16, &size, 4);

  int pairs[kStreams][2];
  PHD phds[kStreams];
  Queue queues[kStreams];
  for (int i = 0; i < kStreams; ++i) {
    ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, pairs[i]);
    int big = 1 << 20;
    ::setsockopt(pairs[i][0], SOL_SOCKET, SO_SNDBUF, &big, sizeof big);
    phds[i].TYPE = kVideoChannel;
    phds[i].frameSink = &queues[i];
    phds[i].socket = pairs[i][1];
  }
  double cpu = 0;
  long frames = 0;
  const std::uint64_t copiedBefore = VideoBytesCopied();
  for (auto _ : state) {
    state.PauseTiming();
    std::thread writer([&] {
      for (int f = 0; f < kFramesPerSecond; ++f) {
        for (int i = 0; i < kStreams; ++i) {
          std::size_t done = 0;
          while (done < frame.size()) {
            const ssize_t n = ::send(pairs[i][0], frame.data() + done, frame.size() - done, 0);
            if (n > 0) done += static_cast<std::size_t>(n);
            else std::this_thread::yield();
          }
        }
      }
    });
    writer.join();
    state.ResumeTiming();
    const double start = ThreadCpuSeconds();
    for (int i = 0; i < kStreams; ++i) {
      while (ProcessEventSelection(&phds[i]) == 1) {
      }
    }
    cpu += ThreadCpuSeconds() - start;
    frames += kStreams * kFramesPerSecond;
  }
  long received = 0;
  for (auto& q : queues) received += q.frames;
  state.counters["cpu_us_per_frame"] = frames ? cpu * 1e6 / static_cast<double>(frames) : 0;
  state.counters["bytes_copied_per_frame"] =
      received ? static_cast<double>(VideoBytesCopied() - copiedBefore) / static_cast<double>(received) : 0;
  state.counters["frame_bytes"] = static_cast<double>(frame.size());
  state.counters["frames_received"] = static_cast<double>(received);
  for (int i = 0; i < kStreams; ++i) {
    ResetChannel(&phds[i]);
    ::close(pairs[i][0]);
  }
}
BENCHMARK(BM_VideoReader16x25)->Unit(benchmark::kMillisecond)->Iterations(20);

}  // namespace

BENCHMARK_MAIN();
