#include "BenchFixtures.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

#include <jpeglib.h>

extern "C" {
#include <libavformat/avformat.h>
}

namespace bench {
namespace {

std::uint8_t PatternY(int x, int y, int t) {
  int v = 40 + (x * 140) / 640 + (y * 60) / 480;
  const int sx = (t * 7) % 320, sy = (t * 5) % 240;
  if (x >= sx && x < sx + 160 && y >= sy && y < sy + 120) v = 220;
  if ((x / 24) % 5 == 0) v = (v + 60) / 2;
  return static_cast<std::uint8_t>(v + ((x * 31 + y * 17 + t * 3) % 9));
}

std::string TempDir() {
  std::string tmpl = (std::filesystem::temp_directory_path() / "tessora-bench-XXXXXX").string();
  return mkdtemp(tmpl.data());
}

// Y, U, V planes of frame t (the order the ffmpeg tool reads).
void WriteRawFrames(const std::string& path, int frames) {
  std::ofstream out(path, std::ios::binary);
  std::vector<std::uint8_t> f(640 * 480 * 3 / 2);
  for (int t = 0; t < frames; ++t) {
    for (int y = 0; y < 480; ++y)
      for (int x = 0; x < 640; ++x) f[y * 640 + x] = PatternY(x, y, t);
    for (int i = 0; i < 320 * 240; ++i) {
      f[640 * 480 + i] = static_cast<std::uint8_t>(90 + (i % 320) / 4);
      f[640 * 480 * 5 / 4 + i] = static_cast<std::uint8_t>(160 - (i / 320) / 3);
    }
    out.write(reinterpret_cast<const char*>(f.data()), static_cast<std::streamsize>(f.size()));
  }
}

Stream ReadPackets(const std::string& path) {
  Stream s;
  AVFormatContext* fmt = nullptr;
  if (avformat_open_input(&fmt, path.c_str(), nullptr, nullptr) < 0) {
    std::fprintf(stderr, "bench: cannot read %s\n", path.c_str());
    std::exit(1);
  }
  AVPacket* pkt = av_packet_alloc();
  while (av_read_frame(fmt, pkt) >= 0) {
    Packet p(pkt->data, pkt->data + pkt->size);
    p.resize(p.size() + 64);
    s.sizes.push_back(pkt->size);
    s.packets.push_back(std::move(p));
    av_packet_unref(pkt);
  }
  av_packet_free(&pkt);
  avformat_close_input(&fmt);
  return s;
}

Stream Encode(const char* args, const char* format) {
  const std::string dir = TempDir();
  const std::string raw = dir + "/src.yuv", enc = dir + "/enc." + format;
  WriteRawFrames(raw, 100);
  const std::string cmd = "ffmpeg -nostdin -y -loglevel error -f rawvideo -pix_fmt yuv420p -s 640x480 -r 25 -i '" +
                          raw + "' -fps_mode passthrough " + args + " -f " + format + " '" + enc + "'";
  if (std::system(cmd.c_str()) != 0) {
    std::fprintf(stderr, "bench: ffmpeg failed\n");
    std::exit(1);
  }
  Stream s = ReadPackets(enc);
  std::filesystem::remove_all(dir);
  return s;
}

Packet EncodeJpeg(int width, int height, int t) {
  jpeg_compress_struct cinfo{};
  jpeg_error_mgr err;
  cinfo.err = jpeg_std_error(&err);
  jpeg_create_compress(&cinfo);
  unsigned char* mem = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &mem, &size);
  cinfo.image_width = static_cast<JDIMENSION>(width);
  cinfo.image_height = static_cast<JDIMENSION>(height);
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_YCbCr;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, 80, TRUE);
  cinfo.comp_info[0].h_samp_factor = 2;
  cinfo.comp_info[0].v_samp_factor = 1;
  jpeg_start_compress(&cinfo, TRUE);
  std::vector<std::uint8_t> row(static_cast<size_t>(width) * 3);
  while (cinfo.next_scanline < cinfo.image_height) {
    const int y = static_cast<int>(cinfo.next_scanline);
    for (int x = 0; x < width; ++x) {
      row[3 * x] = PatternY(x * 640 / width, y * 480 / height, t);
      row[3 * x + 1] = static_cast<std::uint8_t>(90 + x / 8);
      row[3 * x + 2] = static_cast<std::uint8_t>(160 - y / 3);
    }
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&cinfo, rows, 1);
  }
  jpeg_finish_compress(&cinfo);
  Packet p(mem, mem + size);
  jpeg_destroy_compress(&cinfo);
  std::free(mem);
  return p;
}

}  // namespace

const Stream& H264Stream() {
  static const Stream s = Encode("-c:v libx264 -profile:v baseline -bf 0 -g 25 -b:v 2M", "h264");
  return s;
}

const Stream& Mpeg4Stream() {
  static const Stream s = Encode("-c:v mpeg4 -threads 1 -bf 0 -g 25 -b:v 2M", "m4v");
  return s;
}

const Stream& JpegStream(int width, int height) {
  static std::map<int, Stream> cache;  // references stay valid
  auto found = cache.find(width * 10000 + height);
  if (found != cache.end()) return found->second;
  Stream s;
  for (int t = 0; t < 25; ++t) {
    Packet p = EncodeJpeg(width, height, t);
    s.sizes.push_back(static_cast<int>(p.size()));
    p.resize(p.size() + 64);
    s.packets.push_back(std::move(p));
  }
  return cache.emplace(width * 10000 + height, std::move(s)).first->second;
}

const std::vector<std::uint8_t>& Picture640() {
  static const std::vector<std::uint8_t> pic = [] {
    std::vector<std::uint8_t> p(640 * 480 * 3 / 2);
    for (int y = 0; y < 480; ++y)
      for (int x = 0; x < 640; ++x) p[y * 640 + x] = PatternY(x, y, 0);
    for (int i = 0; i < 320 * 240; ++i) {
      p[640 * 480 + i] = static_cast<std::uint8_t>(160 - (i / 320) / 3);
      p[640 * 480 * 5 / 4 + i] = static_cast<std::uint8_t>(90 + (i % 320) / 4);
    }
    return p;
  }();
  return pic;
}

}  // namespace bench
