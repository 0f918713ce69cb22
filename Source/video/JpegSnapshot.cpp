#include "video/JpegSnapshot.h"

#include <csetjmp>
#include <cstdio>
#include <memory>
#include <new>

#include <jpeglib.h>
#include <jerror.h>

#include "base/base.h"
#include "video/JpegError.h"

namespace {

void InitDestination(j_compress_ptr) {}
void TermDestination(j_compress_ptr) {}
// The output buffer is all there is: running out is an error.
boolean EmptyOutputBuffer(j_compress_ptr cinfo) {
  cinfo->err->msg_code = JERR_BUFFER_SIZE;
  (*cinfo->err->error_exit)(reinterpret_cast<j_common_ptr>(cinfo));
  return FALSE;
}

// A JPEG holds full-range samples. Video-range pictures are stretched on the
// way in: luma 16..235 and chroma 16..240 to 0..255, through two tables
// built once.
struct RangeTables {
  std::uint8_t luma[256];
  std::uint8_t chroma[256];
};

const RangeTables& VideoToFull() {
  static const RangeTables tables = [] {
    RangeTables t{};
    for (int i = 0; i < 256; ++i) {
      const int y = ((i - 16) * 255 * 2 + 219) / (219 * 2);  // rounded; negative values clamp below
      const int c = 128 + ((i - 128) * 255 * 2 + (i >= 128 ? 224 : -224)) / (224 * 2);
      t.luma[i] = static_cast<std::uint8_t>(i < 16 ? 0 : (y > 255 ? 255 : y));
      t.chroma[i] = static_cast<std::uint8_t>(c < 0 ? 0 : (c > 255 ? 255 : c));
    }
    return t;
  }();
  return tables;
}

// One group of 8 rows stretched to full range: 8 luma rows and the 4 chroma
// rows of each component they use.
struct StretchRows {
  std::uint8_t luma[8][4096];
  std::uint8_t cb[4][2048];
  std::uint8_t cr[4][2048];
};

void Stretch(const std::uint8_t* table, const std::uint8_t* in, std::uint8_t* out, int n) {
  for (int i = 0; i < n; ++i) out[i] = table[in[i]];
}

struct Job {
  std::uint8_t* out;
  int capacity;
  int width;
  int height;
  const std::uint8_t* y;
  const std::uint8_t* cb;
  const std::uint8_t* cr;
  int stride;
  StretchRows* stretch;  // null: the samples are full range already
};

// Plain data only between setjmp and the library calls.
int EncodeGuarded(jpeg_compress_struct* cinfo, JpegErrorManager* err, jpeg_destination_mgr* dest,
                  const Job* job) {
  if (setjmp(err->jump) != 0) return -1;
  jpeg_create_compress(cinfo);
  dest->init_destination = InitDestination;
  dest->empty_output_buffer = EmptyOutputBuffer;
  dest->term_destination = TermDestination;
  dest->next_output_byte = job->out;
  dest->free_in_buffer = static_cast<size_t>(job->capacity);
  cinfo->dest = dest;

  cinfo->image_width = static_cast<JDIMENSION>(job->width);
  cinfo->image_height = static_cast<JDIMENSION>(job->height);
  cinfo->input_components = 3;
  cinfo->in_color_space = JCS_YCbCr;
  jpeg_set_defaults(cinfo);
  jpeg_set_quality(cinfo, 80, FALSE);
  cinfo->input_gamma = 1.0;
  cinfo->raw_data_in = TRUE;
  cinfo->dct_method = JDCT_IFAST;
  cinfo->comp_info[0].h_samp_factor = 2;
  cinfo->comp_info[0].v_samp_factor = 1;
  for (int k = 1; k < 3; ++k) {
    cinfo->comp_info[k].h_samp_factor = 1;
    cinfo->comp_info[k].v_samp_factor = 1;
  }
  jpeg_start_compress(cinfo, FALSE);

  JSAMPROW lumaRows[8];
  JSAMPROW cbRows[8];
  JSAMPROW crRows[8];
  JSAMPARRAY planes[3] = {lumaRows, cbRows, crRows};
  const int chromaStride = job->stride / 2;
  for (int group = 0; group < job->height; group += 8) {
    for (int r = 0; r < 8; ++r) {
      const int row = group + r;
      // The library reads these rows only.
      lumaRows[r] = const_cast<JSAMPROW>(job->y + static_cast<long>(row) * job->stride);
      cbRows[r] = const_cast<JSAMPROW>(job->cb + static_cast<long>(row / 2) * chromaStride);
      crRows[r] = const_cast<JSAMPROW>(job->cr + static_cast<long>(row / 2) * chromaStride);
    }
    if (job->stretch != nullptr) {
      const RangeTables& t = VideoToFull();
      StretchRows& s = *job->stretch;
      for (int r = 0; r < 8; ++r) {
        Stretch(t.luma, lumaRows[r], s.luma[r], job->width);
        lumaRows[r] = s.luma[r];
      }
      for (int k = 0; k < 4; ++k) {
        Stretch(t.chroma, cbRows[2 * k], s.cb[k], job->width / 2);
        Stretch(t.chroma, crRows[2 * k], s.cr[k], job->width / 2);
      }
      for (int r = 0; r < 8; ++r) {
        cbRows[r] = s.cb[r / 2];
        crRows[r] = s.cr[r / 2];
      }
    }
    jpeg_write_raw_data(cinfo, planes, 8);
  }
  jpeg_finish_compress(cinfo);
  return static_cast<int>(static_cast<size_t>(job->capacity) - dest->free_in_buffer);
}

}  // namespace

