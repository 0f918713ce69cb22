// Pre-encoded video loops. Every (format, size, rate, camera) combination is
// encoded once at start-up into one contiguous buffer of frames; the server
// then only copies bytes out of it, so serving many cameras costs almost
// nothing.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <tuple>
#include <vector>

namespace camsim {

enum class VideoKind {
  kH264,          // H.264 Baseline, SPS/PPS before every IDR
  kMpeg4,         // MPEG-4 Visual Simple Profile, VOS/VOL/GOV before key frames
  kMpeg4Bare,     // the same VOPs with every header before the VOP removed
  kJpeg422,       // Motion JPEG, luma 2x1, chroma 1x1, with DHT
  kJpeg420,       // Motion JPEG, luma 2x2, chroma 1x1, with DHT
  kJpeg422NoDht,  // as kJpeg422 without Huffman tables (standard tables implied)
  kJpeg420NoDht,
  kLavcJpeg422,   // libavcodec's 4:2:2 layout (luma 2x2, chroma 1x2)
};

// True for the Motion JPEG kinds (start code "MMJP").
bool IsJpegKind(VideoKind kind);
// Parses the names used in the configuration file ("h264", "mpeg4",
// "mpeg4-bare", "mjpeg422", "mjpeg420", "mjpeg422-nodht", "mjpeg420-nodht",
// "lavc-mjpeg422"). Returns false for an unknown name.
bool ParseVideoKind(const std::string& name, VideoKind* kind);
const char* VideoKindName(VideoKind kind);

struct LoopKey {
  VideoKind kind = VideoKind::kH264;
  int width = 640;
  int height = 480;
  int fps = 25;
  int seconds = 10;
  int camera = 0;  // shown in the picture
  // H.264 and MPEG-4 (not mpeg4-bare): key frames carry parameter sets that
  // differ from the viewer's built-in ones (H.264 Main profile, level 4.0;
  // an MPEG-4 VOL with a time resolution of 30000, not 1000).
  bool ownParams = false;
  bool operator<(const LoopKey& o) const {
    return std::tie(kind, width, height, fps, seconds, camera, ownParams) <
           std::tie(o.kind, o.width, o.height, o.fps, o.seconds, o.camera, o.ownParams);
  }
};

struct LoopFrame {
  std::uint32_t offset = 0;
  std::uint32_t size = 0;
  bool key = false;
};

class StreamLoop {
 public:
  LoopKey key;
  std::vector<std::uint8_t> bytes;
  std::vector<LoopFrame> frames;

  int FrameCount() const { return static_cast<int>(frames.size()); }
  const std::uint8_t* Data(int index) const { return bytes.data() + frames[static_cast<std::size_t>(index)].offset; }
  // The first key frame at or after |index| (wrapping), or 0.
  int NextKeyFrame(int index) const;
};

// Encodes one loop. Returns nullptr (logged) when the encoder fails.
std::unique_ptr<StreamLoop> EncodeLoop(const LoopKey& key);

// Process-wide store of loops, filled at start-up and on format changes.
class LoopCache {
 public:
  // Encodes every missing key, using up to two threads. Returns 1 when all
  // loops exist afterwards, else 0.
  int Prepare(const std::vector<LoopKey>& keys);
  // The loop for |key|, encoded now if missing; nullptr when encoding fails.
  const StreamLoop* Get(const LoopKey& key);

 private:
  std::mutex lock_;  // guards loops_
  std::map<LoopKey, std::unique_ptr<StreamLoop>> loops_;
};

}  // namespace camsim
