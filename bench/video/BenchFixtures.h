// Streams for the video benchmarks, made once per run with the ffmpeg tool
// (H.264, MPEG-4) and libjpeg (Motion JPEG), 640 x 480, one packet per frame.
#pragma once

#include <cstdint>
#include <vector>

namespace bench {

using Packet = std::vector<std::uint8_t>;

struct Stream {
  std::vector<Packet> packets;  // each with 64 bytes of padding after its data
  std::vector<int> sizes;
};

// 100 frames of a moving test pattern, a key frame every 25.
const Stream& H264Stream();
const Stream& Mpeg4Stream();
// 25 frames of the same pattern as baseline JPEG, 4:2:2 (as the cameras send).
const Stream& JpegStream(int width, int height);

// The 640 x 480 YV12 picture of the first pattern frame.
const std::vector<std::uint8_t>& Picture640();

}  // namespace bench
