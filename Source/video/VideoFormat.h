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

// The largest picture side a camera's VIDEO section may give (the render
// allocates W x H pictures from it).
inline constexpr int kMaxVideoSide = 4096;

// Turns the camera's VIDEO section (VAR text "RES=2;VCODEC=1;...") into a
// format. The byte fields take the low 8 bits of RES, VCODEC, QUALITY,
// CONTRAST and BRIGHT. The size follows RES: 0 or 1 give 320x240, 2 gives
// 640x480, any other value takes WIDTH x HEIGHT as sent, and both must be
// 1..kMaxVideoSide. False (logged) when |var| is null or the size is out of
// bounds; |out| is written only on success. Thread-safe (no shared state).
bool ParseVideoFormat(const char* var, VideoFormat* out);

