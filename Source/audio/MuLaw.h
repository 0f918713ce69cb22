// G.711 mu-law coding of 16-bit samples, the audio channel's format.
#pragma once

#include <cstdint>

// Decodes one mu-law byte (0xFF and 0x7F give 0, 0x80 gives 32124).
std::int16_t UlawToLinear(std::uint8_t byte);
// Encodes one sample with the ITU-T G.711 encoder (0 gives 0xFF).
std::uint8_t LinearToUlaw(std::int16_t sample);

void UlawToLinear(const std::uint8_t* in, int count, std::int16_t* out);
void LinearToUlaw(const std::int16_t* in, int count, std::uint8_t* out);
