// tessora-viewer minimised under a window manager while its first pane
// records, on a virtual display: four panes signed in to four simulated
// cameras, pane 0 with its stored manual recording on (one file a minute).
// A click on the title bar's minimise button must take the window off the
// screen (iconified, or hidden into the tray), the three other panes must
// stop their cameras' video and pane 0 must keep it: its file of the next
// whole minute holds a minute of the camera's pictures. A second instance
// then records the same camera into the same folder at the same time: every
// file of either is whole, and the two never write the same file. Brought
// back as a task bar does it, the window starts the three cameras' video
// again.
// Xvfb, openbox, PulseAudio, camsim and both viewers are children of this
// test, stopped by PID.
#include <fcntl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "E2eSupport.h"
#include "base/base.h"

namespace {

using namespace e2e;
using testsupport::ChildProcess;

constexpr int kPanes = 4;
constexpr int kFps = 25;  // camsim's cameras
constexpr int kMinuteFrames = 60 * kFps;
// A file runs from the pane's once-a-second tick after one minute turns to
// the tick after the next and begins with the key frame asked for at the
// turn; its pictures span up to half a second less than that (3 to 20
// fewer than a minute's measured here), and the ticks' own delays move the
// ends. Within a second's pictures, then; a pane whose video was stopped
// misses the rest of the minute.
constexpr int kFrameTolerance = kFps;
constexpr const char* kTitle = "TessoraViewer_5.00 #0";
// A file this long holds pictures: more than its header and one key frame
// of camsim's 640 x 480 pictures.
constexpr std::uintmax_t kSomePictures = 128 * 1024;

// One pane's stored sign-in: settings key "Viewer<key>", camsim's camera
// on |port|, the user's own name as password, and the manual recording of
// one file a minute into the record folder when |record|.
struct PaneSettings {
  int key;
  int port;
  std::string user;
  bool record;
};

void WriteSettings(const fs::path& file, const std::vector<PaneSettings>& panes, const fs::path& recordDir) {
  fs::create_directories(file.parent_path());
  std::ofstream f(file);
  f << "[Global]\nLayout\\X=2\nLayout\\Y=2\n\n";
  for (const PaneSettings& p : panes) {
    char section[24];
    std::snprintf(section, sizeof section, "[Viewer%02d]\n", p.key);
    f << section << "Signin\\Url=127.0.0.1\nSignin\\Tlp=" << p.port << "\nSignin\\Id=" << p.user
      << "\nSignin\\Pw=" << ScrambleText(p.user) << "\nSignin\\VrAlias=cam" << p.key << "\n";
    if (p.record) {
      f << "Record\\Enable=1\nRecord\\Interval=0\nRecord\\Period=1\nRecord\\Dir=" << recordDir.string() << "\n";
    }
    f << "\n";
  }
}

// The recordings below |root| that process |pid| has open for writing now
// (its descriptors in /proc); the start-up repair's copies are left out.
std::vector<std::string> WrittenRecordings(pid_t pid, const std::string& root) {
  std::vector<std::string> out;
  const fs::path proc = "/proc/" + std::to_string(pid);
  std::error_code ec;
  for (const fs::directory_entry& fd : fs::directory_iterator(proc / "fd", ec)) {
    std::error_code gone;
    const std::string target = fs::read_symlink(fd.path(), gone).string();
    if (gone || target.rfind(root, 0) != 0 || !target.ends_with(".avi") || target.ends_with(".repair.avi")) continue;
    const std::string info = ReadText(proc / "fdinfo" / fd.path().filename());
    const std::size_t at = info.find("flags:");
    if (at == std::string::npos) continue;
    const long flags = std::strtol(info.c_str() + at + 6, nullptr, 8);
    if ((flags & O_ACCMODE) != O_RDONLY) out.push_back(target);
  }
  return out;
}

// The files one viewer process wrote, in the order they were first seen.
struct Writer {
  std::string name;
  pid_t pid = -1;
  std::vector<std::string> files;
  void Look(const std::string& root) {
    for (const std::string& f : WrittenRecordings(pid, root)) {
      if (std::find(files.begin(), files.end(), f) == files.end()) files.push_back(f);
    }
  }
};

// A file's hour folder and minute ("…/2026_12_11/13/56"): files of one
// minute have it in common whatever their seconds and suffixes.
std::string MinuteOf(const std::string& path) {
  const fs::path p(path);
  return (p.parent_path() / p.filename().string().substr(0, 2)).string();
}

// Whether the AVI's RIFF size is the file's: the recorder writes it when it
// finishes the file, and a file another writer truncated or rewrote has
// another size.
bool RiffComplete(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  unsigned char head[12] = {};
  if (!in.read(reinterpret_cast<char*>(head), sizeof head)) return false;
  const std::uintmax_t riff = head[4] | (head[5] << 8) | (head[6] << 16) | (static_cast<std::uintmax_t>(head[7]) << 24);
  std::error_code ec;
  return std::string(reinterpret_cast<char*>(head), 4) == "RIFF" && riff + 8 == fs::file_size(file, ec);
}

int ShellValue(const std::string& out, const std::string& key) {
  const std::size_t at = out.find(key + "=");
  return at == std::string::npos ? -1 : std::atoi(out.c_str() + at + key.size() + 1);
}

std::string Trimmed(std::string s) {
  while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' ')) s.pop_back();
  return s;
}

