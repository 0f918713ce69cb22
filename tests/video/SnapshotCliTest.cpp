// End to end: tessora-cli snapshot against the camera simulator, for each of
// its codecs; the JPEG must be the 4:2:2 picture the camera drew.
#include <gtest/gtest.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "VideoTestUtil.h"
#include "camsim/TestPattern.h"

namespace {

int FreePort() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  socklen_t n = sizeof a;
  getsockname(fd, reinterpret_cast<sockaddr*>(&a), &n);
  close(fd);
  return ntohs(a.sin_port);
}

bool Accepts(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<std::uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  close(fd);
  return ok;
}

class Simulator {
 public:
  // Its output goes to |log|; it prints "ready" once its streams are made.
  Simulator(int port, const std::string& log) {
    pid_ = fork();
    if (pid_ == 0) {
      if (std::freopen(log.c_str(), "w", stdout) == nullptr) _exit(126);
      const std::string p = std::to_string(port);
      execl(CAMSIM, CAMSIM, "--cameras", "3", "--port", p.c_str(), "--admin-port", "0", "--no-stdin",
            static_cast<char*>(nullptr));
      _exit(127);
    }
  }
  ~Simulator() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }

 private:
  pid_t pid_ = -1;
};

TEST(SnapshotCommand, SavesTheCamerasPictureForEveryCodec) {
  vt::TempDir dir;
  const int port = FreePort();
  const std::string log = dir.File("camsim.log");
  Simulator sim(port, log);
  bool up = false;
  for (int i = 0; i < 6000 && !up; ++i) {  // a generous bound for slow builds
    vt::Bytes text;
    up = vt::ReadFile(log, &text) && std::string(text.begin(), text.end()).find("ready") != std::string::npos &&
         Accepts(port + 2);
    if (!up) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_TRUE(up) << "camera simulator did not start";
  const char* names[] = {"H.264", "MPEG-4", "Motion JPEG 4:2:2"};
  for (int camera = 0; camera < 3; ++camera) {
    SCOPED_TRACE(names[camera]);
    const std::string out = dir.File("cam" + std::to_string(camera) + ".jpg");
    ASSERT_EQ(vt::Run(std::string(TESSORA_CLI) + " snapshot 127.0.0.1:" + std::to_string(port + camera) +
                      " -u admin -p admin '" + out + "'"),
              0);
    std::istringstream info(vt::Capture("identify -format '%m %w %h %[jpeg:sampling-factor]' '" + out + "'"));
    std::string format, sampling;
    int w = 0, h = 0;
    info >> format >> w >> h >> sampling;
    ASSERT_EQ(format, "JPEG");
    ASSERT_EQ(w, 640);
    ASSERT_EQ(h, 480);
    EXPECT_EQ(sampling, "2x1,1x1,1x1");

    vt::Bytes gray;
    ASSERT_TRUE(vt::ReferenceDecode(out, "gray", &gray));
    ASSERT_EQ(gray.size(), 640u * 480u);
    // The first frames of the camera's loop as it drew them.
    double best = 0;
    for (int frame = 0; frame < 5; ++frame) {
      std::vector<std::uint8_t> y(640 * 480), cb(320 * 480), cr(320 * 480);
      camsim::PlanarPicture p{y.data(), cb.data(), cr.data(), 640, 480, 480, 640, 320};
      camsim::DrawTestPattern(p, camera, frame);
      best = std::max(best, vt::Psnr(gray.data(), y.data(), y.size()));
    }
    EXPECT_GT(best, 30.0);
  }
}

}  // namespace
