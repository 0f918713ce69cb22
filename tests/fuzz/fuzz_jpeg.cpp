// Motion JPEG frames come from the network: whatever the bytes, decoding
// must stay inside the picture buffer and the scratch rows.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/TimedLock.h"
#include "base/base.h"
#include "video/MotionJpeg.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  // The first byte picks the picture size the viewer expects.
  static const int kSizes[][2] = {{320, 240}, {640, 480}, {64, 48}, {32, 32}, {48, 16}, {16, 8}, {352, 240}, {2, 2}};
  const int* wh = kSizes[data[0] % 8];
  const int w = wh[0], h = wh[1];
  // Exactly the picture, so that any write past it is caught.
  std::vector<std::uint8_t> picture(static_cast<size_t>(w) * h * 3 / 2);
  TimedLockHolder hold(MotionJpegLock(), 1000, LOGPOS);
  if (!hold.held()) return 0;
  std::uint8_t* p = picture.data();
  DecodeJpegFrame(data + 1, static_cast<int>(size - 1), w, h, p, p + w * h * 5 / 4, p + w * h);
  return 0;
}
