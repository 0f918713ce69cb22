// Which file the recorder writes and how long it holds it: it creates its
// file exclusively (a taken name gets a number), never writes into a file
// someone else made, and keeps an exclusive lock on its file from Open to
// Close, released on every way out. The files are judged by ffprobe/ffmpeg.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "MediaTools.h"
#include "base/RecordPaths.h"
#include "base/avxxx.h"
#include "support/ChildProcess.h"

extern "C" {
#include <libavutil/log.h>
}

namespace {

namespace fs = std::filesystem;
using mediatest::DecodeErrors;
using mediatest::Packet;
using mediatest::ProbeValue;

struct Reference {
  const char* name;  // also the reference file's extension
  int codecId;
  const char* options;
};

// As the cameras send them (see AviRecorderTest): Motion JPEG, MPEG-4 with
// its headers out of band, H.264 Baseline as a raw Annex B stream repeating
// its parameter sets.
const Reference kReferences[] = {
    {"mkv", avxxx::kCodecMjpeg, "-pix_fmt yuvj420p -c:v mjpeg -q:v 8"},
    {"m4.mkv", avxxx::kCodecMpeg4, "-c:v mpeg4 -enc_time_base 1:1000 -g 12 -bf 0 -flags +global_header"},
    {"h264", avxxx::kCodecH264,
     "-pix_fmt yuv420p -c:v libx264 -profile:v baseline -bf 0 -g 25 -b:v 300k -x264-params repeat-headers=1"},
};
constexpr int kMjpeg = 0;

std::string Content(const std::string& path) {
  std::ifstream in(fs::path(path), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteText(const std::string& path, const std::string& text) {
  std::ofstream(fs::path(path), std::ios::binary) << text;
}

// Descriptors this process has open.
int OpenDescriptors() {
  int n = 0;
  std::error_code ec;
  for (fs::directory_iterator it("/proc/self/fd", ec), end; !ec && it != end; it.increment(ec)) ++n;
  return n;
}

// Whether a new holder could take the file's exclusive lock right now.
bool CanLock(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool ok = flock(fd, LOCK_EX | LOCK_NB) == 0;
  close(fd);
  return ok;
}

std::vector<std::string> Names(const std::string& dir) {
  std::vector<std::string> out;
  for (const auto& e : fs::directory_iterator(dir)) out.push_back(e.path().filename().string());
  std::sort(out.begin(), out.end());
  return out;
}

class AviFileOwnershipTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    av_log_set_level(AV_LOG_ERROR);
    if (!mediatest::HaveTool("ffmpeg") || !mediatest::HaveTool("ffprobe")) return;
    refs_ = std::make_unique<mediatest::TempDir>();
    for (const Reference& r : kReferences) {
      const std::string file = refs_->File(std::string("ref.") + r.name);
      if (mediatest::EncodeReference(file, r.options, 320, 240, 4)) {
        packets_[&r - kReferences] = mediatest::ReadVideoPackets(file);
      }
    }
  }
  static void TearDownTestSuite() { refs_.reset(); }

  void SetUp() override {
    if (!refs_) GTEST_SKIP() << "ffmpeg/ffprobe not installed";
    for (const auto& p : packets_) ASSERT_EQ(p.size(), 100u);
  }

  static int Frames(const std::string& file) {
    return std::atoi(ProbeValue(mediatest::Run("ffprobe -v error -select_streams v:0 -count_frames -show_entries "
                                               "stream=nb_read_frames -of default=nw=1 '" + file + "' 2>&1"),
                                "nb_read_frames").c_str());
  }
  static std::string Format(const std::string& file) {
    return ProbeValue(mediatest::Run("ffprobe -v error -show_entries format=format_name -of default=nw=1 '" + file +
                                     "' 2>&1"),
                      "format_name");
  }

  mediatest::TempDir out_;
  static std::unique_ptr<mediatest::TempDir> refs_;
  static std::vector<Packet> packets_[3];
};

std::unique_ptr<mediatest::TempDir> AviFileOwnershipTest::refs_;
std::vector<Packet> AviFileOwnershipTest::packets_[3];

// Two instances recording the same pane number into one folder name their
// files alike at the same second. The second recorder takes the next
// number; both files hold all their frames and decode cleanly (the second
// open used to truncate the first file and both wrote into it).
TEST_F(AviFileOwnershipTest, TwoRecordersOnOneName) {
  std::vector<std::uint8_t> audio(320, 0xFF);
  for (int i = 1; i <= 2; ++i) {
    const Reference& r = kReferences[i];
    SCOPED_TRACE(r.name);
    const std::string hour = out_.File(std::to_string(i) + "/VIEWER00/2026_10_25/02");
    ASSERT_TRUE(CreateDirectories(hour));
    const std::string path = AviFilePath(hour, false, LocalTime{2026, 10, 25, 2, 56, 56});
    avxxx first;
    avxxx second;
    ASSERT_EQ(first.Open(240, 320, path.c_str(), r.codecId, avxxx::BitRateForQuality(6)), 1);
    ASSERT_EQ(second.Open(240, 320, path.c_str(), r.codecId, avxxx::BitRateForQuality(6)), 1);
    EXPECT_EQ(first.Path(), path);
    EXPECT_EQ(second.Path(), hour + "/56_56-1.avi");
    for (const Packet& p : packets_[i]) {
      for (avxxx* rec : {&first, &second}) {
        ASSERT_EQ(rec->WriteAudio(audio.data(), static_cast<int>(audio.size())), 1);
        ASSERT_EQ(rec->WriteVideo(static_cast<int>(p.data.size()), p.data.data(), p.key, 40), 1);
      }
    }
    first.Close();
    second.Close();
    EXPECT_EQ(second.Path(), hour + "/56_56-1.avi") << "kept after Close";
    for (const std::string& file : {first.Path(), second.Path()}) {
      SCOPED_TRACE(file);
      EXPECT_EQ(Frames(file), 100);
      EXPECT_EQ(DecodeErrors(file), "");
    }
  }
}

// Names already taken in the hour's folder (the other instance's file, the
// hour the clock repeats at the end of daylight saving, an earlier
// collision): the recording takes the first free number, the extension
// stays last and picks the container, and what was there is untouched. A
// symbolic link counts as taken and is not followed.
TEST_F(AviFileOwnershipTest, TakenNamesGetANumber) {
  struct Case {
    const char* name;
    std::vector<std::string> taken;
    const char* requested;
    const char* opened;
    const char* format;
  };
  const Case cases[] = {
      {"free", {}, "56_56.avi", "56_56.avi", "avi"},
      {"plain", {"56_56.avi"}, "56_56.avi", "56_56-1.avi", "avi"},
      {"alarm", {"MD_56_56.avi", "56_56-1.avi"}, "MD_56_56.avi", "MD_56_56-1.avi", "avi"},
      {"-1 taken as well", {"56_56.avi", "56_56-1.avi"}, "56_56.avi", "56_56-2.avi", "avi"},
      {"only -1 taken", {"56_56-1.avi"}, "56_56.avi", "56_56.avi", "avi"},
      {"QuickTime", {"56_56.mov"}, "56_56.mov", "56_56-1.mov", "mov,mp4,m4a,3gp,3g2,mj2"},
      {"dangling symbolic link", {"@56_56.avi"}, "56_56.avi", "56_56-1.avi", "avi"},
  };
  const Packet& frame = packets_[kMjpeg][0];
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string dir = out_.File(std::string("case ") + std::to_string(&c - cases));
    fs::create_directories(dir);
    for (const std::string& t : c.taken) {
      if (t[0] == '@') {
        fs::create_symlink(dir + "/target", dir + "/" + t.substr(1));
      } else {
        WriteText(dir + "/" + t, "recorded before: " + t);
      }
    }
    avxxx rec;
    ASSERT_EQ(rec.Open(240, 320, (dir + "/" + c.requested).c_str(), avxxx::kCodecMjpeg, 500000), 1);
    EXPECT_EQ(rec.Path(), dir + "/" + c.opened);
    ASSERT_EQ(rec.WriteVideo(static_cast<int>(frame.data.size()), frame.data.data(), 1, 40), 1);
    rec.Close();
    EXPECT_EQ(Format(rec.Path()), c.format);
    EXPECT_EQ(DecodeErrors(rec.Path()), "");
    for (const std::string& t : c.taken) {
      if (t[0] != '@') {
        EXPECT_EQ(Content(dir + "/" + t), "recorded before: " + t) << t;
      }
    }
    EXPECT_FALSE(fs::exists(dir + "/target")) << "followed the link";
  }
}

