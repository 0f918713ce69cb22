// The decoder configuration headers the cameras' elementary streams rely on:
// an MPEG-4 visual object sequence with its video object layer, and an H.264
// SPS/PPS pair. The decoders are primed with them, and the AVI writer puts
// them in front of every key frame so each file decodes on its own.
#pragma once

#include <cstdint>

// Size of the scratch area the callers hand in (zeroed by the caller).
constexpr int kConfigHeaderScratch = 64;

// Writes the 29-byte MPEG-4 header for a |width| x |height| stream into
// |out| (at least kConfigHeaderScratch bytes). Returns 29.
int MakeMpeg4ConfigHeader(int width, int height, std::uint8_t* out);

// Writes the H.264 SPS/PPS for 640 x 480 (21 bytes) or 320 x 240 (20 bytes)
// into |out|. Returns the byte count; 0 for any other width.
int MakeH264ConfigHeader(int width, std::uint8_t* out);
