// YUV kinds 1 to 3 (YV12, UYVY, YUY2): the picture is copied or packed into
// a video frame of its own size and handed to the view's video widget, which
// converts and scales it (on the GPU where there is one).
#pragma once

#include <QVideoFrame>
#include <QVideoFrameFormat>

#include "VideoView.h"

class QtYuvSurface : public VideoSurface {
 public:
  explicit QtYuvSurface(VideoView* view) : view_(view) {}
  ~QtYuvSurface() override { ReleaseVideoSurfaces(); }

  // The video frame format of a YUV kind; Format_Invalid for other kinds.
  static QVideoFrameFormat::PixelFormat PixelFormat(int kind);

  // Makes the ring of frames of |kind| for a W x H picture (UI thread, where
  // the video widget lives); 1, or 0 when the kind cannot be had.
  int CreateKind(int kind, int width, int height);
  // The first YUV kind that can be had.
  int CreateVideoSurfaces(int width, int height) override;
  void ReleaseVideoSurfaces() override;
  int Kind() const override { return kind_; }
  void PresentFrame(const std::uint8_t* picture, int width, int height, PictureRange range, bool mirror) override;
  // Hands the filled frame over; 0 after a display error (logged with its
  // code), 1 otherwise.
  int BlitFrame() override;

 private:
  static constexpr int kRingFrames = 3;  // back, pending and shown

  VideoView* view_;
  // Written by CreateKind and ReleaseVideoSurfaces outside the render thread's
  // run, by the render thread alone while it runs.
  int kind_ = 0;
  int width_ = 0;
  int height_ = 0;
  QVideoFrame back_;        // the frame the render thread writes
  bool converted_ = false;  // back_ holds a new picture
  int error_ = 0;           // a display error met while converting
  bool refusalLogged_ = false;  // a refused write mapping was logged for this ring
};
