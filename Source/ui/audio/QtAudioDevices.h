// The audio engine's devices over Qt Multimedia: 16-bit mono PCM at 8000
// samples per second through QAudioSink / QAudioSource. Open, Close, Play,
// Stop and Start run on a thread with an event loop (the window thread);
// the engine's threads only touch the rings, under their own locks. With no
// sound server there is no device and Open returns 0, the "audio
// unavailable" path.
#pragma once

#include <QAudioFormat>
#include <QByteArray>
#include <QIODevice>

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "audio/AudioDevice.h"

class QAudioSink;
class QAudioSource;

// A ring of PCM bytes shared by an engine thread and Qt's audio backend.
class PcmRing : public QIODevice {
 public:
  explicit PcmRing(int capacity, bool playback);
  bool isSequential() const override { return true; }
  // Appends; returns the bytes taken. For capture, the oldest bytes give
  // way when the ring is full.
  int Append(const std::uint8_t* data, int bytes);
  int Take(std::uint8_t* out, int bytes);
  int Size() const;
  void Clear();
  // Waits until |bytes| are held; true when they are.
  bool WaitFor(int bytes, int milliseconds);

 protected:
  qint64 readData(char* data, qint64 maxSize) override;
  qint64 writeData(const char* data, qint64 size) override;

 private:
  int AppendLocked(const std::uint8_t* data, int bytes);
  const bool playback_;
  mutable std::mutex mutex_;
  std::condition_variable grown_;
  // --- guarded by mutex_ ---
  std::vector<std::uint8_t> buffer_;
  int head_ = 0;  // first byte held
  int size_ = 0;
};

QAudioFormat EngineAudioFormat();

class QtAudioOutput : public AudioOutput {
 public:
  // |deviceId| empty: the system's default output.
  explicit QtAudioOutput(QByteArray deviceId = {});
  ~QtAudioOutput() override;
  int Open() override;
  void Close() override;
  int Play() override;
  void Stop() override;
  void Rewind() override;
  int Restore() override;
  int Write(const std::uint8_t* pcm, int bytes) override;

 private:
  QByteArray deviceId_;
  std::unique_ptr<QAudioSink> sink_;
  PcmRing ring_;
};

class QtAudioInput : public AudioInput {
 public:
  // |deviceId| names the capture device (QAudioDevice::id); empty: the
  // system's default input.
  explicit QtAudioInput(QByteArray deviceId = {});
  ~QtAudioInput() override;
  int Open() override;
  void Close() override;
  int Start() override;
  void Stop() override;
  int Wait(int milliseconds) override;
  int Available() override;
  int Read(std::uint8_t* out, int bytes) override;

 private:
  QByteArray deviceId_;
  std::unique_ptr<QAudioSource> source_;
  bool started_ = false;
  PcmRing ring_;
};
