// The stream description a viewer hands to its render: what the camera's
// video settings say about resolution, codec and size. 48 bytes, laid out as
// the recorder and the viewer's comparisons expect.
#pragma once

#include <cstdint>

// Codec selector values (the camera's VCODEC).
inline constexpr int kCodecMotionJpeg = 0;
inline constexpr int kCodecMpeg4 = 1;
inline constexpr int kCodecH264 = 2;

struct VideoFormat {
  std::uint8_t resolution = 0;  // RES
  std::uint8_t codec = 0;       // VCODEC: 0 Motion JPEG, 1 MPEG-4, 2 H.264
  std::uint8_t quality = 0;     // QUALITY
  std::uint8_t contrast = 0;    // CONTRAST
  std::uint8_t brightness = 0;  // BRIGHT
  std::uint8_t zero1[3] = {};
  std::int32_t width = 0;       // W in pixels
  std::int32_t height = 0;      // H in pixels
  std::uint8_t zero2[32] = {};
};
static_assert(sizeof(VideoFormat) == 48, "VideoFormat is a 48-byte record");

