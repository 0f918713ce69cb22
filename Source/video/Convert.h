// Conversions of a YV12 picture (Y, then Cr at W*H, then Cb at W*H*5/4,
// packed rows) into the pixel formats of the video surface kinds. Each writes
// into a destination buffer with its own row pitch. W must be even and H
// even; every 2 x 2 luma block shares one Cb and one Cr sample. Mirrored
// output takes output pixel x from input pixel W - 1 - x.
#pragma once

#include <cstdint>

#include "video/PictureRange.h"

// Surface kinds in the order the presenter tries them.
inline constexpr int kKindYV12 = 1;    // planar Y, V, U
inline constexpr int kKindUYVY = 2;    // packed U Y0 V Y1
inline constexpr int kKindYUY2 = 3;    // packed Y0 U Y1 V
inline constexpr int kKindRGB565 = 4;  // 16-bit R F800, G 07E0, B 001F
inline constexpr int kKindRGB24 = 5;   // bytes B, G, R
inline constexpr int kKindRGB32 = 6;   // 32-bit X8R8G8B8

// The integer factors of one range's YCbCr to RGB conversion, scaled by
// 65536: R = (y * (Y - yOffset) + yRound + rCr * (Cr - 128)) >> 16, and so
// on. Video range uses the BT.601 factors 1.164, 1.596, 0.813, 0.391, 2.018
// (luma 16..235 stretched to 0..255, truncated); full range the JPEG ones
// 1.0, 1.402, 0.714, 0.344, 1.772 (rounded to nearest).
struct ColourFactors {
  std::int32_t y, yOffset, yRound, rCr, gCr, gCb, bCb;
};

// The clamp table (indexed -384..639) and the colour tables of one range,
// built once per range.
struct ColourTables {
  ColourFactors factors;
  std::uint8_t clampStorage[1024];
  std::int32_t y[256];    // factors.y * (i - factors.yOffset) + factors.yRound
  std::int32_t rCr[256];  // factors.rCr * (i - 128)
  std::int32_t gCr[256];  // factors.gCr * (i - 128)
  std::int32_t gCb[256];  // factors.gCb * (i - 128)
  std::int32_t bCb[256];  // factors.bCb * (i - 128)
  std::uint8_t Clamp(int v) const { return clampStorage[v + 384]; }
};
// The tables for pictures of |range|; both sets are built on the first call
// (the start-up calls it once so that no picture waits for it).
const ColourTables& GetColourTables(PictureRange range = PictureRange::kVideo);

// Bytes per pixel of a packed or RGB kind (1 for the planar kind, 0 for an
// unknown kind).
int BytesPerPixel(int kind);

// Bytes the destination must hold: pitch * H * 3/2 for kind 1, pitch * H
// for the others.
long DestinationSize(int kind, int height, int pitch);

// Converts |picture| (W x H, samples in |range|) into |dst| at |pitch| bytes
// per row (kind 1: the Y rows at pitch, then H chroma rows, Cr rows before Cb
// rows, at pitch/2; the YUV kinds copy samples as they are, the RGB kinds use
// the range's tables). Returns 1, or 0 for an unknown kind or sizes it
// cannot serve (W or H odd or not positive, W above 2048, pitch too small).
int ConvertPicture(int kind, const std::uint8_t* picture, int width, int height, PictureRange range,
                   bool mirror, std::uint8_t* dst, int pitch);

// The widest output of ConvertPictureScaled.
inline constexpr int kMaxScaledWidth = 4096;

// Converts |picture| (W x H) into an RGB kind (4, 5 or 6) at OW x OH: output
// pixel (x, y) is the full-size conversion's pixel (x * W / OW, y * H / OH),
// the nearest-neighbour scaling an unsmoothed painter does, so a picture
// converted at its place's size is painted without scaling. Meant for
// shrinking: each output pixel costs a gather and a conversion. Returns 1,
// or 0 for other kinds or sizes it cannot serve (as ConvertPicture, OW
// above 4096, OW or OH not positive, pitch below OW pixels).
int ConvertPictureScaled(int kind, const std::uint8_t* picture, int width, int height, PictureRange range,
                         bool mirror, std::uint8_t* dst, int pitch, int outWidth, int outHeight);

// The same conversions written plainly with the tables, one pixel at a time;
// ConvertPicture must give identical bytes. Used to check the fast paths.
int ConvertPictureReference(int kind, const std::uint8_t* picture, int width, int height,
                            PictureRange range, bool mirror, std::uint8_t* dst, int pitch);
