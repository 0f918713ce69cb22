// Counts heap allocations on the per-frame paths. The frame queue, the
// pacing and every conversion allocate nothing; the decoders allocate no
// more per frame than the codec libraries do on their own.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <jpeglib.h>
extern "C" {
#include <libavcodec/avcodec.h>
}

#include "VideoTestUtil.h"
#include "base/base.h"
#include "video/Convert.h"
#include "video/FramePacer.h"
#include "video/MFrameQueue.h"
#include "video/MotionJpeg.h"
#include "video/VideoDecoder.h"
#include "video/VideoFormat.h"

extern "C" void* __libc_malloc(size_t);
extern "C" void* __libc_calloc(size_t, size_t);
extern "C" void* __libc_realloc(void*, size_t);
extern "C" void* __libc_memalign(size_t, size_t);

namespace {
std::atomic<long> g_allocations{0};
}

// Every allocation in the process goes through these.
extern "C" void* malloc(size_t n) {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  return __libc_malloc(n);
}
extern "C" void* calloc(size_t a, size_t b) {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  return __libc_calloc(a, b);
}
extern "C" void* realloc(void* p, size_t n) {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  return __libc_realloc(p, n);
}
extern "C" int posix_memalign(void** out, size_t align, size_t n) {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  *out = __libc_memalign(align, n);
  return *out != nullptr ? 0 : 12;
}

namespace {

template <typename F>
long Count(F f) {
  const long before = g_allocations.load();
  f();
  return g_allocations.load() - before;
}

TEST(Allocations, QueuePacingAndConversionsAllocateNothing) {
  MFrameQueue queue;
  FramePacer pacer;
  const int w = 640, h = 480;
  std::vector<std::uint8_t> picture(w * h * 3 / 2, 90), surface(w * h * 4 * 2);
  std::uint32_t seq = 1;
  auto frame = [&] {
    FrameSlot* s = queue.GetFreeFrameSlot();
    std::memcpy(s->header, "MMPG", 4);
    const std::uint32_t fields[5] = {seq / 25, (seq % 25) * 40000, seq, 1000, seq == 1 ? 1u : 0u};
    std::memcpy(s->header + 4, fields, sizeof fields);
    s->headerCount = 32;
    s->payloadCount = 1000;
    queue.SubmitFrame(s);
    ++seq;
    if (FrameSlot* p = queue.TakeFrame()) pacer.PaceFrame(*p, queue.Count(), seq * 40'000'000LL);
    const PictureRange range = seq % 2 == 0 ? PictureRange::kVideo : PictureRange::kFull;
    for (int kind = kKindYV12; kind <= kKindRGB32; ++kind) {
      ConvertPicture(kind, picture.data(), w, h, range, seq % 2 == 0, surface.data(), w * BytesPerPixel(kind));
    }
  };
  for (int i = 0; i < 40; ++i) frame();  // warm-up
  EXPECT_EQ(Count([&] {
              for (int i = 0; i < 300; ++i) frame();
            }),
            0);
}

// A bare raw-data decode with the library's own memory source: what libjpeg
// itself allocates per image.
long BareJpegAllocations(const vt::Bytes& jpeg) {
  return Count([&] {
    jpeg_decompress_struct cinfo{};
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
    jpeg_read_header(&cinfo, TRUE);
    cinfo.raw_data_out = TRUE;
    cinfo.dct_method = JDCT_IFAST;
    jpeg_start_decompress(&cinfo);
    static JSAMPLE rows[32][4096];
    JSAMPROW y[16], cb[8], cr[8];
    for (int i = 0; i < 16; ++i) y[i] = rows[i];
    for (int i = 0; i < 8; ++i) {
      cb[i] = rows[16 + i];
      cr[i] = rows[24 + i];
    }
    JSAMPARRAY planes[3] = {y, cb, cr};
    while (cinfo.output_scanline < cinfo.output_height) {
      jpeg_read_raw_data(&cinfo, planes, static_cast<JDIMENSION>(8 * cinfo.max_v_samp_factor));
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
  });
}

TEST(Allocations, MotionJpegAddsNothingToTheLibrary) {
  struct Case { int ow, h, hs, vs, w; };
  const Case cases[] = {{640, 480, 2, 2, 640}, {704, 480, 2, 1, 320}, {320, 240, 1, 1, 320}};
  for (const Case& c : cases) {
    const vt::Bytes jpeg = vt::EncodeJpeg(vt::Pattern(c.ow, c.h, c.hs, c.vs), c.hs, c.vs, 85, false);
    std::vector<std::uint8_t> picture(c.w * c.h * 3 / 2);
    auto decode = [&] {
      TimedLockHolder hold(MotionJpegLock(), 1000, LOGPOS);
      std::uint8_t* p = picture.data();
      ASSERT_EQ(DecodeJpegFrame(jpeg.data(), static_cast<int>(jpeg.size()), c.w, c.h, p, p + c.w * c.h * 5 / 4,
                                p + c.w * c.h),
                0);
    };
    decode();
    const long bare = BareJpegAllocations(jpeg);
    const long ours = Count(decode);
    std::printf("allocations per %dx%d JPEG frame: ours %ld, library alone %ld\n", c.ow, c.h, ours, bare);
    EXPECT_LE(ours, bare) << c.ow << "x" << c.h << ": library alone " << bare;
  }
}

TEST(Allocations, VideoDecoderAddsNothingToTheLibrary) {
  vt::TempDir dir;
  const std::string enc = dir.File("s.h264");
  ASSERT_EQ(vt::Run("ffmpeg -nostdin -y -f lavfi -i testsrc=size=640x480:rate=25 -frames:v 60 -pix_fmt yuv420p "
                    "-c:v libx264 -profile:v baseline -bf 0 -g 30 -f h264 '" + enc + "'"),
            0);
  vt::Bytes stream;
  ASSERT_TRUE(vt::ReadFile(enc, &stream));
  std::vector<bool> keys;
  const std::vector<vt::Bytes> frames = vt::SplitH264(stream, &keys);
  ASSERT_EQ(frames.size(), 60u);

  // Our decoder and a bare context of the library, fed the same packets.
  VideoDecoder ours;
  ASSERT_EQ(ours.Open(kCodecH264, 640, 480), 1);
  const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_H264);
  AVCodecContext* bare = avcodec_alloc_context3(codec);
  ASSERT_EQ(avcodec_open2(bare, codec, nullptr), 0);
  AVFrame* frame = av_frame_alloc();
  AVPacket* pkt = av_packet_alloc();
  std::vector<std::uint8_t> picture(640 * 480 * 3 / 2), buffer(300000);
  long oursCount = 0, bareCount = 0;
  for (size_t i = 0; i < frames.size(); ++i) {
    std::memcpy(buffer.data(), frames[i].data(), frames[i].size());
    const int size = static_cast<int>(frames[i].size());
    const long o = Count([&] {
      int got = 0;
      ours.Decode(buffer.data(), size, &got);
      if (got) ours.CopyOut(picture.data(), 640, 480);
    });
    const long b = Count([&] {
      pkt->data = buffer.data();
      pkt->size = size;
      avcodec_send_packet(bare, pkt);
      avcodec_receive_frame(bare, frame);
    });
    if (i >= 10) {  // after the pools have filled
      oursCount += o;
      bareCount += b;
    }
  }
  std::printf("allocations per frame over 50 H.264 frames: ours %.1f, library alone %.1f\n", oursCount / 50.0,
              bareCount / 50.0);
  EXPECT_LE(oursCount, bareCount);
  av_packet_free(&pkt);
  av_frame_free(&frame);
  avcodec_free_context(&bare);
}

}  // namespace