class MinimiseRecordTest : public ViewerFixture {
 protected:
  void TearDown() override {
    if (second_) second_->Stop();
    if (HasFailure()) std::printf("second viewer log:\n%s\n", ReadText(dir_ / "viewer1.log").c_str());
    ViewerFixture::TearDown();
  }

  // Looks every 200 ms until |done| holds or |seconds| pass.
  template <typename Done>
  bool Until(double seconds, Done done) {
    const auto start = Clock::now();
    while (!done()) {
      if (Since(start) > seconds) return false;
      Pause(200);
    }
    return true;
  }

  int VideoCommands(const char* method, int camera) const {
    const std::string needle = std::string("\"MTD\":\"") + method + "\"";
    return camsim_->CountEvents({"\"CLS\":\"VIDEO\"", needle.c_str()}, camera);
  }

  // Frames ffprobe decodes in the file's video, -1 when it cannot tell.
  static int DecodedFrames(const std::string& file) {
    ChildProcess probe({FFPROBE_BIN, "-v", "error", "-select_streams", "v:0", "-count_frames", "-show_entries",
                        "stream=nb_read_frames", "-of", "csv=p=0", file});
    const std::string out = Trimmed(probe.Finish(60000).out);
    const std::size_t line = out.find_last_of('\n');
    const std::string last = line == std::string::npos ? out : out.substr(line + 1);
    return last.empty() || last.find_first_not_of("0123456789") != std::string::npos ? -1 : std::atoi(last.c_str());
  }

  std::unique_ptr<ChildProcess> second_;
};

