#include "AlarmSound.h"

#include <QAudioDevice>
#include <QAudioSink>
#include <QBuffer>
#include <QCoreApplication>
#include <QFile>
#include <QMediaDevices>
#include <QPointer>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "base/base.h"

namespace {

// An alarm sound is short; a bigger file is not read into memory.
constexpr qint64 kMaxSoundFileBytes = 16 * 1024 * 1024;
constexpr int kPathCapacity = 260;

std::uint32_t Le32(const char* p) {
  const auto* u = reinterpret_cast<const unsigned char*>(p);
  return u[0] | (u[1] << 8) | (u[2] << 16) | (static_cast<std::uint32_t>(u[3]) << 24);
}

std::uint16_t Le16(const char* p) {
  const auto* u = reinterpret_cast<const unsigned char*>(p);
  return static_cast<std::uint16_t>(u[0] | (u[1] << 8));
}

constexpr std::uint16_t kWavePcm = 1;
constexpr std::uint16_t kWaveFloat = 3;
constexpr std::uint16_t kWaveExtensible = 0xFFFE;

AlarmSoundHook& Hook() {
  static AlarmSoundHook hook;
  return hook;
}

// The one sound playing (UI thread): a sink of the application reading a
// buffer that is its child, so both go when it is deleted, at the latest
// with the application.
QPointer<QAudioSink>& Current() {
  static QPointer<QAudioSink> current;
  return current;
}

}  // namespace

QString FileExtension(const QString& file) {
  const qsizetype slash = std::max(file.lastIndexOf(QLatin1Char('/')), file.lastIndexOf(QLatin1Char('\\')));
  const qsizetype dot = file.lastIndexOf(QLatin1Char('.'));
  if (dot < 0 || dot < slash) return {};
  return file.mid(dot);
}

bool ReadWav(const QByteArray& image, PcmSound* out) {
  const char* d = image.constData();
  const qsizetype size = image.size();
  if (size < 12 || std::memcmp(d, "RIFF", 4) != 0 || std::memcmp(d + 8, "WAVE", 4) != 0) return false;
  bool haveFormat = false;
  std::uint16_t kind = 0, channels = 0, bits = 0;
  std::uint32_t rate = 0;
  qsizetype at = 12;
  while (at + 8 <= size) {
    const char* id = d + at;
    const std::uint32_t length = Le32(d + at + 4);
    const qsizetype body = at + 8;
    if (length > static_cast<std::uint64_t>(size - body)) {
      // A data chunk cut short (a file still being written) keeps what is there.
      if (std::memcmp(id, "data", 4) != 0) return false;
    }
    const qsizetype available = std::min<qsizetype>(length, size - body);
    if (std::memcmp(id, "fmt ", 4) == 0) {
      if (available < 16) return false;
      kind = Le16(d + body);
      channels = Le16(d + body + 2);
      rate = Le32(d + body + 4);
      bits = Le16(d + body + 14);
      if (kind == kWaveExtensible) {
        if (available < 26) return false;
        kind = Le16(d + body + 24);  // the sub-format's first two bytes
      }
      haveFormat = true;
    } else if (std::memcmp(id, "data", 4) == 0) {
      if (!haveFormat || channels < 1 || channels > 2 || rate < 1000 || rate > 192000) return false;
      QAudioFormat::SampleFormat sample = QAudioFormat::Unknown;
      if (kind == kWavePcm && bits == 8) sample = QAudioFormat::UInt8;
      if (kind == kWavePcm && bits == 16) sample = QAudioFormat::Int16;
      if (kind == kWavePcm && bits == 32) sample = QAudioFormat::Int32;
      if (kind == kWaveFloat && bits == 32) sample = QAudioFormat::Float;
      if (sample == QAudioFormat::Unknown) return false;
      const int frameBytes = channels * bits / 8;
      const qsizetype whole = available - available % frameBytes;
      if (whole <= 0) return false;
      if (out != nullptr) {
        out->format.setSampleRate(static_cast<int>(rate));
        out->format.setChannelCount(channels);
        out->format.setSampleFormat(sample);
        out->samples = image.mid(body, whole);
      }
      return true;
    }
    at = body + length + (length & 1);
  }
  return false;
}

