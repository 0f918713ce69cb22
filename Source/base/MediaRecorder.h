// The recorder as the render and playback threads see it: compressed video
// frames and received mu-law audio, written as they are. The AVI writer
// implements it; tests use fakes.
#pragma once

#include <cstdint>

class MediaRecorder {
 public:
  virtual ~MediaRecorder() = default;
  // One compressed frame; |durationMs| is the time until the next frame.
  // Returns 1 when written, else 0.
  virtual int WriteVideo(int size, const std::uint8_t* data, int keyFrame, int durationMs) = 0;
  // Received mu-law bytes. Returns 1 when written, else 0.
  virtual int WriteAudio(const std::uint8_t* data, int size) = 0;
};
