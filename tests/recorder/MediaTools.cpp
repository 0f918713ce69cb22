#include "MediaTools.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>

extern "C" {
#include <libavformat/avformat.h>
}

namespace mediatest {

TempDir::TempDir() {
  std::string tmpl = (std::filesystem::temp_directory_path() / "tessora-rec-XXXXXX").string();
  std::vector<char> buf(tmpl.begin(), tmpl.end());
  buf.push_back('\0');
  if (mkdtemp(buf.data()) != nullptr) path_ = buf.data();
}

TempDir::~TempDir() {
  std::error_code ec;
  if (!path_.empty()) std::filesystem::remove_all(path_, ec);
}

std::string Run(const std::string& command, int* status) {
  std::string out;
  FILE* p = popen(command.c_str(), "r");
  if (p == nullptr) {
    if (status != nullptr) *status = -1;
    return out;
  }
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  const int rc = pclose(p);
  if (status != nullptr) *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  return out;
}

bool HaveTool(const char* name) {
  int status = 0;
  Run(std::string("command -v ") + name + " >/dev/null 2>&1", &status);
  return status == 0;
}

bool EncodeReference(const std::string& path, const std::string& codecOptions, int width,
                     int height, int seconds) {
  std::ostringstream cmd;
  cmd << "ffmpeg -nostdin -v error -y -f lavfi -i testsrc=size=" << width << "x" << height
      << ":rate=25 -t " << seconds << " " << codecOptions << " '" << path << "' 2>&1";
  int status = 0;
  Run(cmd.str(), &status);
  return status == 0;
}

std::vector<Packet> ReadVideoPackets(const std::string& path) {
  std::vector<Packet> out;
  AVFormatContext* ctx = nullptr;
  if (avformat_open_input(&ctx, path.c_str(), nullptr, nullptr) < 0) return out;
  if (avformat_find_stream_info(ctx, nullptr) >= 0) {
    const int v = av_find_best_stream(ctx, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    AVPacket* pkt = av_packet_alloc();
    while (v >= 0 && av_read_frame(ctx, pkt) >= 0) {
      if (pkt->stream_index == v) {
        Packet p;
        p.data.assign(pkt->data, pkt->data + pkt->size);
        p.key = (pkt->flags & AV_PKT_FLAG_KEY) != 0;
        out.push_back(std::move(p));
      }
      av_packet_unref(pkt);
    }
    av_packet_free(&pkt);
  }
  avformat_close_input(&ctx);
  return out;
}

std::string ProbeValue(const std::string& probeOutput, const std::string& key) {
  std::istringstream in(probeOutput);
  std::string line;
  const std::string prefix = key + "=";
  while (std::getline(in, line)) {
    if (line.rfind(prefix, 0) == 0) return line.substr(prefix.size());
  }
  return {};
}

std::string DecodeErrors(const std::string& file) {
  return Run("ffmpeg -nostdin -v error -i '" + file + "' -f null - 2>&1 | head -c 600");
}

}  // namespace mediatest
