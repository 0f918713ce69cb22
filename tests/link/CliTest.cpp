// tessora-cli against camsim: the sign-in result and VIDEO section of probe,
// a VIDEO section whose size no picture can have, refusals, a closed port,
// bad arguments, setup get and ptz. One camsim process serves the file.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "support/Camsim.h"
#include "support/ChildProcess.h"

namespace {

namespace fs = std::filesystem;

testsupport::Outcome RunCli(std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), TESSORA_CLI);
  testsupport::ChildProcess cli(arguments);
  testsupport::Outcome o = cli.Finish(60000);
  if (testsupport::SanitizerReport(o.out)) ADD_FAILURE() << o.out;
  return o;
}

// Camera 0 is a pan/tilt model with a plain VIDEO section; camera 1 says
// RES 3 (a size of its own choosing) with a width of 0. Small Motion JPEG
// loops keep the start quick.
class CliTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = fs::temp_directory_path() / ("tessora-link-cli-" + std::to_string(getpid()));
    fs::create_directories(dir_);
    std::ofstream(dir_ / "camsim.ini") << "[global]\nloop_seconds = 1\n"
                                          "[all]\ncodec = mjpeg422\nsize = 320x240\nUSER.ALLOW_MAX = 5\n"
                                          "[camera 0]\nmodel = 33554432\n"
                                          "[camera 1]\nVIDEO.RES = 3\nVIDEO.WIDTH = 0\n";
    camsim_ = std::make_unique<testsupport::Camsim>(CAMSIM);
    testsupport::CamsimOptions options;
    options.cameras = 2;
    options.admin = false;  // its port (Host(2)) stays without a listener
    options.config = (dir_ / "camsim.ini").string();
    if (!camsim_->Start(dir_.string(), options)) camsim_.reset();
  }
  static void TearDownTestSuite() {
    camsim_.reset();
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }
  void SetUp() override { ASSERT_NE(camsim_, nullptr) << "camsim did not start"; }

  // Control messages camera |camera| received with all of |needles|, once
  // at least |count| have arrived or a generous deadline passed.
  static int WaitEvents(std::initializer_list<const char*> needles, int camera, int count) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    int n = camsim_->CountEvents(needles, camera);
    while (n < count && std::chrono::steady_clock::now() < end) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      n = camsim_->CountEvents(needles, camera);
    }
    return n;
  }

  static std::unique_ptr<testsupport::Camsim> camsim_;
  static fs::path dir_;
};

std::unique_ptr<testsupport::Camsim> CliTest::camsim_;
fs::path CliTest::dir_;

TEST_F(CliTest, ProbeSignsInReadsTheVideoSectionAndSignsOut) {
  const int closes = camsim_->CountEvents({"\"CMD\":\"CLOSE\""}, 0);
  const auto o = RunCli({"probe", camsim_->Host(0), "-u", "admin", "-p", "admin"});
  EXPECT_EQ(o.status, 0) << o.out;
  EXPECT_NE(o.out.find("group: 0\n"), std::string::npos) << o.out;
  EXPECT_NE(o.out.find("model: 33554432\n"), std::string::npos) << o.out;
  EXPECT_NE(o.out.find("camera time: 20"), std::string::npos) << o.out;
  EXPECT_NE(o.out.find("video: Motion JPEG (VCODEC 0), 320x240\n"), std::string::npos) << o.out;
  EXPECT_EQ(WaitEvents({"\"CMD\":\"CLOSE\""}, 0, closes + 1), closes + 1);
}

// RES 3 with a width of 0 is no picture: the commands that read the VIDEO
// section stop with a message instead of showing or saving a 0-pixel one.
TEST_F(CliTest, AVideoSectionWithoutAUsableSizeFails) {
  const std::string jpeg = (dir_ / "none.jpg").string();
  const std::vector<std::vector<std::string>> commands = {
      {"probe", camsim_->Host(1), "-u", "admin", "-p", "admin"},
      {"snapshot", camsim_->Host(1), "-u", "admin", "-p", "admin", jpeg},
  };
  for (const auto& command : commands) {
    const auto o = RunCli(command);
    EXPECT_EQ(o.status, 1) << command[0] << "\n" << o.out;
    EXPECT_NE(o.out.find("error: the camera's VIDEO settings give no usable picture size"), std::string::npos)
        << command[0] << "\n" << o.out;
  }
  EXPECT_FALSE(fs::exists(jpeg));
}

TEST_F(CliTest, FailuresExitNonZeroWithAClearMessage) {
  const struct {
    std::vector<std::string> arguments;
    int status;
    const char* says;
  } cases[] = {
      {{"probe", camsim_->Host(0), "-u", "admin", "-p", "wrong"}, 1,
       "sign-in refused: 502 (id and password do not match)"},
      {{"probe", camsim_->Host(2), "-u", "a", "-p", "b"}, 1, "cannot connect"},
      {{"probe", "127.0.0.1:99999", "-u", "a"}, 2, "bad port"},
      {{"probe", "127.0.0.1"}, 2, "-u ID is missing"},
      {{"probe"}, 2, "HOST[:PORT] is missing"},
      {{"ptz", "127.0.0.1", "-u", "a", "--pan", "x"}, 2, "whole number"},
      {{"ptz", "127.0.0.1", "-u", "a"}, 2, "give one action"},
      {{"setup", "get", "NOSUCH", "127.0.0.1", "-u", "a"}, 2, "unknown section"},
      {{"setup", "set", "VIDEO", "127.0.0.1", "-u", "a"}, 2, "needs NAME=VALUE"},
      {{"frobnicate"}, 2, "unknown command"},
      {{"--help"}, 0, "usage: tessora-cli"},
  };
  for (const auto& c : cases) {
    const auto o = RunCli(c.arguments);
    EXPECT_EQ(o.status, c.status) << c.arguments[0] << "\n" << o.out;
    EXPECT_NE(o.out.find(c.says), std::string::npos) << c.arguments[0] << "\n" << o.out;
  }
}

TEST_F(CliTest, SetupGetPrintsPairsAndPtzSendsTheMove) {
  const auto get = RunCli({"setup", "get", "USER", camsim_->Host(0), "-u", "admin", "-p", "admin"});
  EXPECT_EQ(get.status, 0) << get.out;
  EXPECT_NE(get.out.find("ALLOW_MAX=5\n"), std::string::npos) << get.out;

  const char* move = "\"var\":\"PAN=-2;TILT=0;ZOOM=0;FOCUS=0;\"";
  const int before = camsim_->CountEvents({move}, 0);
  const auto ptz = RunCli({"ptz", camsim_->Host(0), "-u", "admin", "-p", "admin", "--pan", "-2"});
  EXPECT_EQ(ptz.status, 0) << ptz.out;
  EXPECT_EQ(WaitEvents({move}, 0, before + 1), before + 1);
}

}  // namespace
