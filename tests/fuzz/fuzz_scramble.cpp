// Unscrambling stored or received text must never read or write out of bounds.
#include <cstddef>
#include <cstdint>
#include <string>

#include "base/base.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  char out[64];
  UnscrambleText(text.c_str(), out, sizeof out);
  const std::string clear = UnscrambleText(text);
  if (!clear.empty() && clear.find('\0') == std::string::npos) {
    if (UnscrambleText(ScrambleText(clear)) != clear) __builtin_trap();
  }
  return 0;
}
