// The encoded loops have the structure the viewer's decoders rely on.
#include <gtest/gtest.h>

#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <string>

#include "base/CodecHeaders.h"
#include "camsim/Encoders.h"
#include "camsim/StreamLoop.h"

namespace {

using camsim::LoopKey;
using camsim::VideoKind;

bool HasNal(const camsim::StreamLoop& loop, int frame, int type) {
  const auto& f = loop.frames[static_cast<std::size_t>(frame)];
  const std::uint8_t* d = loop.Data(frame);
  for (std::uint32_t i = 0; i + 3 < f.size; ++i) {
    if (d[i] == 0 && d[i + 1] == 0 && d[i + 2] == 1 && (d[i + 3] & 0x1F) == type) return true;
  }
  return false;
}

bool StartsWithCode(const camsim::StreamLoop& loop, int frame, std::uint8_t code) {
  const std::uint8_t* d = loop.Data(frame);
  return d[0] == 0 && d[1] == 0 && d[2] == 1 && d[3] == code;
}

// Sampling factors of the first frame's SOF0: (luma h, luma v, chroma h, chroma v).
std::array<int, 4> JpegSampling(const camsim::StreamLoop& loop, bool* hasDht) {
  const std::uint8_t* d = loop.Data(0);
  const std::uint32_t n = loop.frames[0].size;
  *hasDht = false;
  std::array<int, 4> out{};
  for (std::uint32_t i = 2; i + 4 < n;) {
    if (d[i] != 0xFF) break;
    std::uint8_t marker = d[i + 1];
    std::uint32_t len = static_cast<std::uint32_t>(d[i + 2] << 8 | d[i + 3]);
    if (marker == 0xC4) *hasDht = true;
    if (marker == 0xC0) {
      out = {d[i + 11] >> 4, d[i + 11] & 15, d[i + 14] >> 4, d[i + 14] & 15};
    }
    if (marker == 0xDA) break;
    i += 2 + len;
  }
  return out;
}

struct KindCase {
  VideoKind kind;
};

class LoopKinds : public ::testing::TestWithParam<VideoKind> {};

TEST_P(LoopKinds, WholeGroupsStartingWithAKeyFrame) {
  LoopKey key{GetParam(), 320, 240, 25, 1, 2};
  auto loop = camsim::EncodeLoop(key);
  ASSERT_TRUE(loop);
  ASSERT_EQ(loop->FrameCount(), 25);
  for (int i = 0; i < loop->FrameCount(); ++i) {
    const bool jpeg = camsim::IsJpegKind(key.kind);
    EXPECT_EQ(loop->frames[static_cast<std::size_t>(i)].key, jpeg || i == 0) << i;
    EXPECT_GT(loop->frames[static_cast<std::size_t>(i)].size, 0u);
    EXPECT_LE(loop->frames[static_cast<std::size_t>(i)].size, 256000u);
  }
  EXPECT_EQ(loop->NextKeyFrame(5), camsim::IsJpegKind(key.kind) ? 5 : 0);
}

INSTANTIATE_TEST_SUITE_P(All, LoopKinds,
                         ::testing::Values(VideoKind::kH264, VideoKind::kMpeg4, VideoKind::kMpeg4Bare,
                                           VideoKind::kJpeg422, VideoKind::kJpeg420, VideoKind::kJpeg422NoDht,
                                           VideoKind::kJpeg420NoDht, VideoKind::kLavcJpeg422));

TEST(Loops, H264CarriesParameterSetsBeforeEveryIdrAndNoBFrames) {
  auto loop = camsim::EncodeLoop(LoopKey{VideoKind::kH264, 320, 240, 25, 2, 0});
  ASSERT_TRUE(loop);
  ASSERT_EQ(loop->FrameCount(), 50);
  for (int i : {0, 25}) {
    EXPECT_TRUE(loop->frames[static_cast<std::size_t>(i)].key);
    EXPECT_TRUE(HasNal(*loop, i, 7)) << i;  // SPS
    EXPECT_TRUE(HasNal(*loop, i, 8)) << i;  // PPS
    EXPECT_TRUE(HasNal(*loop, i, 5)) << i;  // IDR slice
  }
  EXPECT_FALSE(HasNal(*loop, 1, 7));
  // profile_idc 66 (Baseline) follows the SPS NAL header.
  const std::uint8_t* d = loop->Data(0);
  for (std::uint32_t i = 0; i + 4 < loop->frames[0].size; ++i) {
    if (d[i] == 0 && d[i + 1] == 0 && d[i + 2] == 1 && (d[i + 3] & 0x1F) == 7) {
      EXPECT_EQ(d[i + 4], 66);
      break;
    }
  }
}

TEST(Loops, Mpeg4HeadersOnKeyFramesOnlyAndBareVariantStartsAtTheVop) {
  auto full = camsim::EncodeLoop(LoopKey{VideoKind::kMpeg4, 320, 240, 25, 1, 0});
  auto bare = camsim::EncodeLoop(LoopKey{VideoKind::kMpeg4Bare, 320, 240, 25, 1, 0});
  ASSERT_TRUE(full && bare);
  EXPECT_TRUE(StartsWithCode(*full, 0, 0xB0));  // VOS first
  EXPECT_GT(camsim::Mpeg4HeaderLength(full->Data(0), full->frames[0].size), 0u);
  EXPECT_TRUE(StartsWithCode(*full, 1, 0xB6));
  for (int i = 0; i < bare->FrameCount(); ++i) EXPECT_TRUE(StartsWithCode(*bare, i, 0xB6)) << i;
}

// The bytes after the first 00 00 01 start code whose next byte is in
// [lo, hi] (the unit's header byte included), or nullptr.
const std::uint8_t* FindUnit(const camsim::StreamLoop& loop, int frame, std::uint8_t lo, std::uint8_t hi,
                             std::uint8_t mask) {
  const std::uint8_t* d = loop.Data(frame);
  const std::uint32_t n = loop.frames[static_cast<std::size_t>(frame)].size;
  for (std::uint32_t i = 0; i + 8 < n; ++i) {
    const std::uint8_t code = d[i + 3] & mask;
    if (d[i] == 0 && d[i + 1] == 0 && d[i + 2] == 1 && code >= lo && code <= hi) return d + i + 3;
  }
  return nullptr;
}

// vop_time_increment_resolution of a VOL (|vol| at the 0x2N start code byte).
int VolTimeResolution(const std::uint8_t* vol) {
  std::uint32_t pos = 8;  // bit position after the start code byte
  auto bits = [&](int n) {
    int v = 0;
    for (int k = 0; k < n; ++k, ++pos) v = (v << 1) | ((vol[pos / 8] >> (7 - pos % 8)) & 1);
    return v;
  };
  bits(1);                  // random_accessible_vol
  bits(8);                  // video_object_type_indication
  if (bits(1)) bits(7);     // is_object_layer_identifier: verid, priority
  if (bits(4) == 15) bits(16);  // aspect_ratio_info, extended PAR
  if (bits(1)) {            // vol_control_parameters
    bits(3);                // chroma_format, low_delay
    if (bits(1)) return -1;  // vbv_parameters: not written by the encoders used here
  }
  bits(2);  // video_object_layer_shape (rectangular)
  bits(1);  // marker
  return bits(16);
}

// With own parameter sets the key frames carry an SPS or VOL that a viewer's
// built-in header would contradict (profile and level, time resolution);
// without, H.264 stays Baseline 3.0 and MPEG-4 keeps the resolution 1000 that
// the built-in VOL has.
TEST(Loops, OwnParameterSetsDifferFromTheBuiltInOnes) {
  struct Case {
    VideoKind kind;
    bool own;
    int profileOrResolution;  // H.264 profile_idc, MPEG-4 time resolution
    int level;                // H.264 level_idc
  } cases[] = {
      {VideoKind::kH264, false, 66, 30},
      {VideoKind::kH264, true, 77, 40},
      {VideoKind::kMpeg4, false, 1000, 0},
      {VideoKind::kMpeg4, true, 30000, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << camsim::VideoKindName(c.kind) << " own " << c.own);
    LoopKey key{c.kind, 640, 480, 25, 2, 0};
    key.ownParams = c.own;
    auto loop = camsim::EncodeLoop(key);
    ASSERT_TRUE(loop);
    for (int i = 0; i < loop->FrameCount(); ++i) {
      const auto& f = loop->frames[static_cast<std::size_t>(i)];
      const bool carries = c.kind == VideoKind::kH264 ? H264FrameHasSps(loop->Data(i), f.size)
                                                      : Mpeg4FrameHasVol(loop->Data(i), f.size);
      EXPECT_EQ(carries, f.key) << i;
    }
    if (c.kind == VideoKind::kH264) {
      const std::uint8_t* sps = FindUnit(*loop, 0, 7, 7, 0x1F);
      ASSERT_NE(sps, nullptr);
      EXPECT_EQ(sps[1], c.profileOrResolution);
      EXPECT_EQ(sps[3], c.level);
    } else {
      const std::uint8_t* vol = FindUnit(*loop, 0, 0x20, 0x2F, 0xFF);
      ASSERT_NE(vol, nullptr);
      EXPECT_EQ(VolTimeResolution(vol), c.profileOrResolution);
      std::uint8_t builtIn[kConfigHeaderScratch] = {};
      MakeMpeg4ConfigHeader(640, 480, builtIn);
      EXPECT_EQ(VolTimeResolution(builtIn + 18), 1000);  // the built-in VOL: start code at byte 15
    }
  }
}

TEST(Loops, JpegSamplingFactorsAndHuffmanTables) {
  struct Case {
    VideoKind kind;
    std::array<int, 4> sampling;
    bool dht;
  } cases[] = {
      {VideoKind::kJpeg422, {2, 1, 1, 1}, true},
      {VideoKind::kJpeg420, {2, 2, 1, 1}, true},
      {VideoKind::kJpeg422NoDht, {2, 1, 1, 1}, false},
      {VideoKind::kJpeg420NoDht, {2, 2, 1, 1}, false},
      {VideoKind::kLavcJpeg422, {2, 2, 1, 2}, true},
  };
  for (const Case& c : cases) {
    auto loop = camsim::EncodeLoop(LoopKey{c.kind, 320, 240, 25, 1, 0});
    ASSERT_TRUE(loop);
    bool dht = false;
    EXPECT_EQ(JpegSampling(*loop, &dht), c.sampling) << camsim::VideoKindName(c.kind);
    EXPECT_EQ(dht, c.dht) << camsim::VideoKindName(c.kind);
  }
}

}  // namespace

