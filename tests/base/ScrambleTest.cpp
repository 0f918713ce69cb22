#include <gtest/gtest.h>

#include <random>
#include <string>

#include "base/base.h"

namespace {

std::string Scramble(const std::string& text, unsigned k) {
  char out[1024];
  ScrambleTextWith(out, text.c_str(), sizeof out, k);
  return out;
}

TEST(ScrambleText, KnownOutputs) {
  struct Case {
    const char* clear;
    unsigned k;
    const char* scrambled;
  } cases[] = {
      {"abc", 32, "0c2c4c6020"},
      {"", 40, "28"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Scramble(c.clear, c.k), c.scrambled) << c.clear;
    EXPECT_EQ(UnscrambleText(std::string(c.scrambled)), c.clear);
  }
}

TEST(ScrambleText, PaddingRepeatsFirstByteAndRecordsCount) {
  const unsigned k = 33;
  const std::string s = Scramble("abcd", k);
  ASSERT_EQ(s.size(), 8u * 2 + 2);
  char expect[32];
  std::snprintf(expect, sizeof expect, "%08x%08x%02x", 0x616263u * k, 0x646161u * k, 2 * 64 + k);
  EXPECT_EQ(s, expect);
  EXPECT_EQ(UnscrambleText(s), "abcd");
}

TEST(UnscrambleText, RejectsMalformedInput) {
  for (const char* bad : {"123456789", "12345678901", "0c2c4c6000", "0c2c4c6x20", "0c2c4c60e0"}) {
    char out[64] = "untouched";
    UnscrambleText(bad, out, sizeof out);
    EXPECT_STREQ(out, "") << bad;
  }
}

TEST(UnscrambleText, OutputIsCutToBufferSize) {
  char out[3];
  UnscrambleText("0c2c4c6020", out, sizeof out);
  EXPECT_STREQ(out, "ab");
}

TEST(ScrambleText, RoundTripsRandomBytesForEveryMultiplier) {
  std::mt19937 rng(12345);
  for (unsigned k = 32; k <= 63; ++k) {
    for (int len = 0; len <= 200; len += 1 + static_cast<int>(rng() % 7)) {
      std::string clear(static_cast<std::size_t>(len), '\0');
      for (auto& c : clear) c = static_cast<char>(1 + rng() % 255);  // C strings: no NUL inside
      std::string s = Scramble(clear, k);
      ASSERT_EQ(s.size() % 8, 2u);
      ASSERT_EQ(UnscrambleText(s), clear) << "k=" << k << " len=" << len;
    }
  }
}

TEST(ScrambleText, RandomMultiplierIsInRange) {
  for (int i = 0; i < 200; ++i) {
    std::string s = ScrambleText(std::string("pw"));
    unsigned a = std::stoul(s.substr(s.size() - 2), nullptr, 16);
    EXPECT_GE(a & 63, 32u);
    EXPECT_EQ(UnscrambleText(s), "pw");
  }
}

}  // namespace
