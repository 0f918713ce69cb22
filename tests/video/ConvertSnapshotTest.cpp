// Picture conversions of every surface kind and the JPEG snapshot encoder.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <sstream>

#include "VideoTestUtil.h"
#include "video/Convert.h"
#include "video/JpegSnapshot.h"

namespace {

// A YV12 picture buffer from planes at 4:2:0.
vt::Bytes Picture(const vt::Planes& p) {
  vt::Bytes b(p.y);
  b.insert(b.end(), p.cr.begin(), p.cr.end());
  b.insert(b.end(), p.cb.begin(), p.cb.end());
  return b;
}

vt::Bytes Filled(int w, int h, std::uint8_t y, std::uint8_t cb, std::uint8_t cr) {
  vt::Bytes b(static_cast<size_t>(w) * h * 3 / 2, y);
  std::memset(&b[static_cast<size_t>(w) * h], cr, static_cast<size_t>(w) * h / 4);
  std::memset(&b[static_cast<size_t>(w) * h * 5 / 4], cb, static_cast<size_t>(w) * h / 4);
  return b;
}

struct Rgb { int r, g, b; };

// Pixel x of row r of an RGB kind.
Rgb ReadRgb(int kind, const std::uint8_t* dst, int pitch, int r, int x) {
  const std::uint8_t* row = dst + static_cast<long>(r) * pitch;
  if (kind == kKindRGB565) {
    std::uint16_t v;
    std::memcpy(&v, row + 2 * x, 2);
    return {(v >> 11) << 3, ((v >> 5) & 63) << 2, (v & 31) << 3};
  }
  if (kind == kKindRGB24) return {row[3 * x + 2], row[3 * x + 1], row[3 * x]};
  std::uint32_t v;
  std::memcpy(&v, row + 4 * x, 4);
  return {static_cast<int>((v >> 16) & 255), static_cast<int>((v >> 8) & 255), static_cast<int>(v & 255)};
}

const int kAllKinds[] = {kKindYV12, kKindUYVY, kKindYUY2, kKindRGB565, kKindRGB24, kKindRGB32};
const int kRgbKinds[] = {kKindRGB565, kKindRGB24, kKindRGB32};

TEST(Convert, GreyIs130InEveryRgbKind) {
  const int w = 64, h = 16;
  const vt::Bytes pic = Filled(w, h, 128, 128, 128);
  for (int kind : kRgbKinds) {
    for (bool mirror : {false, true}) {
      const int pitch = w * BytesPerPixel(kind) + 12;
      vt::Bytes dst(static_cast<size_t>(pitch) * h);
      ASSERT_EQ(ConvertPicture(kind, pic.data(), w, h, PictureRange::kVideo, mirror, dst.data(), pitch), 1);
      const Rgb want = kind == kKindRGB565 ? Rgb{130 & ~7, 130 & ~3, 130 & ~7} : Rgb{130, 130, 130};
      for (int r = 0; r < h; ++r) {
        for (int x = 0; x < w; ++x) {
          const Rgb got = ReadRgb(kind, dst.data(), pitch, r, x);
          ASSERT_EQ(got.r, want.r) << kind;
          ASSERT_EQ(got.g, want.g) << kind;
          ASSERT_EQ(got.b, want.b) << kind;
        }
      }
    }
  }
}

// Each range's own BT.601 equations: video range stretches luma 16..235 and
// chroma 16..240; full range takes the samples as they are.
TEST(Convert, RgbKindsFollowTheRangesEquations) {
  struct Case {
    PictureRange range;
    double yOffset, yGain, rCr, gCr, gCb, bCb;
  };
  const Case cases[] = {{PictureRange::kVideo, 16, 1.164, 1.596, 0.813, 0.391, 2.018},
                        {PictureRange::kFull, 0, 1.0, 1.402, 0.714136, 0.344136, 1.772}};
  // Every Y with a sweep of chroma pairs.
  const int w = 256, h = 32;
  vt::Bytes pic(static_cast<size_t>(w) * h * 3 / 2);
  std::mt19937 rng(7);
  for (auto& v : pic) v = static_cast<std::uint8_t>(rng());
  for (const Case& c : cases) {
    for (int kind : kRgbKinds) {
      const int pitch = w * BytesPerPixel(kind);
      vt::Bytes dst(static_cast<size_t>(pitch) * h);
      ASSERT_EQ(ConvertPicture(kind, pic.data(), w, h, c.range, false, dst.data(), pitch), 1);
      int worst = 0;
      for (int r = 0; r < h; ++r) {
        for (int x = 0; x < w; ++x) {
          const double y = c.yGain * (pic[r * w + x] - c.yOffset);
          const double cr = pic[w * h + (r / 2) * (w / 2) + x / 2] - 128.0;
          const double cb = pic[w * h * 5 / 4 + (r / 2) * (w / 2) + x / 2] - 128.0;
          auto clamp = [](double v) { return std::min(255.0, std::max(0.0, v)); };
          const double R = clamp(y + c.rCr * cr);
          const double G = clamp(y - c.gCr * cr - c.gCb * cb);
          const double B = clamp(y + c.bCb * cb);
          const Rgb got = ReadRgb(kind, dst.data(), pitch, r, x);
          // RGB565 keeps 5 or 6 bits: compare the kept bits.
          const int lostR = kind == kKindRGB565 ? 7 : 0, lostG = kind == kKindRGB565 ? 3 : 0;
          worst = std::max({worst, std::abs(got.r - (static_cast<int>(R) & ~lostR)),
                            std::abs(got.g - (static_cast<int>(G) & ~lostG)),
                            std::abs(got.b - (static_cast<int>(B) & ~lostR))});
        }
      }
      EXPECT_LE(worst, kind == kKindRGB565 ? 8 : 2) << "kind " << kind << " range " << static_cast<int>(c.range);
    }
  }
}

TEST(Convert, FastPathsEqualTheTableReference) {
  std::mt19937 rng(11);
  struct Size { int w, h, extraPitch; };
  const Size sizes[] = {{640, 480, 0}, {320, 240, 64}, {176, 144, 6}, {18, 2, 0}, {2, 2, 2}};
  for (const Size& s : sizes) {
    vt::Bytes pic(static_cast<size_t>(s.w) * s.h * 3 / 2);
    for (auto& v : pic) v = static_cast<std::uint8_t>(rng());
    for (int kind : kAllKinds) {
      for (PictureRange range : {PictureRange::kVideo, PictureRange::kFull}) {
        for (bool mirror : {false, true}) {
          const int pitch = s.w * BytesPerPixel(kind) + s.extraPitch;
          const size_t n = static_cast<size_t>(DestinationSize(kind, s.h, pitch));
          vt::Bytes fast(n, 0xEE), ref(n, 0xEE);
          ASSERT_EQ(ConvertPicture(kind, pic.data(), s.w, s.h, range, mirror, fast.data(), pitch), 1);
          ASSERT_EQ(ConvertPictureReference(kind, pic.data(), s.w, s.h, range, mirror, ref.data(), pitch), 1);
          ASSERT_TRUE(fast == ref) << "kind " << kind << " range " << static_cast<int>(range) << " mirror "
                                   << mirror << " " << s.w << "x" << s.h;
        }
      }
    }
  }
}

// Each scaled pixel is the full-size pixel it was taken from, shrinking,
// stretching and mirrored; the scaled call refuses the planar and packed
// kinds.
TEST(Convert, ScaledPixelsAreTheFullSizePixelsTheyCameFrom) {
  std::mt19937 rng(5);
  struct Case { int w, h, ow, oh, extraPitch; };
  const Case cases[] = {{640, 480, 480, 270, 0}, {640, 480, 317, 119, 12}, {320, 240, 320, 240, 0},
                        {176, 144, 401, 300, 4}, {18, 2, 7, 1, 0}};
  for (const Case& c : cases) {
    vt::Bytes pic(static_cast<size_t>(c.w) * c.h * 3 / 2);
    for (auto& v : pic) v = static_cast<std::uint8_t>(rng());
    for (int kind : {kKindRGB565, kKindRGB24, kKindRGB32}) {
      for (bool mirror : {false, true}) {
        SCOPED_TRACE(testing::Message() << "kind " << kind << " mirror " << mirror << " " << c.w << "x" << c.h
                                        << " to " << c.ow << "x" << c.oh);
        const int bpp = BytesPerPixel(kind);
        const int fullPitch = c.w * bpp;
        const int pitch = c.ow * bpp + c.extraPitch;
        vt::Bytes full(static_cast<size_t>(fullPitch) * c.h), scaled(static_cast<size_t>(pitch) * c.oh, 0xEE);
        ASSERT_EQ(ConvertPictureReference(kind, pic.data(), c.w, c.h, PictureRange::kVideo, mirror, full.data(), fullPitch), 1);
        ASSERT_EQ(ConvertPictureScaled(kind, pic.data(), c.w, c.h, PictureRange::kVideo, mirror, scaled.data(), pitch, c.ow, c.oh), 1);
        for (int y = 0; y < c.oh; ++y) {
          for (int x = 0; x < c.ow; ++x) {
            const std::uint8_t* from = full.data() + static_cast<long>(y * c.h / c.oh) * fullPitch + (x * c.w / c.ow) * bpp;
            ASSERT_EQ(0, std::memcmp(scaled.data() + static_cast<long>(y) * pitch + x * bpp, from, static_cast<size_t>(bpp)))
                << "at " << x << "," << y;
          }
        }
      }
    }
  }
  vt::Bytes pic(64 * 64 * 2), dst(64 * 64 * 8);
  for (int kind : {kKindYV12, kKindUYVY, kKindYUY2, 7}) {
    EXPECT_EQ(ConvertPictureScaled(kind, pic.data(), 64, 64, PictureRange::kVideo, false, dst.data(), 256, 32, 32), 0) << kind;
  }
  EXPECT_EQ(ConvertPictureScaled(kKindRGB32, pic.data(), 64, 64, PictureRange::kVideo, false, dst.data(), 127, 32, 32), 0);
  EXPECT_EQ(ConvertPictureScaled(kKindRGB32, pic.data(), 64, 64, PictureRange::kVideo, false, dst.data(), 256, 0, 32), 0);
  EXPECT_EQ(ConvertPictureScaled(kKindRGB32, pic.data(), 64, 64, PictureRange::kVideo, false, dst.data(), 1 << 16, 4097, 1), 0);
}

TEST(Convert, MirroredLeftColumnIsTheRightInputColumn) {
  const int w = 640, h = 480;
  const vt::Bytes pic = Picture(vt::Pattern(w, h, 2, 2));
  for (int kind : kAllKinds) {
    const int pitch = w * BytesPerPixel(kind);
    const size_t n = static_cast<size_t>(DestinationSize(kind, h, pitch));
    vt::Bytes plain(n), mirrored(n);
    ConvertPicture(kind, pic.data(), w, h, PictureRange::kVideo, false, plain.data(), pitch);
    ConvertPicture(kind, pic.data(), w, h, PictureRange::kVideo, true, mirrored.data(), pitch);
    const int bpp = BytesPerPixel(kind);
    for (int r = 0; r < h; ++r) {
      const std::uint8_t* pr = plain.data() + static_cast<long>(r) * pitch;
      const std::uint8_t* mr = mirrored.data() + static_cast<long>(r) * pitch;
      if (kind == kKindUYVY || kind == kKindYUY2) {
        // Macropixels in reverse order with their two luma samples swapped.
        const int y0 = kind == kKindUYVY ? 1 : 0, y1 = y0 + 2;
        ASSERT_EQ(mr[y0], pr[4 * (w / 2 - 1) + y1]);
        ASSERT_EQ(mr[y1], pr[4 * (w / 2 - 1) + y0]);
        ASSERT_EQ(mr[1 - y0], pr[4 * (w / 2 - 1) + 1 - y0]);
      } else {
        ASSERT_EQ(0, std::memcmp(mr, pr + (w - 1) * bpp, static_cast<size_t>(bpp))) << "kind " << kind << " row " << r;
      }
    }
  }
}

TEST(Convert, RefusesWhatItCannotServe) {
  vt::Bytes pic(64 * 64 * 2), dst(64 * 64 * 8);
  EXPECT_EQ(ConvertPicture(7, pic.data(), 64, 64, PictureRange::kVideo, false, dst.data(), 256), 0);
  EXPECT_EQ(ConvertPicture(kKindRGB32, pic.data(), 63, 64, PictureRange::kVideo, false, dst.data(), 256), 0);
  EXPECT_EQ(ConvertPicture(kKindRGB32, pic.data(), 64, 63, PictureRange::kVideo, false, dst.data(), 256), 0);
  EXPECT_EQ(ConvertPicture(kKindRGB32, pic.data(), 64, 64, PictureRange::kVideo, false, dst.data(), 255), 0);
}

// Snapshots: the picture's top-left part in multiples of 16, as a 4:2:2 JPEG.
TEST(Snapshot, SizesSamplingAndPicture) {
  struct Row { int w, h, ws, hs; };
  const Row rows[] = {{704, 480, 704, 480}, {352, 240, 352, 240}, {320, 232, 320, 224}, {640, 480, 640, 480}};
  vt::TempDir dir;
  for (const Row& c : rows) {
    SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h));
    const vt::Planes src = vt::Pattern(c.w, c.h, 2, 2, 3);
    const vt::Bytes pic = Picture(src);
    const std::string file = dir.File("snap" + std::to_string(c.w) + ".jpg");
    ASSERT_EQ(WriteSnapshotFile(pic.data(), c.w, c.h, PictureRange::kFull, file.c_str()), 1);

