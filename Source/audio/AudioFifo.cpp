#include "audio/AudioFifo.h"

#include <algorithm>
#include <cstring>

int AudioFifo::Write(const std::uint8_t* bytes, int count) {
  const int n = std::min(std::max(count, 0), Free());
  const int first = std::min(n, kSize - write_);
  std::memcpy(buffer_ + write_, bytes, first);
  std::memcpy(buffer_, bytes + first, n - first);
  write_ = Mod(write_ + n);
  return n;
}

int AudioFifo::Read(std::uint8_t* out, int max) {
  const int n = std::min(std::max(max, 0), Available());
  const int start = Mod(read_ + 1);
  const int first = std::min(n, kSize - start);
  std::memcpy(out, buffer_ + start, first);
  std::memcpy(out + first, buffer_, n - first);
  read_ = Mod(read_ + n);
  return n;
}
