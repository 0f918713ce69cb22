// Where a render thread puts its pictures. The application implements it
// over its display (YUV kinds 1 to 3 handed to the toolkit, RGB kinds 4 to 6
// converted here and painted); tests use fakes. One surface per render, used
// only by that render's thread once Start has created it.
#pragma once

#include <cstdint>

#include "video/PictureRange.h"

class VideoSurface {
 public:
  virtual ~VideoSurface() = default;
  // Creates the surfaces for a W x H picture, trying the kinds in order;
  // returns 1, or 0 when none could be made.
  virtual int CreateVideoSurfaces(int width, int height) = 0;
  virtual void ReleaseVideoSurfaces() = 0;
  // The kind in use (1 YV12, 2 UYVY, 3 YUY2, 4 RGB565, 5 RGB24, 6 RGB32),
  // 0 before CreateVideoSurfaces.
  virtual int Kind() const = 0;
  // Converts the W x H YV12 picture, whose samples are in |range|, into the
  // surface, mirrored when asked.
  virtual void PresentFrame(const std::uint8_t* picture, int width, int height, PictureRange range,
                            bool mirror) = 0;
  // Shows the surface in the viewer's window. Returns 1, or 0 after an
  // unexpected display error (the surface then falls back to an RGB kind).
  virtual int BlitFrame() = 0;
};

// A surface of one fixed kind in memory, converted with ConvertPicture; the
// base of the RGB presenters and of test doubles. CreateVideoSurfaces
// allocates once per size.
class BufferSurface : public VideoSurface {
 public:
  explicit BufferSurface(int kind) : kind_(kind) {}
  ~BufferSurface() override;
  int CreateVideoSurfaces(int width, int height) override;
  void ReleaseVideoSurfaces() override;
  int Kind() const override { return buffer_ != nullptr ? kind_ : 0; }
  void PresentFrame(const std::uint8_t* picture, int width, int height, PictureRange range, bool mirror) override;
  int BlitFrame() override { return 1; }

  const std::uint8_t* Pixels() const { return buffer_; }
  int Pitch() const { return pitch_; }
  int Width() const { return width_; }
  int Height() const { return height_; }

 private:
  int kind_;
  std::uint8_t* buffer_ = nullptr;
  int pitch_ = 0;
  int width_ = 0;
  int height_ = 0;
};