    std::istringstream info(vt::Capture("identify -format '%m %w %h %[jpeg:sampling-factor]' '" + file + "' 2>&1"));
    std::string format, sampling;
    int w = 0, h = 0;
    info >> format >> w >> h >> sampling;
    EXPECT_EQ(format, "JPEG");
    EXPECT_EQ(w, c.ws);
    EXPECT_EQ(h, c.hs);
    EXPECT_EQ(sampling, "2x1,1x1,1x1");

    vt::Bytes dec;
    ASSERT_TRUE(vt::ReferenceDecode(file, "yuvj422p", &dec));
    ASSERT_EQ(dec.size(), static_cast<size_t>(c.ws) * c.hs * 2);
    EXPECT_GT(vt::PsnrPlane(dec.data(), c.ws, src.y.data(), c.w, c.ws, c.hs), 30.0) << "luma";
    // Chroma: the JPEG's row r holds the picture's chroma row r/2.
    vt::Bytes cb(static_cast<size_t>(c.ws / 2) * c.hs);
    for (int r = 0; r < c.hs; ++r) {
      std::memcpy(&cb[static_cast<size_t>(r) * (c.ws / 2)], &src.cb[static_cast<size_t>(r / 2) * (c.w / 2)],
                  static_cast<size_t>(c.ws / 2));
    }
    EXPECT_GT(vt::Psnr(dec.data() + c.ws * c.hs, cb.data(), cb.size()), 30.0) << "Cb";
  }
}

