#include "base/CodecHeaders.h"

#include <cstring>

int MakeMpeg4ConfigHeader(int width, int height, std::uint8_t* out) {
  // Visual object sequence (Simple Profile level 1), visual object, video
  // object 0, then the video object layer whose size fields are patched in.
  static const std::uint8_t kTemplate[29] = {
      0x00, 0x00, 0x01, 0xB0, 0x01,                                // VOS
      0x00, 0x00, 0x01, 0xB5, 0x89, 0x13,                          // VO header
      0x00, 0x00, 0x01, 0x00,                                      // VO 0
      0x00, 0x00, 0x01, 0x20, 0x00, 0x84, 0x40, 0xFA,              // VOL start
      0x00, 0x00, 0x00, 0x00,                                      // size bits
      0xA3, 0x1F};                                                 // tail
  std::memcpy(out, kTemplate, sizeof kTemplate);
  const std::uint32_t v = 0x28002000u + static_cast<std::uint32_t>(width % 8192) * 16384u +
                          static_cast<std::uint32_t>(height % 8192);
  out[23] = static_cast<std::uint8_t>(v >> 24);
  out[24] = static_cast<std::uint8_t>(v >> 16);
  out[25] = static_cast<std::uint8_t>(v >> 8);
  out[26] = static_cast<std::uint8_t>(v);
  return 29;
}

int MakeH264ConfigHeader(int width, std::uint8_t* out) {
  static const std::uint8_t k640[21] = {0x00, 0x00, 0x00, 0x01, 0x67, 0x42, 0x00, 0x1E, 0xA6, 0x80, 0xA0,
                                        0x3D, 0x90, 0x00, 0x00, 0x00, 0x01, 0x68, 0xCE, 0x38, 0x80};
  static const std::uint8_t k320[20] = {0x00, 0x00, 0x00, 0x01, 0x67, 0x42, 0x00, 0x1E, 0xA6, 0x81,
                                        0x41, 0xF9, 0x00, 0x00, 0x00, 0x01, 0x68, 0xCE, 0x38, 0x80};
  if (width == 640) {
    std::memcpy(out, k640, sizeof k640);
    return static_cast<int>(sizeof k640);
  }
  if (width == 320) {
    std::memcpy(out, k320, sizeof k320);
    return static_cast<int>(sizeof k320);
  }
  return 0;
}

namespace {

// Calls |visit| with the byte after each 00 00 01 start code in the first
// kConfigScanLimit bytes of |data| until it returns a decision (0 or 1);
// -1 from |visit| goes on. Returns false when no decision was reached. Start
// codes cannot occur inside H.264 NAL units or MPEG-4 headers (both formats
// prevent emulation), so every match is a real unit boundary.
template <typename Visit>
bool ScanStartCodes(const std::uint8_t* data, std::size_t size, Visit visit) {
  if (data == nullptr) return false;
  const std::size_t end = size < kConfigScanLimit ? size : kConfigScanLimit;
  for (std::size_t i = 0; i + 3 < end; ++i) {
    if (data[i + 2] > 1) {
      i += 2;  // no start code can begin at i, i+1 or i+2
      continue;
    }
    if (data[i] != 0 || data[i + 1] != 0 || data[i + 2] != 1) continue;
    const int decision = visit(data[i + 3]);
    if (decision >= 0) return decision == 1;
    i += 2;
  }
  return false;
}

}  // namespace

bool H264FrameHasSps(const std::uint8_t* data, std::size_t size) {
  return ScanStartCodes(data, size, [](std::uint8_t header) {
    const int type = header & 0x1F;
    if (type == 7) return 1;                // sequence parameter set
    if (type >= 1 && type <= 5) return 0;   // a slice: the parameter sets are behind
    return -1;                              // PPS, SEI, delimiter, ...
  });
}

bool Mpeg4FrameHasVol(const std::uint8_t* data, std::size_t size) {
  return ScanStartCodes(data, size, [](std::uint8_t code) {
    if (code >= 0x20 && code <= 0x2F) return 1;  // video object layer
    if (code == 0xB6) return 0;                  // VOP: no headers after it
    return -1;                                   // VOS, VO, GOV, user data
  });
}
