// Sign-in, replies and the engine against the test camera on loopback.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <thread>

#include "TestCamera.h"
#include "base/base.h"
#include "link/CameraCommands.h"
#include "link/ControlChannel.h"
#include "link/LinkEngine.h"
#include "link/LinkMessages.h"

namespace {

class EngineEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { ASSERT_EQ(StartLinkEngine(), 1); }
  void TearDown() override { StopLinkEngine(); }
};
const auto* const g_engine = ::testing::AddGlobalTestEnvironment(new EngineEnvironment);

constexpr const char* kAccept =
    "CMD#OPEN\nCLS#CONTROL\nRSP#ACK\nSTID#7_99\nVER#0,5,0,0\nGROUP#1\nMODEL#33554432\n"
    "NOW#1000\nZONE#24\nFLASH#1\nFHORZ#1\nFVERT#0\nGIO_ENABLE#1\nMD_ENABLE#1\n"
    "SENSOR_ENABLE#0\nSENSOR_ACTIVE#1\nGI_01#0\nGO_01#1";

// A slot signed in to the test camera; closed at the end of the test.
class SignedIn : public ::testing::Test {
 protected:
  static constexpr int kSlot = 3;
  void SignIn(const std::string& reply = kAccept) {
    ASSERT_EQ(PrepareLink(kSlot, &window, "127.0.0.1", camera.port()), 1);
    ASSERT_EQ(OpenControl(kSlot, "admin", "secret", 0), 1);
    control = camera.AcceptSignIn(reply, &request);
    ASSERT_GE(control, 0);
  }
  void TearDown() override {
    CloseLink(kSlot);
    GetSetupReplyTargets().Clear();
  }
  std::string Dtid() {
    char stid[kLinkIdSize], dtid[kLinkIdSize];
    CopyLinkIds(kSlot, stid, dtid);
    return dtid;
  }
  TestCamera camera;
  RecordingWindow window;
  std::string request;
  int control = -1;
};

TEST_F(SignedIn, AcceptedSignInCarriesTheRequestAndLoginInfo) {
  SignIn();
  EXPECT_EQ(LineValue(request, "SRC"), "V");
  EXPECT_EQ(LineValue(request, "DTID"), "TESSORA");
  EXPECT_EQ(LineValue(request, "STID").rfind("3_", 0), 0u);
  EXPECT_EQ(LineValue(request, "CMD"), "OPEN");
  EXPECT_EQ(LineValue(request, "CLS"), "CONTROL");
  EXPECT_EQ(LineValue(request, "ID"), "admin");
  EXPECT_EQ(UnscrambleText(LineValue(request, "PW")), "secret");
  EXPECT_EQ(LineValue(request, "USE_MJPEG"), "0");
  EXPECT_NEAR(std::stol(LineValue(request, "CURRENT_TIME")), static_cast<long>(time(nullptr)), 5);

  ASSERT_TRUE(window.WaitFor(WM_LOGIN_ACCEPTED));
  const Recorded r = window.Last(WM_LOGIN_ACCEPTED);
  EXPECT_TRUE(r.sent);
  EXPECT_EQ(r.wParam, 1u);
  EXPECT_EQ(r.info.cameraTime, 1000 + 12600);
  EXPECT_EQ(r.info.model, 33554432);
  EXPECT_EQ(r.info.flash, 1);
  EXPECT_EQ(r.info.horizontalFlip, 1);
  EXPECT_EQ(r.info.ioEnabled, 1);
  EXPECT_EQ(r.info.sensorActive, 1);
  EXPECT_EQ(r.info.generalOutput1, 1);
  EXPECT_EQ(Dtid(), "7_99");

  // Later messages carry the camera's id.
  ASSERT_EQ(SendAliveRequest(kSlot), 1);
  const std::string alive = camera.ReadMessage(control);
  EXPECT_EQ(LineValue(alive, "DTID"), "7_99");
  EXPECT_EQ(LineValue(alive, "CMD"), "ALIVE");
  EXPECT_EQ(LineValue(alive, "MTD"), "SET");
  ASSERT_EQ(SendCloseRequest(kSlot), 1);
  EXPECT_EQ(camera.ReadMessage(control).find("DTID#7_99\nCMD#CLOSE\n\n") != std::string::npos, true);
}

