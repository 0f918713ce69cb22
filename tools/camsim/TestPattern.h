// The moving test picture every simulated camera streams: a drifting
// gradient, a bouncing box, and the camera number and frame counter written
// large in the top-left corner so that a viewer pane can be matched to its
// camera and frame by eye.
#pragma once

#include <cstdint>

namespace camsim {

// Planar Y, Cb, Cr picture; chroma is half width and |chromaHeight| rows
// (height for 4:2:2, height / 2 for 4:2:0). Rows are packed.
struct PlanarPicture {
  std::uint8_t* y = nullptr;
  std::uint8_t* cb = nullptr;
  std::uint8_t* cr = nullptr;
  int width = 0;
  int height = 0;
  int chromaHeight = 0;
  int lumaStride = 0;
  int chromaStride = 0;
};

// Draws frame |frame| of camera |camera| into |picture|.
void DrawTestPattern(const PlanarPicture& picture, int camera, int frame);

}  // namespace camsim
