// The mu-law coder against the reference values and against sox's coder.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "audio/AudioFifo.h"
#include "audio/MuLaw.h"

namespace {

TEST(MuLawTest, ReferenceValues) {
  struct Decode {
    std::uint8_t byte;
    int sample;
  };
  const Decode decodes[] = {{0xFF, 0}, {0x7F, 0}, {0x80, 32124}, {0x00, -32124}, {0xFE, 8}, {0x7E, -8}};
  for (const Decode& d : decodes) EXPECT_EQ(UlawToLinear(d.byte), d.sample) << int(d.byte);

  struct Encode {
    int sample;
    std::uint8_t byte;
  };
  const Encode encodes[] = {{0, 0xFF}, {-1, 0x7E}, {32767, 0x80}, {-32768, 0x00}, {32124, 0x80}, {-32124, 0x00}};
  for (const Encode& e : encodes) EXPECT_EQ(LinearToUlaw(static_cast<std::int16_t>(e.sample)), e.byte) << e.sample;
}

std::string Sox(const std::string& args) {
  const std::string cmd = "sox " + args + " 2>&1";
  FILE* p = popen(cmd.c_str(), "r");
  std::string out;
  char buf[256];
  while (p != nullptr && fgets(buf, sizeof buf, p) != nullptr) out += buf;
  const int rc = p != nullptr ? pclose(p) : -1;
  return rc == 0 ? std::string() : out.empty() ? "failed" : out;
}

class MuLawSoxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::system("command -v sox >/dev/null 2>&1") != 0) GTEST_SKIP() << "sox not installed";
    dir_ = std::filesystem::temp_directory_path() / ("tessora-ulaw-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  std::string File(const char* name) const { return (dir_ / name).string(); }
  static std::vector<char> Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  std::filesystem::path dir_;
};

TEST_F(MuLawSoxTest, DecodeAgreesForAll256Codes) {
  std::vector<std::uint8_t> codes(256);
  for (int i = 0; i < 256; ++i) codes[i] = static_cast<std::uint8_t>(i);
  std::ofstream(File("in.ul"), std::ios::binary).write(reinterpret_cast<char*>(codes.data()), 256);
  ASSERT_EQ(Sox("-t ul -r 8000 -c 1 " + File("in.ul") + " -t s16 -e signed -L " + File("out.s16")), "");
  const std::vector<char> out = Read(File("out.s16"));
  ASSERT_EQ(out.size(), 512u);
  for (int i = 0; i < 256; ++i) {
    const auto ref = static_cast<std::int16_t>(static_cast<std::uint8_t>(out[2 * i]) |
                                               static_cast<std::uint8_t>(out[2 * i + 1]) << 8);
    EXPECT_EQ(UlawToLinear(codes[i]), ref) << "code " << i;
  }
}

TEST_F(MuLawSoxTest, EncodeAgreesOverASweep) {
  // Every 14-bit input value (the encoder drops the two low bits by an
  // arithmetic shift; sox rounds them instead, so only multiples of 4 are
  // comparable), plus the extremes.
  std::vector<std::int16_t> samples;
  for (int s = -32768; s <= 32764; s += 4) samples.push_back(static_cast<std::int16_t>(s));
  samples.push_back(32767);
  std::ofstream(File("in.s16"), std::ios::binary)
      .write(reinterpret_cast<char*>(samples.data()), samples.size() * 2);
  // -D: no dither, so sox encodes each sample exactly.
  ASSERT_EQ(Sox("-D -t s16 -e signed -L -r 8000 -c 1 " + File("in.s16") + " -t ul " + File("out.ul")), "");
  const std::vector<char> out = Read(File("out.ul"));
  ASSERT_EQ(out.size(), samples.size());
  int mismatches = 0;
  for (size_t i = 0; i < samples.size(); ++i) {
    if (LinearToUlaw(samples[i]) != static_cast<std::uint8_t>(out[i]) && ++mismatches < 5) {
      ADD_FAILURE() << "sample " << samples[i] << ": " << int(LinearToUlaw(samples[i])) << " vs sox "
                    << int(static_cast<std::uint8_t>(out[i]));
    }
  }
  EXPECT_EQ(mismatches, 0);
}

// The FIFO keeps 3199 of 3200 bytes, drops the rest, and wraps in order.
TEST(AudioFifoTest, CapacityAndWrapping) {
  AudioFifo fifo;
  std::vector<std::uint8_t> in(8196);
  for (size_t i = 0; i < in.size(); ++i) in[i] = static_cast<std::uint8_t>(i * 13);
  EXPECT_EQ(fifo.Available(), 0);
  EXPECT_EQ(fifo.Write(in.data(), 8196), 3199);
  EXPECT_EQ(fifo.Available(), 3199);
  EXPECT_EQ(fifo.Write(in.data(), 1), 0);

  // Nine turns of 320, then a top-up that wraps past the end of the ring:
  // everything comes out once and in order.
  std::vector<std::uint8_t> expected(in.begin(), in.begin() + 3199);
  std::vector<std::uint8_t> out;
  std::uint8_t turn[320];
  for (int t = 0; t < 9; ++t) {
    ASSERT_EQ(fifo.Read(turn, 320), 320);
    out.insert(out.end(), turn, turn + 320);
  }
  EXPECT_EQ(fifo.Available(), 319);
  std::vector<std::uint8_t> more(1000, 0xA5);
  more[0] = 1, more[999] = 2;
  EXPECT_EQ(fifo.Write(more.data(), 1000), 1000);
  expected.insert(expected.end(), more.begin(), more.end());
  int n;
  while ((n = fifo.Read(turn, 320)) > 0) out.insert(out.end(), turn, turn + n);
  EXPECT_EQ(out, expected);
  fifo.Clear();
  EXPECT_EQ(fifo.Available(), 0);
  EXPECT_EQ(fifo.Free(), 3199);
}

}  // namespace
