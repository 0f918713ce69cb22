#include "video/VideoDecoder.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libavutil/mem.h>
}

#include "base/TimedLock.h"
#include "base/base.h"
#include "base/CodecHeaders.h"
#include "video/VideoFormat.h"

namespace {

// libavcodec's open and close must not run concurrently from several render
// threads; this lock serialises them.
TimedLock& CodecOpenLock() {
  static TimedLock lock;
  return lock;
}

}  // namespace

VideoDecoder::~VideoDecoder() { Close(); }

int VideoDecoder::Open(int vcodec, int width, int height) {
  Close();
  codecId_ = vcodec == kCodecH264 ? 28 : 13;
  const AVCodecID id = vcodec == kCodecH264 ? AV_CODEC_ID_H264 : AV_CODEC_ID_MPEG4;
  const AVCodec* codec = avcodec_find_decoder(id);
  if (codec == nullptr) {
    LogMessage("%s:%d\r\n", LOGPOS);
    return 0;
  }
  context_ = avcodec_alloc_context3(codec);
  if (context_ == nullptr) {
    LogMessage("%s:%d\r\n", LOGPOS);
    return 0;
  }
  // Camera streams omit the padding libavcodec expects after a frame.
  context_->workaround_bugs = FF_BUG_NO_PADDING;
  frame_ = av_frame_alloc();
  packet_ = av_packet_alloc();
  if (frame_ == nullptr || packet_ == nullptr) {
    LogMessage("%s:%d\r\n", LOGPOS);
    Close();
    return 0;
  }
  // Prime with the configuration header built from the viewer's size; the
  // camera's stream does not repeat it. It goes in as the codec's
  // configuration record, which the decoder reads before the first frame
  // (a packet holding only a header would be refused as a damaged picture).
  std::uint8_t header[64] = {};
  const int length = vcodec == kCodecH264 ? MakeH264ConfigHeader(width, header)
                                          : MakeMpeg4ConfigHeader(width, height, header);
  if (length > 0) {
    context_->extradata = static_cast<std::uint8_t*>(av_mallocz(static_cast<size_t>(length) + AV_INPUT_BUFFER_PADDING_SIZE));
    if (context_->extradata == nullptr) {
      LogMessage("%s:%d\r\n", LOGPOS);
      Close();
      return 0;
    }
    std::memcpy(context_->extradata, header, static_cast<size_t>(length));
    context_->extradata_size = length;
  }
  int rc = -1;
  {
    TimedLockHolder hold(CodecOpenLock(), TimedLock::kDefaultWaitMs, LOGPOS);
    if (hold.held()) rc = avcodec_open2(context_, codec, nullptr);
  }
  if (rc < 0) {
    LogMessage("%s:%d (%d)\r\n", LOGPOS, rc);
    Close();
    return 0;
  }

  return 1;
}

void VideoDecoder::Close() {
  if (context_ != nullptr) {
    TimedLockHolder hold(CodecOpenLock(), TimedLock::kDefaultWaitMs, LOGPOS);
    // Without the lock the context is left open rather than freed alongside
    // another thread's open; that leaks but cannot corrupt the library.
    if (hold.held()) avcodec_free_context(&context_);
    context_ = nullptr;
  }
  av_frame_free(&frame_);
  av_packet_free(&packet_);
}

int VideoDecoder::Decode(std::uint8_t* data, int size, int* gotPicture) {
  *gotPicture = 0;
  if (context_ == nullptr || data == nullptr || size <= 0) return -1;
  std::memset(data + size, 0, kPadding);
  packet_->data = data;
  packet_->size = size;
  int rc = avcodec_send_packet(context_, packet_);
  if (rc == AVERROR(EAGAIN)) {
    // A picture from an earlier packet is still waiting: take it and retry.
    if (avcodec_receive_frame(context_, frame_) == 0) *gotPicture = 1;
    rc = avcodec_send_packet(context_, packet_);
  }
  packet_->data = nullptr;
  packet_->size = 0;
  if (rc < 0) return rc;
  rc = avcodec_receive_frame(context_, frame_);
  if (rc == 0) {
    *gotPicture = 1;
    return 0;
  }
  if (rc == AVERROR(EAGAIN)) return 0;
  return rc;
}

void VideoDecoder::CopyOut(std::uint8_t* picture, int width, int height) const {
  if (frame_ == nullptr || frame_->data[0] == nullptr) return;
  if (frame_->format != AV_PIX_FMT_YUV420P && frame_->format != AV_PIX_FMT_YUVJ420P) return;
  // Copy only what both the picture and the decoded frame hold.
  const int w = std::min(width, frame_->width);
  const int h = std::min(height, frame_->height);
  if (w <= 0 || h <= 0) return;
  std::uint8_t* y = picture;
  std::uint8_t* cr = picture + width * height;
  std::uint8_t* cb = picture + width * height * 5 / 4;
  for (int r = 0; r < h; ++r) {
    std::memcpy(y + r * width, frame_->data[0] + r * frame_->linesize[0], static_cast<size_t>(w));
  }
  for (int r = 0; r < h / 2; ++r) {
    std::memcpy(cr + r * (width / 2), frame_->data[2] + r * frame_->linesize[2], static_cast<size_t>(w / 2));
    std::memcpy(cb + r * (width / 2), frame_->data[1] + r * frame_->linesize[1], static_cast<size_t>(w / 2));
  }
}

PictureRange VideoDecoder::Range() const {
  if (frame_ == nullptr) return PictureRange::kVideo;
  return frame_->color_range == AVCOL_RANGE_JPEG || frame_->format == AV_PIX_FMT_YUVJ420P ? PictureRange::kFull
                                                                                          : PictureRange::kVideo;
}
