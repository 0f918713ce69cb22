// What the link's media readers need from the consumers of the video and
// audio channels. The viewer's frame queue and sound player implement these;
// tests use simple stand-ins.
#pragma once

#include <cstdint>

// One compressed frame as read from the video channel: the 32 header bytes as
// received, then the payload in the queue's preallocated buffer. The reader
// only fills a slot whose two counts are 0.
struct FrameSlot {
  static constexpr int kHeaderSize = 32;
  static constexpr int kMaxPayload = 256000;

  std::uint8_t header[kHeaderSize] = {};
  std::uint8_t* payload = nullptr;  // kMaxPayload bytes, owned by the queue
  int headerCount = 0;
  int payloadCount = 0;
  int ready = 0;  // set by the queue when it accepts the frame

  // Header fields, little-endian on the wire.
  std::uint32_t Field(int offset) const {
    return static_cast<std::uint32_t>(header[offset]) |
           static_cast<std::uint32_t>(header[offset + 1]) << 8 |
           static_cast<std::uint32_t>(header[offset + 2]) << 16 |
           static_cast<std::uint32_t>(header[offset + 3]) << 24;
  }
  std::uint32_t Seconds() const { return Field(4); }
  std::uint32_t Microseconds() const { return Field(8); }
  std::uint32_t Sequence() const { return Field(12); }
  std::int32_t PayloadSize() const { return static_cast<std::int32_t>(Field(16)); }
  bool IsKeyFrame() const { return Field(20) != 0; }
  bool IsJpeg() const { return header[0] == 'M' && header[1] == 'M' && header[2] == 'J' && header[3] == 'P'; }
};

// The video channel's consumer (the viewer's frame queue).
class FrameSink {
 public:
  virtual ~FrameSink() = default;
  // The slot to fill, or nullptr when none is free.
  virtual FrameSlot* GetFreeFrameSlot() = 0;
  // Hands a filled slot over. Returns 1 when the link must ask the camera for
  // a key frame (the slot is then not kept and the reader frees it), else 0
  // (the slot belongs to the queue now).
  virtual int SubmitFrame(FrameSlot* slot) = 0;
  // Makes the queue drop frames until the next key frame.
  virtual void RequireKeyFrame() = 0;
};

// The audio channel's consumer (the viewer's sound player).
class AudioSink {
 public:
  virtual ~AudioSink() = default;
  // Stores received mu-law bytes; returns how many were stored.
  virtual int PushReceived(const std::uint8_t* bytes, int count) = 0;
};

// Where the capture thread sends the PC microphone's mu-law bytes (the link's
// audio channel of one slot).
class TalkBackSender {
 public:
  virtual ~TalkBackSender() = default;
  // One non-blocking send: the bytes sent, or -1 with errno (EAGAIN when the
  // socket is full, ENOTSOCK when the channel is gone).
  virtual long SendTalkBack(const std::uint8_t* bytes, int count) = 0;
};
