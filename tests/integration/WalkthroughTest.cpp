// A new user's first minutes with tessora-viewer, with real mouse clicks
// and key presses on a virtual display: no settings at all, one simulated
// camera; the user clicks the first pane's address edit, types the camera's
// address, then tabs through the port, ID, password and alias edits, ticks
// "Save ID on this computer" and clicks the sign-in button. The pane must
// then show the camera's moving picture, stay the current pane (its frame,
// its title in the current colour, the side panel's log-out and live
// buttons), and its title must show the alias. The side panel's log-out
// button must log that pane out, and its panel must come back with the
// address still filled in.
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "E2eSupport.h"

namespace {

using namespace e2e;

// The sign-in panel of a 320-pixel pane, in pane coordinates: the edits
// (left, top, width, height), the "Save ID" check box and the sign-in button.
struct Box {
  int left, top, width, height;
  int CentreX() const { return left + width / 2; }
  int CentreY() const { return top + height / 2; }
};
constexpr Box kAddressEdit{50, 20, 200, 20};
constexpr Box kAliasEdit{50, 110, 200, 20};
constexpr Box kSaveIdBox{50, 165, 170, 20};
constexpr Box kAutoSignInBox{50, 185, 130, 20};
constexpr Box kSignInButton{230, 170, 72, 24};
// The side panel (x from its left edge, y in the form): the log-out button
// and the row of snapshot, recording, mirror and flip buttons.
constexpr Box kLogOutButton{85, 65, 60, 26};
constexpr Box kSnapshotRow{15, 290, 126, 26};
// Pane 0's title label above its cell (form coordinates).
constexpr Box kTitle{kCellLeft, kCellTop - 14, 140, 14};

constexpr const char* kAlias = "Gate";

// Where the form is on the screen and what it shows.
struct Screen {
  Image im;
  int x0 = 0, y0 = 0;
  // A rectangle of pane 0's panel, of the side panel, of the form.
  double PaneDiff(const Screen& other, const Box& b, int inset = 2) const {
    return RegionDifference(im, other.im, x0 + kCellLeft + b.left + inset, y0 + kCellTop + b.top + inset,
                            b.width - 2 * inset, b.height - 2 * inset);
  }
  double SideDiff(const Screen& other, const Box& b) const {
    return RegionDifference(im, other.im, x0 + kSidePanelLeft + b.left, y0 + b.top, b.width, b.height);
  }
  double FormDiff(const Screen& other, const Box& b) const {
    return RegionDifference(im, other.im, x0 + b.left, y0 + b.top, b.width, b.height);
  }
  // The current pane is framed in the strip green: the band below a pane's
  // cell (clear of the format labels at its right) is the strip green for
  // the current pane, the form's background for the others.
  double FrameBelow(int pane) const {
    const int left = x0 + kCellLeft + (pane % 2) * kPitchX, top = y0 + kCellTop + (pane / 2) * kPitchY;
    return ColourShare(im, left + 10, top + kCellH + 3, 150, 9, 74, 132, 107, 6);
  }
};

// Width in pixels of the text drawn on a plain background in a rectangle:
// from the first to the last column holding a pixel that differs from
// |background| by at least half the text's contrast.
int TextWidth(const Image& im, int left, int top, int width, int height, const unsigned char background[3],
              int contrast) {
  int first = -1, last = -1;
  for (int x = left; x < left + width; ++x) {
    for (int y = top; y < top + height; ++y) {
      const unsigned char* p = im.At(x, y);
      const int d = std::abs(p[0] - background[0]) + std::abs(p[1] - background[1]) + std::abs(p[2] - background[2]);
      if (2 * d >= contrast) {
        if (first < 0) first = x;
        last = x;
        break;
      }
    }
  }
  return first < 0 ? 0 : last - first + 1;
}

// Text in one of pane 0's white edits (black on white).
int EditTextWidth(const Screen& s, const Box& b) {
  static const unsigned char kWhite[3] = {255, 255, 255};
  return TextWidth(s.im, s.x0 + kCellLeft + b.left + 2, s.y0 + kCellTop + b.top + 2, b.width - 4, b.height - 4,
                   kWhite, 3 * 255);
}

// Shares of pane 0's title in the current pane's light green and in the
// white of the other panes' titles.
double TitleShare(const Screen& s, int r, int g, int b) {
  return ColourShare(s.im, s.x0 + kTitle.left, s.y0 + kTitle.top, kTitle.width, kTitle.height, r, g, b, 30);
}
bool TitleInCurrentColour(const Screen& s) {
  return TitleShare(s, 125, 255, 126) > 0.01 && TitleShare(s, 255, 255, 255) < 0.005;
}

// Pane 0's title text: the current pane's light green on the strip green.
int TitleTextWidth(const Screen& s) {
  static const unsigned char kStrip[3] = {74, 132, 107};
  return TextWidth(s.im, s.x0 + kTitle.left + 1, s.y0 + kTitle.top + 1, kTitle.width - 2, kTitle.height - 2, kStrip,
                   (125 - 74) + (255 - 132) + (126 - 107));
}

class WalkthroughTest : public ViewerFixture {
 protected:
  bool GrabScreen(Screen* s) { return Grab(&s->im) && FindForm(s->im, &s->x0, &s->y0); }

