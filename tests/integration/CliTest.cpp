// tessora-cli against camsim, end to end: sign-in results through probe, and
// AVI recordings through record, checked with ffprobe/ffmpeg rather than by
// reading our own bytes back. One camsim process serves the whole file.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "support/Camsim.h"
#include "support/ChildProcess.h"

namespace {

using testsupport::ChildProcess;
using testsupport::Outcome;

// Sanitizer builds: a report from any child fails the test even when the
// exit status was the expected one.
Outcome Finish(ChildProcess& child, int ms) {
  Outcome o = child.Finish(ms);
  if (testsupport::SanitizerReport(o.out)) ADD_FAILURE() << o.out;
  return o;
}

Outcome RunTool(const std::vector<std::string>& argv, int ms = 60000) {
  ChildProcess child(argv);
  return Finish(child, ms);
}

// camsim with three cameras (H.264, MPEG-4, Motion JPEG) and a scratch
// directory, for the whole file.
class CliTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = std::filesystem::temp_directory_path() / ("tessora-cli-test-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir_);
    auto sim = std::make_unique<testsupport::Camsim>(CAMSIM_BIN);
    testsupport::CamsimOptions options;
    options.admin = false;
    if (sim->Start(dir_.string(), options)) camsim_ = std::move(sim);
  }
  static void TearDownTestSuite() {
    if (camsim_ != nullptr) {
      camsim_->Stop();
      if (testsupport::SanitizerReport(testsupport::ReadText(camsim_->LogFile()))) {
        ADD_FAILURE() << testsupport::ReadText(camsim_->LogFile());
      }
      camsim_.reset();
    }
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }
  void SetUp() override { ASSERT_NE(camsim_, nullptr) << "camsim did not start"; }

  static std::string Host(int camera) { return camsim_->Host(camera); }
  static std::string Path(const std::string& name) { return (dir_ / name).string(); }
  static std::vector<std::string> Record(int camera, const std::string& file, int seconds, bool audio) {
    return RecordFrom(Host(camera), file, seconds, audio);
  }
  static std::vector<std::string> RecordFrom(const std::string& host, const std::string& file, int seconds,
                                             bool audio) {
    // --progress: the progress line also into the test's pipe, to follow the run.
    std::vector<std::string> argv{CLI_BIN, "record", host, "-u", "admin", "-p", "admin",
                                  "--seconds", std::to_string(seconds), "--progress"};
    if (audio) argv.push_back("--audio");
    argv.push_back(Path(file));
    return argv;
  }

  static std::unique_ptr<testsupport::Camsim> camsim_;
  static std::filesystem::path dir_;
};

std::unique_ptr<testsupport::Camsim> CliTest::camsim_;
std::filesystem::path CliTest::dir_;

// "key=value" lines of ffprobe for one stream type; empty when there is none.
std::string Probe(const std::string& file, const char* stream) {
  const Outcome o = RunTool({FFPROBE_BIN, "-v", "error", "-count_packets", "-select_streams", stream, "-show_entries",
                         "stream=codec_name,nb_read_packets:format=duration", "-of", "default=nw=1", file});
  return o.status == 0 ? o.out : "ffprobe failed: " + o.out;
}

std::string Field(const std::string& text, const std::string& key) {
  const auto at = text.find(key + "=");
  if (at == std::string::npos) return {};
  const auto end = text.find('\n', at);
  return text.substr(at + key.size() + 1, end - at - key.size() - 1);
}

// Video codec, duration about |seconds| and a silent decode of everything
// selected by |map|.
void ExpectRecording(const std::string& file, const std::string& codec, double seconds, const char* map) {
  SCOPED_TRACE(file);
  const std::string video = Probe(file, "v");
  EXPECT_EQ(Field(video, "codec_name"), codec) << video;
  const double duration = std::atof(Field(video, "duration").c_str());
  EXPECT_NEAR(duration, seconds, 1.5) << video;
  EXPECT_GE(std::atoi(Field(video, "nb_read_packets").c_str()), 25) << video;
  const Outcome decode = RunTool({FFMPEG_BIN, "-nostdin", "-v", "error", "-i", file, "-map", map, "-f", "null", "-"});
  EXPECT_EQ(decode.status, 0);
  EXPECT_EQ(decode.out, "");
}

// The parameter sets in a file's first video packet: H.264 SPS NAL units
// (type 7) or MPEG-4 VOL headers (start codes 00 00 01 20..2F), and the byte
// after the first one's header (an SPS's profile_idc).
struct ParameterSets {
  int count = 0;
  int firstByte = -1;
};

