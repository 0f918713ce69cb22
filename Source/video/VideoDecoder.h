// MPEG-4 Visual and H.264 decoding with libavcodec, one decoder per run of a
// render thread. The decoder takes each frame payload whole, as received.
#pragma once

#include <cstdint>

#include "video/PictureRange.h"

struct AVCodecContext;
struct AVFrame;
struct AVPacket;

class VideoDecoder {
 public:
  // Bytes after a payload that the decoder may read; callers' buffers must
  // have this much room after the payload (it is zeroed before decoding).
  static constexpr int kPadding = 64;

  VideoDecoder() = default;
  ~VideoDecoder();
  VideoDecoder(const VideoDecoder&) = delete;
  VideoDecoder& operator=(const VideoDecoder&) = delete;

  // Opens the decoder for VCODEC |vcodec| (2 selects H.264, anything else
  // MPEG-4) and primes it with the built-in header for W x H. Returns 1, or
  // 0 after logging the step that failed. Opening and closing are
  // serialised across threads.
  int Open(int vcodec, int width, int height);
  void Close();
  bool IsOpen() const { return context_ != nullptr; }

  // Decodes one whole frame. |data| must have kPadding writable bytes after
  // |size|. Returns a negative value when the decoder rejects the frame,
  // else 0; |gotPicture| tells whether a picture came out.
  int Decode(std::uint8_t* data, int size, int* gotPicture);

  // Copies the last picture into a YV12 picture buffer of W x H (Y, then Cr
  // at W*H, then Cb at W*H*5/4). W and H are the viewer's values; a smaller
  // decoded picture leaves the rest of the buffer as it was.
  void CopyOut(std::uint8_t* picture, int width, int height) const;

  // The sample range of the last picture: full when the stream signals it
  // (or the decoder gives a full-range pixel format), else video range, the
  // default of MPEG-4 and H.264 streams.
  PictureRange Range() const;

  int CodecId() const { return codecId_; }

 private:
  AVCodecContext* context_ = nullptr;
  AVFrame* frame_ = nullptr;
  AVPacket* packet_ = nullptr;
  int codecId_ = 0;
};