TEST_F(MinimiseRecordTest, RecordingPaneKeepsItsVideoWhenMinimisedAndTwoInstancesShareItsFolder) {
  const struct {
    const char* path;
    const char* name;
  } tools[] = {{XDOTOOL_BIN, "xdotool"}, {OPENBOX_BIN, "openbox"}, {XPROP_BIN, "xprop"},
               {FFPROBE_BIN, "ffprobe"}, {FFMPEG_BIN, "ffmpeg"}};
  for (const auto& tool : tools) {
    if (!Executable(tool.path)) GTEST_SKIP() << tool.name << " is not installed";
  }
  const auto start = Clock::now();
  ASSERT_TRUE(StartDisplay()) << ReadText(dir_ / "xvfb.log");
  ASSERT_TRUE(StartWindowManager()) << ReadText(dir_ / "openbox.log");
  ASSERT_TRUE(StartCameras(kPanes)) << ReadText(dir_ / "camsim.log");
  // Without sound the viewer's modal box would hold the main window.
  if (!StartSoundServer()) GTEST_SKIP() << "no PulseAudio server: " << ReadText(dir_ / "pulse.log");

  const fs::path recordDir = dir_ / "rec";
  fs::create_directories(recordDir);
  const std::string root = fs::canonical(recordDir).string();
  std::vector<PaneSettings> panes;
  for (int i = 0; i < kPanes; ++i) panes.push_back({i, camsim_->Port(i), "admin", i == 0});
  WriteSettings(SettingsFile(), panes, recordDir);
  StartViewer();
  Writer first{"instance 0", viewer_->pid(), {}};

  // Live: every camera sends video and pane 0 writes its file.
  const auto allPlaying = [&] {
    first.Look(root);
    bool all = !first.files.empty();
    for (int c = 0; c < kPanes; ++c) all = all && VideoCommands("PLAY", c) > 0;
    return all;
  };
  ASSERT_TRUE(Until(40, allPlaying)) << "not live with pane 0 recording; files " << first.files.size();
  std::string window;
  ASSERT_TRUE(Until(20, [&] {
    window = FindWindow(kTitle, true);
    return !window.empty() && WindowState(window) == "Normal";
  })) << "no managed main window";
  std::printf("live and recording after %.1f s\n", Since(start));

  // The minimise button: 19 x 19 at (width - 73, 5) in the title bar.
  const std::string geometry = ToolOutput({XDOTOOL_BIN, "getwindowgeometry", "--shell", window});
  const int x = ShellValue(geometry, "X"), y = ShellValue(geometry, "Y"), width = ShellValue(geometry, "WIDTH");
  ASSERT_GT(width, 73) << geometry;
  Click(x + width - 73 + 9, y + 5 + 9, 1);
  std::string state;
  const bool offScreen = Until(15, [&] {
    state = WindowState(window);
    return FindWindow(kTitle, true).empty();
  });
  std::printf("after the minimise button: window state \"%s\", %s\n", state.c_str(),
              offScreen ? "off the screen" : "still on the screen");
  ASSERT_TRUE(offScreen) << "the minimise button left the window on the screen";
  EXPECT_TRUE(state == "Iconic" || state == "Withdrawn" || state.empty()) << state;

  // The hidden panes stop their cameras' video; the recording pane keeps it.
  EXPECT_TRUE(Until(15, [&] { return VideoCommands("STOP", 1) > 0 && VideoCommands("STOP", 2) > 0 &&
                                     VideoCommands("STOP", 3) > 0; }))
      << "panes 1 to 3 did not stop their video";

  // A second instance records camera 0 into the same folder (its pane 0 is
  // settings key Viewer04; camsim lets one administrator in per camera).
  const fs::path config1 = dir_ / "config1";
  WriteSettings(SettingsFile(config1), {{kPanes, camsim_->Port(0), "power", true}}, recordDir);
  second_ = LaunchViewer({"--instance", "1"}, config1, dir_ / "data1", "viewer1.log");
  Writer other{"instance 1", second_->pid(), {}};
  ASSERT_TRUE(Until(40, [&] {
    other.Look(root);
    return !other.files.empty();
  })) << "the second instance does not record";
  std::printf("second instance recording after %.1f s\n", Since(start));

  // Both go on until each has finished a file of a whole minute written
  // while the other wrote too: the second instance's second file, and the
  // first's of the same minute (both have started the next one).
  const bool rolled = Until(150, [&] {
    first.Look(root);
    other.Look(root);
    return other.files.size() >= 3 && first.files.size() >= 3 &&
           MinuteOf(first.files.back()) == MinuteOf(other.files.back());
  });
  ASSERT_TRUE(rolled) << "no whole minute recorded by both; files " << first.files.size() << " and "
                      << other.files.size();
  const std::string minute0 = first.files[first.files.size() - 2];
  const std::string minute1 = other.files[other.files.size() - 2];
  std::printf("both instances past a whole minute after %.1f s\n", Since(start));

  int stops[kPanes];
  for (int c = 0; c < kPanes; ++c) {
    stops[c] = VideoCommands("STOP", c);
    std::printf("figure: VIDEO STOP for camera %d (pane %d): %d\n", c, c, stops[c]);
  }
  EXPECT_EQ(stops[0], 0) << "the recording pane stopped its camera's video";
  for (int c = 1; c < kPanes; ++c) EXPECT_GE(stops[c], 1) << "pane " << c << " kept its video while minimised";

  // Brought back as a task bar does it: the window manager maps it again
  // and the three panes start their video.
  if (state == "Iconic") {
    int plays[kPanes];
    for (int c = 0; c < kPanes; ++c) plays[c] = VideoCommands("PLAY", c);
    RunTool({XDOTOOL_BIN, "windowactivate", window});
    EXPECT_TRUE(Until(15, [&] { return WindowState(window) == "Normal" && !FindWindow(kTitle, true).empty(); }))
        << "not restored; window state " << WindowState(window);
    EXPECT_TRUE(Until(15, [&] {
      return VideoCommands("PLAY", 1) > plays[1] && VideoCommands("PLAY", 2) > plays[2] &&
             VideoCommands("PLAY", 3) > plays[3];
    })) << "panes 1 to 3 did not start their video again";
  }

  // Both end the orderly way, finishing their files, once their last files
  // hold pictures (a file stopped before its first key frame came would be
  // empty, which is not what this test is about).
  const auto size = [](const std::string& f) {
    std::error_code ec;
    const std::uintmax_t n = fs::file_size(f, ec);
    return ec ? 0 : n;
  };
  EXPECT_TRUE(Until(15, [&] {
    first.Look(root);
    other.Look(root);
    return size(first.files.back()) >= kSomePictures && size(other.files.back()) >= kSomePictures;
  })) << "the last files do not grow";
  EXPECT_EQ(second_->Stop(), 0);
  EXPECT_EQ(viewer_->Stop(), 0);

  std::map<std::string, std::string> writers;  // file -> the instances that wrote it
  for (const Writer* w : {&first, &other}) {
    std::printf("figure: %s wrote %zu files\n", w->name.c_str(), w->files.size());
    for (const std::string& f : w->files) writers[f] += writers[f].empty() ? w->name : " and " + w->name;
  }
  for (const std::string& f : first.files) {
    EXPECT_EQ(std::count(other.files.begin(), other.files.end(), f), 0) << "both instances wrote " << f;
  }

  // Every file in the folder decodes without an error and was finished.
  std::vector<std::string> files;
  for (const fs::directory_entry& e : fs::recursive_directory_iterator(root)) {
    if (e.is_regular_file() && e.path().extension() == ".avi") files.push_back(e.path().string());
  }
  std::sort(files.begin(), files.end());
  std::vector<std::unique_ptr<ChildProcess>> decoders;
  for (const std::string& f : files) {
    decoders.push_back(std::make_unique<ChildProcess>(
        std::vector<std::string>{FFMPEG_BIN, "-nostdin", "-v", "error", "-i", f, "-f", "null", "-"}));
  }
  for (std::size_t i = 0; i < files.size(); ++i) {
    const std::string& f = files[i];
    const testsupport::Outcome decoded = decoders[i]->Finish(120000);
    const std::string errors = Trimmed(decoded.out);
    const int frames = DecodedFrames(f);
    const bool riff = RiffComplete(f);
    const std::string& by = writers.count(f) != 0 ? writers[f] : "not seen open";
    std::printf("figure: %s (%s): %d frames%s%s\n", fs::relative(f, root).c_str(), by.c_str(), frames,
                riff ? "" : ", RIFF size not the file's", errors.empty() ? "" : ", decoding errors");
    EXPECT_EQ(decoded.status, 0) << f;
    EXPECT_EQ(errors, "") << f;
    EXPECT_TRUE(riff) << f << ": unfinished or overwritten";
    EXPECT_GT(frames, 0) << f;
  }

  // A whole minute of the camera's pictures in each instance's file of that
  // minute: pane 0 kept its video while the window was minimised.
  for (const std::string& f : {minute0, minute1}) {
    const int frames = DecodedFrames(f);
    std::printf("figure: whole minute %s: %d frames (%d expected)\n", fs::relative(f, root).c_str(), frames,
                kMinuteFrames);
    EXPECT_NEAR(frames, kMinuteFrames, kFrameTolerance) << f;
  }
  std::printf("total %.1f s\n", Since(start));
}

}  // namespace
