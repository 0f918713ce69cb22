// The sample range a decoded picture uses. Video range keeps luma in 16..235
// and chroma in 16..240 (what MPEG-4 and H.264 decoders give unless the
// stream says otherwise); full range uses 0..255 for both (JPEG pictures,
// and H.264 streams that signal it). Each picture carries its range to the
// screen conversions and the snapshot encoder.
#pragma once

#include <cstdint>

enum class PictureRange : std::uint8_t { kVideo = 0, kFull = 1 };
