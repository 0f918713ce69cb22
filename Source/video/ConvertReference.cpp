// The colour tables and the plain, table-driven conversions: five lookups
// and three clamps per RGB pixel. The fast paths in Convert.cpp are checked
// against these.
#include <cstring>

#include "video/Convert.h"

namespace {

ColourTables BuildTables(const ColourFactors& f) {
  ColourTables t{};
  t.factors = f;
  for (int i = -384; i < 640; ++i) {
    t.clampStorage[i + 384] = static_cast<std::uint8_t>(i < 0 ? 0 : (i > 255 ? 255 : i));
  }
  for (int i = 0; i < 256; ++i) {
    t.y[i] = f.y * (i - f.yOffset) + f.yRound;
    t.rCr[i] = f.rCr * (i - 128);
    t.gCr[i] = f.gCr * (i - 128);
    t.gCb[i] = f.gCb * (i - 128);
    t.bCb[i] = f.bCb * (i - 128);
  }
  return t;
}

struct Planes {
  const std::uint8_t* y;
  const std::uint8_t* cr;
  const std::uint8_t* cb;
  int width;
  // Samples of output pixel x of row r, mirrored when asked.
  int Col(int x, bool mirror) const { return mirror ? width - 1 - x : x; }
  std::uint8_t Y(int r, int x) const { return y[r * width + x]; }
  std::uint8_t Cr(int r, int x) const { return cr[(r / 2) * (width / 2) + x / 2]; }
  std::uint8_t Cb(int r, int x) const { return cb[(r / 2) * (width / 2) + x / 2]; }
};

}  // namespace

const ColourTables& GetColourTables(PictureRange range) {
  static const ColourTables video = BuildTables(ColourFactors{76284, 16, 0, 104595, 53281, 25625, 132252});
  static const ColourTables full = BuildTables(ColourFactors{65536, 0, 32768, 91881, 46802, 22554, 116130});
  return range == PictureRange::kFull ? full : video;
}

int BytesPerPixel(int kind) {
  switch (kind) {
    case kKindYV12: return 1;
    case kKindUYVY:
    case kKindYUY2:
    case kKindRGB565: return 2;
    case kKindRGB24: return 3;
    case kKindRGB32: return 4;
    default: return 0;
  }
}

long DestinationSize(int kind, int height, int pitch) {
  const long rows = kind == kKindYV12 ? static_cast<long>(height) * 3 / 2 : height;
  return rows * pitch;
}

int ConvertPictureReference(int kind, const std::uint8_t* picture, int width, int height,
                            PictureRange range, bool mirror, std::uint8_t* dst, int pitch) {
  const int bpp = BytesPerPixel(kind);
  if (bpp == 0 || width <= 0 || height <= 0 || (width & 1) || (height & 1) ||
      pitch < width * bpp) {
    return 0;
  }
  const ColourTables& t = GetColourTables(range);
  const Planes p{picture, picture + width * height, picture + width * height * 5 / 4, width};
  for (int r = 0; r < height; ++r) {
    std::uint8_t* row = dst + static_cast<long>(r) * pitch;
    for (int x = 0; x < width; ++x) {
      const int sx = p.Col(x, mirror);
      const int Y = p.Y(r, sx);
      const int Cr = p.Cr(r, sx);
      const int Cb = p.Cb(r, sx);
      switch (kind) {
        case kKindYV12:
          row[x] = static_cast<std::uint8_t>(Y);
          break;
        case kKindUYVY:
          row[2 * x] = static_cast<std::uint8_t>((x & 1) ? Cr : Cb);
          row[2 * x + 1] = static_cast<std::uint8_t>(Y);
          break;
        case kKindYUY2:
          row[2 * x] = static_cast<std::uint8_t>(Y);
          row[2 * x + 1] = static_cast<std::uint8_t>((x & 1) ? Cr : Cb);
          break;
        default: {
          const int R = t.Clamp((t.y[Y] + t.rCr[Cr]) >> 16);
          const int G = t.Clamp((t.y[Y] - t.gCr[Cr] - t.gCb[Cb]) >> 16);
          const int B = t.Clamp((t.y[Y] + t.bCb[Cb]) >> 16);
          if (kind == kKindRGB565) {
            const std::uint16_t v = static_cast<std::uint16_t>((R >> 3) << 11 | (G >> 2) << 5 | (B >> 3));
            std::memcpy(row + 2 * x, &v, 2);
          } else if (kind == kKindRGB24) {
            row[3 * x] = static_cast<std::uint8_t>(B);
            row[3 * x + 1] = static_cast<std::uint8_t>(G);
            row[3 * x + 2] = static_cast<std::uint8_t>(R);
          } else {
            const std::uint32_t v = static_cast<std::uint32_t>(R << 16 | G << 8 | B);
            std::memcpy(row + 4 * x, &v, 4);
          }
        }
      }
    }
  }
  if (kind == kKindYV12) {
    // Chroma rows at half the pitch: H/2 Cr rows, then H/2 Cb rows.
    std::uint8_t* chroma = dst + static_cast<long>(height) * pitch;
    const int cw = width / 2;
    for (int k = 0; k < height / 2; ++k) {
      for (int j = 0; j < cw; ++j) {
        const int sj = mirror ? cw - 1 - j : j;
        chroma[static_cast<long>(k) * (pitch / 2) + j] = p.cr[k * cw + sj];
        chroma[static_cast<long>(k + height / 2) * (pitch / 2) + j] = p.cb[k * cw + sj];
      }
    }
  }
  return 1;
}
