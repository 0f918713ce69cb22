#include <gtest/gtest.h>
#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "base/base.h"

namespace {

TEST(IsDottedAddress, Cases) {
  struct Case {
    const char* text;
    int expect;
  } cases[] = {
      {"192.168.0.10", 1}, {"0.0.0.0", 1},       {"127.0.0.1", 1},
      {"255.255.255.255", 0}, {"256.1.1.1", 0},  {"1.2.3", 0},
      {"camera.local", 0}, {"", 0},              {"http://10.0.0.1", 0},
  };
  for (const auto& c : cases) EXPECT_EQ(IsDottedAddress(c.text), c.expect) << c.text;
  EXPECT_EQ(IsDottedAddress(nullptr), 0);
}

TEST(ResolveHost, AcceptsAddressesNamesAndUrls) {
  struct Case {
    const char* text;
    int result;
    const char* address;
  } cases[] = {
      {"10.1.2.3", 0, "10.1.2.3"},
      {"http://127.0.0.1", 0, "127.0.0.1"},
      {"localhost", 0, "127.0.0.1"},
      {"rtsp://localhost", 0, "127.0.0.1"},
      // A port or path after the host is not removed, so the text does not resolve.
      {"http://127.0.0.1:9090", -1, ""},
      {"http://", -1, ""},
      {"no-such-host.invalid", -1, ""},
  };
  for (const auto& c : cases) {
    char out[16] = "junk";
    EXPECT_EQ(ResolveHost(c.text, out), c.result) << c.text;
    if (c.result == 0) {
      EXPECT_STREQ(out, c.address) << c.text;
    }
  }
}

// GetLocalAddress under a host name of the test's choosing: a child process
// in its own UTS namespace sets the name, calls it and reports through a
// pipe. The result (or "fail") and the return value come back as text.
// Empty when no UTS namespace could be made here.
std::string LocalAddressUnderName(const char* hostname) {
  int fds[2];
  if (pipe(fds) != 0) return {};
  const pid_t child = fork();
  if (child == 0) {
    close(fds[0]);
    if (unshare(CLONE_NEWUTS) != 0 && unshare(CLONE_NEWUSER | CLONE_NEWUTS) != 0) _exit(3);
    if (sethostname(hostname, std::strlen(hostname)) != 0) _exit(4);
    char out[128] = "junk";
    const std::string text = GetLocalAddress(out) == 1 ? std::string(out) : std::string("fail");
    const bool sent = write(fds[1], text.data(), text.size()) == static_cast<ssize_t>(text.size());
    _exit(sent ? 0 : 5);
  }
  close(fds[1]);
  std::string text;
  char buffer[128];
  for (ssize_t n; (n = read(fds[0], buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<std::size_t>(n));
  close(fds[0]);
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? text : std::string();
}

// The host's own name resolves as any other: a numeric name is its own
// address (no hosts file or name server involved), a name that cannot
// resolve gives 0.
TEST(GetLocalAddress, ResolvesTheHostName) {
  const struct {
    const char* hostname;
    const char* expect;
  } cases[] = {
      {"127.0.0.5", "127.0.0.5"},
      {"10.20.30.40", "10.20.30.40"},
      {"no-such-host.invalid", "fail"},
  };
  for (const auto& c : cases) {
    const std::string got = LocalAddressUnderName(c.hostname);
    if (got.empty()) GTEST_SKIP() << "no UTS namespace can be made here to set a host name";
    EXPECT_EQ(got, c.expect) << c.hostname;
  }
}

TEST(SecondsBetween, TruncatesTowardZero) {
  const std::int64_t s = 10'000'000;
  EXPECT_EQ(SecondsBetween(5 * s, 2 * s), 3);
  EXPECT_EQ(SecondsBetween(2 * s, 5 * s), -3);
  EXPECT_EQ(SecondsBetween(s + s - 1, 0), 1);
  EXPECT_EQ(SecondsBetween(0, s + s - 1), -1);
}

}  // namespace
