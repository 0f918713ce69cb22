// The camsim executable: start-up lines, the admin port, and a clean exit on
// SIGTERM.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

#include "CamsimClient.h"

namespace camsim_test {
namespace {

// Ends the child if an assertion leaves the test early.
struct ChildGuard {
  pid_t pid = -1;
  ~ChildGuard() {
    if (pid > 0) {
      kill(pid, SIGTERM);
      waitpid(pid, nullptr, 0);
    }
  }
};

TEST(Executable, AdminPortRunsCommandsAndTermStopsCleanly) {
  const int port = 10000 + static_cast<int>(getpid() % 1400) * 16;  // below the ephemeral range
  const int admin = port + 15;
  int out[2];
  ASSERT_EQ(pipe(out), 0);
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    dup2(out[1], 1);
    close(out[0]);
    execl(CAMSIM_BIN, "camsim", "--cameras", "2", "--port", std::to_string(port).c_str(), "--admin-port",
          std::to_string(admin).c_str(), "--no-stdin", static_cast<char*>(nullptr));
    _exit(127);
  }
  ChildGuard guard{pid};
  close(out[1]);
  FILE* lines = fdopen(out[0], "r");
  std::string all;
  char line[256];
  while (std::fgets(line, sizeof line, lines)) {
    all += line;
    if (std::string(line) == "ready\n") break;
  }
  EXPECT_NE(all.find("camera 1 on 127.0.0.1:" + std::to_string(port + 1) + " mpeg4 640x480@25"),
            std::string::npos)
      << all;

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

  kill(pid, SIGTERM);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  guard.pid = -1;
  EXPECT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  fclose(lines);
}

}  // namespace
}  // namespace camsim_test