// The recorder holds an exclusive lock on its file from Open to Close;
// FileIsBeingWritten tells others so, and Close gives the lock and the
// descriptor back.
TEST_F(AviFileOwnershipTest, FileIsLockedWhileOpen) {
  const Packet& frame = packets_[kMjpeg][0];
  const int before = OpenDescriptors();
  avxxx rec;
  ASSERT_EQ(rec.Open(240, 320, out_.File("00_00.avi").c_str(), avxxx::kCodecMjpeg, 500000), 1);
  ASSERT_EQ(rec.WriteVideo(static_cast<int>(frame.data.size()), frame.data.data(), 1, 40), 1);
  EXPECT_TRUE(FileIsBeingWritten(rec.Path()));
  EXPECT_FALSE(CanLock(rec.Path()));
  // Asking does not disturb the writer.
  ASSERT_EQ(rec.WriteVideo(static_cast<int>(frame.data.size()), frame.data.data(), 1, 40), 1);
  rec.Close();
  EXPECT_FALSE(FileIsBeingWritten(rec.Path()));
  EXPECT_TRUE(CanLock(rec.Path()));
  EXPECT_EQ(OpenDescriptors(), before);
  EXPECT_EQ(Frames(rec.Path()), 2);

  // Other holders and files.
  const std::string plain = out_.File("plain.avi");
  WriteText(plain, "x");
  EXPECT_FALSE(FileIsBeingWritten(plain));
  EXPECT_FALSE(FileIsBeingWritten(out_.File("missing.avi")));
  EXPECT_FALSE(FileIsBeingWritten(out_.path()));
  const int holder = open(plain.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(holder, 0);
  ASSERT_EQ(flock(holder, LOCK_EX | LOCK_NB), 0);
  EXPECT_TRUE(FileIsBeingWritten(plain));
  close(holder);
  EXPECT_FALSE(FileIsBeingWritten(plain));
  EXPECT_EQ(OpenDescriptors(), before);
}

// An Open that fails after it created its file removes the file and gives
// its descriptor and lock back; the recorder opens again afterwards.
TEST_F(AviFileOwnershipTest, FailedOpenLeavesNothingBehind) {
  const int before = OpenDescriptors();
  const std::string dir = out_.File("failed");
  fs::create_directories(dir);
  avxxx rec;
  // A WAVE file carries one stream: the header is refused once the file
  // exists.
  EXPECT_EQ(rec.Open(240, 320, (dir + "/00_00.wav").c_str(), avxxx::kCodecMjpeg, 500000), 0);
  EXPECT_EQ(rec.Path(), "");
  EXPECT_EQ(rec.Open(240, 320, (dir + "/no such folder/00_00.avi").c_str(), avxxx::kCodecMjpeg, 500000), 0);
  EXPECT_TRUE(Names(dir).empty());
  EXPECT_EQ(OpenDescriptors(), before);
  EXPECT_FALSE(rec.IsOpen());
  ASSERT_EQ(rec.Open(240, 320, (dir + "/00_00.avi").c_str(), avxxx::kCodecMjpeg, 500000), 1);
  EXPECT_EQ(rec.Path(), dir + "/00_00.avi");
  rec.Close();
  EXPECT_EQ(OpenDescriptors(), before);
}

// A disk that refuses more data (here a file size limit): the writes fail
// and are counted as lost, the recorder stays usable, and Close still gives
// the descriptor and the lock back. In a child process: the limit is
// process-wide.
TEST_F(AviFileOwnershipTest, WriteFailureReleasesTheFile) {
  const std::vector<Packet>& packets = packets_[kMjpeg];
  const std::string file = out_.File("full.avi");
  enum : int { kOk = 0, kOpenFailed = 10, kNeverFailed, kStillLocked, kDescriptorLeft, kNoReason, kWroteOn };
  const int status = testsupport::RunForked([&] {
    signal(SIGXFSZ, SIG_IGN);  // the write fails with EFBIG instead
    const int before = OpenDescriptors();
    const rlimit limit{200 * 1024, 200 * 1024};
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(kOpenFailed);
    avxxx rec;
    if (rec.Open(240, 320, file.c_str(), avxxx::kCodecMjpeg, 500000) != 1) _exit(kOpenFailed);
    bool failed = false;
    for (int round = 0; round < 20 && !failed; ++round) {
      for (const Packet& p : packets) {
        if (rec.WriteVideo(static_cast<int>(p.data.size()), p.data.data(), 1, 40) != 1) {
          failed = true;
          break;
        }
      }
    }
    if (!failed) _exit(kNeverFailed);
    // The reason is kept, and nothing more is tried until the owner closes
    // the file (one log line per failure, not one per frame).
    if (rec.WriteErrno() != EFBIG) _exit(kNoReason);
    const Packet& next = packets.front();
    if (rec.WriteVideo(static_cast<int>(next.data.size()), next.data.data(), 1, 40) != 0) _exit(kWroteOn);
    rec.Close();
    if (FileIsBeingWritten(file) || !CanLock(file)) _exit(kStillLocked);
    if (OpenDescriptors() != before) _exit(kDescriptorLeft);
    _exit(kOk);
  });
  ASSERT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(WEXITSTATUS(status), kOk);
  EXPECT_LE(fs::file_size(file), 200u * 1024u);
}

}  // namespace
