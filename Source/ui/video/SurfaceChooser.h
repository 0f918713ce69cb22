// The choice of a pane's picture surface: the YUV kinds first (1 YV12,
// 2 UYVY, 3 YUY2), then the RGB kind of the desktop's bits per pixel
// (16 -> 4, 24 -> 5, 32 -> 6), and the switch to RGB after a display error.
// The display itself is a back end, so the order can be exercised without a
// screen.
#pragma once

#include <cstdint>

#include "SurfaceChoice.h"
#include "video/VideoSurface.h"

// What the screen offers a pane.
class DisplayBackEnd {
 public:
  virtual ~DisplayBackEnd() = default;
  // Whether YUV pictures reach the screen at all (not on an offscreen
  // platform).
  virtual bool ShowsYuv() const = 0;
  // The desktop's bits per pixel, or -1 when they cannot be read.
  virtual int DesktopBitsPerPixel() const = 0;
  // Makes the surfaces of exactly |kind| (1 to 6) for a W x H picture and
  // returns the surface showing them, or nullptr when the display refuses
  // that kind. The surface stays the back end's. A surface's BlitFrame
  // returning 0 reports an unexpected display error (already logged).
  virtual VideoSurface* CreateKind(int kind, int width, int height) = 0;
};

// The RGB kind for a desktop of |bitsPerPixel| (16 -> 4, 24 -> 5, 32 -> 6);
// 0 for any other depth.
int RgbKindForBitsPerPixel(int bitsPerPixel);

// A pane's surface: tries the kinds in order on its back end and shows the
// pictures on the first that works. Used like any VideoSurface: created and
// released by the UI thread around a render, presented and blitted by the
// render thread (which also runs the switch to RGB).
class ChoosingSurface : public VideoSurface {
 public:
  ChoosingSurface(DisplayBackEnd* display, SurfaceFamily family) : display_(display), family_(family) {}
  ~ChoosingSurface() override { ReleaseVideoSurfaces(); }

  // Designed: YUV kinds when the display shows them, else RGB. YuvOnly: the
  // YUV kinds or failure. RgbOnly: the RGB kind. A desktop depth without an
  // RGB kind succeeds with nothing shown (kind 0).
  int CreateVideoSurfaces(int width, int height) override;
  void ReleaseVideoSurfaces() override;
  int Kind() const override { return kind_; }
  void PresentFrame(const std::uint8_t* picture, int width, int height, PictureRange range, bool mirror) override;
  // After a display error on a YUV kind the YUV surfaces are released, the
  // RGB kind takes over (the last picture is shown on it at once) and 0 is
  // returned, once. Under YuvOnly nothing takes over: the pane stays empty.
  int BlitFrame() override;

 private:
  int CreateRgb(int width, int height);

  DisplayBackEnd* display_;
  const SurfaceFamily family_;
  // The fields below are written by CreateVideoSurfaces and
  // ReleaseVideoSurfaces before and after the render thread runs, and by the
  // render thread alone while it runs.
  VideoSurface* active_ = nullptr;  // null: nothing shown
  int kind_ = 0;
  int width_ = 0;
  int height_ = 0;
  const std::uint8_t* lastPicture_ = nullptr;  // the render's picture buffer
  bool lastMirror_ = false;
  PictureRange lastRange_ = PictureRange::kVideo;
};