  // Grabs until |done| holds or |seconds| pass; the last grab stays in |s|.
  template <typename Test>
  bool WaitFor(double seconds, Test done, Screen* s) {
    return WaitWhole(seconds, [&](const Image& im) {
      s->im = im;
      return FindForm(im, &s->x0, &s->y0) && done(*s);
    }, &s->im);
  }

  // A point of pane 0 (pane coordinates) on the screen.
  void ClickPane(const Screen& s, const Box& b) {
    Click(s.x0 + kCellLeft + b.CentreX(), s.y0 + kCellTop + b.CentreY(), 1);
  }

  // Pane 0 shows camera 0's moving picture: two grabs about a second apart
  // differ, the later one is like a frame of the camera's loop. Pairs are
  // taken until one passes or |seconds| pass; the last pair is judged.
  void ExpectCameraPicture(double seconds) {
    const auto start = Clock::now();
    PaneView a, b;
    double moved = 0.0, best = 1e9;
    int frame = -1;
    do {
      Screen first, second;
      ASSERT_TRUE(GrabScreen(&first));
      Pause(1000);
      ASSERT_TRUE(GrabScreen(&second));
      a = Pane(first.im, first.x0, first.y0, 0);
      b = Pane(second.im, second.x0, second.y0, 0);
      moved = Difference(a.rgb, b.rgb);
      best = 1e9;
      for (int f = 0; f < kLoopFrames; ++f) {
        const double d = Difference(b.rgb, Reference(0, f));
        if (d < best) {
          best = d;
          frame = f;
        }
      }
      if (b.black < 0.2 && b.panel < 0.05 && moved > 4.0 && best < 20.0) break;
    } while (Since(start) < seconds);
    std::printf("pane 0: camera 0's frame %d, difference %.1f; moved %.1f over a second\n", frame, best, moved);
    EXPECT_LT(b.black, 0.2) << "black pane";
    EXPECT_LT(b.panel, 0.05) << "the sign-in panel still shows";
    EXPECT_GT(moved, 4.0) << "frozen picture";
    EXPECT_LT(best, 20.0) << "picture unlike the camera's";
  }
};

TEST_F(WalkthroughTest, NewUserSignsInFromThePanelAndLogsOut) {
  if (!Executable(XDOTOOL_BIN)) GTEST_SKIP() << "xdotool is not installed: no real mouse and keys";
  // Without a sound device the viewer's box about it would stand in front
  // of the panel.
  if (!Executable(PULSEAUDIO_BIN)) GTEST_SKIP() << "PulseAudio is not installed: no sound device for the viewer";
  const auto start = Clock::now();
  ASSERT_TRUE(StartDisplay()) << ReadText(dir_ / "xvfb.log");
  ASSERT_TRUE(StartCameras(1)) << ReadText(dir_ / "camsim.log");
  ASSERT_TRUE(StartSoundServer()) << ReadText(dir_ / "pulse.log");
  ASSERT_FALSE(fs::exists(SettingsFile()));
  StartViewer();

  // The idle look: every pane shows its panel, pane 0 is current (framed).
  Screen idle;
  const auto ready = [](const Screen& s) {
    return Pane(s.im, s.x0, s.y0, 0).panel > 0.5 && Pane(s.im, s.x0, s.y0, 1).panel > 0.5 && s.FrameBelow(0) > 0.9;
  };
  ASSERT_TRUE(WaitFor(60, ready, &idle)) << "no sign-in panel in pane 0, or pane 0 not current";
  Pause(500);
  ASSERT_TRUE(GrabScreen(&idle) && ready(idle));
  KeepShot("walk-idle");
  std::printf("form at (%d, %d) after %.1f s\n", idle.x0, idle.y0, Since(start));
  ASSERT_EQ(EditTextWidth(idle, kAliasEdit), 0) << "the alias edit is not empty at first";

  // What a user does: click the address edit (it holds "http://"), type
  // after it, then Tab from edit to edit (Tab selects the port's 9090).
  const std::string port = std::to_string(camsim_->Port());
  ClickPane(idle, kAddressEdit);
  Keys({"End"});
  Type("127.0.0.1");
  for (const std::string& text : {port, std::string("admin"), std::string("admin"), std::string(kAlias)}) {
    Keys({"Tab"});
    Type(text);
  }
  // The tick shows "Signin Automatically" below it; the viewer takes the
  // click after every key typed before it.
  ClickPane(idle, Box{kSaveIdBox.left, kSaveIdBox.top, 20, kSaveIdBox.height});
  Screen filled;
  ASSERT_TRUE(WaitFor(20, [&](const Screen& s) {
    return s.PaneDiff(idle, kAutoSignInBox) > 5 && EditTextWidth(s, kAliasEdit) > 0;
  }, &filled)) << "the keys and the click did not reach pane 0's panel";
  Pause(500);
  ASSERT_TRUE(GrabScreen(&filled));
  KeepShot("walk-filled");
  const int addressWidth = EditTextWidth(filled, kAddressEdit), aliasWidth = EditTextWidth(filled, kAliasEdit);
  std::printf("typed: address text %d px wide (%d before), alias %d px\n", addressWidth,
              EditTextWidth(idle, kAddressEdit), aliasWidth);
  ASSERT_GT(addressWidth, EditTextWidth(idle, kAddressEdit) + 20) << "the address was not typed after http://";
  ASSERT_GT(addressWidth, aliasWidth + 30) << "the alias's and the address's texts cannot be told apart";

  ClickPane(filled, kSignInButton);
  const auto signedIn = Clock::now();
  Screen live;
  ASSERT_TRUE(WaitFor(40, [](const Screen& s) {
    const PaneView v = Pane(s.im, s.x0, s.y0, 0);
    return v.black < 0.2 && v.panel < 0.05;
  }, &live)) << "pane 0 not live; panel " << Pane(live.im, live.x0, live.y0, 0).panel;
  std::printf("live %.1f s after the click on the sign-in button\n", Since(signedIn));
  ExpectCameraPicture(20);
  Image shot;
  if (Grab(&shot)) KeepShot("walk-live");
  if (HasFailure()) return;

  // Current: the frame around pane 0 and not around pane 1; the side panel
  // shows the log-out button and the live pane's buttons; the title is in
  // the current pane's colour and as wide as the alias typed in the same
  // font (the address would be much wider).
  const auto current = [&](const Screen& s) {
    return s.FrameBelow(0) > 0.9 && s.FrameBelow(1) < 0.1 && s.SideDiff(idle, kLogOutButton) > 15 &&
           s.SideDiff(idle, kSnapshotRow) > 10 && TitleInCurrentColour(s) &&
           std::abs(TitleTextWidth(s) - aliasWidth) <= 5;
  };
  WaitFor(15, current, &live);
  KeepShot("walk-current");
  std::printf("frame below pane 0 %.2f, pane 1 %.2f; log-out button %.1f, snapshot row %.1f from idle; "
              "title %d px (alias %d px), %.3f light green, %.3f white\n",
              live.FrameBelow(0), live.FrameBelow(1), live.SideDiff(idle, kLogOutButton),
              live.SideDiff(idle, kSnapshotRow), TitleTextWidth(live), aliasWidth, TitleShare(live, 125, 255, 126),
              TitleShare(live, 255, 255, 255));
  EXPECT_GT(live.FrameBelow(0), 0.9) << "pane 0 is not framed as the current pane";
  EXPECT_LT(live.FrameBelow(1), 0.1) << "pane 1 became the current pane";
  EXPECT_GT(live.SideDiff(idle, kLogOutButton), 15) << "the side panel shows no log-out button";
  EXPECT_GT(live.SideDiff(idle, kSnapshotRow), 10) << "the side panel shows no snapshot and recording buttons";
  EXPECT_TRUE(TitleInCurrentColour(live)) << "pane 0's title is not in the current pane's colour";
  EXPECT_NEAR(TitleTextWidth(live), aliasWidth, 5) << "pane 0's title is not the alias " << kAlias;

  // What was stored: the sign-in with "Save ID" on, without the password
  // ("Signin Automatically" is off).
  std::string settings;
  const auto stored = Clock::now();
  while (Since(stored) < 10 && (settings = ReadText(SettingsFile())).find("VrAlias") == std::string::npos) Pause(200);
  std::printf("settings:\n%s\n", settings.c_str());
  EXPECT_NE(settings.find("Signin\\Url=http://127.0.0.1\n"), std::string::npos);
  EXPECT_NE(settings.find("Signin\\Tlp=" + port + "\n"), std::string::npos);
  EXPECT_NE(settings.find("Signin\\Id=admin\n"), std::string::npos);
  EXPECT_NE(settings.find(std::string("Signin\\VrAlias=") + kAlias + "\n"), std::string::npos);
  const std::size_t pw = settings.find("Signin\\Pw=");
  EXPECT_TRUE(pw == std::string::npos || settings.compare(pw, 11, "Signin\\Pw=\n") == 0) << "password stored";

  // The side panel's log-out button logs pane 0 out: its panel comes back
  // with the address as typed, the title and the log-out button go.
  Screen out;
  const auto before = Clock::now();
  const auto closes = [this] { return camsim_->CountEvents({"\"dir\":\"in\"", "\"CMD\":\"CLOSE\""}, 0); };
  const int closed = closes();
  Click(live.x0 + kSidePanelLeft + kLogOutButton.CentreX(), live.y0 + kLogOutButton.CentreY(), 1);
  ASSERT_TRUE(WaitFor(20, [&](const Screen& s) {
    return Pane(s.im, s.x0, s.y0, 0).panel > 0.5 && s.SideDiff(idle, kLogOutButton) < 5;
  }, &out)) << "pane 0 not logged out by the side panel's button";
  std::printf("logged out after %.1f s\n", Since(before));
  Pause(300);
  ASSERT_TRUE(GrabScreen(&out));
  KeepShot("walk-logged-out");
  EXPECT_NEAR(EditTextWidth(out, kAddressEdit), addressWidth, 4) << "the address is not filled in any more";
  // (A text cursor in the edit differs by up to about 3.)
  EXPECT_LT(out.PaneDiff(filled, kAddressEdit, 3), 6.0) << "the address edit differs from what was typed";
  EXPECT_NEAR(EditTextWidth(out, kAliasEdit), aliasWidth, 4) << "the alias is not filled in any more";
  EXPECT_LT(out.FormDiff(idle, kTitle), 3.0) << "the title still shows";
  EXPECT_GT(out.FrameBelow(0), 0.9) << "pane 0 is no longer current";
  const auto loggedOut = Clock::now();
  while (Since(loggedOut) < 10 && closes() == closed) Pause(100);
  EXPECT_GT(closes(), closed) << "the camera was not told CLOSE";
  std::printf("total %.1f s\n", Since(start));
}

}  // namespace
