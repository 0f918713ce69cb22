// The simulator's test picture as a viewer shows it: frame |frame| of
// camera |camera| drawn by the simulator's own pattern code and turned to
// RGB with BT.601, in the range the camera's stream carries (video range
// for the H.264 and MPEG-4 cameras, full range for the Motion JPEG one).
#pragma once

#include <vector>

namespace testsupport {

// |width| x |height| pixels (both even), three bytes (R, G, B) each, rows
// packed; a pixel shares its chroma with its 2 x 2 block (4:2:0).
std::vector<unsigned char> PatternRgb(int camera, int frame, int width, int height);

}  // namespace testsupport
