// The AVI header check over arbitrary bytes: never reads outside the buffer
// (copied to its exact size so the sanitizer sees any overread), and what it
// reports stays consistent with the bytes it was given.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "base/AviRepair.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::uint8_t> bytes(data, data + size);
  AviHeaderInfo info = InspectAviHeader(bytes.data(), bytes.size());
  if (info.isAvi && (size < 12 || std::memcmp(data, "RIFF", 4) != 0)) std::abort();
  if (info.hasMainHeader && !info.isAvi) std::abort();
  if (info.moviHasChunk && !info.hasMovi) std::abort();
  if (info.Unfinished() && !(info.hasMainHeader && info.moviHasChunk)) std::abort();
  // The second read: the same bytes taken as the file's content at an
  // offset chosen by the input.
  if (size >= 4 && info.isAvi) {
    std::uint32_t offset = 0;
    std::memcpy(&offset, data + size - 4, 4);
    const std::vector<std::uint8_t> tail(data, data + size / 2);
    InspectAviTail(&info, offset, tail.data(), tail.size());
    InspectAviTail(&info, info.moviEnd, tail.data(), tail.size());
  }
  return 0;
}
