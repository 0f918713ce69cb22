// camsim: serves simulated cameras until interrupted.
#include <csignal>
#include <cstdio>

#include "Version.h"
#include "camsim/Server.h"

namespace {
camsim::Server* g_server = nullptr;
void OnSignal(int) {
  if (g_server) g_server->Stop();
}
}  // namespace

int main(int argc, char** argv) {
  camsim::Options options;
  std::string error;
  int parsed = camsim::ParseCommandLine(argc, argv, &options, &error);
  if (parsed == 2) {
    std::fputs(error.c_str(), stdout);
    return 0;
  }
  if (parsed == 3) {
    std::printf("camsim %s\n", TESSORA_VERSION_TEXT);
    return 0;
  }
  if (!parsed) {
    std::fprintf(stderr, "camsim: %s\n", error.c_str());
    return 2;
  }
  std::signal(SIGPIPE, SIG_IGN);
  camsim::Server server(options);
  if (!server.Start(&error)) {
    std::fprintf(stderr, "camsim: %s\n", error.c_str());
    return 1;
  }
  g_server = &server;
  std::signal(SIGINT, OnSignal);
  std::signal(SIGTERM, OnSignal);
  for (int i = 0; i < server.CameraCount(); ++i) {
    const camsim::Camera& cam = server.camera(i);
    std::printf("camera %d on %s:%d %s %dx%d@%d model %d\n", i, options.bind.c_str(), cam.port,
                camsim::VideoKindName(cam.key.kind), cam.key.width, cam.key.height, cam.cfg.fps, cam.cfg.model);
  }
  if (server.AdminPort()) std::printf("admin on 127.0.0.1:%d\n", server.AdminPort());
  std::printf("ready\n");
  std::fflush(stdout);
  int rc = server.Run();
  g_server = nullptr;
  return rc;
}
