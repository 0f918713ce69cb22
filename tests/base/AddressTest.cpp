#include <gtest/gtest.h>

#include <cstdint>
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

TEST(GetLocalAddress, GivesADottedAddress) {
  char out[128] = {};
  if (GetLocalAddress(out) == 1) {
    EXPECT_EQ(IsDottedAddress(out), 1) << out;
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
