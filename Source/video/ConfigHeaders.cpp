#include "video/ConfigHeaders.h"

#include <cstring>

namespace video {

int MakeMpeg4ConfigHeader(int width, int height, std::uint8_t* out) {
  // Visual object sequence (Simple Profile level 1), visual object (verid 1,
  // priority 1, video), video object 0, then the layer. Its fixed fields:
  // Simple object type, 1:1 aspect, rectangular, time increment resolution
  // 1000, width and height with marker bits, progressive, no OBMC, no
  // sprites, 8 bits, H.263 quantisation, no resync or partitioning, and the
  // stuffing 011111 that byte-aligns it.
  static const std::uint8_t kFixed[23] = {
      0x00, 0x00, 0x01, 0xB0, 0x01,                    // VOS start, profile 1
      0x00, 0x00, 0x01, 0xB5, 0x89, 0x13,              // visual object
      0x00, 0x00, 0x01, 0x00,                          // video object 0
      0x00, 0x00, 0x01, 0x20, 0x00, 0x84, 0x40, 0xFA,  // video object layer
  };
  std::memcpy(out, kFixed, 23);
  const std::uint32_t sizeBits = 0x28002000u +
                                 static_cast<std::uint32_t>(width % 8192) * 16384u +
                                 static_cast<std::uint32_t>(height % 8192);
  out[23] = static_cast<std::uint8_t>(sizeBits >> 24);
  out[24] = static_cast<std::uint8_t>(sizeBits >> 16);
  out[25] = static_cast<std::uint8_t>(sizeBits >> 8);
  out[26] = static_cast<std::uint8_t>(sizeBits);
  out[27] = 0xA3;
  out[28] = 0x1F;
  return 29;
}

int MakeH264ConfigHeader(int width, std::uint8_t* out) {
  // Baseline, level 3.0, POC type 2, one reference frame, frames only; the
  // PPS is CAVLC with initial QP 26.
  static const std::uint8_t k640[21] = {0x00, 0x00, 0x00, 0x01, 0x67, 0x42, 0x00,
                                        0x1E, 0xA6, 0x80, 0xA0, 0x3D, 0x90, 0x00,
                                        0x00, 0x00, 0x01, 0x68, 0xCE, 0x38, 0x80};
  static const std::uint8_t k320[20] = {0x00, 0x00, 0x00, 0x01, 0x67, 0x42, 0x00,
                                        0x1E, 0xA6, 0x81, 0x41, 0xF9, 0x00, 0x00,
                                        0x00, 0x01, 0x68, 0xCE, 0x38, 0x80};
  if (width == 640) {
    std::memcpy(out, k640, sizeof k640);
    return sizeof k640;
  }
  if (width == 320) {
    std::memcpy(out, k320, sizeof k320);
    return sizeof k320;
  }
  return 0;
}

}  // namespace video
