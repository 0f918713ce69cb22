// The core path end to end against a simulated camera in the same process:
// sign-in, video channel, the link's reader filling the render's queue, the
// render thread decoding, converting to RGB32 and presenting on a surface
// that only counts. Measured:
//  - sign-in to first picture: from the sign-in request to the first
//    BlitFrame (prebuffering included), per camera format;
//  - CPU per shown frame of everything but the camera (link threads, render
//    thread), against bare libavcodec decoding the camera's own packets in
//    the same run.
//   scripts/in-netns build-X/bench/harness/bench_harness
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <pthread.h>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/log.h>
}

#include "base/WindowTarget.h"
#include "camsim/Server.h"
#include "link/CameraCommands.h"
#include "link/ControlChannel.h"
#include "link/KeyValue.h"
#include "link/LinkEngine.h"
#include "link/LinkMessages.h"
#include "link/MediaStream.h"
#include "video/Convert.h"
#include "video/MVideoRender.h"
#include "video/VideoSurface.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kSlot = 0;
constexpr int kWaitMs = 5000;
// Camera indexes of the simulator's default set: H.264, MPEG-4, Motion JPEG.
constexpr int kCameraH264 = 0;
constexpr int kCameraMpeg4 = 1;
constexpr int kCameraJpeg = 2;

// Seconds each core-path run lasts; TESSORA_BENCH_SECONDS shortens it.
int RunSeconds() {
  const char* s = std::getenv("TESSORA_BENCH_SECONDS");
  const int v = s != nullptr ? std::atoi(s) : 0;
  return v > 0 ? v : 8;
}

