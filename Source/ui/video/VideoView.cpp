#include "VideoView.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

#include "base/base.h"
#include "video/Convert.h"

VideoView::VideoView(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setAutoFillBackground(false);
}

QImage VideoView::CurrentImage() const {
  std::lock_guard<std::mutex> hold(frontMutex_);
  return front_.copy();
}

void VideoView::Swap(QImage& image) {
  {
    std::lock_guard<std::mutex> hold(frontMutex_);
    front_.swap(image);
  }
  if (!repaintPending_.exchange(true)) {
    QMetaObject::invokeMethod(this, qOverload<>(&QWidget::update), Qt::QueuedConnection);
  }
}

void VideoView::paintEvent(QPaintEvent*) {
  repaintPending_.store(false);
  QPainter p(this);
  std::lock_guard<std::mutex> hold(frontMutex_);
  if (front_.isNull()) {
    p.fillRect(rect(), Qt::black);
    return;
  }
  p.drawImage(rect(), front_);
}

int QtRgbSurface::KindForDepth(int bitsPerPixel) {
  switch (bitsPerPixel) {
    case 16: return kKindRGB565;
    case 24: return kKindRGB24;
    case 32: return kKindRGB32;
    default: return 0;
  }
}

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
  // X11 and Wayland desktops of depth 24 keep 32 bits per pixel.
  QScreen* screen = QGuiApplication::primaryScreen();
  const int depth = screen ? screen->depth() : 32;
  kind_ = forcedKind_ ? forcedKind_ : KindForDepth(depth == 24 ? 32 : depth);
  if (kind_ == 0) {
    // Another depth: nothing is shown, and that is not an error.
    return 1;
  }
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

void QtRgbSurface::PresentFrame(const std::uint8_t* picture, int width, int height, bool mirror) {
  if (kind_ == 0 || back_.width() != width || back_.height() != height) return;
  converted_ = ConvertPicture(kind_, picture, width, height, mirror, back_.bits(),
                              static_cast<int>(back_.bytesPerLine())) == 1;
}

int QtRgbSurface::BlitFrame() {
  if (kind_ == 0 || !converted_) return 1;  // nothing new to show
  converted_ = false;
  // The view shows what was converted; the old front image becomes the next
  // back image, so no picture is allocated per frame.
  view_->Swap(back_);
  return 1;
}
