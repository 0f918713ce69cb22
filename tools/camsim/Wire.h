// The camera's side of the wire formats: control messages as the camera
// writes them (SRC#C ... DST#V), the 32-byte video packet header, and G.711
// mu-law coding.
#pragma once

#include <cstddef>
#include <cstdint>

namespace camsim {

// Largest control message a viewer accepts (2047 characters and a NUL).
inline constexpr int kCameraMessageSize = 2048;

// Composes one camera message into a fixed buffer: the header lines SRC#C,
// STID, DST#V, DTID, then the body lines, then the closing empty line.
class CameraMessage {
 public:
  CameraMessage(const char* stid, const char* dtid);
  CameraMessage& Line(const char* key, const char* value);
  CameraMessage& Line(const char* key, long long value);
  CameraMessage& Line(const char* key, int value) { return Line(key, static_cast<long long>(value)); }
  // VAR goes last: its text runs to the end of the message.
  CameraMessage& Var(const char* text);
  // Appends the closing "\n\n" (once) and returns the text.
  const char* Finish();
  int length() const { return length_; }
  bool ok() const { return ok_; }

 private:
  void Append(const char* text);
  char buffer_[kCameraMessageSize] = {};
  int length_ = 0;
  bool ok_ = true;
  bool finished_ = false;
};

inline constexpr int kVideoHeaderSize = 32;
inline constexpr int kMaxVideoPayload = 256000;

// Writes the 32-byte packet header ("MMJP" for Motion JPEG, else "MMPG").
void PutVideoHeader(std::uint8_t* out, bool jpeg, std::uint32_t seconds, std::uint32_t micros,
                    std::uint32_t sequence, std::int32_t payloadSize, bool keyFrame);

std::uint8_t LinearToMulaw(std::int16_t sample);
std::int16_t MulawToLinear(std::uint8_t code);

}  // namespace camsim
