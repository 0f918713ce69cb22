#include "E2eSupport.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

#include "support/PatternRgb.h"

namespace e2e {

using testsupport::ChildProcess;

namespace {

// A child with its output in |log| and |env| added to its environment.
std::unique_ptr<ChildProcess> StartChild(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                                         const fs::path& log) {
  return std::make_unique<ChildProcess>(argv, testsupport::ChildOptions{log.string(), env});
}

}  // namespace

double Since(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

std::string ReadText(const fs::path& file) { return testsupport::ReadText(file.string()); }

bool Executable(const char* path) { return path[0] != '\0' && access(path, X_OK) == 0; }

bool ReadPpm(const fs::path& file, Image* image) {
  const std::string data = ReadText(file);
  std::istringstream in(data);
  std::string magic;
  int maxval = 0;
  in >> magic >> image->width >> image->height >> maxval;
  if (magic != "P6" || maxval != 255 || image->width <= 0 || image->height <= 0) return false;
  const std::size_t start = static_cast<std::size_t>(in.tellg()) + 1;
  const std::size_t size = static_cast<std::size_t>(image->width) * image->height * 3;
  if (data.size() < start + size) return false;
  image->rgb.assign(data.begin() + static_cast<std::ptrdiff_t>(start),
                    data.begin() + static_cast<std::ptrdiff_t>(start + size));
  return true;
}

bool FindForm(const Image& im, int* x0, int* y0) {
  for (int y = 0; y < im.height; ++y) {
    for (int x = 0; x < im.width; ++x) {
      const unsigned char* p = im.At(x, y);
      if (p[0] > 16 || p[1] > 16 || p[2] > 16) {
        *x0 = x;
        *y0 = y;
        return x + 2 * kPitchX <= im.width && y + kCellTop + 2 * kPitchY <= im.height;
      }
    }
  }
  return false;
}

// The simulator's picture at twice the cell size, halved as the viewer's
// scaling does (the mean of each 2 x 2 block).
std::vector<unsigned char> Reference(int camera, int frame) {
  constexpr int w = 2 * kCellW;
  const std::vector<unsigned char> full = testsupport::PatternRgb(camera, frame, w, 2 * kCellH);
  std::vector<unsigned char> out(static_cast<std::size_t>(kCellW) * kCellH * 3);
  for (int row = 0; row < kCellH; ++row) {
    for (int col = 0; col < kCellW; ++col) {
      for (int c = 0; c < 3; ++c) {
        int sum = 0;
        for (int k = 0; k < 4; ++k) sum += full[((2 * row + k / 2) * static_cast<std::size_t>(w) + 2 * col + k % 2) * 3 + c];
        out[(static_cast<std::size_t>(row) * kCellW + col) * 3 + c] = static_cast<unsigned char>((sum + 2) / 4);
      }
    }
  }
  return out;
}

PaneView Pane(const Image& im, int x0, int y0, int pane) {
  PaneView v;
  const int left = x0 + kCellLeft + (pane % 2) * kPitchX, top = y0 + kCellTop + (pane / 2) * kPitchY;
  int black = 0, blue = 0, panel = 0, n = 0;
  v.rgb.assign(static_cast<std::size_t>(kCellW) * kCellH * 3, 0);
  for (int y = 0; y < kCellH; ++y) {
    for (int x = 0; x < kCellW; ++x) {
      const unsigned char* p = im.At(left + x, top + y);
      std::memcpy(&v.rgb[(static_cast<std::size_t>(y) * kCellW + x) * 3], p, 3);
      if (x < kInset || y < kInset || x >= kCellW - kInset || y >= kCellH - kInset) continue;
      ++n;
      if (p[0] < 24 && p[1] < 24 && p[2] < 24) ++black;
      if (p[0] < 80 && p[1] < 80 && p[2] > 160) ++blue;
      if (std::abs(p[0] - 165) < 8 && std::abs(p[1] - 198) < 8 && std::abs(p[2] - 99) < 8) ++panel;
    }
  }
  v.black = static_cast<double>(black) / n;
  v.blue = static_cast<double>(blue) / n;
  v.panel = static_cast<double>(panel) / n;
  return v;
}

double Difference(const std::vector<unsigned char>& a, const std::vector<unsigned char>& b) {
  double sum = 0.0;
  int n = 0;
  for (int y = kInset; y < kCellH - kInset; y += 2) {
    for (int x = kInset; x < kCellW - kInset; x += 2) {
      const std::size_t at = (static_cast<std::size_t>(y) * kCellW + x) * 3;
      for (int c = 0; c < 3; ++c) sum += std::abs(a[at + c] - b[at + c]);
      n += 3;
    }
  }
  return sum / n;
}

RegionView Region(const Image& im, int left, int top, int width, int height) {
  int black = 0, green = 0, n = 0;
  for (int y = top; y < top + height && y < im.height; y += 2) {
    for (int x = left; x < left + width && x < im.width; x += 2) {
      const unsigned char* p = im.At(x, y);
      ++n;
      if (p[0] < 24 && p[1] < 24 && p[2] < 24) ++black;
      const auto near = [p](int r, int g, int b) {
        return std::abs(p[0] - r) < 12 && std::abs(p[1] - g) < 12 && std::abs(p[2] - b) < 12;
      };
      if (near(150, 190, 110) || near(74, 132, 107)) ++green;
    }
  }
  RegionView v;
  if (n > 0) {
    v.black = static_cast<double>(black) / n;
    v.green = static_cast<double>(green) / n;
  }
  return v;
}

double RegionDifference(const Image& a, const Image& b, int left, int top, int width, int height) {
  double sum = 0.0;
  int n = 0;
  for (int y = top; y < top + height; y += 2) {
    for (int x = left; x < left + width; x += 2) {
      for (int c = 0; c < 3; ++c) sum += std::abs(a.At(x, y)[c] - b.At(x, y)[c]);
      n += 3;
    }
  }
  return n > 0 ? sum / n : 0.0;
}

double ColourShare(const Image& im, int left, int top, int width, int height, int r, int g, int b, int tolerance) {
  int hits = 0, n = 0;
  for (int y = top; y < top + height && y < im.height; y += 2) {
    for (int x = left; x < left + width && x < im.width; x += 2) {
      const unsigned char* p = im.At(x, y);
      ++n;
      if (std::abs(p[0] - r) <= tolerance && std::abs(p[1] - g) <= tolerance && std::abs(p[2] - b) <= tolerance) {
        ++hits;
      }
    }
  }
  return n > 0 ? static_cast<double>(hits) / n : 0.0;
}


void ViewerFixture::SetUp() {
  if (!Executable(XVFB_BIN)) GTEST_SKIP() << "Xvfb is not installed: no virtual display for the viewer";
  if (!Executable(IMPORT_BIN)) GTEST_SKIP() << "import (ImageMagick) is not installed: no screen grabs";
  dir_ = fs::temp_directory_path() / ("tessora-e2e-" + std::to_string(getpid()));
  fs::create_directories(dir_ / "runtime");
  fs::permissions(dir_ / "runtime", fs::perms::owner_all);
  fs::create_directories(dir_ / "data");
}

void ViewerFixture::TearDown() {
  // Viewer first, then the cameras, then the display.
  if (viewer_) viewer_->Stop();
  if (camsim_) camsim_->Stop();
  if (pulse_) pulse_->Stop();
  if (wm_) wm_->Stop();
  if (xvfb_) xvfb_->Stop();
  for (const char* log : {"viewer.log", "camsim.log"}) {
    const std::string text = ReadText(dir_ / log);
    if (testsupport::SanitizerReport(text)) ADD_FAILURE() << log << ":\n" << text;
  }
  if (HasFailure()) std::printf("viewer log:\n%s\n", ReadText(dir_ / "viewer.log").c_str());
  std::error_code ignored;
  if (!dir_.empty()) fs::remove_all(dir_, ignored);
}

bool ViewerFixture::StartDisplay() {
  int fds[2];
  if (pipe(fds) != 0) return false;
  fcntl(fds[0], F_SETFD, FD_CLOEXEC);
  const std::string screen = std::to_string(kScreenWidth) + "x" + std::to_string(kScreenHeight) + "x24";
  xvfb_ = StartChild(std::vector<std::string>{XVFB_BIN, "-displayfd", std::to_string(fds[1]), "-screen", "0", screen,
                                              "-nolisten", "tcp", "-br", "-noreset"},
                     std::vector<std::string>{}, dir_ / "xvfb.log");
  close(fds[1]);
  std::string number;
  pollfd p{fds[0], POLLIN, 0};
  char c = 0;
  while (poll(&p, 1, 20000) > 0 && read(fds[0], &c, 1) == 1 && c != '\n') number += c;
  close(fds[0]);
  if (number.empty()) return false;
  display_ = ":" + number;
  return true;
}

// Without a sound server the viewer reports that audio cannot start.
bool ViewerFixture::StartSoundServer() {
  if (!Executable(PULSEAUDIO_BIN)) return false;
  pulse_ = StartChild(
      std::vector<std::string>{PULSEAUDIO_BIN, "--daemonize=no", "--exit-idle-time=-1", "--disallow-exit", "-n",
                               "--load=module-native-protocol-unix", "--load=module-null-sink sink_name=e2e_out"},
      std::vector<std::string>{"XDG_RUNTIME_DIR=" + (dir_ / "runtime").string(), "HOME=" + dir_.string()},
      dir_ / "pulse.log");
  const fs::path socket = dir_ / "runtime" / "pulse" / "native";
  const auto start = Clock::now();
  while (Since(start) < 30 && pulse_->Running() && !fs::exists(socket)) Pause(50);
  return fs::exists(socket);
}

bool ViewerFixture::StartCameras(int cameras) {
  std::ofstream(dir_ / "camsim.ini") << "[global]\nloop_seconds = 4\n";
  camsim_ = std::make_unique<testsupport::Camsim>(CAMSIM_BIN);
  testsupport::CamsimOptions options;
  options.cameras = cameras;
  options.config = (dir_ / "camsim.ini").string();
  return camsim_->Start(dir_.string(), options);
}

bool ViewerFixture::StartWindowManager() {
  if (!Executable(OPENBOX_BIN) || !Executable(XPROP_BIN)) return false;
  wm_ = StartChild(std::vector<std::string>{OPENBOX_BIN}, std::vector<std::string>{"DISPLAY=" + display_},
                   dir_ / "openbox.log");
  const auto start = Clock::now();
  while (Since(start) < 30 && wm_->Running()) {
    if (ToolOutput({XPROP_BIN, "-root", "_NET_SUPPORTING_WM_CHECK"}).find("window id") != std::string::npos) {
      return true;
    }
    Pause(100);
  }
  return false;
}

void ViewerFixture::StartViewer() { viewer_ = LaunchViewer({}, dir_ / "config", dir_ / "data", "viewer.log"); }

std::unique_ptr<ChildProcess> ViewerFixture::LaunchViewer(const std::vector<std::string>& args, const fs::path& config,
                                                          const fs::path& data, const std::string& log) {
  std::vector<std::string> argv{VIEWER_BIN};
  argv.insert(argv.end(), args.begin(), args.end());
  // No OpenGL integration: on the virtual display the viewer shows its
  // pictures on the RGB surfaces anyway (the YUV ones need a graphics card's
  // OpenGL), and with it Qt loads Mesa's software driver and unloads it at
  // exit, leaving a block the address sanitizer's leak check reports from a
  // library no longer loaded.
  return StartChild(argv,
                    std::vector<std::string>{"DISPLAY=" + display_, "QT_QPA_PLATFORM=xcb", "QT_XCB_GL_INTEGRATION=none",
                                             "XDG_CONFIG_HOME=" + config.string(), "XDG_DATA_HOME=" + data.string(),
                                             "XDG_RUNTIME_DIR=" + (dir_ / "runtime").string(),
                                             "HOME=" + dir_.string()},
                    dir_ / log);
}

void ViewerFixture::Pause(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

void ViewerFixture::RunTool(const std::vector<std::string>& argv) {
  ChildProcess tool(argv, testsupport::ChildOptions{(dir_ / "xdotool.log").string(), {"DISPLAY=" + display_}});
  const auto start = Clock::now();
  while (tool.Running() && Since(start) < 10) Pause(20);
  tool.Stop(100);
}

std::string ViewerFixture::ToolOutput(const std::vector<std::string>& argv) {
  const fs::path out = dir_ / "tool.out";
  {
    ChildProcess tool(argv, testsupport::ChildOptions{out.string(), {"DISPLAY=" + display_}});
    const auto start = Clock::now();
    while (tool.Running() && Since(start) < 10) Pause(20);
    tool.Stop(100);
  }
  return ReadText(out);
}

std::string ViewerFixture::FindWindow(const std::string& title, bool visible) {
  std::vector<std::string> argv{XDOTOOL_BIN, "search"};
  if (visible) argv.push_back("--onlyvisible");
  argv.insert(argv.end(), {"--name", "^" + title + "$"});
  const std::string out = ToolOutput(argv);
  const std::size_t end = out.find_first_not_of("0123456789");
  return out.substr(0, end);
}

std::string ViewerFixture::WindowState(const std::string& window) {
  const std::string out = ToolOutput({XPROP_BIN, "-id", window, "WM_STATE"});
  const std::string label = "window state: ";
  const std::size_t at = out.find(label);
  if (at == std::string::npos) return {};
  const std::size_t from = at + label.size();
  return out.substr(from, out.find_first_of("\r\n", from) - from);
}

void ViewerFixture::Click(int x, int y, int button) {
  RunTool({XDOTOOL_BIN, "mousemove", "--sync", std::to_string(x), std::to_string(y), "click", std::to_string(button)});
}

void ViewerFixture::Keys(const std::vector<std::string>& keys) {
  std::vector<std::string> argv{XDOTOOL_BIN, "key", "--delay", "60"};
  argv.insert(argv.end(), keys.begin(), keys.end());
  RunTool(argv);
}

void ViewerFixture::Type(const std::string& text) { RunTool({XDOTOOL_BIN, "type", "--delay", "60", "--", text}); }

void ViewerFixture::KeepShot(const char* name) {
  const char* shots = std::getenv("TESSORA_E2E_SHOTS");
  if (shots == nullptr) return;
  std::error_code ignored;
  fs::copy_file(dir_ / "grab.ppm", fs::path(shots) / (std::string(name) + ".ppm"), fs::copy_options::overwrite_existing,
                ignored);
}

bool ViewerFixture::Grab(Image* image) {
  const fs::path file = dir_ / "grab.ppm";
  std::error_code ignored;
  fs::remove(file, ignored);
  ChildProcess grab({IMPORT_BIN, "-display", display_, "-window", "root", "-depth", "8", file.string()},
                    testsupport::ChildOptions{(dir_ / "import.log").string(), {}});
  const auto start = Clock::now();
  while (grab.Running() && Since(start) < 20) Pause(20);
  grab.Stop(100);
  // Debugging aid: TESSORA_E2E_KEEP_GRAB=FILE keeps the last grab.
  if (const char* keep = std::getenv("TESSORA_E2E_KEEP_GRAB")) {
    fs::copy_file(file, keep, fs::copy_options::overwrite_existing, ignored);
  }
  return ReadPpm(file, image);
}

// TESSORA_E2E_VERBOSE prints the pane figures of every grab.
void ViewerFixture::NotePane(double at, int pane, const PaneView& v) {
  seen_ = "pane " + std::to_string(pane) + ": black " + std::to_string(v.black) + ", blue " + std::to_string(v.blue) +
          ", panel " + std::to_string(v.panel);
  if (std::getenv("TESSORA_E2E_VERBOSE")) std::printf("%.1f %s\n", at, seen_.c_str());
}

}  // namespace e2e
