// tessora-cli against the test camera: accepted and refused sign-in, closed
// port, bad arguments.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>
#include <thread>

#include "TestCamera.h"
#include "base/base.h"

namespace {

struct Outcome {
  int status = -1;
  std::string out;
};

Outcome RunCli(const std::string& arguments) {
  Outcome o;
  std::FILE* pipe = ::popen((std::string(TESSORA_CLI) + " " + arguments + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return o;
  char buffer[512];
  while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) o.out += buffer;
  const int raw = ::pclose(pipe);
  o.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return o;
}

// Answers one probe: sign-in (password "secret"), the VIDEO section, CLOSE.
void ServeProbe(TestCamera* camera, std::string* closing) {
  const int fd = camera->Accept();
  if (fd < 0) return;
  const std::string request = camera->ReadMessage(fd);
  if (UnscrambleText(LineValue(request, "PW")) != "secret") {
    TestCamera::Write(fd, CameraMessage("CMD#OPEN\nCLS#CONTROL\nRSP#NAK\nCODE#502"));
    camera->ReadMessage(fd, 2000);
    return;
  }
  TestCamera::Write(fd, CameraMessage("CMD#OPEN\nCLS#CONTROL\nRSP#ACK\nSTID#4_4\nVER#0,5,0,0\nGROUP#0\n"
                                      "MODEL#33554432\nNOW#1262304000\nZONE#15\nFLASH#1"));
  const std::string video = camera->ReadMessage(fd);
  if (LineValue(video, "CLS") == "VIDEO") {
    TestCamera::Write(fd, CameraMessage("CMD#SETUP\nCLS#VIDEO\nMTD#GET\nRSP#ACK\n"
                                        "VAR#RES=2;VCODEC=2;QUALITY=3;WIDTH=640;HEIGHT=480;"));
  }
  *closing = camera->ReadMessage(fd);
}

TEST(Cli, ProbeSignsInReadsTheVideoSectionAndSignsOut) {
  TestCamera camera;
  std::string closing;
  std::thread server(ServeProbe, &camera, &closing);
  const Outcome o = RunCli("probe 127.0.0.1:" + std::to_string(camera.port()) + " -u admin -p secret");
  server.join();
  EXPECT_EQ(o.status, 0) << o.out;
  EXPECT_NE(o.out.find("group: 0"), std::string::npos) << o.out;
  EXPECT_NE(o.out.find("model: 33554432"), std::string::npos);
  EXPECT_NE(o.out.find("camera time: 2010-01-01 00:00:00"), std::string::npos);
  EXPECT_NE(o.out.find("video: H.264 (VCODEC 2), 640x480"), std::string::npos);
  EXPECT_EQ(LineValue(closing, "CMD"), "CLOSE");
  EXPECT_EQ(LineValue(closing, "DTID"), "4_4");
}

TEST(Cli, FailuresExitNonZeroWithAClearMessage) {
  TestCamera camera;
  std::string closing;
  std::thread server(ServeProbe, &camera, &closing);
  const Outcome refused = RunCli("probe 127.0.0.1:" + std::to_string(camera.port()) + " -u admin -p wrong");
  server.join();
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.out.find("sign-in refused: 502 (id and password do not match)"), std::string::npos)
      << refused.out;

  int closedPort;
  {
    TestCamera gone;
    closedPort = gone.port();
  }
  const struct {
    std::string arguments;
    int status;
    const char* says;
  } cases[] = {
      {"probe 127.0.0.1:" + std::to_string(closedPort) + " -u a -p b", 1, "cannot connect"},
      {"probe 127.0.0.1:99999 -u a", 2, "bad port"},
      {"probe 127.0.0.1", 2, "-u ID is missing"},
      {"probe", 2, "HOST[:PORT] is missing"},
      {"ptz 127.0.0.1 -u a --pan x", 2, "whole number"},
      {"ptz 127.0.0.1 -u a", 2, "give one action"},
      {"setup get NOSUCH 127.0.0.1 -u a", 2, "unknown section"},
      {"setup set VIDEO 127.0.0.1 -u a", 2, "needs NAME=VALUE"},
      {"frobnicate", 2, "unknown command"},
      {"--help", 0, "usage: tessora-cli"},
  };
  for (const auto& c : cases) {
    const Outcome o = RunCli(c.arguments);
    EXPECT_EQ(o.status, c.status) << c.arguments << "\n" << o.out;
    EXPECT_NE(o.out.find(c.says), std::string::npos) << c.arguments << "\n" << o.out;
  }
}

TEST(Cli, SetupGetPrintsPairsAndPtzSendsTheMove) {
  TestCamera camera;
  std::string ptzMessage;
  std::thread server([&] {
    for (int round = 0; round < 2; ++round) {
      const int fd = camera.Accept();
      if (fd < 0) return;
      camera.ReadMessage(fd);
      TestCamera::Write(fd, CameraMessage("CMD#OPEN\nCLS#CONTROL\nRSP#ACK\nSTID#4_4\nVER#0,5,0,0"));
      const std::string m = camera.ReadMessage(fd);
      if (LineValue(m, "CMD") == "SETUP") {
        TestCamera::Write(fd, CameraMessage("CMD#SETUP\nCLS#USER\nMTD#GET\nRSP#ACK\nVAR#ALLOW_MAX=5;"));
      } else {
        ptzMessage = m;
      }
      camera.ReadMessage(fd);  // CLOSE
    }
  });
  const std::string at = "127.0.0.1:" + std::to_string(camera.port());
  const Outcome get = RunCli("setup get USER " + at + " -u admin -p x");
  const Outcome ptz = RunCli("ptz " + at + " -u admin -p x --pan -2");
  server.join();
  EXPECT_EQ(get.status, 0) << get.out;
  EXPECT_NE(get.out.find("ALLOW_MAX=5\n"), std::string::npos) << get.out;
  EXPECT_EQ(ptz.status, 0) << ptz.out;
  EXPECT_EQ(LineValue(ptzMessage, "VAR"), "PAN=-2;TILT=0;ZOOM=0;FOCUS=0;");
}

}  // namespace
