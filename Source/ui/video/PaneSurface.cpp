#include "PaneSurface.h"

#include <QGuiApplication>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QScreen>
#include <QThread>

#include "base/base.h"
#include "video/Convert.h"

namespace {

// Whether the display converts and scales video in hardware. The video
// widget renders through OpenGL; with a software renderer (a virtual display,
// a machine without a graphics driver) its conversion and scaling cost more
// CPU than the table-driven RGB conversion painted by the view, so the YUV
// kinds are offered only over a hardware renderer. Probed once, on the UI
// thread, with a throw-away context.
bool HardwareVideoRenderer() {
  static const bool hardware = [] {
    QOffscreenSurface surface;
    surface.create();
    QOpenGLContext context;
    if (!surface.isValid() || !context.create() || !context.makeCurrent(&surface)) {
      LogMessage("%s:%d\r\n", LOGPOS);
      return false;
    }
    const auto* text = reinterpret_cast<const char*>(context.functions()->glGetString(GL_RENDERER));
    const QByteArray renderer = text != nullptr ? QByteArray(text) : QByteArray();
    context.doneCurrent();
    return IsHardwareRenderer(renderer.constData());
  }();
  return hardware;
}

}  // namespace

bool IsHardwareRenderer(const char* renderer) {
  if (renderer == nullptr || renderer[0] == '\0') return false;
  const QByteArray name = QByteArray(renderer).toLower();
  for (const char* software : {"llvmpipe", "softpipe", "swrast", "software rasterizer", "swiftshader"}) {
    if (name.contains(software)) return false;
  }
  return true;
}

bool QtDisplay::ShowsYuv() const {
  const QString platform = QGuiApplication::platformName();
  if (platform == QLatin1String("offscreen") || platform == QLatin1String("minimal")) return false;
  return HardwareVideoRenderer();
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
