// H.264 and MPEG-4 decoding of streams made by the ffmpeg tool, compared
// with the tool's own decode of the same streams; the colours each codec's
// pictures get on screen and in snapshots, compared with the tool's own
// decode and RGB conversion.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

extern "C" {
#include <libavformat/avformat.h>
}

#include "VideoTestUtil.h"
#include "base/base.h"
#include "video/Convert.h"
#include "video/JpegSnapshot.h"
#include "video/MotionJpeg.h"
#include "video/VideoDecoder.h"
#include "video/VideoFormat.h"

namespace {

constexpr int kW = 640, kH = 480, kFrames = 30;

// Raw 4:2:0 source frames of the moving pattern (Y, then U, then V).
bool WriteSource(const std::string& path, int w, int h, int frames) {
  vt::Bytes all;
  for (int t = 0; t < frames; ++t) {
    const vt::Planes p = vt::Pattern(w, h, 2, 2, t);
    all.insert(all.end(), p.y.begin(), p.y.end());
    all.insert(all.end(), p.cb.begin(), p.cb.end());
    all.insert(all.end(), p.cr.begin(), p.cr.end());
  }
  return vt::WriteFile(path, all);
}

// The stream's frames as the camera would send them, one packet each.
std::vector<vt::Bytes> ReadPackets(const std::string& path) {
  std::vector<vt::Bytes> out;
  AVFormatContext* fmt = nullptr;
  if (avformat_open_input(&fmt, path.c_str(), nullptr, nullptr) < 0) return out;
  AVPacket* pkt = av_packet_alloc();
  while (av_read_frame(fmt, pkt) >= 0) {
    out.emplace_back(pkt->data, pkt->data + pkt->size);
    av_packet_unref(pkt);
  }
  av_packet_free(&pkt);
  avformat_close_input(&fmt);
  return out;
}

struct Stream {
  const char* name;
  int vcodec;
  const char* encoder;  // ffmpeg arguments
  const char* format;
  bool stripConfig;  // drop the stream's own configuration (the decoder is primed)
};

class DecodeStream : public testing::TestWithParam<Stream> {};

TEST_P(DecodeStream, MatchesReferenceDecode) {
  const Stream& s = GetParam();
  vt::TempDir dir;
  const std::string src = dir.File("src.yuv"), enc = dir.File(std::string("enc.") + s.format);
  ASSERT_TRUE(WriteSource(src, kW, kH, kFrames));
  ASSERT_EQ(vt::Run("ffmpeg -nostdin -y -f rawvideo -pix_fmt yuv420p -s 640x480 -r 25 -i '" + src + "' -fps_mode passthrough " +
                    s.encoder + " -f " + s.format + " '" + enc + "'"),
            0);
  vt::Bytes ref;
  ASSERT_TRUE(vt::ReferenceDecode(enc, "yuv420p", &ref));
  const size_t frameBytes = kW * kH * 3 / 2;
  ASSERT_EQ(ref.size(), frameBytes * kFrames);

  std::vector<vt::Bytes> packets = ReadPackets(enc);
  ASSERT_EQ(packets.size(), static_cast<size_t>(kFrames));
  if (s.stripConfig) {
    // Keep the first picture only: everything before its VOP start code goes.
    vt::Bytes& first = packets[0];
    for (size_t i = 0; i + 3 < first.size(); ++i) {
      if (first[i] == 0 && first[i + 1] == 0 && first[i + 2] == 1 && first[i + 3] == 0xB6) {
        first.erase(first.begin(), first.begin() + static_cast<long>(i));
        break;
      }
    }
    ASSERT_EQ(first[3], 0xB6);
  }
  // A corrupt frame just before the second key frame (frame 12) must not
  // stop decoding.
  packets.insert(packets.begin() + 12, vt::Bytes(3000, 0x47));

  VideoDecoder decoder;
  ASSERT_EQ(decoder.Open(s.vcodec, kW, kH), 1);
  vt::Bytes buffer(300000), picture(frameBytes);
  int shown = 0;
  for (size_t i = 0; i < packets.size(); ++i) {
    std::memcpy(buffer.data(), packets[i].data(), packets[i].size());
    int got = 0;
    const int rc = decoder.Decode(buffer.data(), static_cast<int>(packets[i].size()), &got);
    if (i == 12) continue;  // the corrupt one: anything but a crash
    ASSERT_GE(rc, 0) << "frame " << i;
    if (!got) continue;
    decoder.CopyOut(picture.data(), kW, kH);
    // The reference holds Y, U, V; the picture Y, V (Cr), U (Cb).
    const std::uint8_t* r = ref.data() + frameBytes * static_cast<size_t>(shown);
    const size_t q = kW * kH / 4;
    EXPECT_GT(vt::Psnr(picture.data(), r, kW * kH), 40.0) << "luma of frame " << shown;
    EXPECT_GT(vt::Psnr(picture.data() + kW * kH, r + kW * kH + q, q), 40.0) << "Cr of frame " << shown;
    EXPECT_GT(vt::Psnr(picture.data() + kW * kH + q, r + kW * kH, q), 40.0) << "Cb of frame " << shown;
    ++shown;
  }
  EXPECT_EQ(shown, kFrames);
}

INSTANTIATE_TEST_SUITE_P(
    Codecs, DecodeStream,
    testing::Values(
        Stream{"h264", kCodecH264, "-c:v libx264 -profile:v baseline -bf 0 -g 12 -crf 16", "h264", false},
        Stream{"mpeg4", kCodecMpeg4, "-c:v mpeg4 -threads 1 -bf 0 -g 12 -q:v 2 -enc_time_base 1:1000", "m4v", false},
        Stream{"mpeg4_without_vol", kCodecMpeg4, "-c:v mpeg4 -threads 1 -bf 0 -g 12 -q:v 2 -enc_time_base 1:1000", "m4v",
               true}),
    [](const testing::TestParamInfo<Stream>& i) { return std::string(i.param.name); });

TEST(VideoDecoder, CopyOutKeepsToThePictureSize) {
  // A 320 x 240 stream copied into a 640 x 480 picture touches only what the
  // stream has.
  vt::TempDir dir;
  const std::string src = dir.File("src.yuv"), enc = dir.File("small.m4v");
  ASSERT_TRUE(WriteSource(src, 320, 240, 2));
  ASSERT_EQ(vt::Run("ffmpeg -nostdin -y -f rawvideo -pix_fmt yuv420p -s 320x240 -r 25 -i '" + src +
                    "' -c:v mpeg4 -f m4v '" + enc + "'"),
            0);
  const std::vector<vt::Bytes> packets = ReadPackets(enc);
  ASSERT_FALSE(packets.empty());
  VideoDecoder decoder;
  ASSERT_EQ(decoder.Open(kCodecMpeg4, kW, kH), 1);
  vt::Bytes buffer(packets[0].size() + VideoDecoder::kPadding);
  std::memcpy(buffer.data(), packets[0].data(), packets[0].size());
  int got = 0;
  ASSERT_GE(decoder.Decode(buffer.data(), static_cast<int>(packets[0].size()), &got), 0);
  ASSERT_EQ(got, 1);
  vt::Bytes picture(kW * kH * 3 / 2, 0x33);
  decoder.CopyOut(picture.data(), kW, kH);
  EXPECT_EQ(picture[kW * 240 + 5], 0x33) << "a row below the stream's picture was written";
  EXPECT_EQ(picture[400], 0x33) << "a column right of the stream's picture was written";
}

// Colour range: each codec's pictures converted for the screen (RGB32) and
// written as snapshots must look like the ffmpeg tool's own decode and RGB
// conversion of the same frames. Video-range pictures (MPEG-4, H.264 by
// default) are stretched, full-range ones (Motion JPEG, H.264 marked full
// range) are not.
struct RangeCase {
  const char* name;
  int vcodec;
  const char* encoder;  // ffmpeg arguments
  const char* format;
  PictureRange range;  // what the decoded pictures must say
};

class ColourRange : public testing::TestWithParam<RangeCase> {};

// Decodes every packet into a picture buffer and hands each picture, with
// its range, to |use|.
template <typename Use>
int DecodePictures(const RangeCase& c, const std::vector<vt::Bytes>& packets, Use use) {
  vt::Bytes buffer(300000), picture(kW * kH * 3 / 2);
  VideoDecoder decoder;
  if (c.vcodec != kCodecMotionJpeg && decoder.Open(c.vcodec, kW, kH) != 1) return -1;
  int shown = 0;
  for (const vt::Bytes& packet : packets) {
    std::memcpy(buffer.data(), packet.data(), packet.size());
    PictureRange range = PictureRange::kFull;
    if (c.vcodec == kCodecMotionJpeg) {
      TimedLockHolder hold(MotionJpegLock(), TimedLock::kDefaultWaitMs, LOGPOS);
      if (DecodeJpegFrame(buffer.data(), static_cast<int>(packet.size()), kW, kH, picture.data(),
                          picture.data() + kW * kH * 5 / 4, picture.data() + kW * kH) != 0) {
        return -1;
      }
    } else {
      int got = 0;
      if (decoder.Decode(buffer.data(), static_cast<int>(packet.size()), &got) < 0) return -1;
      if (!got) continue;
      decoder.CopyOut(picture.data(), kW, kH);
      range = decoder.Range();
    }
    use(shown++, picture, range);
  }
  return shown;
}

TEST_P(ColourRange, ScreenAndSnapshotMatchTheReferenceConversion) {
  const RangeCase& c = GetParam();
  constexpr int kRangeFrames = 6;
  vt::TempDir dir;
  const std::string src = dir.File("src.yuv"), enc = dir.File(std::string("enc.") + c.format);
  ASSERT_TRUE(WriteSource(src, kW, kH, kRangeFrames));
  ASSERT_EQ(vt::Run("ffmpeg -nostdin -y -f rawvideo -pix_fmt yuv420p -s 640x480 -r 25 -i '" + src +
                    "' -fps_mode passthrough " + c.encoder + " -f " + c.format + " '" + enc + "'"),
            0);
  vt::Bytes ref;
  ASSERT_TRUE(vt::ReferenceDecode(enc, "rgb24", &ref));
  const size_t rgbBytes = kW * kH * 3;
  ASSERT_EQ(ref.size(), rgbBytes * kRangeFrames);
  const std::vector<vt::Bytes> packets = ReadPackets(enc);
  ASSERT_EQ(packets.size(), static_cast<size_t>(kRangeFrames));

  vt::Bytes screen(kW * kH * 4), rgb(rgbBytes);
  std::vector<std::uint8_t> jpeg(kW * kH * 3);
  const int shown = DecodePictures(c, packets, [&](int i, const vt::Bytes& picture, PictureRange range) {
    SCOPED_TRACE(testing::Message() << "frame " << i);
    EXPECT_EQ(range, c.range);
    const std::uint8_t* want = ref.data() + rgbBytes * static_cast<size_t>(i);
    ASSERT_EQ(ConvertPicture(kKindRGB32, picture.data(), kW, kH, range, false, screen.data(), kW * 4), 1);
    for (size_t p = 0; p < static_cast<size_t>(kW) * kH; ++p) {
      rgb[3 * p] = screen[4 * p + 2];
      rgb[3 * p + 1] = screen[4 * p + 1];
      rgb[3 * p + 2] = screen[4 * p];
    }
    const double screenDb = vt::Psnr(rgb.data(), want, rgbBytes);
    EXPECT_GE(screenDb, 35.0) << "screen";
    if (i % 3 != 0) return;  // snapshots of a few frames: each costs an ffmpeg run
    const std::string file = dir.File("snap" + std::to_string(i) + ".jpg");
    ASSERT_EQ(WriteSnapshotFile(picture.data(), kW, kH, range, file.c_str()), 1);
    vt::Bytes snap;
    ASSERT_TRUE(vt::ReferenceDecode(file, "rgb24", &snap));
    ASSERT_EQ(snap.size(), rgbBytes);
    const double snapDb = vt::Psnr(snap.data(), want, rgbBytes);
    EXPECT_GE(snapDb, 35.0) << "snapshot";
    std::printf("%s frame %d: screen %.1f dB, snapshot %.1f dB\n", c.name, i, screenDb, snapDb);
  });
  EXPECT_EQ(shown, kRangeFrames);
}

INSTANTIATE_TEST_SUITE_P(
    Codecs, ColourRange,
    testing::Values(
        RangeCase{"h264", kCodecH264, "-c:v libx264 -profile:v baseline -bf 0 -crf 16", "h264", PictureRange::kVideo},
        RangeCase{"h264_full_range", kCodecH264,
                  "-pix_fmt yuvj420p -color_range pc -c:v libx264 -profile:v baseline -bf 0 -crf 16", "h264",
                  PictureRange::kFull},
        RangeCase{"mpeg4", kCodecMpeg4, "-c:v mpeg4 -threads 1 -bf 0 -q:v 2 -enc_time_base 1:1000", "m4v",
                  PictureRange::kVideo},
        RangeCase{"motion_jpeg", kCodecMotionJpeg, "-pix_fmt yuvj420p -c:v mjpeg -q:v 2", "mjpeg",
                  PictureRange::kFull}),
    [](const testing::TestParamInfo<RangeCase>& i) { return std::string(i.param.name); });

}  // namespace
