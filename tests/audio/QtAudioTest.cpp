// The audio engine end to end through the Qt devices and a real PulseAudio
// server (started by with_pulseaudio.sh): a tone played by MAudioPlayer comes
// out of the null sink, and the sine source captured by MAudioCapture
// arrives on the audio socket as mu-law. Frequencies are measured with sox.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "QtAudioDevices.h"
#include "audio/MAudio.h"
#include "audio/MuLaw.h"

namespace {

void Pump(int ms) {
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

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

bool WithServer() { return std::getenv("TESSORA_PULSE") != nullptr; }

TEST(QtAudioUnavailableTest, StartFailsWithoutServer) {
  if (std::getenv("TESSORA_NO_AUDIO_SERVER") == nullptr) GTEST_SKIP() << "a server may be running";
  QtAudioOutput out;
  MAudioPlayer player(&out);
  EXPECT_EQ(player.Start(), 0);
  QtAudioInput in;
  MAudioCapture capture(&in);
  EXPECT_EQ(capture.Start(-1), 0);
  EXPECT_EQ(capture.State(), kAudioStopped);
}

TEST(QtAudioTest, PlayedToneReachesTheSink) {
  if (!WithServer()) GTEST_SKIP() << "run through with_pulseaudio.sh";
  QTemporaryDir dir;
  const QString recorded = dir.filePath("played.s16");
  QProcess parec;
  parec.setStandardOutputFile(recorded);
  parec.start("parec", {"-d", "ci_out.monitor", "--rate=8000", "--channels=1", "--format=s16le", "--raw"});
  ASSERT_TRUE(parec.waitForStarted());

  QtAudioOutput out;
  MAudioPlayer player(&out);
  ASSERT_EQ(player.Start(), 1);
  // 500 Hz in mu-law, 40 ms per push as the camera's stream arrives.
  std::vector<std::uint8_t> block(320);
  int n = 0;
  for (int turn = 0; turn < 60; ++turn) {
    for (std::uint8_t& b : block) {
      b = LinearToUlaw(static_cast<std::int16_t>(12000 * std::sin(2 * M_PI * 500 * n++ / 8000.0)));
    }
    player.PushReceived(block.data(), 320);
    Pump(40);
  }
  Pump(1500);
  player.Stop();
  parec.terminate();
  parec.waitForFinished(5000);

  // Skip the silence before the tone, measure one second of it.
  const double f = RoughFrequency("-t raw -r 8000 -e signed -b 16 -c 1 " + recorded.toStdString() +
                                  " -n silence 1 0.02 1% trim 0 1 stat");
  EXPECT_NEAR(f, 500, 25) << "rough frequency";
}

TEST(QtAudioTest, CapturedSineArrivesAsMuLaw) {
  if (!WithServer()) GTEST_SKIP() << "run through with_pulseaudio.sh";
  int fds[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
  QtAudioInput in("ci_sine");
  MAudioCapture capture(&in);
  ASSERT_EQ(capture.Start(fds[0]), 1);
  std::vector<std::uint8_t> got;
  std::uint8_t buf[4096];
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < 5000 && got.size() < 16000) {
    Pump(20);
    ssize_t r;
    while ((r = recv(fds[1], buf, sizeof buf, MSG_DONTWAIT)) > 0) got.insert(got.end(), buf, buf + r);
  }
  capture.Stop();
  close(fds[0]);
  close(fds[1]);
  ASSERT_GE(got.size(), 8000u);
  EXPECT_EQ(got.size() % 1280, 0u) << "whole blocks";

  QTemporaryDir dir;
  const std::string file = dir.filePath("sent.ul").toStdString();
  std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(got.data()), got.size());
  const double f = RoughFrequency("-t ul -r 8000 -c 1 " + file + " -n trim 0.2 stat");
  EXPECT_NEAR(f, 1000, 50) << "rough frequency";
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