double ProcessCpuSeconds() {
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  return static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
         static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

double ThreadCpuSeconds(pthread_t thread) {
  clockid_t id;
  pthread_getcpuclockid(thread, &id);
  timespec ts{};
  clock_gettime(id, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

// On-CPU nanoseconds of every thread of this process, by thread id.
std::map<long, long long> ThreadCpuNanos() {
  std::map<long, long long> cpu;
  DIR* dir = opendir("/proc/self/task");
  if (dir == nullptr) return cpu;
  while (dirent* e = readdir(dir)) {
    if (e->d_name[0] == '.') continue;
    std::ifstream in(std::string("/proc/self/task/") + e->d_name + "/schedstat");
    long long ns = 0;
    if (in >> ns) cpu[std::atol(e->d_name)] = ns;
  }
  closedir(dir);
  return cpu;
}

// Queues the link's messages for the benchmark's thread; keeps the text of
// the VIDEO setup reply (valid only during the send).
class QueueWindow : public WindowTarget {
 public:
  struct Message {
    unsigned id = 0;
    std::string text;
  };
  void Post(unsigned message, std::uintptr_t, std::intptr_t) override { Push({message, {}}); }
  std::intptr_t Send(unsigned message, std::uintptr_t, std::intptr_t lParam) override {
    Message m{message, {}};
    if (message == WM_SETUP_VIDEO_GET && lParam != 0) m.text = reinterpret_cast<const char*>(lParam);
    Push(std::move(m));
    return 0;
  }
  // The first queued message among |wanted| (others are dropped).
  bool Wait(std::initializer_list<unsigned> wanted, Message* out) {
    std::unique_lock<std::mutex> hold(lock_);
    const auto deadline = Clock::now() + std::chrono::milliseconds(kWaitMs);
    for (;;) {
      while (!queue_.empty()) {
        Message m = std::move(queue_.front());
        queue_.pop_front();
        if (std::find(wanted.begin(), wanted.end(), m.id) != wanted.end()) {
          *out = std::move(m);
          return true;
        }
      }
      if (changed_.wait_until(hold, deadline) == std::cv_status::timeout && queue_.empty()) return false;
    }
  }
  void Clear() {
    std::lock_guard<std::mutex> hold(lock_);
    queue_.clear();
  }

 private:
  void Push(Message m) {
    std::lock_guard<std::mutex> hold(lock_);
    queue_.push_back(std::move(m));
    changed_.notify_all();
  }
  std::mutex lock_;  // guards queue_
  std::condition_variable changed_;
  std::deque<Message> queue_;
};

// A buffer surface that notes when the first picture is shown and counts them.
class CountingSurface : public BufferSurface {
 public:
  CountingSurface() : BufferSurface(kKindRGB32) {}
  int BlitFrame() override {
    if (shown.fetch_add(1) == 0) {
      std::lock_guard<std::mutex> hold(lock);
      first = Clock::now();
      firstShown.notify_all();
    }
    return 1;
  }
  bool WaitFirst(Clock::time_point* at) {
    std::unique_lock<std::mutex> hold(lock);
    if (!firstShown.wait_for(hold, std::chrono::milliseconds(kWaitMs), [&] { return shown.load() > 0; })) return false;
    *at = first;
    return true;
  }
  std::atomic<long> shown{0};
  std::mutex lock;  // guards first
  std::condition_variable firstShown;
  Clock::time_point first{};
};

// The simulated cameras, served by a thread of this process.
struct Camsim {
  std::unique_ptr<camsim::Server> server;
  std::thread loop;
  std::atomic<long> loopTid{0};  // the serving thread, left out of the viewer's CPU
  std::string error;

  bool Start() {
    if (server) return true;
    camsim::Options o;
    o.cameras = 3;
    o.adminPort = 0;
    o.stdinCommands = false;
    for (int i = 0; i < o.cameras; ++i) o.cams.push_back(camsim::DefaultCamera(i));
    for (int attempt = 0; attempt < 20 && !server; ++attempt) {
      o.port = 31000 + attempt * 8;
      auto s = std::make_unique<camsim::Server>(o);
      if (s->Start(&error) == 1) server = std::move(s);
    }
    if (!server) return false;
    loop = std::thread([this] {
      loopTid.store(static_cast<long>(gettid()));
      server->Run();
    });
    return true;
  }
  void Stop() {
    if (!server) return;
    server->Stop();
    loop.join();
    server.reset();
  }
};

Camsim& Sim() {
  static Camsim sim;
  return sim;
}

// One viewer session on |camera| up to the first shown picture.
class Viewer {
 public:
  // Signs in, opens and starts the video. Returns an empty string or what failed.
  std::string Open(int camera) {
    PrepareLink(kSlot, &window_, "127.0.0.1", Sim().server->CameraPort(camera));
    if (OpenControl(kSlot, "admin", "admin", 0) != 1) return "cannot connect";
    QueueWindow::Message m;
    if (!window_.Wait({WM_LOGIN_ACCEPTED, WM_LOGIN_REFUSED, WM_CONTROL_CLOSED}, &m) || m.id != WM_LOGIN_ACCEPTED) {
      return "sign-in failed";
    }
    signedIn_ = true;
    if (OpenVideoStream(kSlot) != 1 || !window_.Wait({WM_VSTREAM_OPENED, WM_VSTREAM_REFUSED, WM_CONTROL_CLOSED}, &m) ||
        m.id != WM_VSTREAM_OPENED) {
      return "video channel not opened";
    }
    if (SendSetupRequest(kSlot, "VIDEO", "GET", nullptr) != 1 ||
        !window_.Wait({WM_SETUP_VIDEO_GET, WM_CONTROL_CLOSED}, &m) || m.id != WM_SETUP_VIDEO_GET) {
      return "no VIDEO reply";
    }
    VideoFormat format;
    if (!ParseVideoFormat(m.text.data(), &format)) return "unusable VIDEO reply";
    if (render_.Start(&format, &window_) != 1) return "render did not start";
    if (StartVideo(kSlot, render_.Queue()) != 1 || !window_.Wait({WM_VIDEO_PLAY_ACK, WM_VIDEO_PLAY_NAK, WM_CONTROL_CLOSED}, &m) ||
        m.id != WM_VIDEO_PLAY_ACK) {
      return "video not started";
    }
    RequestKeyFrame(kSlot);
    return {};
  }
  bool WaitFirstPicture(Clock::time_point* at) { return surface_.WaitFirst(at); }
  long Shown() const { return surface_.shown.load(); }
  ~Viewer() {
    if (signedIn_) {
      StopVideo(kSlot);
      SendCloseRequest(kSlot);
    }
    CloseLink(kSlot);  // the link stops feeding the queue before the render goes
    render_.Stop();
    window_.Clear();
  }

 private:
  CountingSurface surface_;
  MVideoRender render_{&surface_};
  QueueWindow window_;
  bool signedIn_ = false;
};

// Sign-in to the first picture, several times; median and worst in ms.
void BM_SignInToFirstPicture(benchmark::State& state) {
  const int camera = static_cast<int>(state.range(0));
  if (!Sim().Start()) {
    state.SkipWithError(Sim().error.c_str());
    return;
  }
  std::vector<double> ms;
  for (auto _ : state) {
    const auto start = Clock::now();
    Clock::time_point first;
    {
      Viewer viewer;
      const std::string failed = viewer.Open(camera);
      if (!failed.empty() || !viewer.WaitFirstPicture(&first)) {
        state.SkipWithError(failed.empty() ? "no picture" : failed.c_str());
        return;
      }
    }
    ms.push_back(std::chrono::duration<double, std::milli>(first - start).count());
    state.PauseTiming();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // the camera drops the old session
    state.ResumeTiming();
  }
  std::sort(ms.begin(), ms.end());
  state.counters["first_picture_ms"] = ms[ms.size() / 2];
  state.counters["worst_ms"] = ms.back();
}

// CPU of the viewer's side per shown frame while one camera plays at 25 fps.
void BM_CorePath(benchmark::State& state) {
  const int camera = static_cast<int>(state.range(0));
  if (!Sim().Start()) {
    state.SkipWithError(Sim().error.c_str());
    return;
  }
  const int seconds = RunSeconds();
  double cpu = 0;
  long frames = 0;
  std::vector<long long> perThread;  // the viewer side's threads, busiest first
  for (auto _ : state) {
    Viewer viewer;
    const std::string failed = viewer.Open(camera);
    Clock::time_point first;
    if (!failed.empty() || !viewer.WaitFirstPicture(&first)) {
      state.SkipWithError(failed.empty() ? "no picture" : failed.c_str());
      return;
    }
    const long shown0 = viewer.Shown();
    const std::map<long, long long> threads0 = ThreadCpuNanos();
    const double cpu0 = ProcessCpuSeconds() - ThreadCpuSeconds(Sim().loop.native_handle());
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    cpu += ProcessCpuSeconds() - ThreadCpuSeconds(Sim().loop.native_handle()) - cpu0;
    frames += viewer.Shown() - shown0;
    for (const auto& [tid, ns] : ThreadCpuNanos()) {
      if (tid == Sim().loopTid.load()) continue;
      const auto before = threads0.find(tid);
      perThread.push_back(ns - (before != threads0.end() ? before->second : 0));
    }
  }
  // Where the time goes: the busiest thread (the render thread), the next
  // one (the link's select thread) and all the others together.
  std::sort(perThread.begin(), perThread.end(), std::greater<>());
  perThread.resize(std::max<std::size_t>(perThread.size(), 2), 0);
  long long others = 0;
  for (std::size_t i = 2; i < perThread.size(); ++i) others += perThread[i];
  const double perFrame = frames > 0 ? 1e-3 / static_cast<double>(frames) : 0;
  state.counters["busiest_thread_us_per_frame"] = static_cast<double>(perThread[0]) * perFrame;
  state.counters["second_thread_us_per_frame"] = static_cast<double>(perThread[1]) * perFrame;
  state.counters["other_threads_us_per_frame"] = static_cast<double>(others) * perFrame;
  state.counters["cpu_us_per_frame"] = frames > 0 ? cpu * 1e6 / static_cast<double>(frames) : 0;
  state.counters["frames_shown"] = static_cast<double>(frames);
  state.counters["fps"] = static_cast<double>(frames) / (seconds * static_cast<double>(state.iterations()));
}

// The packets the camera sends (its loop encoded again with the same key),
// each followed by the decoder's padding.
std::vector<std::vector<std::uint8_t>> CameraPackets(int camera, camsim::VideoKind* kind) {
  const camsim::LoopKey key = Sim().server->camera(camera).key;
  *kind = key.kind;
  std::vector<std::vector<std::uint8_t>> packets;
  const std::unique_ptr<camsim::StreamLoop> loop = camsim::EncodeLoop(key);
  if (!loop) return packets;
  for (int i = 0; i < loop->FrameCount(); ++i) {
    const std::uint8_t* d = loop->Data(i);
    std::vector<std::uint8_t> p(d, d + loop->frames[static_cast<std::size_t>(i)].size);
    p.resize(p.size() + AV_INPUT_BUFFER_PADDING_SIZE, 0);
    packets.push_back(std::move(p));
  }
  return packets;
}

// Bare libavcodec decoding the packets that camera sends, one thread. Arg 1:
// 0 decodes them back to back, 1 one every 40 ms as they arrive at 25 fps
// (the caches as cold as the render thread finds them).
void BM_BareLavc(benchmark::State& state) {
  const int camera = static_cast<int>(state.range(0));
  const bool paced = state.range(1) != 0;
  if (!Sim().Start()) {
    state.SkipWithError(Sim().error.c_str());
    return;
  }
  camsim::VideoKind kind;
  const std::vector<std::vector<std::uint8_t>> packets = CameraPackets(camera, &kind);
  if (packets.empty()) {
    state.SkipWithError("cannot encode the camera's loop");
    return;
  }
  const AVCodec* codec = avcodec_find_decoder(kind == camsim::VideoKind::kH264 ? AV_CODEC_ID_H264 : AV_CODEC_ID_MPEG4);
  AVCodecContext* ctx = avcodec_alloc_context3(codec);
  avcodec_open2(ctx, codec, nullptr);
  AVFrame* frame = av_frame_alloc();
  AVPacket* pkt = av_packet_alloc();
  const pthread_t self = pthread_self();
  const std::size_t count = paced ? static_cast<std::size_t>(RunSeconds()) * 25 : packets.size();
  double cpu = 0;
  long frames = 0, pictures = 0;
  for (auto _ : state) {
    const double cpu0 = ThreadCpuSeconds(self);
    const auto start = Clock::now();
    for (std::size_t n = 0; n < count; ++n) {
      if (paced) std::this_thread::sleep_until(start + std::chrono::milliseconds(40 * n));
      const std::vector<std::uint8_t>& p = packets[n % packets.size()];
      pkt->data = const_cast<std::uint8_t*>(p.data());
      pkt->size = static_cast<int>(p.size() - AV_INPUT_BUFFER_PADDING_SIZE);
      avcodec_send_packet(ctx, pkt);
      while (avcodec_receive_frame(ctx, frame) == 0) ++pictures;
    }
    cpu += ThreadCpuSeconds(self) - cpu0;
    frames += static_cast<long>(count);
  }
  av_packet_free(&pkt);
  av_frame_free(&frame);
  avcodec_free_context(&ctx);
  state.counters["cpu_us_per_frame"] = frames > 0 ? cpu * 1e6 / static_cast<double>(frames) : 0;
  state.counters["pictures"] = static_cast<double>(pictures);
}

BENCHMARK(BM_SignInToFirstPicture)
    ->Arg(kCameraH264)
    ->Arg(kCameraMpeg4)
    ->Arg(kCameraJpeg)
    ->ArgName("camera")
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_CorePath)->Arg(kCameraH264)->Arg(kCameraMpeg4)->ArgName("camera")->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_BareLavc)
    ->Args({kCameraH264, 0})
    ->Args({kCameraMpeg4, 0})
    ->Args({kCameraH264, 1})
    ->Args({kCameraMpeg4, 1})
    ->ArgNames({"camera", "paced"})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  av_log_set_level(AV_LOG_ERROR);
  benchmark::Initialize(&argc, argv);
  StartLinkEngine();
  benchmark::RunSpecifiedBenchmarks();
  StopLinkEngine();
  Sim().Stop();
  benchmark::Shutdown();
  return 0;
}
