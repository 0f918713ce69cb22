// What the end-to-end tests of tessora-viewer share: a fixture that starts
// Xvfb, a private sound server, camsim and the viewer as children of the
// test (each stopped by its PID), screen grabs with ImageMagick's import,
// real mouse and key events with xdotool, and the measures the tests take
// of a grab (the form's place, a pane's picture, a rectangle's colours).
// One test thread uses a fixture; nothing here is shared between threads.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "support/Camsim.h"
#include "support/ChildProcess.h"

namespace e2e {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

// The viewer's 2 x 2 grid with its designed cells: the form's first cell
// and the cell pitch (cell width + 5, cell height + the 15-pixel title strip).
constexpr int kCellLeft = 8, kCellTop = 44, kCellW = 320, kCellH = 240, kPitchX = 325, kPitchY = 255;
constexpr int kFormWidth = 821;  // 2 x 320 + 2 x 5 + 171
constexpr int kSidePanelLeft = kCellLeft + kPitchX + kCellW + 5;
constexpr int kScreenWidth = 1280, kScreenHeight = 1024;
constexpr int kLoopFrames = 100;  // camsim's loop_seconds = 4 at 25 fps

double Since(Clock::time_point t);
std::string ReadText(const fs::path& file);
bool Executable(const char* path);

// A screen grab as packed RGB.
struct Image {
  int width = 0, height = 0;
  std::vector<unsigned char> rgb;
  const unsigned char* At(int x, int y) const { return &rgb[(static_cast<std::size_t>(y) * width + x) * 3]; }
};

bool ReadPpm(const fs::path& file, Image* image);

// The form fills the main window, the only window on the otherwise black
// virtual screen: its top-left corner is the first pixel that is not black.
bool FindForm(const Image& im, int* x0, int* y0);

// Camera |camera|, frame |frame| of camsim's pattern as the viewer should
// show it in one 320 x 240 cell.
std::vector<unsigned char> Reference(int camera, int frame);

// What one pane shows; the inset keeps the selection frame out.
struct PaneView {
  double black = 0.0;  // share of near-black pixels
  double blue = 0.0;   // share of banner-blue pixels
  double panel = 0.0;  // share of the sign-in panel's light green
  std::vector<unsigned char> rgb;
};
constexpr int kInset = 4;
PaneView Pane(const Image& im, int x0, int y0, int pane);

// Mean absolute difference per channel over the inset pane, every other pixel.
double Difference(const std::vector<unsigned char>& a, const std::vector<unsigned char>& b);

// Share of near-black pixels and of the form's greens (its background and
// the panes' title strips) in a rectangle of the screen, every other pixel.
struct RegionView {
  double black = 0.0;
  double green = 0.0;
};
RegionView Region(const Image& im, int left, int top, int width, int height);

// Mean absolute difference per channel of two grabs in a rectangle.
double RegionDifference(const Image& a, const Image& b, int left, int top, int width, int height);

// Share of the rectangle's pixels (every other one) within |tolerance| of
// the colour (r, g, b) in each channel.
double ColourShare(const Image& im, int left, int top, int width, int height, int r, int g, int b,
                   int tolerance = 12);

class ViewerFixture : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Xvfb picks a free display number itself and writes it to a pipe.
  bool StartDisplay();
  // A private sound server with a silent output, as a desktop would have
  // one; skipped when PulseAudio is not installed. True once it serves.
  bool StartSoundServer();
  // |cameras| simulated cameras on loopback with a 4-second picture loop.
  bool StartCameras(int cameras);
  // openbox on the display, as a desktop's window manager; true once it
  // has announced itself on the root window.
  bool StartWindowManager();
  // The viewer with its settings, data and runtime folders below the
  // test's own folder (empty unless the test wrote SettingsFile()).
  void StartViewer();
  fs::path SettingsFile() const { return SettingsFile(dir_ / "config"); }
  static fs::path SettingsFile(const fs::path& config) { return config / "Halvik" / "Tessora.conf"; }
  // Another viewer with |args|, its settings in |config| and its data in
  // |data| (the runtime folder and sound server are shared), its output in
  // |log| below the test's folder.
  std::unique_ptr<testsupport::ChildProcess> LaunchViewer(const std::vector<std::string>& args, const fs::path& config,
                                                          const fs::path& data, const std::string& log);

  // Clicks |button| at screen point (x, y) with the X test extension.
  // (xdotool's synchronous move waits for a motion: each click must go to
  // a point other than the pointer's.)
  void Click(int x, int y, int button);
  // Presses |keys| (xdotool key names) in the focused window.
  void Keys(const std::vector<std::string>& keys);
  // Types |text| into the focused window, a key at a time.
  void Type(const std::string& text);

  // TESSORA_E2E_SHOTS=DIR keeps the last grab there as |name|.ppm.
  void KeepShot(const char* name);
  bool Grab(Image* image);

  // Grabs until |done| holds for the whole screen or |seconds| pass.
  template <typename Test>
  bool WaitWhole(double seconds, Test done, Image* last) {
    const auto start = Clock::now();
    while (Since(start) < seconds) {
      if (Grab(last) && done(*last)) return true;
      Pause(200);
    }
    return false;
  }

  // Grabs until |done| holds for every pane in |panes| or |seconds| pass.
  template <typename Test>
  bool WaitScreen(double seconds, const std::vector<int>& panes, Test done, Image* last) {
    const auto start = Clock::now();
    while (Since(start) < seconds) {
      int x0 = 0, y0 = 0;
      if (Grab(last) && FindForm(*last, &x0, &y0)) {
        bool all = true;
        for (int pane : panes) {
          const PaneView v = Pane(*last, x0, y0, pane);
          NotePane(Since(start), pane, v);
          all = all && done(v);
        }
        if (all) return true;
      }
      Pause(300);
    }
    return false;
  }

  static void Pause(int ms);
  // Runs a short-lived tool and waits for it (10 s at most).
  void RunTool(const std::vector<std::string>& argv);
  // Runs a tool on the display like RunTool and returns what it printed.
  std::string ToolOutput(const std::vector<std::string>& argv);

  // The X window titled exactly |title| (xdotool's number), empty when
  // there is none; with |visible|, only a window that is mapped.
  std::string FindWindow(const std::string& title, bool visible = false);
  // The window's ICCCM state as xprop shows it: "Normal", "Iconic",
  // "Withdrawn", or empty when it has none.
  std::string WindowState(const std::string& window);
  void NotePane(double at, int pane, const PaneView& v);

  fs::path dir_;
  std::string display_;
  std::string seen_;  // the last grab's pane figures, for failure messages
  std::unique_ptr<testsupport::ChildProcess> xvfb_, pulse_, wm_, viewer_;
  std::unique_ptr<testsupport::Camsim> camsim_;
};

}  // namespace e2e
