// Fast conversions. Planar copies are plain row copies; UYVY/YUY2 packing
// interleaves 16 pixels at a time with SSE2; the RGB kinds compute the same
// integer products the colour tables hold, written so that the compiler
// vectorises them (an AVX2 build of the loop is chosen at run time where
// the processor has it).
// Mirrored rows are first reversed into small row buffers. The results are
// byte for byte those of ConvertPictureReference.
// The scaled RGB conversion converts the input row pairs it needs at full
// width and picks each output row's pixels from them, so each output pixel
// equals the full-size conversion's pixel it was taken from.
#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "video/Convert.h"

namespace {

constexpr int kMaxWidth = 2048;

#if defined(__x86_64__) && defined(__GNUC__)
#define TESSORA_HAVE_AVX2_PATH 1
#endif

// One source row pair: the two luma rows and the shared chroma row.
struct RowPair {
  const std::uint8_t* y0;
  const std::uint8_t* y1;
  const std::uint8_t* cr;
  const std::uint8_t* cb;
};

// out[j] = in[n - 1 - j], 16 bytes at a time where SSE2 is available.
void Reverse(const std::uint8_t* in, std::uint8_t* out, int n) {
  int j = 0;
#if defined(__SSE2__)
  for (; j + 16 <= n; j += 16) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + n - 16 - j));
    v = _mm_shuffle_epi32(v, _MM_SHUFFLE(0, 1, 2, 3));
    v = _mm_shufflelo_epi16(v, _MM_SHUFFLE(2, 3, 0, 1));
    v = _mm_shufflehi_epi16(v, _MM_SHUFFLE(2, 3, 0, 1));
    v = _mm_or_si128(_mm_slli_epi16(v, 8), _mm_srli_epi16(v, 8));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + j), v);
  }
#endif
  for (; j < n; ++j) out[j] = in[n - 1 - j];
}

// Per-thread row buffers for mirrored output: the reversed rows.
struct MirrorRows {
  std::uint8_t y0[kMaxWidth];
  std::uint8_t y1[kMaxWidth];
  std::uint8_t cr[kMaxWidth / 2];
  std::uint8_t cb[kMaxWidth / 2];
};

RowPair Mirrored(const RowPair& in, int width, MirrorRows& rows) {
  Reverse(in.y0, rows.y0, width);
  Reverse(in.y1, rows.y1, width);
  Reverse(in.cr, rows.cr, width / 2);
  Reverse(in.cb, rows.cb, width / 2);
  return RowPair{rows.y0, rows.y1, rows.cr, rows.cb};
}

// Packs one luma row with its chroma row. |uyvy| selects U Y0 V Y1, else
// Y0 U Y1 V.
void PackRow(const std::uint8_t* y, const std::uint8_t* cb, const std::uint8_t* cr,
             std::uint8_t* out, int width, bool uyvy) {
  int x = 0;
#if defined(__SSE2__)
  for (; x + 16 <= width; x += 16) {
    const __m128i yv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(y + x));
    const __m128i u = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(cb + x / 2));
    const __m128i v = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(cr + x / 2));
    const __m128i uv = _mm_unpacklo_epi8(u, v);
    __m128i lo, hi;
    if (uyvy) {
      lo = _mm_unpacklo_epi8(uv, yv);
      hi = _mm_unpackhi_epi8(uv, yv);
    } else {
      lo = _mm_unpacklo_epi8(yv, uv);
      hi = _mm_unpackhi_epi8(yv, uv);
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 2 * x), lo);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 2 * x + 16), hi);
  }
#endif
  for (; x < width; x += 2) {
    std::uint8_t* o = out + 2 * x;
    if (uyvy) {
      o[0] = cb[x / 2];
      o[1] = y[x];
      o[2] = cr[x / 2];
      o[3] = y[x + 1];
    } else {
      o[0] = y[x];
      o[1] = cb[x / 2];
      o[2] = y[x + 1];
      o[3] = cr[x / 2];
    }
  }
}

inline int Clamp255(int v) { return std::min(std::max(v, 0), 255); }

