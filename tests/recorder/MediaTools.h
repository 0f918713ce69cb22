// Helpers for the recorder tests: a temporary directory, running the ffmpeg
// command-line tools, and reading the packets of a reference stream that
// ffmpeg encoded (the frames a camera would send).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace mediatest {

struct Packet {
  std::vector<std::uint8_t> data;
  bool key = false;
};

// A fresh directory under the system's temporary directory, removed with its
// contents on destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Runs |command| through the shell; returns its standard output and sets
// |status| to the exit status.
std::string Run(const std::string& command, int* status = nullptr);
bool HaveTool(const char* name);

// Encodes |seconds| of a test pattern at 25 fps with the given ffmpeg codec
// options into |path| (Matroska, so headers stay out of band unless the
// options ask for them in band).
bool EncodeReference(const std::string& path, const std::string& codecOptions, int width,
                     int height, int seconds);
// The video packets of a file, as the demuxer hands them out.
std::vector<Packet> ReadVideoPackets(const std::string& path);

// What ffmpeg says on its error level while decoding the whole file (empty:
// it decodes cleanly), cut to 600 characters.
std::string DecodeErrors(const std::string& file);

// "key=value" lines of ffprobe's default writer, one value looked up.
std::string ProbeValue(const std::string& probeOutput, const std::string& key);

}  // namespace mediatest
