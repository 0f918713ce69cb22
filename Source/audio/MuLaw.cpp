#include "audio/MuLaw.h"

std::int16_t UlawToLinear(std::uint8_t byte) {
  const int u = static_cast<std::uint8_t>(~byte);
  const int t = (((u & 0x0F) << 3) + 132) << ((u >> 4) & 7);
  return static_cast<std::int16_t>((u & 0x80) != 0 ? 132 - t : t - 132);
}

std::uint8_t LinearToUlaw(std::int16_t sample) {
  static const int kSegmentEnd[8] = {63, 127, 255, 511, 1023, 2047, 4095, 8191};
  int pcm = sample >> 2;  // 14-bit magnitude range
  int mask;
  if (pcm < 0) {
    pcm = -pcm;
    mask = 0x7F;
  } else {
    mask = 0xFF;
  }
  if (pcm > 8159) pcm = 8159;
  pcm += 33;
  int seg = 0;
  while (seg < 8 && pcm > kSegmentEnd[seg]) ++seg;
  if (seg >= 8) return static_cast<std::uint8_t>(0x7F ^ mask);
  const int uval = (seg << 4) | ((pcm >> (seg + 1)) & 0x0F);
  return static_cast<std::uint8_t>(uval ^ mask);
}

void UlawToLinear(const std::uint8_t* in, int count, std::int16_t* out) {
  for (int i = 0; i < count; ++i) out[i] = UlawToLinear(in[i]);
}

void LinearToUlaw(const std::int16_t* in, int count, std::uint8_t* out) {
  for (int i = 0; i < count; ++i) out[i] = LinearToUlaw(in[i]);
}