// RGB of a row pair: the chroma terms of each 2 x 2 block are computed once
// and spread to full width, then each row is a straight per-pixel loop. Same
// products as the colour tables of the picture's range, so the same results.
// The factors are copied into locals first: the output bytes could alias a
// factor held in memory, which would stop the vectoriser.
template <int Kind>
inline __attribute__((always_inline)) void RgbPixels(const std::uint8_t* y, const std::int32_t* vr,
                                                     const std::int32_t* vg, const std::int32_t* vb,
                                                     std::uint8_t* out, int width, int yMul, int yBase) {
  for (int x = 0; x < width; ++x) {
    const int yv = yMul * y[x] + yBase;
    const int R = Clamp255((yv + vr[x]) >> 16);
    const int G = Clamp255((yv - vg[x]) >> 16);
    const int B = Clamp255((yv + vb[x]) >> 16);
    if constexpr (Kind == kKindRGB565) {
      const std::uint16_t v = static_cast<std::uint16_t>((R >> 3) << 11 | (G >> 2) << 5 | (B >> 3));
      std::memcpy(out + 2 * x, &v, 2);
    } else if constexpr (Kind == kKindRGB24) {
      out[3 * x] = static_cast<std::uint8_t>(B);
      out[3 * x + 1] = static_cast<std::uint8_t>(G);
      out[3 * x + 2] = static_cast<std::uint8_t>(R);
    } else {
      const std::uint32_t v = static_cast<std::uint32_t>(R << 16 | G << 8 | B);
      std::memcpy(out + 4 * x, &v, 4);
    }
  }
}

template <int Kind>
inline __attribute__((always_inline)) void RgbRowPairBody(const RowPair& p, const ColourFactors& f,
                                                          std::uint8_t* out0, std::uint8_t* out1, int width) {
  const int yMul = f.y;
  const int yBase = f.yRound - f.y * f.yOffset;
  const int rCr = f.rCr, gCr = f.gCr, gCb = f.gCb, bCb = f.bCb;
  alignas(32) std::int32_t vr[kMaxWidth];
  alignas(32) std::int32_t vg[kMaxWidth];
  alignas(32) std::int32_t vb[kMaxWidth];
  for (int c = 0; c < width / 2; ++c) {
    const int r = rCr * (p.cr[c] - 128);
    const int g = gCr * (p.cr[c] - 128) + gCb * (p.cb[c] - 128);
    const int b = bCb * (p.cb[c] - 128);
    vr[2 * c] = vr[2 * c + 1] = r;
    vg[2 * c] = vg[2 * c + 1] = g;
    vb[2 * c] = vb[2 * c + 1] = b;
  }
  RgbPixels<Kind>(p.y0, vr, vg, vb, out0, width, yMul, yBase);
  RgbPixels<Kind>(p.y1, vr, vg, vb, out1, width, yMul, yBase);
}

using RgbRowPairFn = void (*)(const RowPair&, const ColourFactors&, std::uint8_t*, std::uint8_t*, int);

template <int Kind>
void RgbRowPairDefault(const RowPair& p, const ColourFactors& f, std::uint8_t* out0, std::uint8_t* out1,
                       int width) {
  RgbRowPairBody<Kind>(p, f, out0, out1, width);
}

#if defined(TESSORA_HAVE_AVX2_PATH)
template <int Kind>
__attribute__((target("avx2"))) void RgbRowPairAvx2(const RowPair& p, const ColourFactors& f, std::uint8_t* out0,
                                                    std::uint8_t* out1, int width) {
  RgbRowPairBody<Kind>(p, f, out0, out1, width);
}
#endif

// The row converters for this processor, chosen once.
struct RgbRows {
  RgbRowPairFn rgb565, rgb24, rgb32;
};

const RgbRows& Rows() {
  static const RgbRows rows = [] {
#if defined(TESSORA_HAVE_AVX2_PATH)
    if (__builtin_cpu_supports("avx2")) {
      return RgbRows{RgbRowPairAvx2<kKindRGB565>, RgbRowPairAvx2<kKindRGB24>, RgbRowPairAvx2<kKindRGB32>};
    }
#endif
    return RgbRows{RgbRowPairDefault<kKindRGB565>, RgbRowPairDefault<kKindRGB24>, RgbRowPairDefault<kKindRGB32>};
  }();
  return rows;
}

void ConvertRowPair(int kind, const RowPair& p, const ColourFactors& f, std::uint8_t* out0, std::uint8_t* out1,
                    int width) {
  switch (kind) {
    case kKindUYVY:
    case kKindYUY2:
      PackRow(p.y0, p.cb, p.cr, out0, width, kind == kKindUYVY);
      PackRow(p.y1, p.cb, p.cr, out1, width, kind == kKindUYVY);
      break;
    default: {
      const RgbRows& rows = Rows();
      const RgbRowPairFn pair = kind == kKindRGB565 ? rows.rgb565 : (kind == kKindRGB24 ? rows.rgb24 : rows.rgb32);
      pair(p, f, out0, out1, width);
      break;
    }
  }
}

