// Per-frame costs of the video path against the bare libraries, and the
// conversions in ns per pixel.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "BenchFixtures.h"
#include "base/base.h"
#include "video/Convert.h"
#include "video/MotionJpeg.h"
#include "video/VideoDecoder.h"
#include "video/VideoFormat.h"

namespace {

const bench::Stream& StreamFor(int vcodec) {
  return vcodec == kCodecH264 ? bench::H264Stream() : bench::Mpeg4Stream();
}

// libavcodec alone: send the packet, receive the picture, for every packet
// of |s| in turn.
void LavcDecodeLoop(benchmark::State& state, AVCodecID id, const bench::Stream& s) {
  const AVCodec* codec = avcodec_find_decoder(id);
  AVCodecContext* ctx = avcodec_alloc_context3(codec);
  avcodec_open2(ctx, codec, nullptr);
  AVFrame* frame = av_frame_alloc();
  AVPacket* pkt = av_packet_alloc();
  std::vector<bench::Packet> packets = s.packets;
  size_t i = 0;
  for (auto _ : state) {
    pkt->data = packets[i].data();
    pkt->size = s.sizes[i];
    avcodec_send_packet(ctx, pkt);
    benchmark::DoNotOptimize(avcodec_receive_frame(ctx, frame));
    i = (i + 1) % packets.size();
  }
  av_packet_free(&pkt);
  av_frame_free(&frame);
  avcodec_free_context(&ctx);
}

void BM_BareDecode(benchmark::State& state) {
  const int vcodec = static_cast<int>(state.range(0));
  LavcDecodeLoop(state, vcodec == kCodecH264 ? AV_CODEC_ID_H264 : AV_CODEC_ID_MPEG4, StreamFor(vcodec));
}

// The render thread's work for one frame: decode, copy-out, conversion into
// the surface (kind 6 RGB32 as asked; kind 1 YV12 for comparison).
void BM_DecodeCopyConvert(benchmark::State& state) {
  const int vcodec = static_cast<int>(state.range(0));
  const int kind = static_cast<int>(state.range(1));
  const bench::Stream& s = StreamFor(vcodec);
  VideoDecoder decoder;
  decoder.Open(vcodec, 640, 480);
  std::vector<bench::Packet> packets = s.packets;
  std::vector<std::uint8_t> picture(640 * 480 * 3 / 2), surface(640 * 480 * 4);
  size_t i = 0;
  for (auto _ : state) {
    int got = 0;
    decoder.Decode(packets[i].data(), s.sizes[i], &got);
    if (got) {
      decoder.CopyOut(picture.data(), 640, 480);
      ConvertPicture(kind, picture.data(), 640, 480, decoder.Range(), false, surface.data(),
                     640 * BytesPerPixel(kind));
    }
    benchmark::DoNotOptimize(surface.data());
    i = (i + 1) % packets.size();
  }
}

BENCHMARK(BM_BareDecode)->Arg(kCodecH264)->Arg(kCodecMpeg4)->ArgName("vcodec")->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DecodeCopyConvert)
    ->Args({kCodecH264, kKindRGB32})
    ->Args({kCodecMpeg4, kKindRGB32})
    ->Args({kCodecH264, kKindYV12})
    ->Args({kCodecMpeg4, kKindYV12})
    ->ArgNames({"vcodec", "kind"})
    ->Unit(benchmark::kMicrosecond);

// Motion JPEG: the raw-data decode into the picture against libavcodec's
// MJPEG decoder on the same frames. Args: JPEG width, height, picture width.
void BM_DecodeJpegFrame(benchmark::State& state) {
  const int ow = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
  const int w = static_cast<int>(state.range(2));
  const bench::Stream& s = bench::JpegStream(ow, h);
  std::vector<std::uint8_t> picture(static_cast<size_t>(w) * h * 3 / 2);
  std::uint8_t* p = picture.data();
  size_t i = 0;
  for (auto _ : state) {
    TimedLockHolder hold(MotionJpegLock(), 30000, LOGPOS);
    benchmark::DoNotOptimize(DecodeJpegFrame(s.packets[i].data(), s.sizes[i], w, h, p, p + w * h * 5 / 4, p + w * h));
    i = (i + 1) % s.packets.size();
  }
}

void BM_LavcMjpeg(benchmark::State& state) {
  const int ow = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
  LavcDecodeLoop(state, AV_CODEC_ID_MJPEG, bench::JpegStream(ow, h));
}

BENCHMARK(BM_DecodeJpegFrame)->Args({640, 480, 640})->Args({704, 480, 320})->Args({320, 240, 320})->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LavcMjpeg)->Args({640, 480, 0})->Args({704, 480, 0})->Args({320, 240, 0})->Unit(benchmark::kMicrosecond);

// Conversions of a 640 x 480 picture. Args: kind, mirror, reference (1 runs
// the plain table-driven version for comparison).
void BM_Convert(benchmark::State& state) {
  const int kind = static_cast<int>(state.range(0));
  const bool mirror = state.range(1) != 0;
  const bool reference = state.range(2) != 0;
  const std::vector<std::uint8_t>& picture = bench::Picture640();
  const int pitch = 640 * BytesPerPixel(kind);
  std::vector<std::uint8_t> dst(static_cast<size_t>(DestinationSize(kind, 480, pitch)));
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : state) {
    if (reference) {
      ConvertPictureReference(kind, picture.data(), 640, 480, PictureRange::kVideo, mirror, dst.data(), pitch);
    } else {
      ConvertPicture(kind, picture.data(), 640, 480, PictureRange::kVideo, mirror, dst.data(), pitch);
    }
    benchmark::DoNotOptimize(dst.data());
  }
  const double ns = std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count();
  state.counters["ns_per_pixel"] = ns / (static_cast<double>(state.iterations()) * 640 * 480);
}

void ConvertArgs(benchmark::internal::Benchmark* b) {
  b->ArgNames({"kind", "mirror", "reference"});
  for (int kind = kKindYV12; kind <= kKindRGB32; ++kind) {
    for (int mirror = 0; mirror <= 1; ++mirror) {
      for (int reference = 0; reference <= 1; ++reference) b->Args({kind, mirror, reference});
    }
  }
}
BENCHMARK(BM_Convert)->Apply(ConvertArgs)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
