#include "camsim/Encoders.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/opt.h>
}
#include <jpeglib.h>

#include "base/base.h"
#include "camsim/TestPattern.h"

namespace camsim {
namespace {

void Append(StreamLoop* loop, const std::uint8_t* data, std::size_t size, bool key) {
  LoopFrame f;
  f.offset = static_cast<std::uint32_t>(loop->bytes.size());
  f.size = static_cast<std::uint32_t>(size);
  f.key = key;
  loop->bytes.insert(loop->bytes.end(), data, data + size);
  loop->frames.push_back(f);
}

struct LavcState {
  AVCodecContext* ctx = nullptr;
  AVFrame* frame = nullptr;
  AVPacket* packet = nullptr;
  ~LavcState() {
    av_packet_free(&packet);
    av_frame_free(&frame);
    avcodec_free_context(&ctx);
  }
};

// Moves every finished packet into |loop|. Returns 0 on an encoder error.
int Drain(LavcState& s, const LoopKey& key, StreamLoop* loop) {
  for (;;) {
    int rc = avcodec_receive_packet(s.ctx, s.packet);
    if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) return 1;
    if (rc < 0) {
      LogMessage("%s:%d (%d)\r\n", LOGPOS, rc);
      return 0;
    }
    const bool keyFrame = (s.packet->flags & AV_PKT_FLAG_KEY) != 0;
    std::size_t skip = 0;
    if (key.kind == VideoKind::kMpeg4Bare) {
      skip = Mpeg4HeaderLength(s.packet->data, static_cast<std::size_t>(s.packet->size));
    }
    Append(loop, s.packet->data + skip, static_cast<std::size_t>(s.packet->size) - skip, keyFrame);
    av_packet_unref(s.packet);
  }
}

}  // namespace

std::size_t Mpeg4HeaderLength(const std::uint8_t* data, std::size_t size) {
  for (std::size_t i = 0; i + 4 <= size; ++i) {
    if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1 && data[i + 3] == 0xB6) return i;
  }
  return 0;
}

