// Repair of recordings a killed process left unfinished: the header parser
// on hand-made byte layouts, and the background service on real recordings
// written by the recorder and cut off by SIGKILL, judged by ffprobe/ffmpeg.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "MediaTools.h"
#include "base/AviRepair.h"
#include "base/avxxx.h"
#include "base/base.h"
#include "support/ChildProcess.h"

extern "C" {
#include <libavutil/log.h>
}

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

// ---- hand-made RIFF layouts -------------------------------------------------

struct Layout {
  bool riffSizeKnown = true;
  std::uint32_t totalFrames = 3;
  std::uint32_t avihSize = 56;
  bool moviSizeKnown = true;
  std::vector<std::uint32_t> chunkSizes = {4};  // '00dc' chunks in 'movi'
  bool index = true;
  bool extension = false;  // a following 'RIFF' 'AVIX'
};

void Tag(Bytes* b, const char* t) {
  for (int i = 0; i < 4; ++i) b->push_back(static_cast<std::uint8_t>(t[i]));
}
void U32(Bytes* b, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b->push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
void Put32(Bytes* b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) (*b)[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

Bytes MakeAvi(const Layout& l) {
  Bytes b;
  Tag(&b, "RIFF");
  U32(&b, 0xFFFFFFFFu);
  Tag(&b, "AVI ");
  Tag(&b, "LIST");
  U32(&b, 4 + 8 + l.avihSize);
  Tag(&b, "hdrl");
  Tag(&b, "avih");
  U32(&b, l.avihSize);
  const std::size_t avih = b.size();
  b.resize(b.size() + l.avihSize, 0);
  if (l.avihSize >= 20) Put32(&b, avih + 16, l.totalFrames);
  Tag(&b, "LIST");
  const std::size_t moviSize = b.size();
  U32(&b, 0xFFFFFFFFu);
  Tag(&b, "movi");
  for (const std::uint32_t n : l.chunkSizes) {
    Tag(&b, "00dc");
    U32(&b, n);
    b.resize(b.size() + n + (n & 1u), 0x5A);
  }
  if (l.moviSizeKnown) Put32(&b, moviSize, static_cast<std::uint32_t>(b.size() - moviSize - 4));
  if (l.index) {
    Tag(&b, "idx1");
    U32(&b, 16);
    b.resize(b.size() + 16, 0);
  }
  if (l.riffSizeKnown) Put32(&b, 4, static_cast<std::uint32_t>(b.size() - 8));
  if (l.extension) {
    Tag(&b, "RIFF");
    U32(&b, 4);
    Tag(&b, "AVIX");
  }
  return b;
}

Layout Killed() {
  Layout l;
  l.riffSizeKnown = false;
  l.totalFrames = 0;
  l.moviSizeKnown = false;
  l.index = false;
  return l;
}

struct HeaderCase {
  const char* name;
  std::function<Bytes()> bytes;
  bool isAvi;
  bool unfinished;
};

Bytes Cut(Bytes b, std::size_t n) {
  b.resize(std::min(n, b.size()));
  return b;
}

TEST(AviHeaderTest, ClassifiesLayouts) {
  const std::vector<HeaderCase> cases = {
      {"finished", [] { return MakeAvi(Layout{}); }, true, false},
      {"killed", [] { return MakeAvi(Killed()); }, true, true},
      {"killed, odd chunk padded", [] { Layout l = Killed(); l.chunkSizes = {3, 5}; return MakeAvi(l); },
       true, true},
      {"finished, odd chunk padded: index found after the pad",
       [] { Layout l; l.totalFrames = 0; l.chunkSizes = {3}; return MakeAvi(l); }, true, false},
      {"killed before the first frame", [] { Layout l = Killed(); l.chunkSizes = {}; return MakeAvi(l); },
       true, false},
      {"killed, first chunk header cut", [] { return Cut(MakeAvi(Killed()), 12 + 12 + 64 + 12 + 6); },
       true, false},
      {"header cut inside avih", [] { return Cut(MakeAvi(Killed()), 12 + 12 + 8 + 30); }, true, false},
      {"avih too short", [] { Layout l = Killed(); l.avihSize = 16; return MakeAvi(l); }, true, false},
      {"frame count written, RIFF size placeholder, no index",
       [] { Layout l = Killed(); l.totalFrames = 7; return MakeAvi(l); }, true, true},
      {"frame count 0, sizes written, no index (cut inside the trailer)",
       [] { Layout l; l.totalFrames = 0; l.index = false; return MakeAvi(l); }, true, true},
      {"first RIFF closed, 'AVIX' follows, frame count 0",
       [] { Layout l; l.totalFrames = 0; l.extension = true; return MakeAvi(l); }, true, true},
      {"finished with 'AVIX'", [] { Layout l; l.extension = true; return MakeAvi(l); }, true, false},
      {"not RIFF", [] { Bytes b = MakeAvi(Killed()); b[3] = 'X'; return b; }, false, false},
      {"RIFF WAVE", [] { Bytes b = MakeAvi(Killed()); b[8] = 'W'; b[9] = 'A'; b[10] = 'V'; b[11] = 'E'; return b; },
       false, false},
      {"hdrl size huge", [] { Bytes b = MakeAvi(Killed()); Put32(&b, 16, 0xFFFFFFF0u); return b; }, true,
       false},
      {"chunk sizes near 4 GiB", [] { Layout l = Killed(); l.chunkSizes = {}; Bytes b = MakeAvi(l);
         Tag(&b, "JUNK"); U32(&b, 0xFFFFFFFEu); return b; }, true, false},
      {"eleven bytes", [] { return Cut(MakeAvi(Killed()), 11); }, false, false},
  };
  for (const HeaderCase& c : cases) {
    SCOPED_TRACE(c.name);
    const Bytes b = c.bytes();
    const AviHeaderInfo info = InspectAviHeader(b.data(), b.size());
    EXPECT_EQ(info.isAvi, c.isAvi);
    EXPECT_EQ(info.Unfinished(), c.unfinished);
  }
}

// A finished file's index lies far beyond the header area: the second,
// bounded read at the end of 'movi' finds it.
TEST(AviHeaderTest, IndexBeyondTheHeaderArea) {
  Layout l;
  l.totalFrames = 0;  // only the index tells it is finished
  l.chunkSizes = {100, 101};
  const Bytes b = MakeAvi(l);
  const std::size_t head = 12 + 12 + 64 + 12 + 8;  // 'movi' and the first chunk header
  AviHeaderInfo info = InspectAviHeader(b.data(), head);
  ASSERT_EQ(info.moviEnd, b.size() - 24);
  EXPECT_TRUE(info.Unfinished());
  InspectAviTail(&info, info.moviEnd + 1, b.data() + info.moviEnd + 1, 20);  // wrong place
  EXPECT_FALSE(info.hasIndex);
  InspectAviTail(&info, info.moviEnd, b.data() + info.moviEnd, 3);  // too short
  EXPECT_FALSE(info.hasIndex);
  InspectAviTail(&info, info.moviEnd, b.data() + info.moviEnd, 8);
  EXPECT_TRUE(info.hasIndex);
  EXPECT_FALSE(info.Unfinished());
}

// ---- real recordings --------------------------------------------------------

constexpr double kWrittenSeconds = 8.0;  // 200 frames of 40 ms

class AviRepairFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!mediatest::HaveTool("ffmpeg") || !mediatest::HaveTool("ffprobe")) GTEST_SKIP();
    av_log_set_level(AV_LOG_ERROR);
    ASSERT_FALSE(dir_.path().empty());
    const std::string ref = dir_.File("ref.mkv");
    ASSERT_TRUE(mediatest::EncodeReference(ref, "-pix_fmt yuvj420p -c:v mjpeg -q:v 8", 320, 240,
                                           static_cast<int>(kWrittenSeconds)));
    packets_ = mediatest::ReadVideoPackets(ref);
    ASSERT_EQ(packets_.size(), 200u);
    fs::remove(ref);
  }

  // Records all packets (and a mu-law block per frame when |codec| has
  // video, only sound otherwise) into |path|; kills the writer before Close
  // when |kill| is set.
  void Record(const std::string& path, bool kill, int codec = avxxx::kCodecMjpeg) {
    fs::create_directories(fs::path(path).parent_path());
    const int status = testsupport::RunForked([&] {
      avxxx rec;
      if (rec.Open(240, 320, path.c_str(), codec, 500000) != 1) _exit(3);
      std::vector<std::uint8_t> audio(320, 0xFF);
      for (const mediatest::Packet& p : packets_) {
        rec.WriteAudio(audio.data(), static_cast<int>(audio.size()));
        if (codec != avxxx::kCodecNone) {
          rec.WriteVideo(static_cast<int>(p.data.size()), p.data.data(), 1, 40);
        }
      }
      if (kill) raise(SIGKILL);  // no Close: no trailer, no index
      rec.Close();
      _exit(0);
    });
    ASSERT_NE(status, -1);
    if (kill) {
      ASSERT_TRUE(WIFSIGNALED(status));
    } else {
      ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
  }

  static Bytes Content(const std::string& path) {
    std::ifstream in(fs::path(path), std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  // Names left in the tree other than the recordings themselves.
  std::vector<std::string> Leftovers() const {
    std::vector<std::string> out;
    for (const auto& e : fs::recursive_directory_iterator(dir_.path())) {
      const std::string n = e.path().filename().string();
      if (n.find(".repair.") != std::string::npos || n.find(".broken.") != std::string::npos) {
        out.push_back(n);
      }
    }
    return out;
  }

  mediatest::TempDir dir_;
  std::vector<mediatest::Packet> packets_;
};

struct ProbeResult {
  double duration = 0;
  int nbFrames = 0;
  std::string decodeErrors;
};

ProbeResult Probe(const std::string& path) {
  ProbeResult r;
  const std::string out = mediatest::Run(
      "ffprobe -v error -select_streams v:0 -show_entries format=duration:stream=nb_frames "
      "-of default=nw=1 '" + path + "' 2>&1");
  r.duration = std::atof(mediatest::ProbeValue(out, "duration").c_str());
  r.nbFrames = std::atoi(mediatest::ProbeValue(out, "nb_frames").c_str());
  r.decodeErrors = mediatest::Run("ffmpeg -nostdin -v error -i '" + path + "' -f null - 2>&1");
  return r;
}

// The service finds killed recordings anywhere under a record directory,
// also below names with spaces and Korean letters and with an upper-case
// extension, and leaves playable files of the length that was written.
TEST_F(AviRepairFixture, ServiceRepairsKilledRecordings) {
  const std::vector<std::string> files = {
      dir_.File("VIEWER00/2026_12_11/01/05_00.avi"),
      dir_.File("녹화 폴더/카메라 1/MD_05_01.AVI"),
      dir_.File("VIEWER01/2026_12_11/01/05_02.avi"),  // ends inside a frame
  };
  for (const std::string& f : files) Record(f, true);
  // The kill usually strikes between two flushes, in the middle of a chunk;
  // a frame cut short must not be copied (the decoder would overread it).
  fs::resize_file(files[2], fs::file_size(files[2]) - 3000);
  for (const std::string& f : files) {
    ASSERT_TRUE(AviNeedsRepair(f)) << f;
    EXPECT_EQ(Probe(f).nbFrames, 0) << "the killed file's header claims no frames";
  }

  AviRepairService service;
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(service.Start({dir_.path()}, 0));
  ASSERT_TRUE(service.Wait(240000));
  const double ms =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  EXPECT_EQ(service.Checked(), 3);
  EXPECT_EQ(service.Repaired(), 3);
  EXPECT_EQ(service.Failed(), 0);

  for (const std::string& f : files) {
    SCOPED_TRACE(f);
    EXPECT_FALSE(AviNeedsRepair(f));
    const ProbeResult p = Probe(f);
    // Everything up to the last flush (at most a second) is recovered.
    EXPECT_GE(p.duration, kWrittenSeconds - 1.2);
    EXPECT_LE(p.duration, kWrittenSeconds + 0.1);
    EXPECT_GT(p.nbFrames, 150);
    EXPECT_EQ(p.decodeErrors, "");
    const std::string audio = mediatest::Run(
        "ffprobe -v error -select_streams a:0 -show_entries stream=codec_name -of default=nw=1 '" +
        f + "' 2>&1");
    EXPECT_EQ(mediatest::ProbeValue(audio, "codec_name"), "pcm_mulaw");
    std::printf("[ figures  ] written %.2f s, recovered %.2f s, %d frames\n", kWrittenSeconds,
                p.duration, p.nbFrames);
  }
  std::printf("[ figures  ] repair of %zu files: %.0f ms (%.0f ms per file)\n", files.size(), ms,
              ms / static_cast<double>(files.size()));
  EXPECT_TRUE(Leftovers().empty());

  // A second start finds nothing left to do.
  AviRepairService again;
  ASSERT_TRUE(again.Start({dir_.path()}, 0));
  ASSERT_TRUE(again.Wait(240000));
  EXPECT_EQ(again.Repaired(), 0);
  EXPECT_EQ(again.Failed(), 0);
}

// Files that must come out byte for byte as they went in.
struct LeaveCase {
  const char* name;
  std::function<void(AviRepairFixture*, const std::string&)> make;
  int minAgeSeconds;
  int failed;
  int skippedRecent;
};

class AviRepairLeaveAlone : public AviRepairFixture {
 public:
  void RecordFor(const std::string& path, bool kill, int codec = avxxx::kCodecMjpeg) {
    Record(path, kill, codec);
  }
  // Holds the lock a repair takes, as another instance repairing the file.
  void HoldLock(const std::string& path) {
    heldLock_ = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(heldLock_, 0);
    ASSERT_EQ(flock(heldLock_, LOCK_EX | LOCK_NB), 0);
  }
  void ReleaseLock() {
    if (heldLock_ >= 0) close(heldLock_);
    heldLock_ = -1;
  }
  void TearDown() override { ReleaseLock(); }

 private:
  int heldLock_ = -1;
};

void WriteBytes(const std::string& path, const Bytes& b) {
  std::ofstream out(fs::path(path), std::ios::binary);
  out.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

TEST_F(AviRepairLeaveAlone, FilesLeftByteIdentical) {
  using F = AviRepairLeaveAlone;
  const std::vector<LeaveCase> cases = {
      {"finished recording", [](AviRepairFixture* t, const std::string& p) {
         static_cast<F*>(t)->RecordFor(p, false); }, 0, 0, 0},
      {"killed recording newer than the minimum age", [](AviRepairFixture* t, const std::string& p) {
         static_cast<F*>(t)->RecordFor(p, true); }, 3600, 0, 1},
      {"killed recording another instance is repairing", [](AviRepairFixture* t, const std::string& p) {
         static_cast<F*>(t)->RecordFor(p, true);
         static_cast<F*>(t)->HoldLock(p); }, 0, 0, 0},
      {"garbage named .avi", [](AviRepairFixture*, const std::string& p) {
         Bytes b(5000);
         for (std::size_t i = 0; i < b.size(); ++i) b[i] = static_cast<std::uint8_t>(i * 7 + 3);
         WriteBytes(p, b); }, 0, 0, 0},
      {"killed recording cut inside its header", [](AviRepairFixture* t, const std::string& p) {
         static_cast<F*>(t)->RecordFor(p, true);
         fs::resize_file(p, 2000); }, 0, 0, 0},
      // Sound only: nothing to repair into a recording; the attempt fails
      // and the original stays.
      {"killed sound-only recording", [](AviRepairFixture* t, const std::string& p) {
         static_cast<F*>(t)->RecordFor(p, true, avxxx::kCodecNone); }, 0, 1, 0},
      {"killed before the first frame", [](AviRepairFixture*, const std::string& p) {
         const int status = testsupport::RunForked([&] {
           avxxx rec;
           if (rec.Open(240, 320, p.c_str(), avxxx::kCodecMjpeg, 500000) == 1) raise(SIGKILL);
           _exit(3);
         });
         ASSERT_TRUE(WIFSIGNALED(status)); }, 0, 0, 0},
  };
  for (const LeaveCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string sub = dir_.File(std::string("case ") + std::to_string(&c - cases.data()));
    fs::create_directories(sub);
    const std::string file = sub + "/00_00.avi";
    c.make(this, file);
    const Bytes before = Content(file);
    AviRepairService service;
    ASSERT_TRUE(service.Start({sub}, c.minAgeSeconds));
    ASSERT_TRUE(service.Wait(240000));
    EXPECT_EQ(service.Checked(), 1);
    EXPECT_EQ(service.SkippedRecent(), c.skippedRecent);
    EXPECT_EQ(service.Repaired(), 0);
    EXPECT_EQ(service.Failed(), c.failed);
    EXPECT_TRUE(Content(file) == before) << "changed";
    EXPECT_TRUE(Leftovers().empty());
    ReleaseLock();
  }
}

std::string LogText(const std::string& log) {
  // The log is UTF-16LE; the lines looked for are ASCII.
  std::ifstream in(fs::path(log), std::ios::binary);
  std::string text;
  for (std::istreambuf_iterator<char> it(in), end; it != end; ++it) {
    if (*it != 0) text.push_back(*it);
  }
  return text;
}

ino_t Inode(const std::string& path) {
  struct stat st{};
  return stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

// Another instance's recording that pauses (or is slow) looks like a killed
// one: unfinished and older than the minimum age. Its recorder holds the
// file's lock, so the repair leaves it alone and says so, while a killed
// recording beside it is repaired; the recording then goes on and ends as a
// whole file.
TEST_F(AviRepairFixture, FileBeingRecordedIsLeftAlone) {
  const std::string killed = dir_.File("VIEWER00/2026_12_11/01/05_00.avi");
  Record(killed, true);
  const std::string live = dir_.File("VIEWER01/2026_12_11/01/05_00.avi");
  fs::create_directories(fs::path(live).parent_path());
  std::vector<std::uint8_t> audio(320, 0xFF);
  avxxx rec;
  ASSERT_EQ(rec.Open(240, 320, live.c_str(), avxxx::kCodecMjpeg, 500000), 1);
  const auto write = [&](std::size_t from, std::size_t to) {
    for (std::size_t i = from; i < to; ++i) {
      ASSERT_EQ(rec.WriteAudio(audio.data(), static_cast<int>(audio.size())), 1);
      ASSERT_EQ(rec.WriteVideo(static_cast<int>(packets_[i].data.size()), packets_[i].data.data(), 1, 40), 1);
    }
  };
  write(0, 100);  // four seconds, pushed to the file every second
  ASSERT_TRUE(AviNeedsRepair(live)) << "the paused recording looks unfinished";
  const Bytes liveBefore = Content(live);
  const ino_t liveInode = Inode(live);

  fs::create_directories(dir_.File("logs"));
  const std::string log = SetLogFileName(0, dir_.File("logs"));
  SetLogEnabled(true);
  AviRepairService service;
  ASSERT_TRUE(service.Start({dir_.File("VIEWER00"), dir_.File("VIEWER01")}, 0));
  ASSERT_TRUE(service.Wait(240000));
  SetLogEnabled(false);
  EXPECT_EQ(service.Checked(), 2);
  EXPECT_EQ(service.Repaired(), 1);
  EXPECT_EQ(service.SkippedBusy(), 1);
  EXPECT_EQ(service.Failed(), 0);
  EXPECT_EQ(Inode(live), liveInode) << "replaced under its writer";
  EXPECT_TRUE(Content(live) == liveBefore) << "changed under its writer";
  const std::string text = LogText(log);
  EXPECT_NE(text.find("AVI repair skipped, " + live + " is locked"), std::string::npos) << text;
  EXPECT_TRUE(Leftovers().empty());

  write(100, packets_.size());
  rec.Close();
  const ProbeResult whole = Probe(live);
  EXPECT_NEAR(whole.duration, kWrittenSeconds, 0.1);
  EXPECT_EQ(whole.decodeErrors, "");
  EXPECT_FALSE(AviNeedsRepair(killed));
  const ProbeResult repaired = Probe(killed);
  EXPECT_GE(repaired.duration, kWrittenSeconds - 1.2);
  EXPECT_EQ(repaired.decodeErrors, "");
}

// Two repairs of one file at once (two instances started together): the
// lock lets one of them replace it; the other finds it locked or already
// repaired, and nothing is left beside it.
TEST_F(AviRepairFixture, TwoRepairsOfOneFile) {
  const std::string file = dir_.File("10_00.avi");
  Record(file, true);
  AviRepairResult results[2] = {};
  std::thread other([&] { results[1] = RepairAvi(file); });
  results[0] = RepairAvi(file);
  other.join();
  EXPECT_EQ(std::count(std::begin(results), std::end(results), AviRepairResult::kRepaired), 1);
  for (const AviRepairResult r : results) {
    EXPECT_TRUE(r == AviRepairResult::kRepaired || r == AviRepairResult::kBusy ||
                r == AviRepairResult::kNotNeeded);
  }
  EXPECT_FALSE(AviNeedsRepair(file));
  EXPECT_EQ(Probe(file).decodeErrors, "");
  EXPECT_TRUE(Leftovers().empty());
}

// What a repair cut short by a kill leaves behind, found at the next start.
struct LeftoverCase {
  const char* name;
  bool original;           // "05_00.avi": 0 absent, 1 present
  bool originalFinished;   // ... as a finished recording, else a killed one
  bool temp;               // "05_00.repair.avi" present (a half-written copy)
  int repaired;
  int failed;
  bool brokenKept;         // "05_00.broken.avi" still there afterwards
};

TEST_F(AviRepairFixture, RepairCutShortIsCompletedAtTheNextStart) {
  const std::vector<LeftoverCase> cases = {
      {"killed between the renames", false, false, true, 1, 0, false},
      {"killed between the renames, temporary file gone", false, false, false, 1, 0, false},
      {"killed before removing the original", true, true, false, 0, 0, false},
      {"original beside an unfinished file", true, false, false, 0, 1, true},
  };
  for (const LeftoverCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string sub = dir_.File(std::string("left ") + std::to_string(&c - cases.data()));
    const std::string file = sub + "/05_00.avi";
    const std::string broken = sub + "/05_00.broken.avi";
    Record(broken, true);
    if (c.original) Record(file, !c.originalFinished);
    if (c.temp) WriteBytes(sub + "/05_00.repair.avi", Bytes(3000, 7));
    const Bytes brokenBefore = Content(broken);
    const Bytes fileBefore = c.original ? Content(file) : Bytes();

    AviRepairService service;
    ASSERT_TRUE(service.Start({sub}, 0));
    ASSERT_TRUE(service.Wait(240000));
    EXPECT_EQ(service.Repaired(), c.repaired);
    EXPECT_EQ(service.Failed(), c.failed);
    ASSERT_TRUE(fs::exists(file));
    EXPECT_EQ(fs::exists(broken), c.brokenKept);
    if (c.brokenKept) {
      EXPECT_TRUE(Content(broken) == brokenBefore);
    }
    if (c.original && (c.originalFinished || c.failed > 0)) {
      EXPECT_TRUE(Content(file) == fileBefore);
    }
    if (!c.original) {
      EXPECT_FALSE(AviNeedsRepair(file));
      const ProbeResult p = Probe(file);
      EXPECT_GE(p.duration, kWrittenSeconds - 1.2);
      EXPECT_EQ(p.decodeErrors, "");
    }
    EXPECT_FALSE(fs::exists(sub + "/05_00.repair.avi"));
  }
}

// RepairAvi on its own: a stale temporary file of an interrupted repair is
// replaced, a left ".broken" copy (maybe the only one) blocks the repair,
// and a repaired file needs no second repair.
TEST_F(AviRepairFixture, RepairInPlace) {
  const std::string file = dir_.File("a b/10_00.avi");
  Record(file, true);
  WriteBytes(dir_.File("a b/10_00.repair.avi"), Bytes(100, 1));
  WriteBytes(dir_.File("a b/10_00.broken.avi"), Bytes(100, 2));
  const Bytes before = Content(file);
  EXPECT_EQ(RepairAvi(file), AviRepairResult::kFailed);
  EXPECT_TRUE(Content(file) == before);
  fs::remove(dir_.File("a b/10_00.broken.avi"));

  AviRepairStats stats;
  EXPECT_EQ(RepairAvi(file, &stats), AviRepairResult::kRepaired);
  EXPECT_GT(stats.frames, 150);
  EXPECT_GT(stats.seconds, kWrittenSeconds - 1.2);
  EXPECT_TRUE(Leftovers().empty());
  EXPECT_EQ(RepairAvi(file), AviRepairResult::kNotNeeded);
  EXPECT_EQ(RepairAvi(dir_.File("missing.avi")), AviRepairResult::kNotNeeded);
}

// Stop ends the walk early and joins; the destructor of a running service
// does the same.
TEST_F(AviRepairFixture, StopJoins) {
  for (int i = 0; i < 3; ++i) Record(dir_.File("s/0" + std::to_string(i) + "_00.avi"), true);
  {
    AviRepairService service;
    ASSERT_TRUE(service.Start({dir_.path()}, 0));
    EXPECT_FALSE(service.Start({dir_.path()}, 0));
    service.Stop();
    EXPECT_LE(service.Repaired() + service.Failed(), 3);
    EXPECT_EQ(service.Failed(), 0);
    EXPECT_TRUE(Leftovers().empty());
  }
  AviRepairService running;
  ASSERT_TRUE(running.Start({dir_.path(), dir_.File("does not exist")}, 0));
}

// The walk's log: a pane's folder that was never made (nothing recorded
// yet) is passed over without a line; a path it cannot walk is logged.
TEST_F(AviRepairFixture, LogsUnwalkableFoldersOnly) {
  WriteBytes(dir_.File("not a folder"), Bytes(10, 0));
  const std::string log = SetLogFileName(0, dir_.File("logs"));
  fs::create_directories(dir_.File("logs"));
  SetLogEnabled(true);
  AviRepairService service;
  ASSERT_TRUE(service.Start({dir_.File("never made"), dir_.File("not a folder")}, 0));
  ASSERT_TRUE(service.Wait(10000));
  SetLogEnabled(false);
  // The log is UTF-16LE; these lines are ASCII.
  std::string text;
  for (unsigned char c : Content(log)) {
    if (c != 0) text.push_back(static_cast<char>(c));
  }
  EXPECT_EQ(text.find("never made"), std::string::npos) << text;
  EXPECT_NE(text.find("not a folder"), std::string::npos) << text;
}

}  // namespace
