// A recording must survive the program being killed: a file whose trailer
// (and index) was never written still plays as far as it got.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "MediaTools.h"
#include "base/avxxx.h"
#include "support/ChildProcess.h"

extern "C" {
#include <libavutil/log.h>
}

namespace {

TEST(AviRecoveryTest, KilledRecordingStillDecodes) {
  if (!mediatest::HaveTool("ffmpeg") || !mediatest::HaveTool("ffprobe")) GTEST_SKIP();
  av_log_set_level(AV_LOG_ERROR);
  mediatest::TempDir dir;
  const std::string ref = dir.File("ref.mkv");
  ASSERT_TRUE(mediatest::EncodeReference(ref, "-pix_fmt yuvj420p -c:v mjpeg -q:v 8", 320, 240, 4));
  const std::vector<mediatest::Packet> packets = mediatest::ReadVideoPackets(ref);
  ASSERT_EQ(packets.size(), 100u);
  const std::string file = dir.File("killed.avi");

  const int status = testsupport::RunForked([&] {
    avxxx rec;
    if (rec.Open(240, 320, file.c_str(), avxxx::kCodecMjpeg, 500000) != 1) _exit(3);
    std::vector<std::uint8_t> audio(320, 0xFF);
    for (const mediatest::Packet& p : packets) {
      rec.WriteAudio(audio.data(), static_cast<int>(audio.size()));
      rec.WriteVideo(static_cast<int>(p.data.size()), p.data.data(), 1, 40);
    }
    kill(getpid(), SIGKILL);  // no Close, no trailer, no index
    _exit(4);
  });
  ASSERT_NE(status, -1);
  ASSERT_TRUE(WIFSIGNALED(status));

  // Everything up to the last periodic flush (at most a second) is there.
  const std::string out = mediatest::Run(
      "ffprobe -v error -select_streams v:0 -count_frames -show_entries stream=nb_read_frames "
      "-of default=nw=1 '" + file + "' 2>&1");
  const int frames = std::atoi(mediatest::ProbeValue(out, "nb_read_frames").c_str());
  EXPECT_GE(frames, 70) << out;
  const std::string errors =
      mediatest::Run("ffmpeg -nostdin -v error -i '" + file + "' -f null - 2>&1");
  // The only complaint allowed is about the truncated last chunk.
  EXPECT_LE(std::count(errors.begin(), errors.end(), '\n'), 2) << errors;
}

}  // namespace
