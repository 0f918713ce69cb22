// ParseVideoFormat over arbitrary bytes: never reads past the text, and a
// format it accepts always has a size the render can allocate.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "video/VideoFormat.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<char> text(data, data + size);
  text.push_back('\0');
  VideoFormat f;
  if (ParseVideoFormat(text.data(), &f)) {
    if (f.width < 1 || f.height < 1 || f.width > kMaxVideoSide || f.height > kMaxVideoSide) std::abort();
  }
  return 0;
}
