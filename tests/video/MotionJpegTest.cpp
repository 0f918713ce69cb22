// Motion JPEG decoding against the ffmpeg tool's decode of the same images,
// with the expected scaling computed from that reference.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "VideoTestUtil.h"
#include "base/base.h"
#include "video/MotionJpeg.h"

namespace {

struct Case {
  const char* name;
  int jpegWidth, jpegHeight;
  int hs, vs;         // luma sampling; chroma 1 x 1
  int width, height;  // the picture
  bool ownTables;     // optimised (non-standard) Huffman tables in the file
  bool stripTables;   // no DHT segment at all
};

const char* PixFmt(int hs, int vs) {
  if (hs == 2 && vs == 2) return "yuvj420p";
  if (hs == 2) return "yuvj422p";
  if (vs == 2) return "yuvj440p";
  return "yuvj444p";
}

enum class Mode { kCopy, kHalve, kTwoThirds };

// One scaled row by the picture's rules; samples past |valid| read as black.
vt::Bytes ScaleRow(Mode mode, const std::uint8_t* src, int valid, int offset, int count, int black) {
  auto at = [&](int i) { return i < valid ? src[i] : black; };
  vt::Bytes out(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    switch (mode) {
      case Mode::kCopy: out[i] = static_cast<std::uint8_t>(at(offset + i)); break;
      case Mode::kHalve: out[i] = static_cast<std::uint8_t>((at(offset + 2 * i) + at(offset + 2 * i + 1)) >> 1); break;
      case Mode::kTwoThirds: {
        const int k = i / 2;
        out[i] = static_cast<std::uint8_t>(i % 2 == 0 ? (2 * at(3 * k) + at(3 * k + 1)) / 3
                                                      : (at(3 * k + 1) + 2 * at(3 * k + 2)) / 3);
      }
    }
  }
  return out;
}

// The picture the decoder should make, from the reference decode's planes.
vt::Bytes Expected(const Case& c, const vt::Bytes& ref) {
  const int ow = c.jpegWidth, h = c.jpegHeight, w = c.width;
  const int cw = (ow + c.hs - 1) / c.hs, ch = (h + c.vs - 1) / c.vs;
  const std::uint8_t* ry = ref.data();
  const std::uint8_t* rcb = ry + ow * h;
  const std::uint8_t* rcr = rcb + cw * ch;
  const int t = 2 * ow / 3;
  Mode mode = w < t ? Mode::kHalve : (w == t ? Mode::kTwoThirds : Mode::kCopy);
  const int span = mode == Mode::kHalve ? 2 * w : w;
  const int offset = (mode != Mode::kTwoThirds && span < ow) ? ((ow - span) / 2) & ~1 : 0;

  vt::Bytes pic(static_cast<size_t>(w) * c.height * 3 / 2);
  for (int r = 0; r < c.height; ++r) {
    const vt::Bytes row = ScaleRow(mode, ry + r * ow, ow, offset, w, 0);
    std::memcpy(&pic[static_cast<size_t>(r) * w], row.data(), static_cast<size_t>(w));
  }
  auto chroma = [&](const std::uint8_t* plane, std::uint8_t* out) {
    // Half-width rows for every source chroma row, scaled.
    std::vector<vt::Bytes> scaled;
    for (int r = 0; r < ch; ++r) {
      vt::Bytes half;
      if (c.hs == 1) {
        for (int j = 0; j < (ow + 1) / 2; ++j) {
          half.push_back(static_cast<std::uint8_t>((plane[r * cw + 2 * j] + plane[r * cw + std::min(2 * j + 1, cw - 1)]) >> 1));
        }
      } else {
        half.assign(plane + r * cw, plane + (r + 1) * cw);
      }
      scaled.push_back(ScaleRow(mode, half.data(), static_cast<int>(half.size()), offset / 2, w / 2, 128));
    }
    for (int k = 0; k < c.height / 2; ++k) {
      for (int i = 0; i < w / 2; ++i) {
        out[k * (w / 2) + i] = c.vs == 1 ? static_cast<std::uint8_t>((scaled[2 * k][i] + scaled[2 * k + 1][i]) >> 1)
                                         : scaled[k][i];
      }
    }
  };
  chroma(rcr, &pic[static_cast<size_t>(w) * c.height]);
  chroma(rcb, &pic[static_cast<size_t>(w) * c.height * 5 / 4]);
  return pic;
}

int Decode(const vt::Bytes& jpeg, int w, int h, vt::Bytes* pic) {
  TimedLockHolder hold(MotionJpegLock(), TimedLock::kDefaultWaitMs, LOGPOS);
  std::uint8_t* p = pic->data();
  return DecodeJpegFrame(jpeg.data(), static_cast<int>(jpeg.size()), w, h, p, p + w * h * 5 / 4, p + w * h);
}

class MotionJpegDecode : public testing::TestWithParam<Case> {};

TEST_P(MotionJpegDecode, MatchesReferenceDecode) {
  const Case& c = GetParam();
  vt::TempDir dir;
  const vt::Planes src = vt::Pattern(c.jpegWidth, c.jpegHeight, c.hs, c.vs);
  vt::Bytes jpeg = vt::EncodeJpeg(src, c.hs, c.vs, 92, c.ownTables);
  if (c.stripTables) {
    jpeg = vt::StripHuffmanTables(jpeg);
    ASSERT_FALSE(vt::HasHuffmanTables(jpeg));
  }
  const std::string file = dir.File("frame.jpg");
  ASSERT_TRUE(vt::WriteFile(file, jpeg));
  vt::Bytes ref;
  ASSERT_TRUE(vt::ReferenceDecode(file, PixFmt(c.hs, c.vs), &ref)) << "ffmpeg could not decode";

  // A guard after the picture catches writes past H.
  const size_t size = static_cast<size_t>(c.width) * c.height * 3 / 2;
  vt::Bytes pic(size + 4096, 0xA5);
  ASSERT_EQ(Decode(jpeg, c.width, c.height, &pic), 0);
  for (size_t i = size; i < pic.size(); ++i) ASSERT_EQ(pic[i], 0xA5) << "written past the picture at " << i;

  const vt::Bytes want = Expected(c, ref);
  const int w = c.width, h = c.height;
  EXPECT_GT(vt::Psnr(pic.data(), want.data(), static_cast<size_t>(w) * h), 40.0) << "luma";
  EXPECT_GT(vt::Psnr(pic.data() + w * h, want.data() + w * h, static_cast<size_t>(w) * h / 4), 40.0) << "Cr";
  EXPECT_GT(vt::Psnr(pic.data() + w * h * 5 / 4, want.data() + w * h * 5 / 4, static_cast<size_t>(w) * h / 4), 40.0)
      << "Cb";
  if (c.width > c.jpegWidth && c.width < 2 * c.jpegWidth) {
    // Copy mode from a narrower image: the uncovered columns are black.
    for (int r = 0; r < h; ++r) {
      for (int x = c.jpegWidth; x < w; ++x) ASSERT_EQ(pic[r * w + x], 0) << r << "," << x;
    }
    for (int k = 0; k < h / 2; ++k) {
      for (int x = (c.jpegWidth + 1) / 2; x < w / 2; ++x) {
        ASSERT_EQ(pic[w * h + k * (w / 2) + x], 128);
        ASSERT_EQ(pic[w * h * 5 / 4 + k * (w / 2) + x], 128);
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, MotionJpegDecode,
    testing::Values(
        Case{"yuv422_standard_tables", 320, 240, 2, 1, 320, 240, false, true},
        Case{"yuv422_own_tables", 320, 240, 2, 1, 320, 240, true, false},
        Case{"yuv420_standard_tables", 640, 480, 2, 2, 640, 480, false, true},
        Case{"yuv422_640x480", 640, 480, 2, 1, 640, 480, false, true},
        Case{"yuv420_own_tables", 640, 480, 2, 2, 640, 480, true, false},
        Case{"yuv444_full_width_chroma", 320, 240, 1, 1, 320, 240, false, false},
        Case{"yuv440", 320, 240, 1, 2, 320, 240, false, false},
        Case{"halve_704_to_320", 704, 240, 2, 1, 320, 240, false, true},
        Case{"two_thirds_480_to_320", 480, 240, 2, 2, 320, 240, false, true},
        Case{"copy_crop_352_to_320", 352, 240, 2, 1, 320, 240, false, true},
        Case{"copy_narrower_304_in_320", 304, 240, 2, 1, 320, 240, false, true},
        Case{"height_not_imcu_multiple", 320, 232, 2, 2, 320, 232, false, false},
        Case{"halve_full_width_chroma", 704, 240, 1, 1, 320, 240, false, false}),
    [](const testing::TestParamInfo<Case>& i) { return std::string(i.param.name); });

struct Refusal {
  const char* name;
  int jpegWidth, jpegHeight, hs, vs;
  bool grey;
  int width, height;
};

class MotionJpegRefusal : public testing::TestWithParam<Refusal> {};

TEST_P(MotionJpegRefusal, ReturnsMinusOneAndLeavesThePictureAlone) {
  const Refusal& c = GetParam();
  const vt::Planes src = vt::Pattern(c.jpegWidth, c.jpegHeight, 1, 1);
  const vt::Bytes jpeg = vt::EncodeJpeg(src, c.hs, c.vs, 85, false, c.grey);
  const size_t size = static_cast<size_t>(c.width) * c.height * 3 / 2;
  vt::Bytes pic(size, 0x5A);
  testing::internal::CaptureStderr();
  EXPECT_EQ(Decode(jpeg, c.width, c.height, &pic), -1);
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(pic, vt::Bytes(size, 0x5A));
}

INSTANTIATE_TEST_SUITE_P(
    Unsupported, MotionJpegRefusal,
    testing::Values(Refusal{"yuv411", 320, 240, 4, 1, false, 320, 240},
                    Refusal{"grey", 320, 240, 1, 1, true, 320, 240},
                    Refusal{"half_height", 320, 120, 2, 1, false, 320, 240},
                    Refusal{"full_width_chroma_height_not_multiple_of_8", 320, 236, 1, 1, false, 320, 236}),
    [](const testing::TestParamInfo<Refusal>& i) { return std::string(i.param.name); });

TEST(MotionJpegDamage, BrokenPayloadsFailOrCompleteWithoutHarm) {
  const vt::Bytes good = vt::EncodeJpeg(vt::Pattern(320, 240, 2, 1), 2, 1, 85, false);
  vt::Bytes garbage(5000);
  for (size_t i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<std::uint8_t>(i * 131 + 7);
  vt::Bytes truncated(good.begin(), good.begin() + static_cast<long>(good.size() / 2));
  vt::Bytes pic(320 * 240 * 3 / 2);
  testing::internal::CaptureStderr();
  EXPECT_EQ(Decode(vt::Bytes{}, 320, 240, &pic), -1);
  EXPECT_EQ(Decode(garbage, 320, 240, &pic), -1);
  // A cut frame is completed with an end marker: it decodes, the missing
  // part is the library's business.
  EXPECT_EQ(Decode(truncated, 320, 240, &pic), 0);
  // The decoder is intact afterwards.
  EXPECT_EQ(Decode(good, 320, 240, &pic), 0);
  testing::internal::GetCapturedStderr();
}

}  // namespace
