// The ring of received mu-law bytes between the link's audio reader and the
// playback thread: 3200 bytes, of which at most 3199 are held (0.4 s). The
// read index is the last byte consumed, so the ring is empty when it sits
// just before the write index. Not locked: the player locks around it.
#pragma once

#include <cstdint>

class AudioFifo {
 public:
  static constexpr int kSize = 3200;

  AudioFifo() { Clear(); }
  void Clear() {
    write_ = 0;
    read_ = kSize - 1;
  }
  int Available() const { return Mod(write_ - read_ - 1); }
  int Free() const { return Mod(read_ - write_); }
  // Stores min(count, Free()) bytes; returns how many.
  int Write(const std::uint8_t* bytes, int count);
  // Takes up to |max| bytes; returns how many.
  int Read(std::uint8_t* out, int max);

 private:
  static int Mod(int v) { return ((v % kSize) + kSize) % kSize; }
  int write_;
  int read_;
  std::uint8_t buffer_[kSize];
};