struct RefusalCase {
  const char* name;
  std::string reply;
  unsigned message;
  std::intptr_t lParam;
  std::string dtid;
  std::int64_t cameraTime;
};

TEST_F(SignedIn, SignInOutcomes) {
  const std::string longStid(40, 'S');
  const RefusalCase cases[] = {
      {"501", "CMD#OPEN\nCLS#CONTROL\nRSP#NAK\nCODE#501", WM_LOGIN_REFUSED, 501, "TESSORA", 0},
      {"502", "CMD#OPEN\nCLS#CONTROL\nRSP#NAK\nCODE#502\nSTID#9_9", WM_LOGIN_REFUSED, 502, "TESSORA", 0},
      {"505", "CMD#OPEN\nCLS#CONTROL\nRSP#NAK\nCODE#505", WM_LOGIN_REFUSED, 505, "TESSORA", 0},
      {"wrong version", "CMD#OPEN\nCLS#CONTROL\nRSP#ACK\nSTID#8_1\nVER#0,5,0,1", WM_LOGIN_REFUSED, 506,
       "8_1", 0},
      {"ACK with a blank", "CMD#OPEN\nCLS#CONTROL\nRSP#ACK \nCODE#0", WM_LOGIN_REFUSED, 0, "TESSORA", 0},
      {"zone 15, no group", "CMD#OPEN\nCLS#CONTROL\nRSP#ACK\nSTID#1_2\nVER#0,5,0,0\nNOW#5000\nZONE#15",
       WM_LOGIN_ACCEPTED, 0, "1_2", 5000},
      {"zone out of range", "CMD#OPEN\nCLS#CONTROL\nRSP#ACK\nSTID#1_2\nVER#0,5,0,0\nNOW#5000\nZONE#38",
       WM_LOGIN_ACCEPTED, 0, "1_2", 5000},
      {"negative zone", "CMD#OPEN\nCLS#CONTROL\nRSP#ACK\nSTID#1_2\nVER#0,5,0,0\nNOW#5000\nZONE#-1",
       WM_LOGIN_ACCEPTED, 0, "1_2", 5000},
      {"long STID", "CMD#OPEN\nCLS#CONTROL\nRSP#ACK\nSTID#" + longStid + "\nVER#0,5,0,0\nZONE#0\nNOW#0",
       WM_LOGIN_ACCEPTED, 0, std::string(31, 'S'), -720 * 60},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    RecordingWindow local;
    ASSERT_EQ(PrepareLink(kSlot, &local, "127.0.0.1", camera.port()), 1);
    ASSERT_EQ(OpenControl(kSlot, "user", "pw", 1), 1);
    const int fd = camera.AcceptSignIn(c.reply);
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(local.WaitFor(c.message));
    const Recorded r = local.Last(c.message);
    if (c.message == WM_LOGIN_REFUSED) {
      EXPECT_EQ(r.lParam, c.lParam);
    } else {
      EXPECT_EQ(r.info.cameraTime, c.cameraTime);
      EXPECT_EQ(r.wParam, 0u);
      EXPECT_EQ(r.info.model, 0);
    }
    EXPECT_EQ(Dtid(), c.dtid);
    EXPECT_EQ(local.All().size(), 1u);
    CloseLink(kSlot);
  }
}

struct RouteCase {
  const char* name;
  std::string bytes;  // what the camera writes
  unsigned message;   // expected message, 0 for none
  std::uintptr_t wParam;
  std::intptr_t lParam;
};