int EncodeWithLavc(const LoopKey& key, int count, StreamLoop* loop) {
  const char* name = "mpeg4";
  if (key.kind == VideoKind::kH264) name = "libx264";
  if (key.kind == VideoKind::kLavcJpeg422) name = "mjpeg";
  av_log_set_level(AV_LOG_ERROR);  // the encoders' statistics are noise here
  const AVCodec* codec = avcodec_find_encoder_by_name(name);
  if (!codec) {
    LogMessage("%s:%d no encoder %s\r\n", LOGPOS, name);
    return 0;
  }
  LavcState s;
  s.ctx = avcodec_alloc_context3(codec);
  s.frame = av_frame_alloc();
  s.packet = av_packet_alloc();
  if (!s.ctx || !s.frame || !s.packet) {
    LogMessage("%s:%d\r\n", LOGPOS);
    return 0;
  }
  AVCodecContext* c = s.ctx;
  c->width = key.width;
  c->height = key.height;
  c->framerate = AVRational{key.fps, 1};
  c->max_b_frames = 0;
  c->gop_size = 25;
  c->thread_count = 1;
  int ptsStep = 1;
  bool chroma422 = false;
  if (key.kind == VideoKind::kH264) {
    c->time_base = AVRational{1, key.fps};
    c->pix_fmt = AV_PIX_FMT_YUV420P;
    // SPS/PPS before every IDR. With own parameter sets: Main profile (CABAC)
    // at level 4.0, unlike the built-in Baseline level 3.0 SPS.
    av_opt_set(c->priv_data, "profile", key.ownParams ? "main" : "baseline", 0);
    av_opt_set(c->priv_data, "preset", "veryfast", 0);
    av_opt_set(c->priv_data, "tune", "zerolatency", 0);
    std::string params = "keyint=25:min-keyint=25:scenecut=0:repeat-headers=1:bframes=0:annexb=1";
    if (key.ownParams) params += ":level=4.0";
    av_opt_set(c->priv_data, "x264-params", params.c_str(), 0);
  } else if (key.kind == VideoKind::kLavcJpeg422) {
    c->time_base = AVRational{1, key.fps};
    c->pix_fmt = AV_PIX_FMT_YUVJ422P;
    c->flags |= AV_CODEC_FLAG_QSCALE;
    c->global_quality = FF_QP2LAMBDA * 4;
    chroma422 = true;
  } else {
    // VOP times count milliseconds (time resolution 1000, as in the viewer's
    // built-in VOL); with own parameter sets 1/30000 s, so the VOL repeated
    // before every key frame differs from the built-in one.
    const int resolution = key.ownParams ? 30000 : 1000;
    c->time_base = AVRational{1, resolution};
    ptsStep = resolution / (key.fps > 0 ? key.fps : 25);
    c->pix_fmt = AV_PIX_FMT_YUV420P;
    c->profile = FF_PROFILE_MPEG4_SIMPLE;
    c->flags |= AV_CODEC_FLAG_QSCALE;
    c->global_quality = FF_QP2LAMBDA * 4;
  }
  int rc = avcodec_open2(c, codec, nullptr);
  if (rc < 0) {
    LogMessage("%s:%d (%d)\r\n", LOGPOS, rc);
    return 0;
  }
  s.frame->format = c->pix_fmt;
  s.frame->width = c->width;
  s.frame->height = c->height;
  rc = av_frame_get_buffer(s.frame, 0);
  if (rc < 0) {
    LogMessage("%s:%d (%d)\r\n", LOGPOS, rc);
    return 0;
  }
  for (int i = 0; i < count; ++i) {
    rc = av_frame_make_writable(s.frame);
    if (rc < 0) {
      LogMessage("%s:%d (%d)\r\n", LOGPOS, rc);
      return 0;
    }
    PlanarPicture p;
    p.y = s.frame->data[0];
    p.cb = s.frame->data[1];
    p.cr = s.frame->data[2];
    p.width = key.width;
    p.height = key.height;
    p.chromaHeight = chroma422 ? key.height : key.height / 2;
    p.lumaStride = s.frame->linesize[0];
    p.chromaStride = s.frame->linesize[1];
    DrawTestPattern(p, key.camera, i);
    s.frame->pts = static_cast<std::int64_t>(i) * ptsStep;
    // Force the group structure so that the loop restarts on a key frame.
    s.frame->pict_type = (i % 25 == 0) ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;
    rc = avcodec_send_frame(c, s.frame);
    if (rc < 0) {
      LogMessage("%s:%d (%d)\r\n", LOGPOS, rc);
      return 0;
    }
    if (!Drain(s, key, loop)) return 0;
  }
  avcodec_send_frame(c, nullptr);
  if (!Drain(s, key, loop)) return 0;
  return static_cast<int>(loop->frames.size()) == count ? 1 : 0;
}

