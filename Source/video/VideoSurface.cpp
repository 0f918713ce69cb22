#include "video/VideoSurface.h"

#include <new>

#include "base/base.h"
#include "video/Convert.h"

BufferSurface::~BufferSurface() { ReleaseVideoSurfaces(); }

int BufferSurface::CreateVideoSurfaces(int width, int height) {
  ReleaseVideoSurfaces();
  const int bpp = BytesPerPixel(kind_);
  if (bpp == 0 || width <= 0 || height <= 0) {
    LogMessage("%s:%d\r\n", LOGPOS);
    return 0;
  }
  pitch_ = width * bpp;
  buffer_ = new (std::nothrow) std::uint8_t[static_cast<size_t>(DestinationSize(kind_, height, pitch_))];
  if (buffer_ == nullptr) {
    LogMessage("%s:%d\r\n", LOGPOS);
    return 0;
  }
  width_ = width;
  height_ = height;
  return 1;
}

void BufferSurface::ReleaseVideoSurfaces() {
  delete[] buffer_;
  buffer_ = nullptr;
  pitch_ = width_ = height_ = 0;
}

void BufferSurface::PresentFrame(const std::uint8_t* picture, int width, int height, PictureRange range,
                                 bool mirror) {
  if (buffer_ == nullptr || width != width_ || height != height_) return;
  ConvertPicture(kind_, picture, width, height, range, mirror, buffer_, pitch_);
}