// Each case is followed by an ALIVE reply; the window must then hold exactly
// the expected message (or nothing) before WM_ALIVE_ACK.
TEST_F(SignedIn, RepliesRouteToWindowMessages) {
  SignIn();
  ASSERT_TRUE(window.WaitFor(WM_LOGIN_ACCEPTED));
  const RouteCase cases[] = {
      {"vstream ack", CameraMessage("CMD#OPEN\nCLS#VSTREAM\nRSP#ACK"), WM_VSTREAM_OPENED, 0, 0},
      {"vstream nak", CameraMessage("CMD#OPEN\nCLS#VSTREAM\nRSP#NAK"), WM_VSTREAM_REFUSED, 0, 0},
      {"astream ack", CameraMessage("CMD#OPEN\nCLS#ASTREAM\nRSP#ACK"), WM_ASTREAM_OPENED, 0, 0},
      {"astream missing rsp", CameraMessage("CMD#OPEN\nCLS#ASTREAM"), WM_ASTREAM_REFUSED, 0, 0},
      {"close 402", CameraMessage("CMD#CLOSE\nRSP#ACK\nCODE#402"), WM_CAMERA_CLOSE, 0, 402},
      {"close without ack", CameraMessage("CMD#CLOSE\nRSP#NAK\nCODE#401"), 0, 0, 0},
      {"motion alarm", CameraMessage("CMD#ALARM\nCLS#MOTION\nMTD#DETECT"), WM_MOTION_ALARM, 0, 0},
      {"motion not detect", CameraMessage("CMD#ALARM\nCLS#MOTION\nMTD#CLEAR"), 0, 0, 0},
      {"sensor alarm", CameraMessage("CMD#ALARM\nCLS#SENSOR\nMTD#DETECT\nSENSOR_ACTIVE#1"), WM_SENSOR_ALARM, 1, 0},
      {"camera key", CameraMessage("CMD#CONTROL\nCLS#KEY\nMTD#GET\nRSP#ACK"), WM_CAMERA_KEY, 0, 0},
      {"video play nak", CameraMessage("CMD#CONTROL\nCLS#VIDEO\nMTD#PLAY\nRSP#NAK"), WM_VIDEO_PLAY_NAK, 0, 0},
      {"video stop ack", CameraMessage("CMD#CONTROL\nCLS#VIDEO\nMTD#STOP\nRSP#ACK"), WM_VIDEO_STOP_ACK, 0, 0},
      {"flip ack", CameraMessage("CMD#CONTROL\nCLS#VIDEO\nMTD#SET\nRSP#ACK\nFHORZ#1\nFVERT#1"), WM_VIDEO_FLIP_ACK, 1, 1},
      {"flip nak", CameraMessage("CMD#CONTROL\nCLS#VIDEO\nMTD#SET\nRSP#NAK"), 0, 0, 0},
      {"mic play nak code 0", CameraMessage("CMD#CONTROL\nCLS#MIC\nMTD#PLAY\nRSP#NAK\nCODE#0"), WM_MIC_PLAY_NAK, 0, 0},
      {"mic play nak code 7", CameraMessage("CMD#CONTROL\nCLS#MIC\nMTD#PLAY\nRSP#NAK\nCODE#7"), WM_MIC_PLAY_NAK, 0, 7},
      {"mic stop nak", CameraMessage("CMD#CONTROL\nCLS#MIC\nMTD#STOP\nRSP#NAK"), 0, 0, 0},
      {"spk play ack", CameraMessage("CMD#CONTROL\nCLS#SPK\nMTD#PLAY\nRSP#ACK"), WM_SPK_PLAY_ACK, 0, 0},
      {"motion clr nak", CameraMessage("CMD#CONTROL\nCLS#MOTION\nMTD#CLR\nRSP#NAK"), WM_MOTION_CLR_NAK, 0, 0},
      {"ptz reply ignored", CameraMessage("CMD#CONTROL\nCLS#PTZ\nMTD#SET\nRSP#ACK"), 0, 0, 0},
      {"from a viewer", CameraMessage("CMD#CLOSE\nRSP#ACK\nCODE#401", "V", "V"), 0, 0, 0},
      {"not to a viewer", CameraMessage("CMD#CLOSE\nRSP#ACK\nCODE#401", "C", "C"), 0, 0, 0},
      {"garbage before SRC", "tail of a broken message\n\n" + CameraMessage("CMD#CLOSE\nRSP#ACK\nCODE#403"),
       WM_CAMERA_CLOSE, 0, 403},
      {"network set", CameraMessage("CMD#SETUP\nCLS#NETWORK\nMTD#SET\nRSP#ACK"), WM_SETUP_NETWORK_SET, 0, 0},
      {"update progress", CameraMessage("CMD#SETUP\nCLS#MAINTENANCE\nMTD#UPDATE_START\nRSP#ACK\nCODE#30"),
       WM_UPDATE_PROGRESS, 0, 30},
      {"update failed", CameraMessage("CMD#SETUP\nCLS#MAINTENANCE\nMTD#UPDATE_START\nRSP#NAK\nCODE#2"),
       WM_UPDATE_FAILED, 0, 2},
      {"mdalarm connect nak", CameraMessage("CMD#SETUP\nCLS#MDALARM\nMTD#CONNECT\nRSP#NAK"),
       WM_SETUP_MDALARM_CONNECT, 0, 0},
      {"setup nak is told to the window", CameraMessage("CMD#SETUP\nCLS#VIDEO\nMTD#GET\nRSP#NAK\nVAR#RES=1;"),
       WM_SETUP_REFUSED, 0, 0},
      {"audio get without form", CameraMessage("CMD#SETUP\nCLS#AUDIO\nMTD#GET\nRSP#ACK\nVAR#ALLOW_MIC=1;"), 0, 0, 0},
  };
  int alive = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::size_t before = window.All().size();
    camera.Write(control, c.bytes + CameraMessage("CMD#ALIVE\nMTD#SET\nRSP#ACK"));
    ASSERT_TRUE(window.WaitFor(WM_ALIVE_ACK, ++alive));
    const auto all = window.All();
    ASSERT_EQ(all.back().message, WM_ALIVE_ACK);
    const std::size_t produced = all.size() - before - 1;
    if (c.message == 0) {
      EXPECT_EQ(produced, 0u);
    } else {
      ASSERT_EQ(produced, 1u);
      const Recorded& r = all[all.size() - 2];
      EXPECT_EQ(r.message, c.message);
      EXPECT_EQ(r.wParam, c.wParam);
      EXPECT_EQ(r.lParam, c.lParam);
      EXPECT_FALSE(r.sent);
    }
  }
}

