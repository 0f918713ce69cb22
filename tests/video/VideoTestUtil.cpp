#include "VideoTestUtil.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <jpeglib.h>

namespace vt {

TempDir::TempDir() {
  std::string tmpl = (std::filesystem::temp_directory_path() / "tessora-video-XXXXXX").string();
  char* made = mkdtemp(tmpl.data());
  path_ = made != nullptr ? made : tmpl;
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

int Run(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()); }

std::string Capture(const std::string& command) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return out;
  char buf[512];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, pipe)) > 0) out.append(buf, n);
  pclose(pipe);
  return out;
}

bool ReadFile(const std::string& path, Bytes* out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  out->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

bool WriteFile(const std::string& path, const Bytes& data) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
  return static_cast<bool>(out);
}

Planes Pattern(int width, int height, int hSub, int vSub, int t) {
  Planes p;
  p.width = width;
  p.height = height;
  p.chromaWidth = (width + hSub - 1) / hSub;
  p.chromaHeight = (height + vSub - 1) / vSub;
  p.y.resize(static_cast<size_t>(width) * height);
  p.cb.resize(static_cast<size_t>(p.chromaWidth) * p.chromaHeight);
  p.cr.resize(p.cb.size());
  const int sx = (t * 7) % (width / 2 + 1);
  const int sy = (t * 5) % (height / 2 + 1);
  for (int r = 0; r < height; ++r) {
    for (int x = 0; x < width; ++x) {
      int v = 40 + (x * 140) / width + (r * 60) / height;
      if (x >= sx && x < sx + width / 4 && r >= sy && r < sy + height / 4) v = 220;
      if ((x / 24) % 5 == 0) v = (v + 60) / 2;
      p.y[static_cast<size_t>(r) * width + x] = static_cast<std::uint8_t>(v);
    }
  }
  for (int r = 0; r < p.chromaHeight; ++r) {
    for (int x = 0; x < p.chromaWidth; ++x) {
      const size_t i = static_cast<size_t>(r) * p.chromaWidth + x;
      p.cb[i] = static_cast<std::uint8_t>(80 + (x * 96) / p.chromaWidth);
      p.cr[i] = static_cast<std::uint8_t>(170 - (r * 90) / p.chromaHeight);
    }
  }
  return p;
}

Bytes EncodeJpeg(const Planes& p, int hs, int vs, int quality, bool optimize, bool grey) {
  jpeg_compress_struct cinfo{};
  jpeg_error_mgr err;
  cinfo.err = jpeg_std_error(&err);
  jpeg_create_compress(&cinfo);
  unsigned char* mem = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &mem, &size);
  cinfo.image_width = static_cast<JDIMENSION>(p.width);
  cinfo.image_height = static_cast<JDIMENSION>(p.height);
  cinfo.input_components = grey ? 1 : 3;
  cinfo.in_color_space = grey ? JCS_GRAYSCALE : JCS_YCbCr;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, quality, TRUE);
  cinfo.optimize_coding = optimize ? TRUE : FALSE;
  if (!grey) {
    cinfo.comp_info[0].h_samp_factor = hs;
    cinfo.comp_info[0].v_samp_factor = vs;
    cinfo.comp_info[1].h_samp_factor = cinfo.comp_info[1].v_samp_factor = 1;
    cinfo.comp_info[2].h_samp_factor = cinfo.comp_info[2].v_samp_factor = 1;
  }
  jpeg_start_compress(&cinfo, TRUE);
  // Full-resolution input rows; the library subsamples.
  std::vector<std::uint8_t> row(static_cast<size_t>(p.width) * 3);
  const int subX = (p.width + p.chromaWidth - 1) / p.chromaWidth;
  const int subY = (p.height + p.chromaHeight - 1) / p.chromaHeight;
  while (cinfo.next_scanline < cinfo.image_height) {
    const int r = static_cast<int>(cinfo.next_scanline);
    for (int x = 0; x < p.width; ++x) {
      const size_t c = static_cast<size_t>(r / subY) * p.chromaWidth + x / subX;
      if (grey) {
        row[x] = p.y[static_cast<size_t>(r) * p.width + x];
      } else {
        row[3 * x] = p.y[static_cast<size_t>(r) * p.width + x];
        row[3 * x + 1] = p.cb[c];
        row[3 * x + 2] = p.cr[c];
      }
    }
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&cinfo, rows, 1);
  }
  jpeg_finish_compress(&cinfo);
  Bytes out(mem, mem + size);
  jpeg_destroy_compress(&cinfo);
  free(mem);
  return out;
}

