#include "VideoView.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include <QGuiApplication>
#include <QPainter>
#include <QSocketNotifier>
#include <QScreen>
#include <QThread>
#include <QVideoSink>
#include <QVideoWidget>

#include "SurfaceChooser.h"
#include "base/base.h"
#include "video/Convert.h"

QRect KeptAspectRect(const QSize& picture, const QRect& area) {
  if (picture.isEmpty() || area.isEmpty()) return area;
  // Integer arithmetic: the side that fills the area is exact, the other
  // rounds down.
  const long long pw = picture.width(), ph = picture.height();
  int w = area.width(), h = area.height();
  if (pw * h > ph * w) {
    h = std::max(1, static_cast<int>(ph * w / pw));  // wider than the area: bars above and below
  } else {
    w = std::max(1, static_cast<int>(pw * h / ph));  // narrower: bars left and right
  }
  return QRect(area.x() + (area.width() - w) / 2, area.y() + (area.height() - h) / 2, w, h);
}

VideoView::VideoView(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setAutoFillBackground(false);
  // The render thread wakes the UI thread through an eventfd rather than a
  // queued call, which would allocate an event for every picture.
  wakeFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (wakeFd_ < 0) {
    LogMessage("%s:%d (%d)\r\n", LOGPOS, errno);
    return;
  }
  wake_ = new QSocketNotifier(wakeFd_, QSocketNotifier::Read, this);
  connect(wake_, &QSocketNotifier::activated, this, [this] {
    std::uint64_t count = 0;
    while (::read(wakeFd_, &count, sizeof count) == static_cast<ssize_t>(sizeof count)) {
    }
    Refresh();
  });
}

VideoView::~VideoView() {
  delete wake_;
  if (wakeFd_ >= 0) ::close(wakeFd_);
}

QImage VideoView::CurrentImage() const {
  std::lock_guard<std::mutex> hold(frontMutex_);
  return front_.copy();
}

QVideoFrame VideoView::CurrentFrame() const {
  std::lock_guard<std::mutex> hold(frontMutex_);
  return shown_;
}

bool VideoView::ShowsYuv() const { return videoWidget_ && !videoWidget_->isHidden(); }

void VideoView::RequestRefresh() {
  if (refreshPending_.exchange(true)) return;
  if (wakeFd_ >= 0) {
    const std::uint64_t one = 1;
    if (::write(wakeFd_, &one, sizeof one) == static_cast<ssize_t>(sizeof one)) return;
  }
  QMetaObject::invokeMethod(this, &VideoView::Refresh, Qt::QueuedConnection);
}

void VideoView::Swap(QImage& image) {
  {
    std::lock_guard<std::mutex> hold(frontMutex_);
    front_.swap(image);
    yuvMode_ = false;
  }
  RequestRefresh();
}

bool VideoView::EnsureVideoWidget() {
  if (QThread::currentThread() != thread()) return false;
  if (!videoWidget_) {
    videoWidget_ = new QVideoWidget(this);
    // Stretched to the pane or keeping its proportions, like the RGB kinds;
    // its bars in the pane's background.
    videoWidget_->setAspectRatioMode(KeepAspect() ? Qt::KeepAspectRatio : Qt::IgnoreAspectRatio);
    QPalette bars = videoWidget_->palette();
    bars.setColor(QPalette::Window, Background());
    videoWidget_->setPalette(bars);
    videoWidget_->setGeometry(rect());
    videoWidget_->hide();
  }
  return videoWidget_->videoSink() != nullptr;
}

void VideoView::ResetFrames(const QVideoFrame& spareA, const QVideoFrame& spareB) {
  {
    std::lock_guard<std::mutex> hold(frontMutex_);
    yuvMode_ = true;
    pending_ = QVideoFrame();
    shownInRing_ = false;
    free_[0] = spareA;
    free_[1] = spareB;
    freeCount_ = 2;
  }
  RequestRefresh();
}

void VideoView::SetKeepAspect(bool on) {
  keepAspect_.store(on, std::memory_order_relaxed);
  if (videoWidget_) videoWidget_->setAspectRatioMode(on ? Qt::KeepAspectRatio : Qt::IgnoreAspectRatio);
  update();
}

void VideoView::DropFrames() {
  std::lock_guard<std::mutex> hold(frontMutex_);
  pending_ = QVideoFrame();
  shownInRing_ = false;
  free_[0] = free_[1] = QVideoFrame();
  freeCount_ = 0;
}

bool VideoView::SwapFrame(QVideoFrame& frame) {
  {
    std::lock_guard<std::mutex> hold(frontMutex_);
    // A pending frame the UI thread has not taken yet is dropped: it was
    // never shown, so it can be written again at once.
    if (pending_.isValid() && freeCount_ < 2) free_[freeCount_++] = pending_;
    pending_ = frame;
    if (freeCount_ == 0) {
      frame = QVideoFrame();
      return false;
    }
    frame = free_[--freeCount_];
    free_[freeCount_] = QVideoFrame();
  }
  RequestRefresh();
  return true;
}

