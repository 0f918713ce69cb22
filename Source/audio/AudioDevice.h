// The sound devices as the audio engine sees them: a playback output and a
// capture input, both 16-bit mono PCM at 8000 samples per second. The
// application implements them over its audio system; tests use fakes. All
// calls of one device except Write (output) and Wait/Available/Read (input)
// come from the window thread.
#pragma once

#include <cstdint>

class AudioOutput {
 public:
  static constexpr int kBufferBytes = 16000;  // one second
  static constexpr int kLost = -1;            // Write: the device was lost
  static constexpr int kFailed = -2;          // Write: any other failure

  virtual ~AudioOutput() = default;
  // Opens the device with a kBufferBytes buffer. Returns 1, or 0 when there
  // is no device (audio unavailable).
  virtual int Open() = 0;
  virtual void Close() = 0;
  // Starts or resumes playback; silence plays while nothing is written.
  virtual int Play() = 0;
  // Pauses playback.
  virtual void Stop() = 0;
  // Discards everything written and not yet played: the buffer is silent
  // and the next write plays first.
  virtual void Rewind() = 0;
  // Restores a lost device; 1 when it can be written again.
  virtual int Restore() = 0;
  // Queues PCM bytes (playback thread). Returns the bytes taken (fewer when
  // the buffer is full), kLost or kFailed.
  virtual int Write(const std::uint8_t* pcm, int bytes) = 0;
};

class AudioInput {
 public:
  static constexpr int kBufferBytes = 128000;  // eight seconds

  virtual ~AudioInput() = default;
  // Opens the capture device. Returns 1, or 0 when there is none.
  virtual int Open() = 0;
  virtual void Close() = 0;
  virtual int Start() = 0;
  virtual void Stop() = 0;
  // Waits up to |milliseconds| for the next 2560-byte block (capture
  // thread): 1 when one is ready, 0 on time-out, -1 on failure.
  virtual int Wait(int milliseconds) = 0;
  // Captured bytes waiting to be read (capture thread).
  virtual int Available() = 0;
  // Reads up to |bytes| captured bytes; returns the count, -1 on a fault.
  virtual int Read(std::uint8_t* out, int bytes) = 0;
};
