// The AVI recorder checked with ffprobe/ffmpeg: the files it writes are read
// back by the independent tools, never by this code.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "MediaTools.h"
#include "base/CodecHeaders.h"
#include "base/avxxx.h"

extern "C" {
#include <libavutil/log.h>
}

using mediatest::DecodeErrors;
using mediatest::Packet;
using mediatest::ProbeValue;


namespace {

struct Reference {
  const char* name;  // also the reference file's extension
  int codecId;
  const char* options;
  const char* codecName;  // as ffprobe names it
  const char* tag;        // AVI fourcc
};

// MPEG-4 with a 1/1000 time resolution and H.264 Baseline as the cameras
// send them; MPEG-4 keeps its headers out of band (the recorder supplies
// them), H.264 is a raw Annex B stream that repeats its own parameter sets on
// key frames.
const Reference kReferences[] = {
    {"mkv", avxxx::kCodecMjpeg, "-pix_fmt yuvj420p -c:v mjpeg -q:v 5", "mjpeg", "MJPG"},
    {"m4.mkv", avxxx::kCodecMpeg4,
     "-c:v mpeg4 -enc_time_base 1:1000 -g 12 -bf 0 -flags +global_header", "mpeg4", "FMP4"},
    {"h264", avxxx::kCodecH264,
     "-pix_fmt yuv420p -c:v libx264 -profile:v baseline -bf 0 -g 25 -b:v 300k "
     "-x264-params repeat-headers=1",
     "h264", "H264"},
};

class AviRecorderTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    av_log_set_level(AV_LOG_ERROR);
    if (!mediatest::HaveTool("ffmpeg") || !mediatest::HaveTool("ffprobe")) return;
    refs_ = std::make_unique<mediatest::TempDir>();
    for (const Reference& r : kReferences) {
      const std::string file = refs_->File(std::string("ref.") + r.name);
      if (!mediatest::EncodeReference(file, r.options, 320, 240, 10)) continue;
      packets_[&r - kReferences] = mediatest::ReadVideoPackets(file);
    }
  }
  static void TearDownTestSuite() { refs_.reset(); }

  void SetUp() override {
    if (!refs_) GTEST_SKIP() << "ffmpeg/ffprobe not installed";
  }

  static const std::vector<Packet>& Packets(int i) { return packets_[i]; }

  // One 40 ms audio block of a 1 kHz tone in mu-law.
  static std::vector<std::uint8_t> AudioBlock() {
    static const std::uint8_t kCycle[8] = {0xFF, 0xA0, 0x8F, 0xA0, 0x7F, 0x20, 0x0F, 0x20};
    std::vector<std::uint8_t> b(320);
    for (size_t i = 0; i < b.size(); ++i) b[i] = kCycle[i % 8];
    return b;
  }

  static std::string Probe(const std::string& args, const std::string& file) {
    return mediatest::Run("ffprobe -v error " + args + " -of default=nw=1 '" + file + "' 2>&1");
  }

  mediatest::TempDir out_;
  static std::unique_ptr<mediatest::TempDir> refs_;
  static std::vector<Packet> packets_[3];
};

std::unique_ptr<mediatest::TempDir> AviRecorderTest::refs_;
std::vector<Packet> AviRecorderTest::packets_[3];

