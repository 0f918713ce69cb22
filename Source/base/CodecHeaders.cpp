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

// What a frame's leading headers hold: whether a parameter set is among them,
// and where they end (the first slice or picture), or the bytes scanned when
// that lies beyond them.
struct HeaderScan {
  bool hasSet = false;
  std::size_t end = 0;
};

// Walks the 00 00 01 start codes in the first kConfigScanLimit bytes of
// |data|. |classify| sees the byte after each: 1 for a parameter set, 0 for
// the first unit after the headers (the scan stops there), -1 for any other
// header. Start codes cannot occur inside H.264 NAL units or MPEG-4 headers
// (both formats prevent emulation), so every match is a real unit boundary.
template <typename Classify>
HeaderScan ScanHeaders(const std::uint8_t* data, std::size_t size, Classify classify) {
  HeaderScan scan;
  if (data == nullptr) return scan;
  const std::size_t end = size < kConfigScanLimit ? size : kConfigScanLimit;
  scan.end = end;
  for (std::size_t i = 0; i + 3 < end; ++i) {
    if (data[i + 2] > 1) {
      i += 2;  // no start code can begin at i, i+1 or i+2
      continue;
    }
    if (data[i] != 0 || data[i + 1] != 0 || data[i + 2] != 1) continue;
    const int kind = classify(data[i + 3]);
    if (kind == 0) {
      scan.end = (i > 0 && data[i - 1] == 0) ? i - 1 : i;  // a four-byte start code's leading zero
      return scan;
    }
    if (kind == 1) scan.hasSet = true;
    i += 2;
  }
  return scan;
}

HeaderScan ScanH264(const std::uint8_t* data, std::size_t size) {
  return ScanHeaders(data, size, [](std::uint8_t header) {
    const int type = header & 0x1F;
    if (type == 7) return 1;               // sequence parameter set
    if (type >= 1 && type <= 5) return 0;  // a slice
    return -1;                             // PPS, SEI, delimiter, ...
  });
}

HeaderScan ScanMpeg4(const std::uint8_t* data, std::size_t size) {
  return ScanHeaders(data, size, [](std::uint8_t code) {
    if (code >= 0x20 && code <= 0x2F) return 1;  // video object layer
    if (code == 0xB3 || code == 0xB6) return 0;  // group of VOPs, VOP
    return -1;                                   // VOS, VO, user data
  });
}

}  // namespace

bool H264FrameHasSps(const std::uint8_t* data, std::size_t size) { return ScanH264(data, size).hasSet; }

bool Mpeg4FrameHasVol(const std::uint8_t* data, std::size_t size) { return ScanMpeg4(data, size).hasSet; }

std::size_t H264FrameConfigLength(const std::uint8_t* data, std::size_t size) {
  const HeaderScan scan = ScanH264(data, size);
  return scan.hasSet ? scan.end : 0;
}

std::size_t Mpeg4FrameConfigLength(const std::uint8_t* data, std::size_t size) {
  const HeaderScan scan = ScanMpeg4(data, size);
  return scan.hasSet ? scan.end : 0;
}