void VideoView::Refresh() {
  refreshPending_.store(false);
  bool yuv;
  {
    std::lock_guard<std::mutex> hold(frontMutex_);
    yuv = yuvMode_;
    if (yuv && pending_.isValid()) {
      QVideoSink* sink = videoWidget_ ? videoWidget_->videoSink() : nullptr;
      if (sink == nullptr) {
        displayError_.store(kDisplayNoSink);
      } else {
        // The sink takes the new frame before the old one may be written
        // again.
        sink->setVideoFrame(pending_);
        if (shownInRing_ && shown_.isValid() && freeCount_ < 2) free_[freeCount_++] = shown_;
        shown_ = pending_;
        shownInRing_ = true;
      }
      pending_ = QVideoFrame();
    } else if (yuv && !shownInRing_ && shown_.isValid() && videoWidget_ && videoWidget_->videoSink()) {
      // A new ring: the last session's picture goes until the first frame.
      videoWidget_->videoSink()->setVideoFrame(QVideoFrame());
      shown_ = QVideoFrame();
    }
  }
  if (videoWidget_) {
    if (yuv && videoWidget_->isHidden()) {
      videoWidget_->setGeometry(rect());
      videoWidget_->show();
    } else if (!yuv && !videoWidget_->isHidden()) {
      videoWidget_->hide();
    }
  }
  if (!yuv) update();
}

void VideoView::resizeEvent(QResizeEvent*) {
  viewWidth_.store(width(), std::memory_order_relaxed);
  viewHeight_.store(height(), std::memory_order_relaxed);
  if (videoWidget_) videoWidget_->setGeometry(rect());
}

void VideoView::paintEvent(QPaintEvent*) {
  QPainter p(this);
  std::lock_guard<std::mutex> hold(frontMutex_);
  if (front_.isNull() || yuvMode_) {
    p.fillRect(rect(), Background());
    return;
  }
  if (!KeepAspect()) {
    p.drawImage(rect(), front_);
    return;
  }
  // A picture converted smaller already has the kept proportions' size, and
  // fits exactly.
  const QRect target = KeptAspectRect(front_.size(), rect());
  if (target.left() > 0) {
    p.fillRect(QRect(0, 0, target.left(), height()), Background());
    p.fillRect(QRect(target.right() + 1, 0, width() - target.right() - 1, height()), Background());
  }
  if (target.top() > 0) {
    p.fillRect(QRect(0, 0, width(), target.top()), Background());
    p.fillRect(QRect(0, target.bottom() + 1, width(), height() - target.bottom() - 1), Background());
  }
  p.drawImage(target, front_);
}

int QtRgbSurface::KindForDepth(int bitsPerPixel) { return RgbKindForBitsPerPixel(bitsPerPixel); }

QImage::Format QtRgbSurface::ImageFormat(int kind) {
  switch (kind) {
    case kKindRGB565: return QImage::Format_RGB16;
    case kKindRGB24: return QImage::Format_BGR888;
    case kKindRGB32: return QImage::Format_RGB32;
    default: return QImage::Format_Invalid;
  }
}

int QtRgbSurface::CreateVideoSurfaces(int width, int height) {
  ReleaseVideoSurfaces();
  if (forcedKind_ != 0) {
    kind_ = forcedKind_;
  } else {
    // X11 and Wayland desktops of depth 24 keep 32 bits per pixel.
    QScreen* screen = QGuiApplication::primaryScreen();
    const int depth = screen ? screen->depth() : 32;
    kind_ = KindForDepth(depth == 24 ? 32 : depth);
  }
  if (kind_ == 0) {
    // Another depth: nothing is shown, and that is not an error.
    return 1;
  }
  width_ = width;
  height_ = height;
  back_ = QImage(width, height, ImageFormat(kind_));
  converted_ = false;
  QImage front(width, height, ImageFormat(kind_));
  front.fill(Qt::black);
  view_->Swap(front);
  if (back_.isNull()) {
    LogMessage("%s:%d\r\n", LOGPOS);
    kind_ = 0;
    return 0;
  }
  return 1;
}

void QtRgbSurface::ReleaseVideoSurfaces() {
  back_ = QImage();
  kind_ = 0;
}

void QtRgbSurface::PresentFrame(const std::uint8_t* picture, int width, int height, PictureRange range,
                                bool mirror) {
  if (kind_ == 0 || width != width_ || height != height_) return;
  // Shrinking is done here, once per pixel shown, instead of converting the
  // whole picture for the painter to scale down on the UI thread.
  int outWidth = view_->viewWidth_.load(std::memory_order_relaxed);
  int outHeight = view_->viewHeight_.load(std::memory_order_relaxed);
  if (view_->KeepAspect()) {
    const QRect kept = KeptAspectRect(QSize(width, height), QRect(0, 0, outWidth, outHeight));
    outWidth = kept.width();
    outHeight = kept.height();
  }
  if (outWidth <= 0 || outHeight <= 0 || outWidth > width || outHeight > height || outWidth > kMaxScaledWidth) {
    outWidth = width;
    outHeight = height;
  }
  if (back_.width() != outWidth || back_.height() != outHeight) {
    // Only after the view changed size (and once more for the image the view
    // hands back).
    back_ = QImage(outWidth, outHeight, ImageFormat(kind_));
    if (back_.isNull()) {
      LogMessage("%s:%d (%d) (%d)\r\n", LOGPOS, outWidth, outHeight);
      converted_ = false;
      return;
    }
  }
  const int pitch = static_cast<int>(back_.bytesPerLine());
  converted_ = (outWidth == width && outHeight == height
                    ? ConvertPicture(kind_, picture, width, height, range, mirror, back_.bits(), pitch)
                    : ConvertPictureScaled(kind_, picture, width, height, range, mirror, back_.bits(), pitch,
                                           outWidth, outHeight)) == 1;
}

int QtRgbSurface::BlitFrame() {
  if (kind_ == 0 || !converted_) return 1;  // nothing new to show
  converted_ = false;
  // The view shows what was converted; the old front image becomes the next
  // back image, so no picture is allocated per frame.
  view_->Swap(back_);
  return 1;
}