void CopyPlanar(const std::uint8_t* picture, int width, int height, bool mirror, std::uint8_t* dst,
                int pitch) {
  const std::uint8_t* cr = picture + width * height;
  const std::uint8_t* cb = picture + width * height * 5 / 4;
  const int cw = width / 2;
  if (!mirror && pitch == width) {
    std::memcpy(dst, picture, static_cast<size_t>(width) * height * 3 / 2);
    return;
  }
  auto row = [&](const std::uint8_t* in, std::uint8_t* out, int n) {
    if (mirror) {
      Reverse(in, out, n);
    } else {
      std::memcpy(out, in, static_cast<size_t>(n));
    }
  };
  for (int r = 0; r < height; ++r) row(picture + r * width, dst + static_cast<long>(r) * pitch, width);
  std::uint8_t* chroma = dst + static_cast<long>(height) * pitch;
  const int half = pitch / 2;
  for (int k = 0; k < height / 2; ++k) {
    row(cr + k * cw, chroma + static_cast<long>(k) * half, cw);
    row(cb + k * cw, chroma + static_cast<long>(k + height / 2) * half, cw);
  }
}

}  // namespace

int ConvertPicture(int kind, const std::uint8_t* picture, int width, int height, PictureRange range,
                   bool mirror, std::uint8_t* dst, int pitch) {
  const int bpp = BytesPerPixel(kind);
  if (bpp == 0 || width <= 0 || height <= 0 || (width & 1) || (height & 1) || width > kMaxWidth ||
      pitch < width * bpp) {
    return 0;
  }
  if (kind == kKindYV12) {
    CopyPlanar(picture, width, height, mirror, dst, pitch);
    return 1;
  }
  const std::uint8_t* cr = picture + width * height;
  const std::uint8_t* cb = picture + width * height * 5 / 4;
  const ColourFactors& factors = GetColourTables(range).factors;
  MirrorRows mirrorRows;  // reversed rows when mirroring
  for (int r = 0; r < height; r += 2) {
    RowPair p{picture + r * width, picture + (r + 1) * width, cr + (r / 2) * (width / 2),
              cb + (r / 2) * (width / 2)};
    if (mirror) p = Mirrored(p, width, mirrorRows);
    ConvertRowPair(kind, p, factors, dst + static_cast<long>(r) * pitch, dst + static_cast<long>(r + 1) * pitch,
                   width);
  }
  return 1;
}

int ConvertPictureScaled(int kind, const std::uint8_t* picture, int width, int height, PictureRange range,
                         bool mirror, std::uint8_t* dst, int pitch, int outWidth, int outHeight) {
  const int bpp = BytesPerPixel(kind);
  if (kind < kKindRGB565 || kind > kKindRGB32 || width <= 0 || height <= 0 || (width & 1) || (height & 1) ||
      width > kMaxWidth || outWidth <= 0 || outHeight <= 0 || outWidth > kMaxScaledWidth ||
      pitch < outWidth * bpp) {
    return 0;
  }
  // Input rows are converted a pair at a time at full width (only the pairs
  // some output row comes from), then each output row picks its pixels.
  int column[kMaxScaledWidth];
  for (int x = 0; x < outWidth; ++x) column[x] = static_cast<int>(static_cast<long>(x) * width / outWidth) * bpp;
  alignas(32) std::uint8_t pair[2][kMaxWidth * 4];
  const std::uint8_t* cr = picture + width * height;
  const std::uint8_t* cb = picture + width * height * 5 / 4;
  const ColourFactors& factors = GetColourTables(range).factors;
  MirrorRows mirrorRows;
  int converted = -1;  // the row pair in |pair|
  for (int oy = 0; oy < outHeight; ++oy) {
    const int sy = static_cast<int>(static_cast<long>(oy) * height / outHeight);
    const int r = sy & ~1;
    if (r != converted) {
      RowPair p{picture + r * width, picture + (r + 1) * width, cr + (r / 2) * (width / 2),
                cb + (r / 2) * (width / 2)};
      if (mirror) p = Mirrored(p, width, mirrorRows);
      ConvertRowPair(kind, p, factors, pair[0], pair[1], width);
      converted = r;
    }
    const std::uint8_t* in = pair[sy & 1];
    std::uint8_t* out = dst + static_cast<long>(oy) * pitch;
    if (bpp == 4) {
      for (int x = 0; x < outWidth; ++x) std::memcpy(out + 4 * x, in + column[x], 4);
    } else if (bpp == 2) {
      for (int x = 0; x < outWidth; ++x) std::memcpy(out + 2 * x, in + column[x], 2);
    } else {
      for (int x = 0; x < outWidth; ++x) std::memcpy(out + 3 * x, in + column[x], 3);
    }
  }
  return 1;
}
