// The decoder configuration headers the cameras' elementary streams rely on:
// an MPEG-4 visual object sequence with its video object layer, and an H.264
// SPS/PPS pair. The decoders are primed with them, and the AVI writer puts
// them in front of key frames that carry no parameter sets of their own, so
// each file decodes on its own.
#pragma once

#include <cstddef>
#include <cstdint>

// Size of the scratch area the callers hand in (zeroed by the caller).
constexpr int kConfigHeaderScratch = 64;

// Writes the 29-byte MPEG-4 header for a |width| x |height| stream into
// |out| (at least kConfigHeaderScratch bytes). Returns 29.
int MakeMpeg4ConfigHeader(int width, int height, std::uint8_t* out);

// Writes the H.264 SPS/PPS for 640 x 480 (21 bytes) or 320 x 240 (20 bytes)
// into |out|. Returns the byte count; 0 for any other width.
int MakeH264ConfigHeader(int width, std::uint8_t* out);

// How far into a key frame the parameter-set scans below look. Parameter
// sets come before the first slice or VOP, so they sit in the first few
// hundred bytes; the bound keeps the scan cheap on large key frames.
constexpr std::size_t kConfigScanLimit = 4096;

// True when an Annex B H.264 frame carries its own sequence parameter set
// (NAL unit type 7) before its first slice. Looks at no more than
// kConfigScanLimit bytes and allocates nothing.
bool H264FrameHasSps(const std::uint8_t* data, std::size_t size);

// True when an MPEG-4 Visual frame carries its own video object layer header
// (start code 00 00 01 20..2F) before its first GOV or VOP. Same bound.
bool Mpeg4FrameHasVol(const std::uint8_t* data, std::size_t size);

// When the frame carries its own SPS (H.264) or VOL (MPEG-4): the length of
// its leading headers, up to the first slice, GOV or VOP (at most
// kConfigScanLimit), which then serve as the stream's configuration record.
// 0 when it carries none.
std::size_t H264FrameConfigLength(const std::uint8_t* data, std::size_t size);
std::size_t Mpeg4FrameConfigLength(const std::uint8_t* data, std::size_t size);