int EncodeJpegSnapshot(std::uint8_t* out, int capacity, int width, int height, const std::uint8_t* y,
                       const std::uint8_t* cb, const std::uint8_t* cr, int stride, PictureRange range) {
  if (out == nullptr || y == nullptr || cb == nullptr || cr == nullptr || capacity <= 0 ||
      width <= 0 || height <= 0 || width > 4096 || height > 2048 || width % 16 != 0 ||
      height % 16 != 0 || stride < width) {
    LogMessage("%s:%d (w=%d, h=%d)\r\n", LOGPOS, width, height);
    return -1;
  }
  jpeg_compress_struct cinfo{};
  JpegErrorManager err;
  cinfo.err = InstallJpegErrorManager(&err);
  jpeg_destination_mgr dest{};
  // On the stack: a snapshot allocates nothing but its output buffer.
  StretchRows stretch;
  const Job job{out, capacity, width, height, y, cb, cr, stride,
                range == PictureRange::kVideo ? &stretch : nullptr};
  const int result = EncodeGuarded(&cinfo, &err, &dest, &job);
  jpeg_destroy_compress(&cinfo);
  return result;
}

int WriteSnapshotFile(const std::uint8_t* picture, int width, int height, PictureRange range, const char* path) {
  const int ws = width / 16 * 16;
  const int hs = height / 16 * 16;
  // Room for the picture at 1.5 bytes per pixel plus the headers, so that
  // small pictures fit too.
  const int capacity = ws * hs * 3 / 2 + 4096;
  std::unique_ptr<std::uint8_t[]> buffer(new (std::nothrow) std::uint8_t[static_cast<size_t>(capacity)]);
  if (!buffer) return -1;
  const int size = EncodeJpegSnapshot(buffer.get(), capacity, ws, hs, picture,
                                      picture + width * height * 5 / 4, picture + width * height, width, range);
  if (size < 0) return 0;
  std::FILE* file = std::fopen(path, "wb");
  if (file == nullptr) {
    LogMessage("%s:%d\r\n", LOGPOS);
    return 0;
  }
  const size_t written = std::fwrite(buffer.get(), 1, static_cast<size_t>(size), file);
  const int closed = std::fclose(file);
  if (written != static_cast<size_t>(size) || closed != 0) {
    LogMessage("%s:%d\r\n", LOGPOS);
    return 0;
  }
  return 1;
}
