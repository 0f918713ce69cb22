// Helpers for the video tests: scratch directories, the reference tools
// (ffmpeg, identify), synthetic pictures, JPEG fixtures made with libjpeg and
// picture comparison.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vt {

using Bytes = std::vector<std::uint8_t>;

// A fresh directory under the system's temporary directory, removed when
// the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Runs a shell command; returns its exit status (0 success).
int Run(const std::string& command);
// Runs a command and returns what it printed.
std::string Capture(const std::string& command);
bool ReadFile(const std::string& path, Bytes* out);
bool WriteFile(const std::string& path, const Bytes& data);

// Planes of one picture at full precision of its own sampling.
struct Planes {
  int width = 0;
  int height = 0;
  int chromaWidth = 0;
  int chromaHeight = 0;
  Bytes y, cb, cr;
};

// A smooth, detailed test pattern (gradients, a moving square, stripes) at
// frame |t|, in planes of the given chroma subsampling (1 or 2 each way).
Planes Pattern(int width, int height, int hSub, int vSub, int t = 0);

// Encodes |p| with libjpeg: component 0 sampled hs x vs, chroma 1 x 1
// (grey when |grey|). |optimize| makes the encoder write its own Huffman
// tables instead of the standard ones.
Bytes EncodeJpeg(const Planes& p, int hs, int vs, int quality, bool optimize, bool grey = false);

// Removes every DHT segment (the decoder must then use the standard tables).
Bytes StripHuffmanTables(const Bytes& jpeg);
bool HasHuffmanTables(const Bytes& jpeg);

// The ffmpeg tool's decode of an image or stream file to raw planar frames
// of |pixFmt| (e.g. "yuv420p", "yuvj422p").
bool ReferenceDecode(const std::string& input, const std::string& pixFmt, Bytes* out);

// Splits an H.264 Annex B stream into one packet per picture (each with the
// parameter sets and SEI before it); |keys| tells which hold an IDR picture.
std::vector<Bytes> SplitH264(const Bytes& stream, std::vector<bool>* keys);

// PSNR in dB of two sample arrays (99 when identical).
double Psnr(const std::uint8_t* a, const std::uint8_t* b, std::size_t n);
double PsnrPlane(const std::uint8_t* a, int aStride, const std::uint8_t* b, int bStride, int width,
                 int height);

}  // namespace vt
