#include "PaneSurface.h"

#include <QGuiApplication>
#include <QScreen>
#include <QThread>

#include "video/Convert.h"

bool QtDisplay::ShowsYuv() const {
  const QString platform = QGuiApplication::platformName();
  return platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
}

int QtDisplay::DesktopBitsPerPixel() const {
  if (QCoreApplication::instance() == nullptr ||
      QThread::currentThread() != QCoreApplication::instance()->thread()) {
    return bitsPerPixel_.load();
  }
  QScreen* screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return -1;
  // X11 and Wayland desktops of depth 24 keep 32 bits per pixel.
  const int depth = screen->depth();
  bitsPerPixel_.store(depth == 24 ? 32 : depth);
  return bitsPerPixel_.load();
}

VideoSurface* QtDisplay::CreateKind(int kind, int width, int height) {
  // Read the depth now, on the UI thread, for a later switch to RGB.
  DesktopBitsPerPixel();
  if (kind >= kKindYV12 && kind <= kKindYUY2) {
    return yuv_.CreateKind(kind, width, height) == 1 ? &yuv_ : nullptr;
  }
  return rgb_.CreateKind(kind, width, height) == 1 ? &rgb_ : nullptr;
}
