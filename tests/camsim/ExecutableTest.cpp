// The camsim executable: start-up lines, the admin port, and a clean exit on
// SIGTERM.
#include <gtest/gtest.h>
#include <signal.h>

#include <string>

#include "CamsimClient.h"
#include "support/ChildProcess.h"
#include "support/FreePort.h"

namespace camsim_test {
namespace {

TEST(Executable, AdminPortRunsCommandsAndTermStopsCleanly) {
  const int port = testsupport::FreePortBlock(3);
  ASSERT_GT(port, 0);
  const int admin = port + 2;
  testsupport::ChildProcess sim({CAMSIM_BIN, "--cameras", "2", "--port", std::to_string(port), "--admin-port",
                                 std::to_string(admin), "--no-stdin"});
  ASSERT_TRUE(sim.WaitFor("ready\n", 60000)) << sim.Output();
  EXPECT_NE(sim.Output().find("camera 1 on 127.0.0.1:" + std::to_string(port + 1) + " mpeg4 640x480@25"),
            std::string::npos)
      << sim.Output();

  Client viewer;
  ASSERT_TRUE(viewer.Connect(port));
  EXPECT_EQ(viewer.SignIn("user", "user").Get("RSP"), "ACK");

  Client control;
  ASSERT_TRUE(control.Connect(admin));
  struct Case {
    const char* command;
    const char* answer;
  } cases[] = {
      {"status\n", "signed-in 1"},
      {"motion 0\n", "OK\n"},
      {"frobnicate 0\n", "ERR unknown command"},
      {"stall 9 1\n", "ERR no camera 9"},
      {"close 0\n", "ERR close CAM CODE"},
  };
  for (const Case& k : cases) {
    ASSERT_TRUE(control.SendRaw(k.command));
    std::string answer;
    std::uint8_t b;
    // One line, or for status the camera lines up to "OK".
    while (answer.find('\n') == std::string::npos ||
           (answer.find("camera") == 0 && answer.find("OK\n") == std::string::npos)) {
      ASSERT_TRUE(control.ReadExact(&b, 1)) << k.command << answer;
      answer.push_back(static_cast<char>(b));
    }
    EXPECT_NE(answer.find(k.answer), std::string::npos) << k.command << answer;
  }
  EXPECT_EQ(viewer.ReadFor("ALARM", "MOTION").Get("MTD"), "DETECT");

  ASSERT_TRUE(sim.Signal(SIGTERM));
  EXPECT_EQ(sim.Finish(30000).status, 0);
}

}  // namespace
}  // namespace camsim_test
