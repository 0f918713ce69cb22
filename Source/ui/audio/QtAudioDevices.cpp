#include "QtAudioDevices.h"

#include <QAudioDevice>
#include <QAudioSink>
#include <QAudioSource>
#include <QMediaDevices>

#include <algorithm>
#include <chrono>
#include <cstring>

#include "audio/MAudio.h"
#include "base/base.h"

namespace {

// While nothing was written the output plays silence, 20 ms per request, so
// the stream keeps running as a looping buffer would.
constexpr int kSilenceBytes = 320;

QAudioDevice FindDevice(const QList<QAudioDevice>& devices, const QByteArray& id,
                        const QAudioDevice& fallback) {
  if (id.isEmpty()) return fallback;
  for (const QAudioDevice& d : devices) {
    if (d.id() == id) return d;
  }
  return {};
}

}  // namespace

QAudioFormat EngineAudioFormat() {
  QAudioFormat f;
  f.setSampleRate(8000);
  f.setChannelCount(1);
  f.setSampleFormat(QAudioFormat::Int16);
  return f;
}

PcmRing::PcmRing(int capacity, bool playback) : playback_(playback), buffer_(capacity) {}

int PcmRing::AppendLocked(const std::uint8_t* data, int bytes) {
  const int cap = static_cast<int>(buffer_.size());
  if (!playback_ && bytes > cap - size_) {
    const int drop = std::min(size_, bytes - (cap - size_));
    head_ = (head_ + drop) % cap;
    size_ -= drop;
  }
  const int n = std::min(bytes, cap - size_);
  for (int done = 0; done < n;) {
    const int at = (head_ + size_) % cap;
    const int chunk = std::min(n - done, cap - at);
    std::memcpy(buffer_.data() + at, data + done, chunk);
    done += chunk;
    size_ += chunk;
  }
  return n;
}

int PcmRing::Append(const std::uint8_t* data, int bytes) {
  std::lock_guard<std::mutex> hold(mutex_);
  const int n = AppendLocked(data, bytes);
  grown_.notify_all();
  return n;
}

int PcmRing::Take(std::uint8_t* out, int bytes) {
  std::lock_guard<std::mutex> hold(mutex_);
  const int cap = static_cast<int>(buffer_.size());
  const int n = std::min(bytes, size_);
  for (int done = 0; done < n;) {
    const int chunk = std::min(n - done, cap - head_);
    std::memcpy(out + done, buffer_.data() + head_, chunk);
    done += chunk;
    head_ = (head_ + chunk) % cap;
    size_ -= chunk;
  }
  return n;
}

int PcmRing::Size() const {
  std::lock_guard<std::mutex> hold(mutex_);
  return size_;
}

void PcmRing::Clear() {
  std::lock_guard<std::mutex> hold(mutex_);
  head_ = 0;
  size_ = 0;
}

bool PcmRing::WaitFor(int bytes, int milliseconds) {
  std::unique_lock<std::mutex> hold(mutex_);
  return grown_.wait_for(hold, std::chrono::milliseconds(milliseconds), [&] { return size_ >= bytes; });
}

qint64 PcmRing::readData(char* data, qint64 maxSize) {
  if (!playback_ || maxSize <= 0) return 0;
  const int want = static_cast<int>(std::min<qint64>(maxSize, buffer_.size()));
  const int n = Take(reinterpret_cast<std::uint8_t*>(data), want);
  if (n > 0) return n;
  const int silence = std::min(want, kSilenceBytes) & ~1;
  std::memset(data, 0, silence);
  return silence;
}

qint64 PcmRing::writeData(const char* data, qint64 size) {
  if (playback_) return -1;
  Append(reinterpret_cast<const std::uint8_t*>(data), static_cast<int>(size));
  return size;  // the capture ring never refuses; old bytes give way
}

QtAudioOutput::QtAudioOutput(QByteArray deviceId)
    : deviceId_(std::move(deviceId)), ring_(kBufferBytes, true) {}

QtAudioOutput::~QtAudioOutput() { Close(); }

int QtAudioOutput::Open() {
  if (sink_) return 1;
  const QAudioDevice device =
      FindDevice(QMediaDevices::audioOutputs(), deviceId_, QMediaDevices::defaultAudioOutput());
  if (device.isNull()) {
    LogMessage("%s:%d\r\n", LOGPOS);
    return 0;
  }
  const QAudioFormat format = EngineAudioFormat();
  if (!device.isFormatSupported(format)) {
    LogMessage("%s:%d\r\n", LOGPOS);
    return 0;
  }
  sink_ = std::make_unique<QAudioSink>(device, format);
  sink_->setBufferSize(kBufferBytes);
  ring_.Clear();
  ring_.open(QIODevice::ReadOnly);
  return 1;
}

void QtAudioOutput::Close() {
  if (sink_) {
    sink_->stop();
    sink_.reset();
  }
  ring_.close();
  ring_.Clear();
}

int QtAudioOutput::Play() {
  if (!sink_) return 0;
  if (sink_->state() == QAudio::StoppedState) sink_->start(&ring_);
  else if (sink_->state() == QAudio::SuspendedState) sink_->resume();
  if (sink_->error() != QAudio::NoError) {
    LogMessage("%s:%d (%d)\r\n", LOGPOS, static_cast<int>(sink_->error()));
    return 0;
  }
  return 1;
}

void QtAudioOutput::Stop() {
  if (sink_ && (sink_->state() == QAudio::ActiveState || sink_->state() == QAudio::IdleState)) {
    sink_->suspend();
  }
}

void QtAudioOutput::Rewind() { ring_.Clear(); }

int QtAudioOutput::Restore() { return sink_ ? 1 : 0; }

int QtAudioOutput::Write(const std::uint8_t* pcm, int bytes) {
  return ring_.Append(pcm, bytes);
}

QtAudioInput::QtAudioInput(QByteArray deviceId)
    : deviceId_(std::move(deviceId)), ring_(kBufferBytes, false) {}

QtAudioInput::~QtAudioInput() { Close(); }

int QtAudioInput::Open() {
  if (source_) return 1;
  const QAudioDevice device =
      FindDevice(QMediaDevices::audioInputs(), deviceId_, QMediaDevices::defaultAudioInput());
  if (device.isNull()) {
    LogMessage("%s:%d\r\n", LOGPOS);
    return 0;
  }
  source_ = std::make_unique<QAudioSource>(device, EngineAudioFormat());
  ring_.Clear();
  ring_.open(QIODevice::WriteOnly);
  started_ = false;
  return 1;
}

void QtAudioInput::Close() {
  if (source_) {
    source_->stop();
    source_.reset();
  }
  started_ = false;
  ring_.close();
  ring_.Clear();
}

int QtAudioInput::Start() {
  if (!source_) return 0;
  if (!started_) {
    source_->start(&ring_);
    started_ = true;
  } else if (source_->state() == QAudio::SuspendedState) {
    source_->resume();
  }
  if (source_->error() != QAudio::NoError) {
    LogMessage("%s:%d (%d)\r\n", LOGPOS, static_cast<int>(source_->error()));
    return 0;
  }
  return 1;
}

void QtAudioInput::Stop() {
  if (source_ && started_ && source_->state() != QAudio::SuspendedState) source_->suspend();
}

int QtAudioInput::Wait(int milliseconds) {
  return ring_.WaitFor(MAudioCapture::kBlockBytes, milliseconds) ? 1 : 0;
}

int QtAudioInput::Available() { return ring_.Size(); }

int QtAudioInput::Read(std::uint8_t* out, int bytes) { return ring_.Take(out, bytes); }
