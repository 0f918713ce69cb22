#include "camsim/TestPattern.h"

#include <cstdio>
#include <cstring>

namespace camsim {
namespace {

// 5 x 7 glyphs, one byte per row, bit 4 is the leftmost column.
struct Glyph {
  char c;
  std::uint8_t rows[7];
};
constexpr Glyph kFont[] = {
    {'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}},
    {'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}},
    {'3', {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}},
    {'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}},
    {'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}},
    {'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}},
    {'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
    {'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}},
    {'9', {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}},
    {'C', {0x0E, 0x11, 0x10, 0x10, 0x10, 0x11, 0x0E}},
    {'A', {0x0E, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}},
    {'M', {0x11, 0x1B, 0x15, 0x15, 0x11, 0x11, 0x11}},
    {'F', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x10}},
};

const Glyph* FindGlyph(char c) {
  for (const Glyph& g : kFont) {
    if (g.c == c) return &g;
  }
  return nullptr;
}

void FillLuma(const PlanarPicture& p, int x0, int y0, int w, int h, std::uint8_t value) {
  for (int y = y0; y < y0 + h && y < p.height; ++y) {
    if (y < 0) continue;
    int from = x0 < 0 ? 0 : x0;
    int to = x0 + w > p.width ? p.width : x0 + w;
    if (to > from) std::memset(p.y + y * p.lumaStride + from, value, static_cast<std::size_t>(to - from));
  }
}

// Writes |text| at (x, y) in white on black, each font pixel |scale| wide.
void DrawText(const PlanarPicture& p, int x, int y, int scale, const char* text) {
  const int advance = 6 * scale;
  const int len = static_cast<int>(std::strlen(text));
  FillLuma(p, x - scale, y - scale, len * advance + scale, 9 * scale, 16);
  for (int i = 0; i < len; ++i) {
    const Glyph* g = FindGlyph(text[i]);
    if (!g) continue;
    for (int row = 0; row < 7; ++row) {
      for (int col = 0; col < 5; ++col) {
        if (g->rows[row] & (0x10 >> col)) {
          FillLuma(p, x + i * advance + col * scale, y + row * scale, scale, scale, 235);
        }
      }
    }
  }
}

}  // namespace

void DrawTestPattern(const PlanarPicture& p, int camera, int frame) {
  // Drifting diagonal gradient.
  for (int y = 0; y < p.height; ++y) {
    std::uint8_t* row = p.y + y * p.lumaStride;
    for (int x = 0; x < p.width; ++x) {
      row[x] = static_cast<std::uint8_t>(32 + ((x + y + frame * 4) & 0x7F));
    }
  }
  const int cw = p.width / 2;
  for (int y = 0; y < p.chromaHeight; ++y) {
    std::uint8_t* cbRow = p.cb + y * p.chromaStride;
    std::uint8_t* crRow = p.cr + y * p.chromaStride;
    for (int x = 0; x < cw; ++x) {
      cbRow[x] = static_cast<std::uint8_t>(96 + ((x * 64 / (cw ? cw : 1) + frame) & 63));
      crRow[x] = static_cast<std::uint8_t>(96 + ((y * 64 / (p.chromaHeight ? p.chromaHeight : 1) + camera * 16) & 63));
    }
  }
  // A box bouncing left and right, one period every 100 frames.
  const int box = p.height / 6;
  const int span = p.width - box;
  int phase = (frame * 2 * span / 50) % (2 * span > 0 ? 2 * span : 1);
  int bx = phase < span ? phase : 2 * span - phase;
  FillLuma(p, bx, p.height - box - p.height / 10, box, box, 200);

  const int scale = p.width >= 320 ? p.width / 160 : 1;
  char line[32];
  std::snprintf(line, sizeof line, "CAM %d", camera);
  DrawText(p, 2 * scale, 2 * scale, scale, line);
  std::snprintf(line, sizeof line, "F %05d", frame);
  DrawText(p, 2 * scale, 12 * scale, scale, line);
}

}  // namespace camsim
