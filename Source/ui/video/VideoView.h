// A pane's picture on screen for the RGB surface kinds: the render thread
// converts into the back image and hands it over; the UI thread paints the
// front image scaled to the widget.
#pragma once

#include <QImage>
#include <QWidget>
#include <atomic>
#include <mutex>

#include "video/VideoSurface.h"

class VideoView : public QWidget {
  Q_OBJECT
 public:
  explicit VideoView(QWidget* parent = nullptr);
  // The latest shown picture (UI thread).
  QImage CurrentImage() const;

 protected:
  void paintEvent(QPaintEvent*) override;

 private:
  friend class QtRgbSurface;
  // Called by the render thread: makes |image| the front picture and asks
  // for one repaint (requests coalesce while one is pending).
  void Swap(QImage& image);

  mutable std::mutex frontMutex_;
  QImage front_;                            // guarded by frontMutex_
  std::atomic<bool> repaintPending_{false};
};

// RGB kinds 4 to 6: the conversion into a QImage of the picture's size,
// painted scaled by the view. Images are made once per size.
class QtRgbSurface : public VideoSurface {
 public:
  // |kind| 0 follows the desktop's depth; 4, 5 or 6 forces that kind.
  explicit QtRgbSurface(VideoView* view, int kind = 0) : view_(view), forcedKind_(kind) {}
  // The kind for a desktop of |depth| bits per pixel (16 -> 4, 24 -> 5 for
  // packed 24-bit pixels, 32 -> 6); 0 for other depths.
  static int KindForDepth(int bitsPerPixel);
  static QImage::Format ImageFormat(int kind);

  int CreateVideoSurfaces(int width, int height) override;
  void ReleaseVideoSurfaces() override;
  int Kind() const override { return kind_; }
  void PresentFrame(const std::uint8_t* picture, int width, int height, bool mirror) override;
  int BlitFrame() override;

 private:
  VideoView* view_;
  int forcedKind_;
  int kind_ = 0;
  QImage back_;            // render thread only
  bool converted_ = false;  // back_ holds a new picture (render thread only)
};