AlarmSoundSource ChooseAlarmSound(const QString& file, PcmSound* sound) {
  if (file.isEmpty() || FileExtension(file) != QLatin1String(".wav")) return AlarmSoundSource::BuiltIn;
  QFile f(file);
  if (!f.exists() || f.size() > kMaxSoundFileBytes || !f.open(QIODevice::ReadOnly)) {
    LogMessage("%s:%d (%s)\r\n", LOGPOS, file.toLocal8Bit().constData());
    return AlarmSoundSource::BuiltIn;
  }
  PcmSound read;
  if (!ReadWav(f.readAll(), &read)) {
    LogMessage("%s:%d (not a WAV: %s)\r\n", LOGPOS, file.toLocal8Bit().constData());
    return AlarmSoundSource::BuiltIn;
  }
  if (sound != nullptr) *sound = std::move(read);
  return AlarmSoundSource::File;
}

const PcmSound& BuiltInAlarmSound() {
  static const PcmSound sound = [] {
    // Four 150 ms beeps, 880 and 660 Hz by turns, 50 ms apart, each
    // faded in and out over 5 ms so that it does not click.
    constexpr int kRate = 22050;
    constexpr int kBeep = kRate * 150 / 1000;
    constexpr int kGap = kRate * 50 / 1000;
    constexpr int kFade = kRate * 5 / 1000;
    PcmSound s;
    s.format.setSampleRate(kRate);
    s.format.setChannelCount(1);
    s.format.setSampleFormat(QAudioFormat::Int16);
    QByteArray& pcm = s.samples;
    auto put = [&pcm](int value) {
      pcm.append(static_cast<char>(value & 0xFF));
      pcm.append(static_cast<char>((value >> 8) & 0xFF));
    };
    for (int beep = 0; beep < 4; ++beep) {
      const double hz = beep % 2 == 0 ? 880.0 : 660.0;
      for (int i = 0; i < kBeep; ++i) {
        const double fade = std::min({1.0, i / double(kFade), (kBeep - 1 - i) / double(kFade)});
        put(static_cast<int>(std::lround(14000.0 * fade * std::sin(2 * M_PI * hz * i / kRate))));
      }
      for (int i = 0; i < kGap; ++i) put(0);
    }
    return s;
  }();
  return sound;
}

AlarmSoundHook SetAlarmSoundHook(AlarmSoundHook hook) {
  AlarmSoundHook old = std::move(Hook());
  Hook() = std::move(hook);
  return old;
}

void StopAlarmSound() {
  QPointer<QAudioSink>& current = Current();
  if (current.isNull()) return;
  current->stop();
  current->deleteLater();
  current.clear();
}

void PlayAlarmSound(const QString& stored) {
  const QString file = stored.left(kPathCapacity);
  if (Hook()) {
    Hook()(file);
    return;
  }
  StopAlarmSound();
  PcmSound sound;
  if (ChooseAlarmSound(file, &sound) == AlarmSoundSource::BuiltIn) sound = BuiltInAlarmSound();
  const QAudioDevice device = QMediaDevices::defaultAudioOutput();
  if (device.isNull()) {
    LogMessage("%s:%d (no output device)\r\n", LOGPOS);
    return;
  }
  auto* sink = new QAudioSink(device, sound.format, QCoreApplication::instance());
  auto* buffer = new QBuffer(sink);
  buffer->setData(sound.samples);
  if (!buffer->open(QIODevice::ReadOnly)) {
    LogMessage("%s:%d\r\n", LOGPOS);
    sink->deleteLater();
    return;
  }
  // Played to its end, the sink lets go of the device.
  QObject::connect(sink, &QAudioSink::stateChanged, sink, [sink](QAudio::State state) {
    if (state != QAudio::IdleState) return;
    sink->stop();
    if (Current() == sink) Current().clear();
    sink->deleteLater();
  });
  sink->start(buffer);
  if (sink->error() != QAudio::NoError) {
    LogMessage("%s:%d (%d)\r\n", LOGPOS, static_cast<int>(sink->error()));
    sink->deleteLater();
    return;
  }
  Current() = sink;
}
