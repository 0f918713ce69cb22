// The built-in decoder configuration headers: an MPEG-4 visual object
// sequence with its video object layer, and an H.264 SPS/PPS pair. They prime
// the decoders (camera streams do not repeat them) and go in front of key
// frames in recordings.
#pragma once

#include <cstdint>

namespace video {

// Writes 29 bytes into |out| (at least 64 bytes, zeroed by the caller) and
// returns 29. The layer carries W and H modulo 8192.
int MakeMpeg4ConfigHeader(int width, int height, std::uint8_t* out);

// Writes the SPS/PPS for 640 x 480 (21 bytes) or 320 x 240 (20 bytes) and
// returns its length; any other width writes nothing and returns 0.
int MakeH264ConfigHeader(int width, std::uint8_t* out);

}  // namespace video
