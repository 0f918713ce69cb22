// The shared test helpers themselves: exit statuses as the tests read them,
// output through a pipe or a log file, the environment handed to the child,
// and port blocks that are free and below the ephemeral range.
#include <gtest/gtest.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "support/ChildProcess.h"
#include "support/FreePort.h"

namespace {

using testsupport::ChildOptions;
using testsupport::ChildProcess;

TEST(ChildProcess, StatusAndOutputOfEachEnding) {
  const struct {
    std::vector<std::string> argv;
    int status;
    const char* out;
  } cases[] = {
      {{"sh", "-c", "echo to-out; echo to-err >&2; exit 3"}, 3, "to-out\nto-err\n"},
      {{"sh", "-c", "kill -TERM $$"}, 128 + 15, ""},
      {{"/nonexistent/program"}, 127, ""},
  };
  for (const auto& c : cases) {
    ChildProcess child(c.argv);
    const testsupport::Outcome o = child.Finish(30000);
    EXPECT_EQ(o.status, c.status) << c.argv.back();
    EXPECT_EQ(o.out, c.out) << c.argv.back();
    EXPECT_FALSE(child.Running());
  }
}

TEST(ChildProcess, WaitForSeesTextAndGivesUpWhenTheChildEnds) {
  const std::string log = testing::TempDir() + "support-child-" + std::to_string(getpid()) + ".log";
  for (const bool toFile : {false, true}) {
    SCOPED_TRACE(toFile ? "log file" : "pipe");
    ChildOptions options{toFile ? log : "", {"SUPPORT_TEST_VALUE=handed over"}};
    ChildProcess child({"sh", "-c", "echo \"$SUPPORT_TEST_VALUE\"; exec sleep 600"}, options);
    EXPECT_TRUE(child.WaitFor("handed over\n", 30000)) << child.Output();
    EXPECT_TRUE(child.Running());
    EXPECT_EQ(child.Stop(), 128 + 15);  // ended by SIGTERM, reaped

    // The text never comes: WaitFor returns once the child has ended.
    ChildProcess quiet({"true"}, options);
    EXPECT_FALSE(quiet.WaitFor("never printed", 600000));
  }
  std::remove(log.c_str());
}

TEST(FreePortBlock, PortsAreFreeAndBelowTheEphemeralRange) {
  int low = 32768;
  std::ifstream("/proc/sys/net/ipv4/ip_local_port_range") >> low;
  for (const int count : {1, 4, 17}) {
    const int base = testsupport::FreePortBlock(count);
    ASSERT_GT(base, 0) << count;
    EXPECT_LT(base + count - 1, low) << count;
    for (int port = base; port < base + count; ++port) {
      const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
      sockaddr_in a{};
      a.sin_family = AF_INET;
      a.sin_port = htons(static_cast<std::uint16_t>(port));
      a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      EXPECT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0) << port;
      close(fd);
    }
    EXPECT_FALSE(testsupport::Accepts(base)) << base;
  }
}

}  // namespace
