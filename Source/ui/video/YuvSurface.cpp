#include "YuvSurface.h"

#include "base/base.h"
#include "video/Convert.h"

QVideoFrameFormat::PixelFormat QtYuvSurface::PixelFormat(int kind) {
  switch (kind) {
    case kKindYV12: return QVideoFrameFormat::Format_YV12;
    case kKindUYVY: return QVideoFrameFormat::Format_UYVY;
    case kKindYUY2: return QVideoFrameFormat::Format_YUYV;
    default: return QVideoFrameFormat::Format_Invalid;
  }
}

namespace {

QVideoFrameFormat::ColorRange FrameRange(PictureRange range) {
  return range == PictureRange::kFull ? QVideoFrameFormat::ColorRange_Full : QVideoFrameFormat::ColorRange_Video;
}

// A new frame whose memory has the layout the conversions write: kind 1 the
// Y rows at the pitch, then the Cr and the Cb rows at half the pitch, one
// after the other; the packed kinds one plane of at least 2 * W bytes a row.
// The frame tells the video widget the range of its samples.
QVideoFrame MakeFrame(int kind, int width, int height, PictureRange range) {
  QVideoFrameFormat format(QSize(width, height), QtYuvSurface::PixelFormat(kind));
  format.setColorRange(FrameRange(range));
  QVideoFrame frame(format);
  if (!frame.isValid() || !frame.map(QVideoFrame::WriteOnly)) return QVideoFrame();
  const int pitch = frame.bytesPerLine(0);
  bool fits = pitch >= width * BytesPerPixel(kind);
  if (kind == kKindYV12) {
    const long luma = static_cast<long>(pitch) * height;
    fits = fits && frame.planeCount() == 3 && frame.bytesPerLine(1) == pitch / 2 &&
           frame.bytesPerLine(2) == pitch / 2 && frame.bits(1) - frame.bits(0) == luma &&
           frame.bits(2) - frame.bits(0) == luma + luma / 4;
  }
  if (fits) {
    // Black until the first picture: Y 16 (0 in full range), Cb and Cr 128.
    const std::uint8_t black = range == PictureRange::kFull ? 0 : 16;
    std::uint8_t* bits = frame.bits(0);
    const long size = DestinationSize(kind, height, pitch);
    if (kind == kKindYV12) {
      std::fill(bits, bits + static_cast<long>(pitch) * height, black);
      std::fill(bits + static_cast<long>(pitch) * height, bits + size, std::uint8_t{128});
    } else {
      const int lumaFirst = kind == kKindYUY2 ? 0 : 1;
      for (long i = 0; i < size; ++i) bits[i] = (i & 1) == lumaFirst ? black : 128;
    }
  }
  frame.unmap();
  return fits ? frame : QVideoFrame();
}

}  // namespace

int QtYuvSurface::CreateKind(int kind, int width, int height) {
  ReleaseVideoSurfaces();
  if (PixelFormat(kind) == QVideoFrameFormat::Format_Invalid || width <= 0 || height <= 0) {
    LogMessage("%s:%d (%d)\r\n", LOGPOS, kind);
    return 0;
  }
  if (!view_->EnsureVideoWidget()) {
    LogMessage("%s:%d\r\n", LOGPOS);
    return 0;
  }
  // The ring is made once per size: one frame for the render thread to
  // write, one pending, one the sink shows.
  QVideoFrame ring[kRingFrames];
  for (QVideoFrame& frame : ring) {
    frame = MakeFrame(kind, width, height, PictureRange::kVideo);
    if (!frame.isValid()) {
      LogMessage("%s:%d (%d)\r\n", LOGPOS, kind);
      return 0;
    }
  }
  back_ = ring[0];
  view_->ResetFrames(ring[1], ring[2]);
  kind_ = kind;
  width_ = width;
  height_ = height;
  converted_ = false;
  error_ = 0;
  refusalLogged_ = false;
  view_->TakeDisplayError();  // one from an earlier ring is no longer ours
  return 1;
}

int QtYuvSurface::CreateVideoSurfaces(int width, int height) {
  for (int kind : {kKindYV12, kKindUYVY, kKindYUY2}) {
    if (CreateKind(kind, width, height) == 1) return 1;
  }
  LogMessage("%s:%d\r\n", LOGPOS);
  return 0;
}

void QtYuvSurface::ReleaseVideoSurfaces() {
  if (kind_ != 0) view_->DropFrames();
  back_ = QVideoFrame();
  kind_ = 0;
  converted_ = false;
}

void QtYuvSurface::PresentFrame(const std::uint8_t* picture, int width, int height, PictureRange range,
                                bool mirror) {
  if (kind_ == 0 || width != width_ || height != height_ || error_ != 0) return;
  // The back frame is neither shown nor pending (see VideoView), so nothing
  // should read it now; but the video widget may still hold it mapped for
  // reading (Qt 6.4 keeps the frames it has shown mapped), and then Qt
  // refuses a mapping for writing. Writing through a read mapping would
  // change pixels the widget may still be reading, so such a frame leaves
  // the ring and a new one takes its place. A frame made for another range
  // is replaced the same way, since a frame's format is fixed. Both happen
  // rarely; nothing is allocated otherwise.
  const bool otherRange = back_.isValid() && back_.surfaceFormat().colorRange() != FrameRange(range);
  if (!back_.isValid() || otherRange || !back_.map(QVideoFrame::WriteOnly)) {
    if (back_.isValid() && !otherRange && !refusalLogged_) {
      refusalLogged_ = true;
      LogMessage("%s:%d (a frame still mapped for reading is replaced)\r\n", LOGPOS);
    }
    back_ = back_.isValid() ? MakeFrame(kind_, width, height, range) : QVideoFrame();
    // A frame that cannot be had or mapped does not heal: a display error
    // rather than a skipped frame.
    if (!back_.isValid() || !back_.map(QVideoFrame::WriteOnly)) {
      error_ = kDisplayFrameUnmapped;
      return;
    }
  }
  converted_ =
      ConvertPicture(kind_, picture, width, height, range, mirror, back_.bits(0), back_.bytesPerLine(0)) == 1;
  back_.unmap();
}

int QtYuvSurface::BlitFrame() {
  if (kind_ == 0) return 1;
  int error = error_ != 0 ? error_ : view_->TakeDisplayError();
  if (error == 0 && converted_) {
    converted_ = false;
    if (!view_->SwapFrame(back_)) error = kDisplayRingLost;
  }
  if (error != 0) {
    error_ = 0;
    LogMessage("%s:%d (%x)\r\n", LOGPOS, static_cast<unsigned>(error));
    return 0;
  }
  return 1;
}
