// The encoders behind StreamLoop: libavcodec (H.264 through libx264, MPEG-4
// Visual, and libavcodec's own Motion JPEG) and libjpeg-turbo (Motion JPEG
// with the sampling factors cameras use).
#pragma once

#include <cstddef>
#include <cstdint>

#include "camsim/StreamLoop.h"

namespace camsim {

// Encode |count| pictures of the test pattern into |loop|. Return 1 or 0.
int EncodeWithLavc(const LoopKey& key, int count, StreamLoop* loop);
int EncodeWithJpeg(const LoopKey& key, int count, StreamLoop* loop);

// Length of the MPEG-4 headers (VOS, VO, VOL, GOV, user data) in front of
// the first VOP start code 00 00 01 B6; 0 when the frame starts with a VOP or
// has none.
std::size_t Mpeg4HeaderLength(const std::uint8_t* data, std::size_t size);

}  // namespace camsim
