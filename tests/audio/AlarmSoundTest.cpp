// The alarm sound: which sound a stored file name gives (the exact ".wav"
// rule, missing, unreadable and malformed files), the WAV reader over the
// layouts files come in, the built-in sound, and, against the private
// PulseAudio server of with_pulseaudio.sh, that the chosen sound is what
// comes out of the sink: the file's tone, or the built-in alarm's.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

#include "AlarmSound.h"

namespace {

void Pump(int ms) {
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

void Put16(QByteArray& b, int v) {
  b.append(static_cast<char>(v & 0xFF));
  b.append(static_cast<char>((v >> 8) & 0xFF));
}
void Put32(QByteArray& b, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b.append(static_cast<char>((v >> (8 * i)) & 0xFF));
}
void Chunk(QByteArray& b, const char* id, const QByteArray& body) {
  b.append(id, 4);
  Put32(b, static_cast<std::uint32_t>(body.size()));
  b.append(body);
  if (body.size() % 2 != 0) b.append('\0');
}

// The layout of a WAV image the reader is given.
struct WavLayout {
  int kind = 1;  // 1 PCM, 3 float, 2 ADPCM, 0xFFFE extensible
  int subKind = 1;
  int channels = 1;
  int rate = 8000;
  int bits = 16;
  bool oddChunkFirst = false;  // an odd-sized chunk (with its pad byte) before "fmt "
  bool dataFirst = false;
  int dataBytes = 1600;
};

QByteArray Wav(const WavLayout& l, const QByteArray& samples = {}) {
  QByteArray fmt;
  Put16(fmt, l.kind);
  Put16(fmt, l.channels);
  Put32(fmt, static_cast<std::uint32_t>(l.rate));
  Put32(fmt, static_cast<std::uint32_t>(l.rate * l.channels * l.bits / 8));
  Put16(fmt, l.channels * l.bits / 8);
  Put16(fmt, l.bits);
  if (l.kind == 0xFFFE) {
    Put16(fmt, 22);
    Put16(fmt, l.bits);
    Put32(fmt, 0);
    Put16(fmt, l.subKind);
    fmt.append(14, '\x11');
  }
  const QByteArray data = samples.isEmpty() ? QByteArray(l.dataBytes, '\x01') : samples;
  QByteArray body("WAVE");
  if (l.oddChunkFirst) Chunk(body, "LIST", QByteArray(5, 'x'));
  if (l.dataFirst) Chunk(body, "data", data);
  Chunk(body, "fmt ", fmt);
  if (!l.dataFirst) Chunk(body, "data", data);
  QByteArray image("RIFF");
  Put32(image, static_cast<std::uint32_t>(body.size()));
  return image + body;
}

// |seconds| of a sine of |hz| as 16-bit mono at |rate|.
QByteArray Tone(double hz, double seconds, int rate) {
  QByteArray b;
  const int n = static_cast<int>(seconds * rate);
  for (int i = 0; i < n; ++i) Put16(b, static_cast<int>(12000 * std::sin(2 * M_PI * hz * i / rate)));
  return b;
}

void WriteFile(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(bytes);
}

bool WithServer() { return std::getenv("TESSORA_PULSE") != nullptr; }

// sox's rough frequency estimate ("sox ARGS", ending in the stat effect),
// -1 when sox fails.
double RoughFrequency(const std::string& soxArgs) {
  const std::string cmd = "sox " + soxArgs + " 2>&1";
  FILE* p = popen(cmd.c_str(), "r");
  double f = -1;
  char line[256];
  while (p != nullptr && fgets(line, sizeof line, p) != nullptr) {
    if (std::sscanf(line, "Rough frequency: %lf", &f) == 1) break;
  }
  if (p != nullptr) pclose(p);
  return f;
}

}  // namespace

TEST(AlarmSoundTest, ExtensionIsTakenFromTheLastPart) {
  const struct {
    const char* file;
    const char* extension;
  } cases[] = {
      {"/a/b/alarm.wav", ".wav"},      {"alarm.tar.wav", ".wav"}, {"/a.wav/alarm", ""},
      {"C:\\sounds.d\\alarm", ""},     {"C:\\s\\alarm.WAV", ".WAV"}, {"/a/.wav", ".wav"},
      {"alarm", ""},                   {"alarm.", "."},
  };
  for (const auto& c : cases) EXPECT_EQ(FileExtension(QString::fromUtf8(c.file)).toStdString(), c.extension) << c.file;
}

TEST(AlarmSoundTest, StoredFileChoosesTheSound) {
  QTemporaryDir dir;
  const QByteArray good = Wav({});
  WriteFile(dir.filePath("alarm.wav"), good);
  WriteFile(dir.filePath("ALARM.WAV"), good);
  WriteFile(dir.filePath("Alarm.Wav"), good);
  WriteFile(dir.filePath("alarm.wave"), good);
  WriteFile(dir.filePath("garbage.wav"), QByteArray("not a wave file at all"));
  WriteFile(dir.filePath("cut.wav"), good.left(30));
  WriteFile(dir.filePath("empty.wav"), QByteArray());
  WriteFile(dir.filePath("locked.wav"), good);
  QFile::setPermissions(dir.filePath("locked.wav"), QFileDevice::Permissions{});
  QDir(dir.path()).mkdir("folder.wav");
  const bool root = ::geteuid() == 0;  // root reads the locked file anyway
  const struct {
    QString file;
    AlarmSoundSource source;
  } cases[] = {
      {dir.filePath("alarm.wav"), AlarmSoundSource::File},
      {dir.filePath("ALARM.WAV"), AlarmSoundSource::BuiltIn},
      {dir.filePath("Alarm.Wav"), AlarmSoundSource::BuiltIn},
      {dir.filePath("alarm.wave"), AlarmSoundSource::BuiltIn},
      {dir.filePath("missing.wav"), AlarmSoundSource::BuiltIn},
      {dir.filePath("garbage.wav"), AlarmSoundSource::BuiltIn},
      {dir.filePath("cut.wav"), AlarmSoundSource::BuiltIn},
      {dir.filePath("empty.wav"), AlarmSoundSource::BuiltIn},
      {dir.filePath("locked.wav"), root ? AlarmSoundSource::File : AlarmSoundSource::BuiltIn},
      {dir.filePath("folder.wav"), AlarmSoundSource::BuiltIn},
      {QString(), AlarmSoundSource::BuiltIn},
  };
  for (const auto& c : cases) {
    PcmSound sound;
    EXPECT_EQ(ChooseAlarmSound(c.file, &sound), c.source) << c.file.toStdString();
    if (c.source == AlarmSoundSource::File) {
      EXPECT_EQ(sound.samples.size(), 1600);
    }
  }
}

TEST(AlarmSoundTest, WavLayouts) {
  const struct {
    const char* name;
    WavLayout layout;
    bool readable;
    QAudioFormat::SampleFormat sample;
    int sampleBytes;
  } cases[] = {
      {"16-bit mono", {}, true, QAudioFormat::Int16, 1600},
      {"8-bit", {.bits = 8}, true, QAudioFormat::UInt8, 1600},
      {"32-bit", {.bits = 32}, true, QAudioFormat::Int32, 1600},
      {"float", {.kind = 3, .bits = 32}, true, QAudioFormat::Float, 1600},
      {"stereo 44.1 kHz", {.channels = 2, .rate = 44100}, true, QAudioFormat::Int16, 1600},
      {"extensible PCM", {.kind = 0xFFFE, .subKind = 1}, true, QAudioFormat::Int16, 1600},
      {"odd chunk before the format", {.oddChunkFirst = true}, true, QAudioFormat::Int16, 1600},
      {"half a sample at the end", {.dataBytes = 1601}, true, QAudioFormat::Int16, 1600},
      {"ADPCM", {.kind = 2, .bits = 4}, false, {}, 0},
      {"extensible ADPCM", {.kind = 0xFFFE, .subKind = 2}, false, {}, 0},
      {"24-bit", {.bits = 24}, false, {}, 0},
      {"three channels", {.channels = 3}, false, {}, 0},
      {"rate 0", {.rate = 0}, false, {}, 0},
      {"data before the format", {.dataFirst = true}, false, {}, 0},
      {"no samples", {.dataBytes = 0}, false, {}, 0},
  };
  for (const auto& c : cases) {
    PcmSound sound;
    const QByteArray image = Wav(c.layout);
    ASSERT_EQ(ReadWav(image, &sound), c.readable) << c.name;
    if (!c.readable) continue;
    EXPECT_EQ(sound.format.sampleFormat(), c.sample) << c.name;
    EXPECT_EQ(sound.format.sampleRate(), c.layout.rate) << c.name;
    EXPECT_EQ(sound.format.channelCount(), c.layout.channels) << c.name;
    EXPECT_EQ(sound.samples.size() % (c.layout.channels * c.layout.bits / 8), 0) << c.name;
    EXPECT_LE(sound.samples.size(), c.sampleBytes) << c.name;
  }
  // A data chunk whose length runs past the end (a file still being
  // written) plays what is there; any other chunk cut short is refused.
  QByteArray cut = Wav({});
  cut.chop(100);
  PcmSound sound;
  EXPECT_TRUE(ReadWav(cut, &sound));
  EXPECT_EQ(sound.samples.size(), 1500);
  EXPECT_FALSE(ReadWav(Wav({}).left(30), &sound));
}

TEST(AlarmSoundTest, BuiltInSoundIsShortAndAudible) {
  const PcmSound& s = BuiltInAlarmSound();
  ASSERT_EQ(s.format.sampleFormat(), QAudioFormat::Int16);
  const double seconds = s.samples.size() / 2.0 / s.format.sampleRate() / s.format.channelCount();
  EXPECT_GT(seconds, 0.3);
  EXPECT_LT(seconds, 1.5);
  int peak = 0;
  for (int i = 0; i + 1 < s.samples.size(); i += 2) {
    const int v = static_cast<std::int16_t>((static_cast<unsigned char>(s.samples[i + 1]) << 8) |
                                            static_cast<unsigned char>(s.samples[i]));
    peak = std::max(peak, std::abs(v));
  }
  EXPECT_GT(peak, 8000);
}

// What reaches the sink's monitor: the file's 1200 Hz tone when the file
// is a WAV with the exact extension, the built-in alarm (tones of 660 and
// 880 Hz with short pauses, about 650 Hz to sox) for the same file under an
// upper-case name, and nothing when nothing is played.
TEST(AlarmSoundTest, PlayedSoundReachesTheSink) {
  if (!WithServer()) GTEST_SKIP() << "run through with_pulseaudio.sh";
  QTemporaryDir dir;
  const QByteArray tone = Wav({.rate = 22050}, Tone(1200, 0.8, 22050));
  WriteFile(dir.filePath("tone.wav"), tone);
  WriteFile(dir.filePath("TONE.WAV"), tone);
  const struct {
    const char* name;
    QString file;  // null: nothing played
    double hz;     // 0: silence
  } cases[] = {
      {"file", dir.filePath("tone.wav"), 1200},
      {"upper-case", dir.filePath("TONE.WAV"), 700},
      {"nothing", QString(), 0},
  };
  for (const auto& c : cases) {
    const QString recorded = dir.filePath(QStringLiteral("played-%1.s16").arg(c.name));
    QProcess parec;
    parec.setStandardOutputFile(recorded);
    parec.start("parec", {"-d", "ci_out.monitor", "--rate=22050", "--channels=1", "--format=s16le", "--raw"});
    ASSERT_TRUE(parec.waitForStarted());
    Pump(300);
    if (!c.file.isNull()) PlayAlarmSound(c.file);
    Pump(2500);
    parec.terminate();
    parec.waitForFinished(5000);
    QFile f(recorded);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray pcm = f.readAll();
    int peak = 0;
    for (int i = 0; i + 1 < pcm.size(); i += 2) {
      const int v = static_cast<std::int16_t>((static_cast<unsigned char>(pcm[i + 1]) << 8) |
                                              static_cast<unsigned char>(pcm[i]));
      peak = std::max(peak, std::abs(v));
    }
    if (c.hz == 0) {
      EXPECT_LT(peak, 200) << c.name;
      continue;
    }
    EXPECT_GT(peak, 4000) << c.name;
    const double f0 = RoughFrequency("-t raw -r 22050 -e signed -b 16 -c 1 " + recorded.toStdString() +
                                     " -n silence 1 0.02 1% trim 0 0.5 stat");
    EXPECT_NEAR(f0, c.hz, c.hz * 0.3) << c.name;
  }
  StopAlarmSound();
}

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
