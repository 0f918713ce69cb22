#include "video/MotionJpeg.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <jpeglib.h>

#include "base/base.h"
#include "video/JpegError.h"

namespace {

constexpr int kMaxJpegWidth = 4096;
// The widest picture the scratch rows can serve (the halve mode reads 2*W
// source samples).
constexpr int kMaxPictureWidth = 2048;
// JPEG samples are full range: black is luma 0.
constexpr std::uint8_t kBlackLuma = 0;
constexpr std::uint8_t kBlackChroma = 128;

// Scratch rows shared by every call; guarded by MotionJpegLock().
struct Scratch {
  std::uint8_t luma[16][kMaxJpegWidth];
  std::uint8_t cb[8][kMaxJpegWidth];  // as the library writes them
  std::uint8_t cr[8][kMaxJpegWidth];
  std::uint8_t halfCb[8][kMaxPictureWidth * 2];  // full-width chroma averaged
  std::uint8_t halfCr[8][kMaxPictureWidth * 2];
  std::uint8_t workCb[8][kMaxPictureWidth];  // after horizontal scaling
  std::uint8_t workCr[8][kMaxPictureWidth];
};
Scratch g_scratch;

// Source manager over the payload in memory. Running out of data supplies an
// EOI marker, so a truncated frame ends as a complete image.
void InitSource(j_decompress_ptr) {}
void TermSource(j_decompress_ptr) {}

boolean FillInputBuffer(j_decompress_ptr cinfo) {
  static const JOCTET kEoi[2] = {0xFF, JPEG_EOI};
  cinfo->src->next_input_byte = kEoi;
  cinfo->src->bytes_in_buffer = 2;
  return TRUE;
}

void SkipInputData(j_decompress_ptr cinfo, long count) {
  if (count <= 0) return;
  jpeg_source_mgr* src = cinfo->src;
  const size_t n = static_cast<size_t>(count) < src->bytes_in_buffer ? static_cast<size_t>(count)
                                                                     : src->bytes_in_buffer;
  src->next_input_byte += n;
  src->bytes_in_buffer -= n;
}

enum class Mode { kCopy, kHalve, kTwoThirds };

// One output row of |count| samples from |src| in the given mode. |src| holds
// every sample the mode reads (padded with black by the caller).
void ScaleRow(Mode mode, const std::uint8_t* src, int offset, std::uint8_t* out, int count) {
  src += offset;
  switch (mode) {
    case Mode::kCopy:
      std::memcpy(out, src, static_cast<size_t>(count));
      break;
    case Mode::kHalve:
      for (int i = 0; i < count; ++i) {
        out[i] = static_cast<std::uint8_t>((src[2 * i] + src[2 * i + 1]) >> 1);
      }
      break;
    case Mode::kTwoThirds: {
      int i = 0;
      for (; i < count / 2; ++i) {
        out[2 * i] = static_cast<std::uint8_t>((2 * src[3 * i] + src[3 * i + 1]) / 3);
        out[2 * i + 1] = static_cast<std::uint8_t>((src[3 * i + 1] + 2 * src[3 * i + 2]) / 3);
      }
      if (count & 1) out[count - 1] = src[3 * i];
      break;
    }
  }
}

// How many source samples a row of |count| outputs reads, offset included.
int SamplesRead(Mode mode, int offset, int count) {
  switch (mode) {
    case Mode::kCopy: return offset + count;
    case Mode::kHalve: return offset + 2 * count;
    case Mode::kTwoThirds: return 3 * (count / 2) + (count & 1);
  }
  return 0;
}

void PadRow(std::uint8_t* row, int valid, int needed, std::uint8_t black) {
  if (needed > valid) std::memset(row + valid, black, static_cast<size_t>(needed - valid));
}

// Everything the guarded decode needs; plain data only, so that a jump out of
// the library skips no destructor.
struct Job {
  const std::uint8_t* payload;
  int size;
  int width;
  int height;
  std::uint8_t* y;
  std::uint8_t* cb;
  std::uint8_t* cr;
};

bool LayoutAccepted(const jpeg_decompress_struct& cinfo, int height) {
  if (cinfo.num_components != 3 || cinfo.output_components != 3) return false;
  const jpeg_component_info* c = cinfo.comp_info;
  if (c[0].h_samp_factor < 1 || c[0].h_samp_factor > 2) return false;
  if (c[0].v_samp_factor < 1 || c[0].v_samp_factor > 2) return false;
  for (int k = 1; k < 3; ++k) {
    if (c[k].h_samp_factor != 1 || c[k].v_samp_factor != 1) return false;
  }
  if (c[0].h_samp_factor == 1 && height % 8 != 0) return false;
  return true;
}

// Runs the library from header to finish. Returns 0, or -1 with the
// decompressor aborted; the caller destroys it.
int DecodeGuarded(jpeg_decompress_struct* cinfo, JpegErrorManager* err, const Job* job) {
  if (setjmp(err->jump) != 0) return -1;

  jpeg_create_decompress(cinfo);
  jpeg_source_mgr* src = static_cast<jpeg_source_mgr*>((*cinfo->mem->alloc_small)(
      reinterpret_cast<j_common_ptr>(cinfo), JPOOL_PERMANENT, sizeof(jpeg_source_mgr)));
  src->init_source = InitSource;
  src->fill_input_buffer = FillInputBuffer;
  src->skip_input_data = SkipInputData;
  src->resync_to_restart = jpeg_resync_to_restart;
  src->term_source = TermSource;
  src->next_input_byte = job->payload;
  src->bytes_in_buffer = static_cast<size_t>(job->size);
  cinfo->src = src;

  if (jpeg_read_header(cinfo, TRUE) != JPEG_HEADER_OK) return -1;
  cinfo->raw_data_out = TRUE;
  cinfo->out_color_space = JCS_YCbCr;
  cinfo->dct_method = JDCT_IFAST;
  if (LacksHuffmanTables(cinfo)) InstallStandardHuffmanTables(cinfo);

  jpeg_start_decompress(cinfo);
  const int width = job->width;
  const int height = job->height;
  if (!LayoutAccepted(*cinfo, height)) return -1;
  const int ow = static_cast<int>(cinfo->output_width);
  if (static_cast<int>(cinfo->output_height) != height || ow > kMaxJpegWidth) return -1;

  const int hs = cinfo->comp_info[0].h_samp_factor;
  const int vs = cinfo->comp_info[0].v_samp_factor;
  const int threshold = 2 * ow / 3;
  Mode mode = Mode::kCopy;
  int span = width;
  if (width < threshold) {
    mode = Mode::kHalve;
    span = 2 * width;
  } else if (width == threshold) {
    mode = Mode::kTwoThirds;
    span = ow;
  }
  const int offset = (mode != Mode::kTwoThirds && span < ow) ? ((ow - span) / 2) & ~1 : 0;
  const int chromaOffset = offset / 2;
  const int halfWidth = width / 2;
  const int chromaValid = (ow + 1) / 2;
  const int lumaNeeded = SamplesRead(mode, offset, width);
  const int chromaNeeded = SamplesRead(mode, chromaOffset, halfWidth);

  JSAMPROW lumaRows[16];
  JSAMPROW cbRows[8];
  JSAMPROW crRows[8];
  for (int r = 0; r < 16; ++r) lumaRows[r] = g_scratch.luma[r];
  for (int r = 0; r < 8; ++r) {
    cbRows[r] = g_scratch.cb[r];
    crRows[r] = g_scratch.cr[r];
  }
  JSAMPARRAY planes[3] = {lumaRows, cbRows, crRows};
  const int rowsPerImcu = 8 * vs;

  while (cinfo->output_scanline < cinfo->output_height) {
    const int first = static_cast<int>(cinfo->output_scanline);
    if (jpeg_read_raw_data(cinfo, planes, static_cast<JDIMENSION>(rowsPerImcu)) == 0) return -1;

    for (int r = 0; r < rowsPerImcu && first + r < height; ++r) {
      PadRow(g_scratch.luma[r], ow, lumaNeeded, kBlackLuma);
      ScaleRow(mode, g_scratch.luma[r], offset, job->y + (first + r) * width, width);
    }

    for (int r = 0; r < 8; ++r) {
      const std::uint8_t* cbSrc = g_scratch.cb[r];
      const std::uint8_t* crSrc = g_scratch.cr[r];
      if (hs == 1) {
        // Full-width chroma: average pairs into a half-width row first.
        std::uint8_t* cbHalf = g_scratch.halfCb[r];
        std::uint8_t* crHalf = g_scratch.halfCr[r];
        const int pairs = chromaValid < chromaNeeded ? chromaValid : chromaNeeded;
        for (int j = 0; j < pairs; ++j) {
          cbHalf[j] = static_cast<std::uint8_t>((cbSrc[2 * j] + cbSrc[2 * j + 1]) >> 1);
          crHalf[j] = static_cast<std::uint8_t>((crSrc[2 * j] + crSrc[2 * j + 1]) >> 1);
        }
        cbSrc = cbHalf;
        crSrc = crHalf;
      }
      PadRow(const_cast<std::uint8_t*>(cbSrc), chromaValid, chromaNeeded, kBlackChroma);
      PadRow(const_cast<std::uint8_t*>(crSrc), chromaValid, chromaNeeded, kBlackChroma);
      ScaleRow(mode, cbSrc, chromaOffset, g_scratch.workCb[r], halfWidth);
      ScaleRow(mode, crSrc, chromaOffset, g_scratch.workCr[r], halfWidth);
    }

    // Vertical chroma: 8 luma rows per iMCU pair the chroma rows up; 16 take
    // them as they are.
    const int chromaFirst = first / 2;
    const int chromaRows = vs == 1 ? 4 : 8;
    for (int k = 0; k < chromaRows && chromaFirst + k < height / 2; ++k) {
      std::uint8_t* cbOut = job->cb + (chromaFirst + k) * halfWidth;
      std::uint8_t* crOut = job->cr + (chromaFirst + k) * halfWidth;
      if (vs == 1) {
        const std::uint8_t* cbA = g_scratch.workCb[2 * k];
        const std::uint8_t* cbB = g_scratch.workCb[2 * k + 1];
        const std::uint8_t* crA = g_scratch.workCr[2 * k];
        const std::uint8_t* crB = g_scratch.workCr[2 * k + 1];
        for (int i = 0; i < halfWidth; ++i) {
          cbOut[i] = static_cast<std::uint8_t>((cbA[i] + cbB[i]) >> 1);
          crOut[i] = static_cast<std::uint8_t>((crA[i] + crB[i]) >> 1);
        }
      } else {
        std::memcpy(cbOut, g_scratch.workCb[k], static_cast<size_t>(halfWidth));
        std::memcpy(crOut, g_scratch.workCr[k], static_cast<size_t>(halfWidth));
      }
    }
  }
  jpeg_finish_decompress(cinfo);
  return 0;
}

}  // namespace

TimedLock& MotionJpegLock() {
  static TimedLock lock;
  return lock;
}

int DecodeJpegFrame(const std::uint8_t* payload, int size, int width, int height, std::uint8_t* y,
                    std::uint8_t* cb, std::uint8_t* cr) {
  if (payload == nullptr || size < 0 || y == nullptr || cb == nullptr || cr == nullptr ||
      width <= 0 || height <= 0 || (width & 1) || (height & 1) || width > kMaxPictureWidth) {
    LogMessage("%s:%d (w=%d, h=%d)\r\n", LOGPOS, width, height);
    return -1;
  }
  jpeg_decompress_struct cinfo;
  JpegErrorManager err;
  cinfo.err = InstallJpegErrorManager(&err);
  const Job job{payload, size, width, height, y, cb, cr};
  const int result = DecodeGuarded(&cinfo, &err, &job);
  jpeg_destroy_decompress(&cinfo);
  return result;
}