// Ten seconds at 25 fps with audio, for each codec: the right codec tags,
// about 250 decoded frames, about ten seconds, and a silent decode.
TEST_F(AviRecorderTest, TenSecondsOfEachCodecWithAudio) {
  const std::vector<std::uint8_t> audio = AudioBlock();
  for (int i = 0; i < 3; ++i) {
    const Reference& r = kReferences[i];
    SCOPED_TRACE(r.codecName);
    const std::vector<Packet>& packets = Packets(i);
    ASSERT_EQ(packets.size(), 250u);
    const std::string file = out_.File(std::string(r.name) + ".avi");
    avxxx rec;
    ASSERT_EQ(rec.Open(240, 320, file.c_str(), r.codecId, avxxx::BitRateForQuality(6)), 1);
    for (const Packet& p : packets) {
      ASSERT_EQ(rec.WriteAudio(audio.data(), static_cast<int>(audio.size())), 1);
      ASSERT_EQ(rec.WriteVideo(static_cast<int>(p.data.size()), p.data.data(), p.key, 40), 1);
    }
    rec.Close();
    EXPECT_EQ(rec.LostFrames(), 0);

    const std::string video =
        Probe("-select_streams v:0 -count_frames -show_entries stream=codec_name,codec_tag_string,"
              "width,height,nb_read_frames",
              file);
    EXPECT_EQ(ProbeValue(video, "codec_name"), r.codecName) << video;
    EXPECT_EQ(ProbeValue(video, "codec_tag_string"), r.tag);
    EXPECT_EQ(ProbeValue(video, "width"), "320");
    const int frames = std::atoi(ProbeValue(video, "nb_read_frames").c_str());
    EXPECT_GE(frames, 245);
    EXPECT_LE(frames, 252);

    const std::string sound =
        Probe("-select_streams a:0 -show_entries stream=codec_name,sample_rate,channels", file);
    EXPECT_EQ(ProbeValue(sound, "codec_name"), "pcm_mulaw") << sound;
    EXPECT_EQ(ProbeValue(sound, "sample_rate"), "8000");
    EXPECT_EQ(ProbeValue(sound, "channels"), "1");

    const double duration = std::atof(ProbeValue(Probe("-show_entries format=duration", file),
                                                 "duration").c_str());
    EXPECT_NEAR(duration, 10.0, 0.3);
    EXPECT_EQ(DecodeErrors(file), "");
  }
}

// Frames 40 ms apart land 4 ticks of 1/100 s apart; the muxer fills the
// ticks between them with empty chunks. A camera whose millisecond stamps
// jitter by one (39, 41, ...) still gives even 40 ms steps: cutting the clock
// to whole ticks instead of rounding it made them 30 and 50 ms, which players
// show as judder and decoders report as two frames in one interval.
TEST_F(AviRecorderTest, VideoTimestampsFollowFrameDurations) {
  const std::vector<Packet>& packets = Packets(0);
  ASSERT_GE(packets.size(), 20u);
  struct Case {
    const char* name;
    int durations[2];
  };
  for (const Case& c : {Case{"even", {40, 40}}, Case{"jitter", {39, 41}}, Case{"jitter-late", {41, 39}}}) {
  SCOPED_TRACE(c.name);
  const std::string file = out_.File(std::string("pace-") + c.name + ".avi");
  avxxx rec;
  ASSERT_EQ(rec.Open(240, 320, file.c_str(), avxxx::kCodecMjpeg, 500000), 1);
  for (int i = 0; i < 20; ++i) {
    const Packet& p = packets[i];
    ASSERT_EQ(rec.WriteVideo(static_cast<int>(p.data.size()), p.data.data(), 1, c.durations[i % 2]), 1);
  }
  rec.Close();
  const std::string out = mediatest::Run("ffprobe -v error -select_streams v:0 -show_entries packet=pts,size "
                              "-of csv=p=0 '" + file + "'");
  std::vector<long> pts;
  int empty = 0;
  size_t pos = 0;
  while (pos < out.size()) {
    const size_t eol = out.find('\n', pos);
    const std::string line = out.substr(pos, eol - pos);
    pos = eol == std::string::npos ? out.size() : eol + 1;
    if (line.empty()) continue;
    const long p = std::atol(line.c_str());
    const long size = std::atol(line.substr(line.find(',') + 1).c_str());
    if (size > 0) pts.push_back(p);
    else ++empty;
  }
  ASSERT_EQ(pts.size(), 20u) << out;
  for (size_t i = 2; i < pts.size(); ++i) EXPECT_EQ(pts[i] - pts[i - 1], 4) << i;
  EXPECT_EQ(empty, 0) << "the demuxer hides empty chunks";
  // The stream header counts every chunk: 20 frames and the empty chunks
  // between them (three per gap; the first frame is not preceded by any).
  const std::string header = Probe("-select_streams v:0 -show_entries stream=nb_frames", file);
  const int chunks = std::atoi(ProbeValue(header, "nb_frames").c_str());
  EXPECT_GE(chunks, 20 + 3 * 19) << header;
  EXPECT_LE(chunks, 81) << header;
  const double duration = std::atof(
      ProbeValue(Probe("-show_entries format=duration", file), "duration").c_str());
  EXPECT_NEAR(duration, 0.8, 0.1);
  EXPECT_EQ(DecodeErrors(file), "");
  }
}

