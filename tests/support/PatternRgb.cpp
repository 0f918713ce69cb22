#include "support/PatternRgb.h"

#include <cstdint>

#include "camsim/TestPattern.h"

namespace testsupport {

std::vector<unsigned char> PatternRgb(int camera, int frame, int width, int height) {
  std::vector<std::uint8_t> y(static_cast<std::size_t>(width) * height);
  std::vector<std::uint8_t> cb(static_cast<std::size_t>(width / 2) * (height / 2)), cr(cb.size());
  camsim::PlanarPicture p;
  p.y = y.data();
  p.cb = cb.data();
  p.cr = cr.data();
  p.width = width;
  p.height = height;
  p.chromaHeight = height / 2;
  p.lumaStride = width;
  p.chromaStride = width / 2;
  camsim::DrawTestPattern(p, camera, frame);
  // Camera 2 of every three is the Motion JPEG one (full range).
  const bool full = camera % 3 == 2;
  const double gain = full ? 1.0 : 1.164, black = full ? 0.0 : 16.0;
  const double rv = full ? 1.402 : 1.596, gv = full ? 0.714 : 0.813, gu = full ? 0.344 : 0.391;
  const double bu = full ? 1.772 : 2.018;
  std::vector<unsigned char> out(static_cast<std::size_t>(width) * height * 3);
  for (int row = 0; row < height; ++row) {
    for (int col = 0; col < width; ++col) {
      const std::size_t chroma = static_cast<std::size_t>(row / 2) * (width / 2) + col / 2;
      const double u = cb[chroma] - 128.0, v = cr[chroma] - 128.0;
      const double l = gain * (y[static_cast<std::size_t>(row) * width + col] - black);
      const double rgb[3] = {l + rv * v, l - gv * v - gu * u, l + bu * u};
      for (int c = 0; c < 3; ++c) {
        out[(static_cast<std::size_t>(row) * width + col) * 3 + c] =
            static_cast<unsigned char>(rgb[c] < 0 ? 0 : rgb[c] > 255 ? 255 : rgb[c] + 0.5);
      }
    }
  }
  return out;
}

}  // namespace testsupport
