// CPU per recorded frame: 16 recorders at 25 fps with audio, against the
// ffmpeg tool remuxing the same packets with "-c copy" in the same run.
#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "base/avxxx.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/log.h>
}

namespace {

constexpr int kStreams = 16;

struct Frame {
  std::vector<std::uint8_t> data;
  bool key;
};

std::string g_dir;
std::string g_reference;
std::vector<Frame> g_frames;

double CpuSeconds(int who) {
  rusage ru{};
  getrusage(who, &ru);
  return ru.ru_utime.tv_sec + ru.ru_stime.tv_sec + (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

bool Prepare() {
  if (!g_frames.empty()) return true;
  std::string tmpl = (std::filesystem::temp_directory_path() / "tessora-recbench-XXXXXX").string();
  if (mkdtemp(tmpl.data()) == nullptr) return false;
  g_dir = tmpl;
  g_reference = g_dir + "/ref.mkv";
  const std::string cmd = "ffmpeg -nostdin -v error -y -f lavfi -i testsrc=size=640x480:rate=25 -t 10 "
                          "-c:v mpeg4 -enc_time_base 1:1000 -g 12 -bf 0 -b:v 1500k -flags +global_header '" +
                          g_reference + "'";
  if (std::system(cmd.c_str()) != 0) return false;
  AVFormatContext* ctx = nullptr;
  if (avformat_open_input(&ctx, g_reference.c_str(), nullptr, nullptr) < 0) return false;
  avformat_find_stream_info(ctx, nullptr);
  AVPacket* pkt = av_packet_alloc();
  while (av_read_frame(ctx, pkt) >= 0) {
    g_frames.push_back({std::vector<std::uint8_t>(pkt->data, pkt->data + pkt->size),
                        (pkt->flags & AV_PKT_FLAG_KEY) != 0});
    av_packet_unref(pkt);
  }
  av_packet_free(&pkt);
  avformat_close_input(&ctx);
  return !g_frames.empty();
}

// 16 files written frame by frame in turn, as 16 render threads would, with
// one 40 ms audio block per frame.
void BM_Recorder16x25fps(benchmark::State& state) {
  if (!Prepare()) {
    state.SkipWithError("ffmpeg could not make the reference stream");
    return;
  }
  static avxxx recorders[kStreams];
  std::vector<std::uint8_t> audio(320, 0xFF);
  double cpu = 0;
  long frames = 0;
  for (auto _ : state) {
    for (int s = 0; s < kStreams; ++s) {
      const std::string path = g_dir + "/rec" + std::to_string(s) + ".avi";
      recorders[s].Open(480, 640, path.c_str(), avxxx::kCodecMpeg4, avxxx::BitRateForQuality(6));
    }
    const double before = CpuSeconds(RUSAGE_SELF);
    for (const Frame& f : g_frames) {
      for (int s = 0; s < kStreams; ++s) {
        recorders[s].WriteAudio(audio.data(), static_cast<int>(audio.size()));
        recorders[s].WriteVideo(static_cast<int>(f.data.size()), f.data.data(), f.key, 40);
      }
    }
    for (int s = 0; s < kStreams; ++s) recorders[s].Close();
    cpu += CpuSeconds(RUSAGE_SELF) - before;
    frames += static_cast<long>(g_frames.size()) * kStreams;
  }
  state.counters["cpu_us_per_frame"] = cpu * 1e6 / frames;
  state.counters["frames"] = static_cast<double>(frames);
}

// The same packets remuxed by the ffmpeg tool, 16 times; its CPU is read
// from the children's usage.
void BM_FfmpegCopy16(benchmark::State& state) {
  if (!Prepare()) {
    state.SkipWithError("ffmpeg could not make the reference stream");
    return;
  }
  double cpu = 0;
  long frames = 0;
  for (auto _ : state) {
    const double before = CpuSeconds(RUSAGE_CHILDREN);
    for (int s = 0; s < kStreams; ++s) {
      const std::string cmd = "ffmpeg -nostdin -v error -y -i '" + g_reference + "' -c copy '" + g_dir +
                              "/copy" + std::to_string(s) + ".avi'";
      if (std::system(cmd.c_str()) != 0) state.SkipWithError("ffmpeg failed");
    }
    cpu += CpuSeconds(RUSAGE_CHILDREN) - before;
    frames += static_cast<long>(g_frames.size()) * kStreams;
  }
  state.counters["cpu_us_per_frame"] = cpu * 1e6 / frames;
  state.counters["frames"] = static_cast<double>(frames);
}

BENCHMARK(BM_Recorder16x25fps)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_FfmpegCopy16)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
  av_log_set_level(AV_LOG_ERROR);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (!g_dir.empty()) {
    std::error_code ec;
    std::filesystem::remove_all(g_dir, ec);
  }
  return 0;
}