ParameterSets FirstPacketSets(const std::string& file, bool h264) {
  const Outcome o = RunTool({FFMPEG_BIN, "-nostdin", "-v", "quiet", "-i", file, "-map", "0:v:0", "-c", "copy",
                             "-frames:v", "1", "-f", "data", "-"});
  const std::string& d = o.out;
  ParameterSets sets;
  for (std::size_t i = 0; i + 4 < d.size(); ++i) {
    if (d[i] != 0 || d[i + 1] != 0 || d[i + 2] != 1) continue;
    const auto code = static_cast<unsigned char>(d[i + 3]);
    const bool set = h264 ? (code & 0x1F) == 7 : code >= 0x20 && code <= 0x2F;
    if (!set) continue;
    if (sets.count++ == 0) sets.firstByte = static_cast<unsigned char>(d[i + 4]);
  }
  return sets;
}

TEST_F(CliTest, ProbeSignsInAndReportsEachCamerasFormat) {
  const struct {
    int camera;
    const char* video;
  } cases[] = {
      {0, "video: H.264 (VCODEC 2), 640x480"},
      {1, "video: MPEG-4 (VCODEC 1), 640x480"},
      {2, "video: Motion JPEG (VCODEC 0), 640x480"},
  };
  for (const auto& c : cases) {
    const Outcome o = RunTool({CLI_BIN, "probe", Host(c.camera), "-u", "admin", "-p", "admin"});
    EXPECT_EQ(o.status, 0) << o.out;
    EXPECT_NE(o.out.find("signed in to " + Host(c.camera)), std::string::npos) << o.out;
    EXPECT_NE(o.out.find("group: 0"), std::string::npos) << o.out;
    EXPECT_NE(o.out.find(c.video), std::string::npos) << o.out;
  }
}

TEST_F(CliTest, RefusalsAndUnreachableCamerasFailWithAMessage) {
  const Outcome refused = RunTool({CLI_BIN, "probe", Host(0), "-u", "admin", "-p", "wrong"});
  EXPECT_EQ(refused.status, 1) << refused.out;
  EXPECT_NE(refused.out.find("sign-in refused: 502"), std::string::npos) << refused.out;

  // The port after the last camera has no listener.
  for (const char* command : {"probe", "record"}) {
    std::vector<std::string> argv{CLI_BIN, command, Host(3), "-u", "admin", "-p", "admin"};
    if (std::string(command) == "record") argv.insert(argv.end(), {"--seconds", "2", Path("none.avi")});
    const Outcome closed = RunTool(argv, 30000);
    EXPECT_EQ(closed.status, 1) << closed.out;
    EXPECT_NE(closed.out.find("error: cannot connect to " + Host(3)), std::string::npos) << closed.out;
    EXPECT_LT(closed.seconds, 10.0);
  }
  EXPECT_FALSE(std::filesystem::exists(Path("none.avi")));

  const Outcome noSeconds = RunTool({CLI_BIN, "record", Host(0), "-u", "admin", "-p", "admin", Path("x.avi")});
  EXPECT_EQ(noSeconds.status, 2) << noSeconds.out;
}

// All three cameras at once: video only, then with the camera's sound.
TEST_F(CliTest, RecordWritesPlayableAviForEachCodec) {
  const char* codecs[] = {"h264", "mpeg4", "mjpeg"};
  for (const bool audio : {false, true}) {
    std::vector<std::unique_ptr<ChildProcess>> runs;
    for (int camera = 0; camera < 3; ++camera) {
      const std::string name = std::string(codecs[camera]) + (audio ? "-audio.avi" : ".avi");
      runs.push_back(std::make_unique<ChildProcess>(Record(camera, name, 4, audio)));
    }
    for (int camera = 0; camera < 3; ++camera) {
      const std::string file = Path(std::string(codecs[camera]) + (audio ? "-audio.avi" : ".avi"));
      const Outcome o = Finish(*runs[camera], 60000);
      ASSERT_EQ(o.status, 0) << o.out;
      EXPECT_NE(o.out.find("recording: 4/4 s"), std::string::npos) << o.out;
      EXPECT_NE(o.out.find("saved " + file), std::string::npos) << o.out;
      if (!audio) {
        ExpectRecording(file, codecs[camera], 4.0, "0");
        continue;
      }
      // The sound: a mu-law stream with about the video's length (a 40 ms
      // block is 320 samples).
      const std::string sound = Probe(file, "a");
      EXPECT_EQ(Field(sound, "codec_name"), "pcm_mulaw") << sound;
      EXPECT_GE(std::atoi(Field(sound, "nb_read_packets").c_str()), 1) << sound;
      const Outcome decode =
          RunTool({FFMPEG_BIN, "-nostdin", "-v", "error", "-i", file, "-map", "0:a", "-f", "null", "-"});
      EXPECT_EQ(decode.out, "") << file;
      const Outcome samples = RunTool({FFPROBE_BIN, "-v", "error", "-select_streams", "a", "-show_entries",
                                   "packet=size", "-of", "csv=p=0", file});
      long bytes = 0;
      for (std::size_t at = 0; at < samples.out.size();) {
        bytes += std::atol(samples.out.c_str() + at);
        const auto nl = samples.out.find('\n', at);
        at = nl == std::string::npos ? samples.out.size() : nl + 1;
      }
      EXPECT_NEAR(bytes / 8000.0, 4.0, 1.5) << file;
      // The pictures with sound: codec and length (decoding is checked on
      // the video-only files, whose clock is not pulled by the sound).
      const std::string video = Probe(file, "v");
      EXPECT_EQ(Field(video, "codec_name"), codecs[camera]) << video;
      EXPECT_NEAR(std::atof(Field(video, "duration").c_str()), 4.0, 1.5) << video;
    }
  }
}