namespace {

// The bare VOPs decode once a VOL header with time resolution 1000 is put in
// front of them (what the viewer's built-in header does); here the header
// comes from the full stream of the same size.
TEST(Loops, BareMpeg4DecodesBehindAForeignHeader) {
  auto full = camsim::EncodeLoop(LoopKey{VideoKind::kMpeg4, 320, 240, 25, 1, 0});
  auto bare = camsim::EncodeLoop(LoopKey{VideoKind::kMpeg4Bare, 320, 240, 25, 1, 1});
  ASSERT_TRUE(full && bare);
  char path[] = "/tmp/camsim-m4v-XXXXXX";
  int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  const std::size_t header = camsim::Mpeg4HeaderLength(full->Data(0), full->frames[0].size);
  ASSERT_GT(header, 0u);
  ASSERT_EQ(write(fd, full->Data(0), header), static_cast<ssize_t>(header));
  for (int i = 0; i < bare->FrameCount(); ++i) {
    const auto size = bare->frames[static_cast<std::size_t>(i)].size;
    ASSERT_EQ(write(fd, bare->Data(i), size), static_cast<ssize_t>(size));
  }
  close(fd);
  std::string cmd = std::string("ffmpeg -nostdin -v error -f m4v -i ") + path + " -f framemd5 - 2>&1";
  FILE* p = popen(cmd.c_str(), "r");
  ASSERT_TRUE(p);
  int frames = 0;
  std::string errors;
  char line[512];
  while (std::fgets(line, sizeof line, p)) {
    if (line[0] == '#') continue;
    if (std::strstr(line, "rror")) errors += line;
    ++frames;
  }
  EXPECT_EQ(WEXITSTATUS(pclose(p)), 0);
  EXPECT_EQ(errors, "");
  EXPECT_EQ(frames, bare->FrameCount());
  unlink(path);
}

}  // namespace