TEST_F(SignedIn, SetupRepliesGoToRegisteredWindows) {
  SignIn();
  ASSERT_TRUE(window.WaitFor(WM_LOGIN_ACCEPTED));
  RecordingWindow form;
  struct Case {
    const char* body;
    LinkConsumer<WindowTarget> SetupReplyTargets::*target;  // registered form, or none
    bool toForm;
    unsigned message;
    std::string text;
  };
  const Case cases[] = {
      {"CLS#VIDEO\nMTD#GET\nRSP#ACK\nVAR#RES=2;VCODEC=1;", &SetupReplyTargets::videoAudio, true,
       WM_SETUP_VIDEO_GET, "RES=2;VCODEC=1;\n\n"},
      {"CLS#VIDEO\nMTD#GET\nRSP#ACK\nVAR#RES=2;", nullptr, false, WM_SETUP_VIDEO_GET, "RES=2;\n\n"},
      {"CLS#VIDEO\nMTD#SET\nRSP#ACK\nVAR#RES=3;", &SetupReplyTargets::videoAudio, false, WM_SETUP_VIDEO_SET,
       "RES=3;\n\n"},
      {"CLS#NETWORK\nMTD#GET\nRSP#ACK\nVAR#IP_TYPE=0;", &SetupReplyTargets::network, true,
       WM_SETUP_NETWORK_GET, "IP_TYPE=0;\n\n"},
      {"CLS#DDNS\nMTD#SET\nRSP#ACK\nVAR#X=1;", &SetupReplyTargets::ddns, true, WM_SETUP_DDNS_SET, "X=1;\n\n"},
      {"CLS#PASSWD\nMTD#MOD\nRSP#ACK\nVAR#a=b=0;", &SetupReplyTargets::user, true, WM_SETUP_PASSWD_MOD,
       "a=b=0;\n\n"},
      {"CLS#MDALARM\nMTD#SET\nRSP#ACK", &SetupReplyTargets::mdalarm, false, WM_SETUP_MDALARM_SET, "ACK"},
      {"CLS#ADVANCE\nMTD#GET\nRSP#ACK\nVAR#FPS=30;", &SetupReplyTargets::advance, true, WM_SETUP_ADVANCE_GET,
       "FPS=30;\n\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.body);
    GetSetupReplyTargets().Clear();
    if (c.target != nullptr) GetSetupReplyTargets().*(c.target) = &form;
    RecordingWindow& expected = c.toForm ? form : window;
    const int before = expected.Count(c.message);
    camera.Write(control, CameraMessage(std::string("CMD#SETUP\n") + c.body));
    ASSERT_TRUE(expected.WaitFor(c.message, before + 1));
    const Recorded r = expected.Last(c.message);
    EXPECT_TRUE(r.sent);
    EXPECT_EQ(r.text, c.text);
  }
  // A reply for a form that does not exist goes nowhere (and does not stall
  // the channel).
  GetSetupReplyTargets().Clear();
  camera.Write(control, CameraMessage("CMD#SETUP\nCLS#USER\nMTD#GET\nRSP#ACK\nVAR#ALLOW_MAX=5;") +
                            CameraMessage("CMD#ALIVE\nRSP#ACK"));
  ASSERT_TRUE(window.WaitFor(WM_ALIVE_ACK));
  EXPECT_EQ(form.Count(WM_SETUP_USER_GET) + window.Count(WM_SETUP_USER_GET), 0);
}

TEST_F(SignedIn, UnusableBytesAreDiscardedAndTheChannelRecovers) {
  SignIn();
  ASSERT_TRUE(window.WaitFor(WM_LOGIN_ACCEPTED));
  const std::string cases[] = {
      std::string(3000, 'x'),                                  // never a message start
      "SRC#C\nVAR#" + std::string(2100, 'y'),                 // a message too long to complete
      std::string(2046, 'z') + "SR",                           // "SRC" split at the 2048 boundary
  };
  int alive = 0;
  for (const auto& garbage : cases) {
    camera.Write(control, garbage);
    usleep(50000);
    camera.Write(control, CameraMessage("CMD#ALIVE\nMTD#SET\nRSP#ACK"));
    EXPECT_TRUE(window.WaitFor(WM_ALIVE_ACK, ++alive)) << garbage.substr(0, 12);
  }
}

TEST_F(SignedIn, MessagesSplitAcrossSegmentsAndTwoInOne) {
  SignIn();
  ASSERT_TRUE(window.WaitFor(WM_LOGIN_ACCEPTED));
  const std::string a = CameraMessage("CMD#CLOSE\nRSP#ACK\nCODE#401");
  camera.Write(control, a.substr(0, 10));
  usleep(30000);
  camera.Write(control, a.substr(10) + CameraMessage("CMD#CLOSE\nRSP#ACK\nCODE#404"));
  ASSERT_TRUE(window.WaitFor(WM_CAMERA_CLOSE, 2));
  const auto all = window.All();
  std::vector<std::intptr_t> codes;
  for (const auto& r : all) {
    if (r.message == WM_CAMERA_CLOSE) codes.push_back(r.lParam);
  }
  EXPECT_EQ(codes, (std::vector<std::intptr_t>{401, 404}));
}

TEST_F(SignedIn, PeerCloseGivesOneControlClosed) {
  SignIn();
  ASSERT_TRUE(window.WaitFor(WM_LOGIN_ACCEPTED));
  // A message and the close in one go: the message is still handled first.
  camera.Write(control, CameraMessage("CMD#ALIVE\nRSP#ACK"));
  ::shutdown(control, SHUT_RDWR);
  ASSERT_TRUE(window.WaitFor(WM_CONTROL_CLOSED));
  EXPECT_EQ(window.Count(WM_ALIVE_ACK), 1);
  usleep(100000);
  EXPECT_EQ(window.Count(WM_CONTROL_CLOSED), 1);
  EXPECT_EQ(LinkSlot(kSlot).control.socket.load(), -1);
}

// True once |done| holds, false when it still does not after 10 s.
bool WaitUntil(const std::function<bool()>& done) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// A request is reported sent only when it went out on an open control
// connection. Without one nothing is sent and every request says it was not
// connected, however the connection ended, so that no caller takes the
// command for done (a switch stored "on" although the camera never heard).
TEST_F(SignedIn, RequestsReportWhetherTheyWentOut) {
  static constexpr int kNeverOpened = 14;
  const struct {
    const char* name;
    int (*send)(int slot);
    const char* cls;  // CLS of the request as the camera reads it ("" for none)
  } requests[] = {
      {"alive", SendAliveRequest, ""},
      {"close", SendCloseRequest, ""},
      {"key frame", RequestKeyFrame, "VIDEO"},
      {"start video", [](int slot) { return StartVideo(slot, nullptr); }, "VIDEO"},
      {"stop video", StopVideo, "VIDEO"},
      {"flip", [](int slot) { return FlipPicture(slot, 1, 0); }, "VIDEO"},
      {"sound on", [](int slot) { return CameraSoundOn(slot, nullptr); }, "MIC"},
      {"talk-back on", TalkBackOn, "SPK"},
      {"volume", [](int slot) { return SetSpeakerVolume(slot, 7); }, "SPK"},
      {"pan", [](int slot) { return MovePanTilt(slot, -2, 0, 0, 0); }, "PTZ"},
      {"flash", [](int slot) { return SetFlash(slot, 1); }, "LED"},
      {"motion detection", [](int slot) { return SetMotionDetection(slot, 1); }, "MOTION"},
      {"sensor", [](int slot) { return SetSensorInput(slot, 1); }, "SENSOR"},
      {"output", [](int slot) { return SetGeneralOutput(slot, 1); }, "GIO"},
      {"setup get", [](int slot) { return SendSetupRequest(slot, "VIDEO", "GET", nullptr); }, "VIDEO"},
  };
  enum class Link { kNeverOpened, kOpen, kClosedByTheCamera, kClosedBySignOut };
  const struct {
    const char* name;
    Link link;
    int result;
  } states[] = {
      {"never opened", Link::kNeverOpened, kSendNotConnected},
      {"open", Link::kOpen, kSendOk},
      {"closed by the camera", Link::kClosedByTheCamera, kSendNotConnected},
      {"closed by sign-out", Link::kClosedBySignOut, kSendNotConnected},
  };
  for (const auto& state : states) {
    SCOPED_TRACE(state.name);
    int slot = kSlot;
    switch (state.link) {
      case Link::kNeverOpened:
        slot = kNeverOpened;
        ASSERT_EQ(LinkSlot(slot).control.socket.load(), -1);
        break;
      case Link::kOpen:
        SignIn();
        ASSERT_TRUE(window.WaitFor(WM_LOGIN_ACCEPTED));
        break;
      case Link::kClosedByTheCamera:
        ::shutdown(control, SHUT_RDWR);
        ASSERT_TRUE(window.WaitFor(WM_CONTROL_CLOSED));
        ASSERT_TRUE(WaitUntil([] { return LinkSlot(kSlot).control.socket.load() == -1; }));
        break;
      case Link::kClosedBySignOut:
        SignIn();
        ASSERT_TRUE(window.WaitFor(WM_LOGIN_ACCEPTED, 2));
        CloseLink(kSlot);
        break;
    }
    for (const auto& r : requests) {
      SCOPED_TRACE(r.name);
      EXPECT_EQ(r.send(slot), state.result);
      if (state.result == kSendOk) {
        EXPECT_EQ(LineValue(camera.ReadMessage(control), "CLS"), r.cls);
      }
    }
  }
  CloseLink(kNeverOpened);
}

TEST(Engine, ConnectFailuresLeaveTheChannelClosed) {
  // Refused: a port nobody listens on.
  int closedPort;
  {
    TestCamera gone;
    closedPort = gone.port();
  }
  PHD& phd = LinkSlot(5).control;
  EXPECT_EQ(ConnectChannel("127.0.0.1", &phd, &SelectSet(5), closedPort, kControlChannel), 0);
  EXPECT_EQ(phd.socket.load(), -1);
  EXPECT_EQ(ConnectChannel("not an address", &phd, &SelectSet(5), closedPort, kControlChannel), 0);
  EXPECT_EQ(ConnectChannel("127.0.0.1", &phd, &SelectSet(5), closedPort, 4), 0);

  // Already open: refused, the open channel untouched.
  TestCamera camera;
  ASSERT_EQ(ConnectChannel("127.0.0.1", &phd, &SelectSet(5), camera.port(), kControlChannel), 1);
  const int open = phd.socket.load();
  EXPECT_EQ(ConnectChannel("127.0.0.1", &phd, &SelectSet(5), camera.port(), kControlChannel), 0);
  EXPECT_EQ(phd.socket.load(), open);
  CloseLink(5);
  EXPECT_EQ(phd.socket.load(), -1);
  CloseLink(5);  // nothing open: nothing happens
}

// Every slot's thread ends at every program end: "STOP (Thread_Select)" is a
// debug line, and with the debug switch the sixteen of them are one line and
// its count.
TEST(Engine, ThreadEndsAreDebugLines) {
  for (bool debug : {false, true}) {
    SCOPED_TRACE(debug ? "debug" : "no debug");
    SetLogDebug(debug);
    FlushLogRepeats();
    testing::internal::CaptureStderr();
    StopLinkEngine();
    FlushLogRepeats();
    const std::string logged = testing::internal::GetCapturedStderr();
    ASSERT_EQ(StartLinkEngine(), 1);
    std::size_t lines = 0;
    for (std::size_t at = logged.find("STOP (Thread_Select)\r\n"); at != std::string::npos;
         at = logged.find("STOP (Thread_Select)\r\n", at + 1)) {
      ++lines;
    }
    EXPECT_EQ(lines, debug ? 1u : 0u) << logged;
    const std::string counted = "STOP (Thread_Select) ... repeated " + std::to_string(kLinkSlots - 1) + " times";
    EXPECT_EQ(logged.find(counted) != std::string::npos, debug) << logged;
  }
  SetLogDebug(false);
}

TEST(Engine, ConnectTimesOutWhenNoAnswerComes) {
  // A listener whose queue is full drops further connection attempts.
  TestCamera camera(0);
  PHD fillers[1];
  for (PHD& f : fillers) ConnectChannel("127.0.0.1", &f, &SelectSet(6), camera.port(), kVideoChannel);
  PHD& phd = LinkSlot(6).control;
  EXPECT_EQ(ConnectChannel("127.0.0.1", &phd, &SelectSet(6), camera.port(), kControlChannel), 0);
  EXPECT_EQ(phd.socket.load(), -1);
  for (PHD& f : fillers) ResetChannel(&f);
}

}  // namespace