TEST_F(CliTest, InterruptedRecordingLeavesAValidFile) {
  // SIGINT on pictures only; SIGTERM while the sound is being written too.
  for (const int signo : {SIGINT, SIGTERM}) {
    const bool audio = signo == SIGTERM;
    const std::string file = Path(audio ? "terminated.avi" : "interrupted.avi");
    ChildProcess run(Record(1, file, 60, audio));
    ASSERT_TRUE(run.WaitFor("recording: 2/60 s", 30000)) << run.Output();
    ASSERT_TRUE(run.Signal(signo));
    const Outcome o = Finish(run, 20000);
    EXPECT_EQ(o.status, 0) << o.out;
    EXPECT_NE(o.out.find("stopped by signal " + std::to_string(signo)), std::string::npos) << o.out;
    EXPECT_LT(o.seconds, 30.0);
    ExpectRecording(file, "mpeg4", 2.5, audio ? "0:a" : "0");
    if (audio) {
      EXPECT_EQ(Field(Probe(file, "a"), "codec_name"), "pcm_mulaw");
    }
  }
}

// Cameras whose key frames carry their own parameter sets, unlike the
// viewer's built-in ones (camsim --own-params): each file's first key frame
// holds the camera's set alone (one SPS, the camera's Main profile; one VOL),
// and the file decodes silently.
TEST_F(CliTest, RecordingFromCameraWithOwnParameterSetsHoldsOnlyThose) {
  const std::filesystem::path dir = dir_ / "own-params";
  std::filesystem::create_directories(dir);
  testsupport::Camsim sim(CAMSIM_BIN);
  testsupport::CamsimOptions options;
  options.cameras = 2;  // H.264, MPEG-4
  options.admin = false;
  options.extra = {"--own-params"};
  ASSERT_TRUE(sim.Start(dir.string(), options)) << testsupport::ReadText(sim.LogFile());
  const struct {
    const char* codec;
    int profile;  // H.264 profile_idc of the camera's SPS; -1 for MPEG-4
  } cases[] = {{"h264", 77}, {"mpeg4", -1}};
  std::vector<std::unique_ptr<ChildProcess>> runs;
  for (int camera = 0; camera < 2; ++camera) {
    const std::string file = Path(std::string("own-") + cases[camera].codec + ".avi");
    runs.push_back(std::make_unique<ChildProcess>(RecordFrom(sim.Host(camera), file, 4, false)));
  }
  for (int camera = 0; camera < 2; ++camera) {
    const std::string file = Path(std::string("own-") + cases[camera].codec + ".avi");
    SCOPED_TRACE(file);
    const Outcome o = Finish(*runs[camera], 60000);
    ASSERT_EQ(o.status, 0) << o.out;
    ExpectRecording(file, cases[camera].codec, 4.0, "0");
    const ParameterSets sets = FirstPacketSets(file, cases[camera].profile >= 0);
    EXPECT_EQ(sets.count, 1);
    if (cases[camera].profile >= 0) {
      EXPECT_EQ(sets.firstByte, cases[camera].profile);
    }
  }
  sim.Stop();
  EXPECT_FALSE(testsupport::SanitizerReport(testsupport::ReadText(sim.LogFile())));
}

}  // namespace
