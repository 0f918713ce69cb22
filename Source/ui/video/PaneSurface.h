// A pane's picture surface on the Qt display: the YUV kinds through the
// view's video widget, the RGB kinds painted by the view, tried in order.
#pragma once

#include <atomic>

#include "SurfaceChoice.h"
#include "SurfaceChooser.h"
#include "VideoView.h"
#include "YuvSurface.h"

// Whether an OpenGL renderer name (GL_RENDERER) is a graphics card's rather
// than a software rasterizer's.
bool IsHardwareRenderer(const char* renderer);

// The Qt display as the chooser's back end.
class QtDisplay : public DisplayBackEnd {
 public:
  explicit QtDisplay(VideoView* view) : yuv_(view), rgb_(view) {}
  // Only over a hardware OpenGL renderer, and never on the offscreen and
  // minimal platforms, which show no video widget.
  bool ShowsYuv() const override;
  // Read from the primary screen on the UI thread; another thread (the
  // render thread switching to RGB) gets the last value read.
  int DesktopBitsPerPixel() const override;
  VideoSurface* CreateKind(int kind, int width, int height) override;

 private:
  QtYuvSurface yuv_;
  QtRgbSurface rgb_;
  mutable std::atomic<int> bitsPerPixel_{-1};
};

class PaneSurface : public VideoSurface {
 public:
  explicit PaneSurface(VideoView* view, SurfaceFamily family = CurrentSurfaceFamily())
      : display_(view), chooser_(&display_, family) {}
  ~PaneSurface() override { chooser_.ReleaseVideoSurfaces(); }

  int CreateVideoSurfaces(int width, int height) override { return chooser_.CreateVideoSurfaces(width, height); }
  void ReleaseVideoSurfaces() override { chooser_.ReleaseVideoSurfaces(); }
  int Kind() const override { return chooser_.Kind(); }
  void PresentFrame(const std::uint8_t* picture, int width, int height, PictureRange range, bool mirror) override {
    chooser_.PresentFrame(picture, width, height, range, mirror);
  }
  int BlitFrame() override { return chooser_.BlitFrame(); }

 private:
  QtDisplay display_;
  ChoosingSurface chooser_;
};