// A JPEG holds full-range samples: video-range pictures are stretched (luma
// 16..235 and chroma 16..240 to 0..255, clamped outside), full-range ones
// written as they are.
TEST(Snapshot, VideoRangeIsStretchedToTheJpegsFullRange) {
  struct Case {
    PictureRange range;
    int y, cb, cr;           // the picture's samples
    int wantY, wantCb, wantCr;  // the JPEG's
  };
  const Case cases[] = {
      {PictureRange::kVideo, 16, 128, 128, 0, 128, 128},   {PictureRange::kVideo, 235, 240, 16, 255, 255, 0},
      {PictureRange::kVideo, 126, 184, 72, 128, 192, 64},  {PictureRange::kVideo, 4, 250, 6, 0, 255, 0},
      {PictureRange::kVideo, 250, 128, 128, 255, 128, 128}, {PictureRange::kFull, 16, 240, 16, 16, 240, 16},
      {PictureRange::kFull, 235, 128, 128, 235, 128, 128},
  };
  vt::TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "range " << static_cast<int>(c.range) << " Y " << c.y << " Cb " << c.cb
                                    << " Cr " << c.cr);
    const int w = 64, h = 32;
    const vt::Bytes pic = Filled(w, h, static_cast<std::uint8_t>(c.y), static_cast<std::uint8_t>(c.cb),
                                 static_cast<std::uint8_t>(c.cr));
    const std::string file = dir.File("flat.jpg");
    ASSERT_EQ(WriteSnapshotFile(pic.data(), w, h, c.range, file.c_str()), 1);
    vt::Bytes dec;
    ASSERT_TRUE(vt::ReferenceDecode(file, "yuvj422p", &dec));
    ASSERT_EQ(dec.size(), static_cast<size_t>(w) * h * 2);
    // A flat picture survives the JPEG within one step.
    EXPECT_NEAR(dec[w * h / 2 + w / 2], c.wantY, 1);
    EXPECT_NEAR(dec[w * h + 100], c.wantCb, 1);
    EXPECT_NEAR(dec[w * h * 3 / 2 + 100], c.wantCr, 1);
  }
}

TEST(Snapshot, FailuresAreReported) {
  const vt::Bytes pic = Filled(320, 240, 100, 120, 140);
  testing::internal::CaptureStderr();
  EXPECT_EQ(WriteSnapshotFile(pic.data(), 320, 240, PictureRange::kVideo, "/nonexistent-dir/x/snap.jpg"), 0);
  // Too small to hold anything.
  EXPECT_EQ(WriteSnapshotFile(pic.data(), 8, 8, PictureRange::kVideo, "never-written.jpg"), 0);
  // An output buffer that cannot hold the image.
  std::uint8_t small[300];
  EXPECT_EQ(EncodeJpegSnapshot(small, sizeof small, 320, 240, pic.data(), pic.data() + 320 * 240 * 5 / 4,
                               pic.data() + 320 * 240, 320, PictureRange::kVideo),
            -1);
  EXPECT_EQ(EncodeJpegSnapshot(small, sizeof small, 4112, 16, pic.data(), pic.data(), pic.data(), 4112, PictureRange::kVideo), -1);
  testing::internal::GetCapturedStderr();
}

}  // namespace