namespace {

struct JpegError {
  jpeg_error_mgr mgr;
  std::jmp_buf jump;
};

void OnJpegError(j_common_ptr cinfo) {
  char text[JMSG_LENGTH_MAX];
  cinfo->err->format_message(cinfo, text);
  LogMessage("%s:%d %s\r\n", LOGPOS, text);
  std::longjmp(reinterpret_cast<JpegError*>(cinfo->err)->jump, 1);
}

struct JpegPlanes {
  const std::uint8_t* y;
  const std::uint8_t* cb;
  const std::uint8_t* cr;
  int width;
  int height;
  int vsamp;
  bool noDht;
};

// Compresses one picture into a malloc'ed buffer. Holds only plain data, so
// the error exit may jump out of it. Returns 1 or 0.
int CompressPicture(const JpegPlanes& in, unsigned char** out, unsigned long* outSize) {
  jpeg_compress_struct cinfo;
  JpegError err;
  cinfo.err = jpeg_std_error(&err.mgr);
  err.mgr.error_exit = OnJpegError;
  JSAMPROW rows[3][16];
  if (setjmp(err.jump)) {
    jpeg_destroy_compress(&cinfo);
    return 0;
  }
  jpeg_create_compress(&cinfo);
  jpeg_mem_dest(&cinfo, out, outSize);
  cinfo.image_width = static_cast<JDIMENSION>(in.width);
  cinfo.image_height = static_cast<JDIMENSION>(in.height);
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_YCbCr;
  jpeg_set_defaults(&cinfo);
  jpeg_set_colorspace(&cinfo, JCS_YCbCr);
  jpeg_set_quality(&cinfo, 80, TRUE);
  cinfo.raw_data_in = TRUE;
  cinfo.comp_info[0].h_samp_factor = 2;
  cinfo.comp_info[0].v_samp_factor = in.vsamp;
  for (int c = 1; c < 3; ++c) {
    cinfo.comp_info[c].h_samp_factor = 1;
    cinfo.comp_info[c].v_samp_factor = 1;
  }
  if (in.noDht) {
    // Mark the standard Huffman tables as already sent: decoders then fall
    // back to the same standard tables.
    for (int t = 0; t < NUM_HUFF_TBLS; ++t) {
      if (cinfo.dc_huff_tbl_ptrs[t]) cinfo.dc_huff_tbl_ptrs[t]->sent_table = TRUE;
      if (cinfo.ac_huff_tbl_ptrs[t]) cinfo.ac_huff_tbl_ptrs[t]->sent_table = TRUE;
    }
    jpeg_start_compress(&cinfo, FALSE);
  } else {
    jpeg_start_compress(&cinfo, TRUE);
  }
  const int band = 8 * in.vsamp;
  const int cw = in.width / 2;
  JSAMPARRAY planes[3] = {rows[0], rows[1], rows[2]};
  for (int row = 0; row < in.height; row += band) {
    for (int k = 0; k < band; ++k) rows[0][k] = const_cast<std::uint8_t*>(in.y + (row + k) * in.width);
    for (int k = 0; k < 8; ++k) {
      int crow = row / in.vsamp + k;
      rows[1][k] = const_cast<std::uint8_t*>(in.cb + crow * cw);
      rows[2][k] = const_cast<std::uint8_t*>(in.cr + crow * cw);
    }
    jpeg_write_raw_data(&cinfo, planes, static_cast<JDIMENSION>(band));
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  return 1;
}

}  // namespace

int EncodeWithJpeg(const LoopKey& key, int count, StreamLoop* loop) {
  const bool is420 = key.kind == VideoKind::kJpeg420 || key.kind == VideoKind::kJpeg420NoDht;
  const bool noDht = key.kind == VideoKind::kJpeg422NoDht || key.kind == VideoKind::kJpeg420NoDht;
  const int vsamp = is420 ? 2 : 1;
  const int width = key.width & ~15;
  const int height = key.height & ~(8 * vsamp - 1);
  if (width <= 0 || height <= 0) return 0;
  const int chromaHeight = height / vsamp;
  std::vector<std::uint8_t> y(static_cast<std::size_t>(width) * height);
  std::vector<std::uint8_t> cb(static_cast<std::size_t>(width / 2) * chromaHeight);
  std::vector<std::uint8_t> cr(cb.size());
  for (int i = 0; i < count; ++i) {
    PlanarPicture p{y.data(), cb.data(), cr.data(), width, height, chromaHeight, width, width / 2};
    DrawTestPattern(p, key.camera, i);
    unsigned char* out = nullptr;
    unsigned long outSize = 0;
    JpegPlanes in{y.data(), cb.data(), cr.data(), width, height, vsamp, noDht};
    int ok = CompressPicture(in, &out, &outSize);
    if (ok && out) Append(loop, out, outSize, true);
    std::free(out);
    if (!ok) return 0;
  }
  return 1;
}

}  // namespace camsim
