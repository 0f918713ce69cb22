// CPU that camsim's serving thread spends while 16 viewers watch 16 cameras
// at 640x480, 25 frames per second (goal: under 5 % of one core). The
// viewers only drain their sockets; their cost is not counted.
//   scripts/in-netns build-X/bench/camsim/bench_camsim
#include <benchmark/benchmark.h>
#include <poll.h>
#include <pthread.h>
#include <time.h>

#include <memory>
#include <thread>
#include <vector>

#include "CamsimClient.h"
#include "camsim/Server.h"

namespace {

double ThreadCpuSeconds(pthread_t thread) {
  clockid_t id;
  pthread_getcpuclockid(thread, &id);
  timespec ts{};
  clock_gettime(id, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

void BM_Serve16Cameras(benchmark::State& state) {
  const int cameras = 16;
  const double seconds = static_cast<double>(state.range(0));
  camsim::Options o;
  o.cameras = cameras;
  o.adminPort = 0;
  o.stdinCommands = false;
  for (int i = 0; i < cameras; ++i) o.cams.push_back(camsim::DefaultCamera(i));
  std::unique_ptr<camsim::Server> server;
  std::string error;
  for (int attempt = 0; attempt < 20 && !server; ++attempt) {
    o.port = 30000 + attempt * 32;
    auto s = std::make_unique<camsim::Server>(o);
    if (s->Start(&error)) server = std::move(s);
  }
  if (!server) {
    state.SkipWithError(error.c_str());
    return;
  }
  std::thread loop([&] { server->Run(); });
  std::vector<std::unique_ptr<camsim_test::Client>> controls, videos;
  for (int i = 0; i < cameras; ++i) {
    auto c = std::make_unique<camsim_test::Client>();
    c->stid = std::to_string(i) + "_1";
    c->Connect(server->CameraPort(i));
    c->SignIn("admin", "admin");
    auto v = std::make_unique<camsim_test::Client>();
    v->stid = c->stid;
    v->cameraId = c->cameraId;
    v->Connect(server->CameraPort(i));
    v->Send("CMD#OPEN\nCLS#VSTREAM");
    c->ReadFor("OPEN", "VSTREAM");
    c->Send("CMD#CONTROL\nCLS#VIDEO\nMTD#PLAY");
    c->ReadFor("CONTROL", "VIDEO");
    controls.push_back(std::move(c));
    videos.push_back(std::move(v));
  }
  std::vector<pollfd> fds;
  for (auto& v : videos) fds.push_back(pollfd{v->fd(), POLLIN, 0});
  std::vector<char> sink(1 << 16);
  double cpu = 0, bytes = 0;
  for (auto _ : state) {
    const double cpu0 = ThreadCpuSeconds(loop.native_handle());
    auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < until) {
      if (poll(fds.data(), fds.size(), 100) <= 0) continue;
      for (auto& p : fds) {
        if (p.revents & POLLIN) {
          ssize_t n = recv(p.fd, sink.data(), sink.size(), 0);
          if (n > 0) bytes += static_cast<double>(n);
        }
      }
    }
    cpu += ThreadCpuSeconds(loop.native_handle()) - cpu0;
  }
  const double wall = seconds * static_cast<double>(state.iterations());
  state.counters["cpu_percent_of_one_core"] = 100.0 * cpu / wall;
  state.counters["MB_per_s"] = bytes / wall / 1e6;
  std::printf("camsim serving %d cameras: %.2f %% of one core, %.1f MB/s\n", cameras, 100.0 * cpu / wall,
              bytes / wall / 1e6);
  server->Stop();
  loop.join();
}
BENCHMARK(BM_Serve16Cameras)->Arg(10)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