// What the first packet of each kind of file holds: the built-in
// configuration header in front of MPEG-4 and H.264 key frames that carry no
// parameter sets of their own (H.264 only for the two widths it has a header
// for); key frames with their own VOL or SPS, non-key frames and Motion JPEG
// go as they are, so a file never holds two different sets.
TEST_F(AviRecorderTest, BuiltInHeaderOnlyBeforeKeyFramesWithoutTheirOwn) {
  using Bytes = std::vector<std::uint8_t>;
  // Parameter sets of a camera that differ from the built-in ones.
  const Bytes ownSps = {0x00, 0x00, 0x00, 0x01, 0x67, 0x42, 0xC0, 0x1E, 0xDA, 0x02, 0x80, 0xF6, 0x84,
                        0x00, 0x00, 0x03, 0x00, 0x04, 0x00, 0x00, 0x03, 0x00, 0xCA, 0x3C, 0x58, 0xBA,
                        0x80, 0x00, 0x00, 0x00, 0x01, 0x68, 0xCE, 0x0F, 0xC8};
  const Bytes ownVol = {0x00, 0x00, 0x01, 0xB0, 0x01, 0x00, 0x00, 0x01, 0xB5, 0x89, 0x13, 0x00,
                        0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x20, 0x00, 0xC4, 0x8D, 0x88, 0x1F,
                        0x45, 0x14, 0x04, 0x3C, 0x14, 0x63};
  const Bytes idr = {0x00, 0x00, 0x00, 0x01, 0x65, 0x88};
  const Bytes delimiter = {0x00, 0x00, 0x01, 0x09, 0xF0};
  const Bytes sei = {0x00, 0x00, 0x01, 0x06, 0x05, 0x01, 0x00, 0x80};
  const Bytes pps = {0x00, 0x00, 0x00, 0x01, 0x68, 0xCE, 0x38, 0x80};
  const Bytes vop = {0x00, 0x00, 0x01, 0xB6, 0x10};
  const Bytes gov = {0x00, 0x00, 0x01, 0xB3, 0x00, 0x10, 0x07};
  const Bytes vos = {0x00, 0x00, 0x01, 0xB0, 0x01};
  auto join = [](std::initializer_list<const Bytes*> parts) {
    Bytes all;
    for (const Bytes* p : parts) all.insert(all.end(), p->begin(), p->end());
    return all;
  };
  struct Case {
    const char* what;
    int codecId;
    int width;
    int key;
    Bytes start;  // the frame's first bytes; a filler without start codes follows
    bool builtIn;
  };
  const Case cases[] = {
      {"MPEG-4 VOP", avxxx::kCodecMpeg4, 640, 1, vop, true},
      {"MPEG-4 non-key VOP", avxxx::kCodecMpeg4, 640, 0, vop, false},
      {"MPEG-4 own VOS/VO/VOL", avxxx::kCodecMpeg4, 640, 1, join({&ownVol, &gov, &vop}), false},
      {"MPEG-4 GOV only", avxxx::kCodecMpeg4, 640, 1, join({&gov, &vop}), true},
      {"MPEG-4 VOS without VOL", avxxx::kCodecMpeg4, 640, 1, join({&vos, &vop}), true},
      {"H.264 IDR at 640", avxxx::kCodecH264, 640, 1, idr, true},
      {"H.264 IDR at 320", avxxx::kCodecH264, 320, 1, idr, true},
      {"H.264 own SPS/PPS", avxxx::kCodecH264, 640, 1, join({&ownSps, &idr}), false},
      {"H.264 delimiter, SEI, own SPS", avxxx::kCodecH264, 320, 1, join({&delimiter, &sei, &ownSps, &idr}), false},
      {"H.264 SEI and PPS only", avxxx::kCodecH264, 640, 1, join({&sei, &pps, &idr}), true},
      {"H.264 SPS after the slice", avxxx::kCodecH264, 640, 1, join({&idr, &ownSps}), true},
      {"H.264 IDR at 704", avxxx::kCodecH264, 704, 1, idr, false},
      {"Motion JPEG", avxxx::kCodecMjpeg, 640, 1, vop, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes frame = c.start;
    for (int i = 0; i < 1500; ++i) frame.push_back(static_cast<std::uint8_t>(i * 7 + 3));
    const std::string file = out_.File("first-" + std::to_string(&c - cases) + ".avi");
    const int height = c.width * 3 / 4;
    avxxx rec;
    ASSERT_EQ(rec.Open(height, c.width, file.c_str(), c.codecId, 500000), 1);
    ASSERT_EQ(rec.WriteVideo(static_cast<int>(frame.size()), frame.data(), c.key, 40), 1);
    ASSERT_EQ(rec.WriteVideo(static_cast<int>(frame.size()), frame.data(), 0, 40), 1);
    rec.Close();
    const std::string bytes = mediatest::Run("ffmpeg -nostdin -v quiet -i '" + file +
                                             "' -map 0:v:0 -c copy -frames:v 1 -f data - 2>/dev/null");
    std::uint8_t header[kConfigHeaderScratch] = {};
    int n = 0;
    if (c.builtIn && c.codecId == avxxx::kCodecMpeg4) n = MakeMpeg4ConfigHeader(c.width, height, header);
    if (c.builtIn && c.codecId == avxxx::kCodecH264) n = MakeH264ConfigHeader(c.width, header);
    ASSERT_EQ(n > 0, c.builtIn);
    std::string expected(reinterpret_cast<const char*>(header), static_cast<std::size_t>(n));
    expected.append(reinterpret_cast<const char*>(frame.data()), frame.size());
    EXPECT_EQ(bytes.size(), expected.size());
    EXPECT_TRUE(bytes == expected);
  }
}

// The bytes of an ffprobe hex dump ("00000000: 0142 001e ...  ascii").
std::string HexDumpBytes(const std::string& dump) {
  std::string bytes;
  std::istringstream lines(dump);
  std::string line;
  while (std::getline(lines, line)) {
    const auto colon = line.find(": ");
    if (colon == std::string::npos || colon != 8) continue;
    const std::string hex = line.substr(colon + 2, 39);  // eight groups of four digits
    for (std::size_t i = 0; i + 1 < hex.size();) {
      if (hex[i] == ' ') {
        ++i;
        continue;
      }
      bytes.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
      i += 2;
    }
  }
  return bytes;
}

// MP4 and QuickTime keep the configuration out of band: the record is the
// first key frame's own parameter sets when it carries them (the camera's
// SPS, not the built-in Baseline one; the camera's VOS/VO/VOL), else the
// built-in header; pictures and sound before the first key frame are left
// out.
TEST_F(AviRecorderTest, Mp4ConfigurationRecordComesFromTheFirstKeyFrame) {
  using Bytes = std::vector<std::uint8_t>;
  const Bytes ownSps = {0x00, 0x00, 0x00, 0x01, 0x67, 0x4D, 0x40, 0x1E, 0xDA, 0x02, 0x80, 0xF6, 0x84,
                        0x00, 0x00, 0x03, 0x00, 0x04, 0x00, 0x00, 0x03, 0x00, 0xCA, 0x3C, 0x58, 0xBA,
                        0x80, 0x00, 0x00, 0x00, 0x01, 0x68, 0xEE, 0x0F, 0xC8};
  const Bytes ownVol = {0x00, 0x00, 0x01, 0xB0, 0x01, 0x00, 0x00, 0x01, 0xB5, 0x89, 0x13, 0x00,
                        0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x20, 0x00, 0xC4, 0x8D, 0x88, 0x1F,
                        0x45, 0x14, 0x04, 0x3C, 0x14, 0x63};
  const Bytes idr = {0x00, 0x00, 0x00, 0x01, 0x65, 0x88};
  const Bytes vop = {0x00, 0x00, 0x01, 0xB6, 0x10};
  struct Case {
    const char* what;
    int codecId;
    Bytes sets;  // in front of the key frame's picture; empty: none of its own
    int expectedByte;  // H.264: the record's profile_idc (avcC byte 1)
  };
  const Case cases[] = {
      {"H.264 own SPS/PPS", avxxx::kCodecH264, ownSps, 0x4D},
      {"H.264 without", avxxx::kCodecH264, {}, 0x42},
      {"MPEG-4 own VOL", avxxx::kCodecMpeg4, ownVol, -1},
      {"MPEG-4 without", avxxx::kCodecMpeg4, {}, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const bool h264 = c.codecId == avxxx::kCodecH264;
    Bytes key = c.sets;
    key.insert(key.end(), h264 ? idr.begin() : vop.begin(), h264 ? idr.end() : vop.end());
    for (int i = 0; i < 1500; ++i) key.push_back(static_cast<std::uint8_t>(i * 7 + 3));
    Bytes other = h264 ? Bytes{0x00, 0x00, 0x00, 0x01, 0x41, 0x9A} : vop;
    for (int i = 0; i < 500; ++i) other.push_back(static_cast<std::uint8_t>(i * 7 + 3));
    const std::string file = out_.File("first-" + std::to_string(&c - cases) + ".mov");  // QuickTime: mu-law too
    const std::vector<std::uint8_t> audio = AudioBlock();
    avxxx rec;
    ASSERT_EQ(rec.Open(480, 640, file.c_str(), c.codecId, 500000), 1);
    EXPECT_EQ(rec.WriteAudio(audio.data(), static_cast<int>(audio.size())), 0) << "before any picture";
    EXPECT_EQ(rec.WriteVideo(static_cast<int>(other.size()), other.data(), 0, 40), 0) << "before the key frame";
    ASSERT_EQ(rec.WriteVideo(static_cast<int>(key.size()), key.data(), 1, 40), 1);
    ASSERT_EQ(rec.WriteAudio(audio.data(), static_cast<int>(audio.size())), 1);
    ASSERT_EQ(rec.WriteVideo(static_cast<int>(other.size()), other.data(), 0, 40), 1);
    rec.Close();
    EXPECT_EQ(rec.LostFrames(), 1);
    const std::string record = HexDumpBytes(
        mediatest::Run("ffprobe -v error -show_data -select_streams v:0 -show_entries stream=extradata -of "
                       "default=nw=1 '" + file + "'"));
    if (h264) {
      ASSERT_GE(record.size(), 2u);
      EXPECT_EQ(static_cast<std::uint8_t>(record[1]), c.expectedByte);
      continue;
    }
    std::uint8_t builtIn[kConfigHeaderScratch] = {};
    const int n = MakeMpeg4ConfigHeader(640, 480, builtIn);
    const std::string expected = c.sets.empty() ? std::string(reinterpret_cast<const char*>(builtIn), n)
                                                : std::string(c.sets.begin(), c.sets.end());
    EXPECT_TRUE(record == expected) << record.size();
  }
}

// A camera clock running 25 % slow (50 ms frames while audio arrives every
// 40 ms) is pulled onto the audio clock: both streams end together.
TEST_F(AviRecorderTest, VideoClockFollowsAudioClock) {
  const std::vector<Packet>& packets = Packets(0);
  const std::vector<std::uint8_t> audio = AudioBlock();
  const std::string file = out_.File("drift.avi");
  avxxx rec;
  ASSERT_EQ(rec.Open(240, 320, file.c_str(), avxxx::kCodecMjpeg, 500000), 1);
  for (int i = 0; i < 100; ++i) {
    ASSERT_EQ(rec.WriteAudio(audio.data(), static_cast<int>(audio.size())), 1);
    const Packet& p = packets[i];
    ASSERT_EQ(rec.WriteVideo(static_cast<int>(p.data.size()), p.data.data(), 1, 50), 1);
  }
  rec.Close();
  // Where each stream ends: the last video frame's time plus its 40 ms, and
  // the audio bytes at 8000 per second.
  const std::string out = mediatest::Run("ffprobe -v error -show_entries packet=stream_index,pts_time,size "
                                         "-of csv=p=0 '" + file + "'");
  double video = 0.0;
  long audioBytes = 0;
  std::istringstream lines(out);
  std::string line;
  while (std::getline(lines, line)) {
    int stream = -1;
    double t = 0.0;
    long size = 0;
    if (std::sscanf(line.c_str(), "%d,%lf,%ld", &stream, &t, &size) != 3) continue;
    if (stream == 0 && size > 0) video = t + 0.04;
    if (stream == 1) audioBytes += size;
  }
  const double sound = audioBytes / 8000.0;
  EXPECT_NEAR(sound, 4.0, 0.001);
  EXPECT_NEAR(video, sound, 0.15) << out;  // 5.0 s without the alignment
}

// Two frames 4 ms apart share a rounded timestamp: the second is lost,
// counted, and the file stays valid.
TEST_F(AviRecorderTest, CollidingTimestampLosesOneFrame) {
  const std::vector<Packet>& packets = Packets(0);
  const std::string file = out_.File("collide.avi");
  avxxx rec;
  ASSERT_EQ(rec.Open(240, 320, file.c_str(), avxxx::kCodecMjpeg, 500000), 1);
  const int durations[] = {40, 4, 40, 40, 40, 40};
  int written = 0;
  for (int i = 0; i < 6; ++i) {
    const Packet& p = packets[i];
    written += rec.WriteVideo(static_cast<int>(p.data.size()), p.data.data(), 1, durations[i]);
  }
  EXPECT_EQ(written, 5);
  EXPECT_EQ(rec.LostFrames(), 1);
  rec.Close();
  const std::string out = Probe("-select_streams v:0 -count_frames -show_entries stream=nb_read_frames", file);
  EXPECT_EQ(ProbeValue(out, "nb_read_frames"), "5") << out;
  EXPECT_EQ(DecodeErrors(file), "");
}

// An extension the library does not know gives an MPEG program stream.
TEST_F(AviRecorderTest, UnknownExtensionWritesMpegProgramStream) {
  const std::vector<Packet>& packets = Packets(1);
  const std::string file = out_.File("clip.rec");
  avxxx rec;
  ASSERT_EQ(rec.Open(240, 320, file.c_str(), avxxx::kCodecMpeg4, 500000), 1);
  for (int i = 0; i < 25; ++i) {
    const Packet& p = packets[i];
    ASSERT_EQ(rec.WriteVideo(static_cast<int>(p.data.size()), p.data.data(), p.key, 40), 1);
  }
  rec.Close();
  const std::string out = Probe("-show_entries format=format_name", file);
  EXPECT_EQ(ProbeValue(out, "format_name"), "mpeg") << out;
}

// Calls that must be refused, and leave a usable recorder behind.
TEST_F(AviRecorderTest, RefusedCalls) {
  const std::uint8_t frame[64] = {};
  avxxx rec;
  EXPECT_EQ(rec.WriteVideo(sizeof frame, frame, 1, 40), 0) << "closed";
  EXPECT_EQ(rec.WriteAudio(frame, sizeof frame), 0) << "closed";
  rec.Close();  // closing a closed recorder does nothing
  EXPECT_EQ(rec.Open(240, 320, out_.File("no/such/dir/x.avi").c_str(), avxxx::kCodecMjpeg, 1), 0);
  EXPECT_EQ(rec.Open(240, 320, out_.File("x.avi").c_str(), 99, 1), 0) << "unknown codec";
  EXPECT_FALSE(rec.IsOpen());

  ASSERT_EQ(rec.Open(8, 8, out_.File("x.avi").c_str(), avxxx::kCodecMpeg4, 1), 1);
  EXPECT_EQ(rec.Open(8, 8, out_.File("y.avi").c_str(), avxxx::kCodecMpeg4, 1), 0) << "already open";
  EXPECT_EQ(rec.WriteVideo(sizeof frame, frame, 0, 1000), 0) << "duration of a second";
  // 8x8x2 = 128 bytes of key-frame buffer: 29 + 64 fits, 29 + 100 does not.
  EXPECT_EQ(rec.WriteVideo(64, frame, 1, 40), 1);
  std::vector<std::uint8_t> big(100);
  EXPECT_EQ(rec.WriteVideo(100, big.data(), 1, 40), 0) << "key frame too large";
  EXPECT_EQ(rec.WriteVideo(100, big.data(), 0, 40), 1) << "non-key frames need no buffer";
  EXPECT_EQ(rec.LostFrames(), 2);
  rec.Close();
  EXPECT_FALSE(rec.IsOpen());
}

}  // namespace

namespace {

// A recording that begins in the middle of a group of pictures (a file
// split, or a start while the camera's key frame is still on its way):
// with the start-with-key-frame switch the file leaves out what comes
// before the first key frame, sound included, and decodes cleanly.
TEST_F(AviRecorderTest, FileBeginsWithTheFirstKeyFrame) {
  const std::vector<std::uint8_t> audio = AudioBlock();
  for (int i : {1, 2}) {
    const Reference& r = kReferences[i];
    SCOPED_TRACE(r.codecName);
    const std::vector<Packet>& packets = Packets(i);
    // Start on the frame after the first key frame: the rest of that group
    // cannot be decoded without it.
    std::size_t start = 1;
    while (start < packets.size() && packets[start].key) ++start;
    std::size_t nextKey = start;
    while (nextKey < packets.size() && !packets[nextKey].key) ++nextKey;
    ASSERT_LT(nextKey, packets.size());
    const std::string file = out_.File(std::string("mid-") + r.name + ".avi");
    avxxx rec;
    rec.SetStartWithKeyFrame(true);
    ASSERT_EQ(rec.Open(240, 320, file.c_str(), r.codecId, avxxx::BitRateForQuality(6)), 1);
    int sound = 0;
    for (std::size_t k = start; k < packets.size(); ++k) {
      sound += rec.WriteAudio(audio.data(), static_cast<int>(audio.size()));
      rec.WriteVideo(static_cast<int>(packets[k].data.size()), packets[k].data.data(), packets[k].key, 40);
    }
    rec.Close();
    EXPECT_EQ(rec.FramesBeforeKey(), static_cast<int>(nextKey - start));
    // Each turn writes its sound before its frame: sound from the turn after
    // the key frame on.
    EXPECT_EQ(sound, static_cast<int>(packets.size() - nextKey - 1));
    EXPECT_EQ(rec.LostFrames(), 0);
    EXPECT_EQ(DecodeErrors(file), "");
  }
}

}  // namespace

namespace {

// Sound that comes in short blocks (the player hands over what it has):
// its clock counts the bytes, so picture and sound end together, and the
// picture keeps its even 40 ms steps (no 30 ms steps from pulling both
// ways, which players read as two frames in one interval).
TEST_F(AviRecorderTest, ShortSoundBlocksKeepThePictureEven) {
  const std::vector<Packet>& packets = Packets(0);
  const std::vector<std::uint8_t> block(160, 0xFF);  // 20 ms
  const std::string file = out_.File("short-blocks.avi");
  avxxx rec;
  ASSERT_EQ(rec.Open(240, 320, file.c_str(), avxxx::kCodecMjpeg, 500000), 1);
  for (int i = 0; i < 100; ++i) {
    ASSERT_EQ(rec.WriteAudio(block.data(), static_cast<int>(block.size())), 1);
    ASSERT_EQ(rec.WriteAudio(block.data(), static_cast<int>(block.size())), 1);
    const Packet& p = packets[i];
    ASSERT_EQ(rec.WriteVideo(static_cast<int>(p.data.size()), p.data.data(), 1, 40), 1);
  }
  rec.Close();
  const std::string out = mediatest::Run("ffprobe -v error -select_streams v -show_entries packet=pts,size "
                                         "-of csv=p=0 '" + file + "'");
  std::istringstream lines(out);
  std::string line;
  long last = -1;
  std::vector<long> steps;
  while (std::getline(lines, line)) {
    long pts = 0, size = 0;
    if (std::sscanf(line.c_str(), "%ld,%ld", &pts, &size) != 2 || size == 0) continue;
    if (last >= 0) steps.push_back(pts - last);
    last = pts;
  }
  ASSERT_EQ(steps.size(), 99u);
  // (The file's first frame stands until the second's place, whatever the
  // first step.)
  for (std::size_t i = 1; i < steps.size(); ++i) EXPECT_EQ(steps[i], 4) << out;  // 1/100 s units
  EXPECT_EQ(DecodeErrors(file), "");
}

}  // namespace
