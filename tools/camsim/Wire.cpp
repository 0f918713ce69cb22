#include "camsim/Wire.h"

#include <cstdio>
#include <cstring>

#include "base/base.h"

namespace camsim {

CameraMessage::CameraMessage(const char* stid, const char* dtid) {
  Line("SRC", "C").Line("STID", stid).Line("DST", "V").Line("DTID", dtid);
}

void CameraMessage::Append(const char* text) {
  const int n = static_cast<int>(std::strlen(text));
  // Keep room for the closing "\n\n" and the terminator.
  if (!ok_ || length_ + n + 3 > kCameraMessageSize) {
    if (ok_) LogMessage("%s:%d (%d)\r\n", LOGPOS, length_ + n);
    ok_ = false;
    return;
  }
  std::memcpy(buffer_ + length_, text, static_cast<std::size_t>(n));
  length_ += n;
  buffer_[length_] = 0;
}

CameraMessage& CameraMessage::Line(const char* key, const char* value) {
  if (length_ > 0) Append("\n");
  Append(key);
  Append("#");
  // An empty value would shift the viewer's pairing: send "0" instead.
  Append(value && *value ? value : "0");
  return *this;
}

CameraMessage& CameraMessage::Line(const char* key, long long value) {
  char text[32];
  std::snprintf(text, sizeof text, "%lld", value);
  return Line(key, text);
}

CameraMessage& CameraMessage::Var(const char* text) { return Line("VAR", text); }

const char* CameraMessage::Finish() {
  if (!finished_) {
    std::memcpy(buffer_ + length_, "\n\n", 3);
    length_ += 2;
    finished_ = true;
  }
  return buffer_;
}

void PutVideoHeader(std::uint8_t* out, bool jpeg, std::uint32_t seconds, std::uint32_t micros,
                    std::uint32_t sequence, std::int32_t payloadSize, bool keyFrame) {
  std::memcpy(out, jpeg ? "MMJP" : "MMPG", 4);
  auto put = [&](int at, std::uint32_t v) {
    out[at] = static_cast<std::uint8_t>(v);
    out[at + 1] = static_cast<std::uint8_t>(v >> 8);
    out[at + 2] = static_cast<std::uint8_t>(v >> 16);
    out[at + 3] = static_cast<std::uint8_t>(v >> 24);
  };
  put(4, seconds);
  put(8, micros);
  put(12, sequence);
  put(16, static_cast<std::uint32_t>(payloadSize));
  put(20, keyFrame ? 1u : 0u);
  put(24, 0);
  put(28, 0);
}

std::uint8_t LinearToMulaw(std::int16_t sample) {
  constexpr int kBias = 0x84;
  constexpr int kClip = 32635;
  int s = sample;
  int sign = (s >> 8) & 0x80;
  if (sign) s = -s;
  if (s > kClip) s = kClip;
  s += kBias;
  int exponent = 7;
  for (int mask = 0x4000; (s & mask) == 0 && exponent > 0; mask >>= 1) --exponent;
  int mantissa = (s >> (exponent + 3)) & 0x0F;
  return static_cast<std::uint8_t>(~(sign | (exponent << 4) | mantissa));
}

std::int16_t MulawToLinear(std::uint8_t code) {
  int u = ~code & 0xFF;
  int t = ((u & 0x0F) << 3) + 0x84;
  t <<= (u & 0x70) >> 4;
  return static_cast<std::int16_t>((u & 0x80) ? (0x84 - t) : (t - 0x84));
}

}  // namespace camsim