namespace {
// Walks the marker segments before the scan; calls |f(pos, marker, length)|.
template <typename F>
void ForEachSegment(const Bytes& j, F f) {
  size_t pos = 2;
  while (pos + 4 <= j.size() && j[pos] == 0xFF) {
    const int marker = j[pos + 1];
    const size_t length = (static_cast<size_t>(j[pos + 2]) << 8) | j[pos + 3];
    f(pos, marker, length);
    if (marker == 0xDA) break;
    pos += 2 + length;
  }
}
}  // namespace

Bytes StripHuffmanTables(const Bytes& jpeg) {
  Bytes out(jpeg.begin(), jpeg.begin() + 2);
  size_t copied = 2;
  ForEachSegment(jpeg, [&](size_t pos, int marker, size_t length) {
    if (marker == 0xDA) {
      out.insert(out.end(), jpeg.begin() + static_cast<long>(pos), jpeg.end());
      copied = jpeg.size();
      return;
    }
    if (marker != 0xC4) out.insert(out.end(), jpeg.begin() + static_cast<long>(pos),
                                   jpeg.begin() + static_cast<long>(pos + 2 + length));
  });
  (void)copied;
  return out;
}

bool HasHuffmanTables(const Bytes& jpeg) {
  bool found = false;
  ForEachSegment(jpeg, [&](size_t, int marker, size_t) { found |= marker == 0xC4; });
  return found;
}

bool ReferenceDecode(const std::string& input, const std::string& pixFmt, Bytes* out) {
  const std::string raw = input + "." + pixFmt + ".raw";
  const std::string cmd = "ffmpeg -nostdin -y -loglevel error -i '" + input + "' -fps_mode passthrough -f rawvideo -pix_fmt " +
                          pixFmt + " '" + raw + "'";
  if (Run(cmd) != 0) return false;
  return ReadFile(raw, out);
}

std::vector<Bytes> SplitH264(const Bytes& stream, std::vector<bool>* keys) {
  std::vector<Bytes> frames;
  size_t start = 0;
  bool sawSlice = false;
  for (size_t i = 0; i + 4 < stream.size(); ++i) {
    if (stream[i] || stream[i + 1] || stream[i + 2] != 1) continue;
    const int type = stream[i + 3] & 31;
    const bool slice = type == 1 || type == 5;
    // A slice whose first_mb is 0 (leading bit 1) or a parameter set / SEI
    // begins a new picture.
    const bool startsPicture = slice ? (stream[i + 4] & 0x80) != 0 : (type == 7 || type == 6);
    const size_t at = (i > 0 && stream[i - 1] == 0) ? i - 1 : i;
    if (startsPicture && sawSlice) {
      frames.emplace_back(stream.begin() + static_cast<long>(start), stream.begin() + static_cast<long>(at));
      start = at;
      sawSlice = false;
    }
    if (slice) {
      if (!sawSlice) keys->push_back(type == 5);
      sawSlice = true;
    }
  }
  frames.emplace_back(stream.begin() + static_cast<long>(start), stream.end());
  return frames;
}

double Psnr(const std::uint8_t* a, const std::uint8_t* b, std::size_t n) {
  double sum = 0;
  for (size_t i = 0; i < n; ++i) {
    const double d = static_cast<double>(a[i]) - b[i];
    sum += d * d;
  }
  if (sum == 0) return 99.0;
  return 10.0 * std::log10(255.0 * 255.0 * static_cast<double>(n) / sum);
}

double PsnrPlane(const std::uint8_t* a, int aStride, const std::uint8_t* b, int bStride, int width,
                 int height) {
  double sum = 0;
  for (int r = 0; r < height; ++r) {
    for (int x = 0; x < width; ++x) {
      const double d = static_cast<double>(a[r * aStride + x]) - b[r * bStride + x];
      sum += d * d;
    }
  }
  if (sum == 0) return 99.0;
  return 10.0 * std::log10(255.0 * 255.0 * width * height / sum);
}

}  // namespace vt
