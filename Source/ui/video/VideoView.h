// A pane's picture on screen. RGB kinds: the render thread converts into the
// back image and hands it over; the UI thread paints the front image scaled
// to the widget. YUV kinds: the render thread fills video frames of a small
// ring and hands them over; the UI thread gives them to the sink of a video
// widget covering the view, which converts and scales them.
#pragma once

#include <QImage>
#include <QPointer>
#include <QVideoFrame>
#include <QWidget>
#include <atomic>
#include <mutex>

#include "video/VideoSurface.h"

class QSocketNotifier;
class QVideoWidget;

// The largest rectangle of |picture|'s proportions inside |area|, centred;
// |area| itself for an empty picture.
QRect KeptAspectRect(const QSize& picture, const QRect& area);

// Unexpected display errors of the YUV kinds, as logged.
inline constexpr int kDisplayFrameUnmapped = 0x1;  // a ring frame could not be mapped at all
inline constexpr int kDisplayNoSink = 0x2;         // the video widget has no sink to take frames
inline constexpr int kDisplayRingLost = 0x3;       // no free frame came back from the view

class VideoView : public QWidget {
  Q_OBJECT
 public:
  explicit VideoView(QWidget* parent = nullptr);
  ~VideoView() override;
  // The latest shown picture of an RGB kind (UI thread).
  QImage CurrentImage() const;
  // The video frame last given to the video widget's sink (UI thread).
  QVideoFrame CurrentFrame() const;
  // Whether the video widget shows the pictures (UI thread).
  bool ShowsYuv() const;
  // The pane's background: shown before the first picture and in the bars
  // beside (or above and below) a picture that keeps its proportions.
  static QColor Background() { return QColor(0, 0, 0); }
  // Whether pictures keep their proportions instead of being stretched to
  // the view (off by default). UI thread; the render thread reads it.
  void SetKeepAspect(bool on);
  bool KeepAspect() const { return keepAspect_.load(std::memory_order_relaxed); }

 protected:
  void paintEvent(QPaintEvent*) override;
  void resizeEvent(QResizeEvent*) override;

 private:
  friend class QtRgbSurface;
  friend class QtYuvSurface;
  // Called by the render thread: makes |image| the front picture and asks
  // for one refresh (requests coalesce while one is pending).
  void Swap(QImage& image);

  // YUV hand-over. The ring's frames are each in one place: the render
  // thread's back frame, the pending frame, the shown frame (held by the
  // sink) or the free list. The render thread only ever writes its back
  // frame, so a frame the sink shows or may still show is never written.
  // Creates the video widget (UI thread only); false when it cannot be had.
  bool EnsureVideoWidget();
  // Starts a new ring: |spareA| and |spareB| become free, the pending frame
  // is dropped and the shown one is left to the sink without returning to the
  // ring. Any thread.
  void ResetFrames(const QVideoFrame& spareA, const QVideoFrame& spareB);
  // Leaves YUV: the ring is dropped (any thread).
  void DropFrames();
  // Render thread: |frame| becomes the pending frame; |frame| is given a
  // free frame to write next. False when no free frame is left.
  bool SwapFrame(QVideoFrame& frame);
  // A display error the UI thread met since the last call, or 0.
  int TakeDisplayError() { return displayError_.exchange(0); }
  // UI thread: hands the pending frame to the sink, shows or hides the
  // video widget, repaints.
  void Refresh();
  void RequestRefresh();

  mutable std::mutex frontMutex_;
  // Guarded by frontMutex_:
  QImage front_;
  bool yuvMode_ = false;        // pictures come as video frames
  QVideoFrame pending_;         // handed over, not yet given to the sink
  QVideoFrame shown_;           // given to the sink
  bool shownInRing_ = false;    // shown_ returns to the free list when replaced
  QVideoFrame free_[2];
  int freeCount_ = 0;

  std::atomic<bool> refreshPending_{false};
  int wakeFd_ = -1;                  // eventfd the render thread writes to ask for a refresh
  QSocketNotifier* wake_ = nullptr;  // UI thread: reads wakeFd_ and refreshes
  std::atomic<int> displayError_{0};
  // The view's size, written on the UI thread at each resize, read by the
  // render thread to convert pictures at the size they are painted.
  std::atomic<int> viewWidth_{0};
  std::atomic<int> viewHeight_{0};
  std::atomic<bool> keepAspect_{false};
  QPointer<QVideoWidget> videoWidget_;  // UI thread only
};

// RGB kinds 4 to 6: the conversion into a QImage painted by the view. A view
// smaller than the picture gets the picture converted at the size it is
// painted at (the view's, or the kept proportions' inside it; nearest
// pixel), so painting copies it without scaling; a larger one is scaled by
// the painter. Images are made once per size (picture or view).
class QtRgbSurface : public VideoSurface {
 public:
  // |kind| 0 follows the desktop's depth; 4, 5 or 6 forces that kind.
  explicit QtRgbSurface(VideoView* view, int kind = 0) : view_(view), forcedKind_(kind) {}
  // The kind for a desktop of |depth| bits per pixel (16 -> 4, 24 -> 5 for
  // packed 24-bit pixels, 32 -> 6); 0 for other depths.
  static int KindForDepth(int bitsPerPixel);
  static QImage::Format ImageFormat(int kind);

  // Creates the surfaces of |kind| (4, 5 or 6) from now on.
  int CreateKind(int kind, int width, int height) {
    forcedKind_ = kind;
    return CreateVideoSurfaces(width, height);
  }
  int CreateVideoSurfaces(int width, int height) override;
  void ReleaseVideoSurfaces() override;
  int Kind() const override { return kind_; }
  void PresentFrame(const std::uint8_t* picture, int width, int height, PictureRange range, bool mirror) override;
  int BlitFrame() override;

 private:
  VideoView* view_;
  int forcedKind_;
  int kind_ = 0;
  int width_ = 0;   // the picture's size
  int height_ = 0;
  QImage back_;            // render thread only
  bool converted_ = false;  // back_ holds a new picture (render thread only)
};
