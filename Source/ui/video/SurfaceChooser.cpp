#include "SurfaceChooser.h"

#include "base/base.h"
#include "video/Convert.h"

int RgbKindForBitsPerPixel(int bitsPerPixel) {
  switch (bitsPerPixel) {
    case 16: return kKindRGB565;
    case 24: return kKindRGB24;
    case 32: return kKindRGB32;
    default: return 0;
  }
}

int ChoosingSurface::CreateVideoSurfaces(int width, int height) {
  ReleaseVideoSurfaces();
  width_ = width;
  height_ = height;
  const bool tryYuv = family_ == SurfaceFamily::YuvOnly ||
                      (family_ == SurfaceFamily::Designed && display_->ShowsYuv());
  if (tryYuv) {
    for (int kind : {kKindYV12, kKindUYVY, kKindYUY2}) {
      active_ = display_->CreateKind(kind, width, height);
      if (active_ != nullptr) {
        kind_ = kind;
        return 1;
      }
    }
    if (family_ == SurfaceFamily::YuvOnly) {
      LogMessage("%s:%d\r\n", LOGPOS);
      return 0;
    }
  }
  return CreateRgb(width, height);
}

int ChoosingSurface::CreateRgb(int width, int height) {
  const int bitsPerPixel = display_->DesktopBitsPerPixel();
  if (bitsPerPixel < 0) {
    LogMessage("%s:%d\r\n", LOGPOS);
    return 0;
  }
  const int kind = RgbKindForBitsPerPixel(bitsPerPixel);
  if (kind == 0) return 1;  // a depth without an RGB kind: nothing is shown, not an error
  active_ = display_->CreateKind(kind, width, height);
  if (active_ == nullptr) {
    LogMessage("%s:%d (%d)\r\n", LOGPOS, kind);
    return 0;
  }
  kind_ = kind;
  return 1;
}

void ChoosingSurface::ReleaseVideoSurfaces() {
  if (active_ != nullptr) active_->ReleaseVideoSurfaces();
  active_ = nullptr;
  kind_ = 0;
  lastPicture_ = nullptr;
}

void ChoosingSurface::PresentFrame(const std::uint8_t* picture, int width, int height, PictureRange range,
                                   bool mirror) {
  if (active_ == nullptr) return;
  active_->PresentFrame(picture, width, height, range, mirror);
  lastPicture_ = picture;
  lastMirror_ = mirror;
  lastRange_ = range;
}

int ChoosingSurface::BlitFrame() {
  if (active_ == nullptr) return 1;
  if (active_->BlitFrame() != 0 || kind_ >= kKindRGB565) return 1;
  // An unexpected display error on a YUV kind (the surface logged its code).
  const std::uint8_t* picture = lastPicture_;
  const bool mirror = lastMirror_;
  const PictureRange range = lastRange_;
  ReleaseVideoSurfaces();
  if (family_ == SurfaceFamily::YuvOnly) return 0;
  if (CreateRgb(width_, height_) == 0) {
    LogMessage("%s:%d\r\n", LOGPOS);
    return 0;
  }
  if (active_ != nullptr && picture != nullptr) {
    active_->PresentFrame(picture, width_, height_, range, mirror);
    active_->BlitFrame();
    lastPicture_ = picture;
    lastMirror_ = mirror;
    lastRange_ = range;
  }
  return 0;
}
