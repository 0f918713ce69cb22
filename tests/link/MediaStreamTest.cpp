// Video framing and audio through real sockets: the test camera feeds the
// video and audio channels of a signed-in slot.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "TestCamera.h"
#include "link/CameraCommands.h"
#include "link/ControlChannel.h"
#include "link/LinkEngine.h"
#include "link/LinkMessages.h"
#include "link/MediaStream.h"

namespace {

std::string Packet(const char* code, std::uint32_t sequence, std::int32_t size, int key,
                   const std::string& payload) {
  std::string p(32, '\0');
  std::memcpy(p.data(), code, 4);
  auto put = [&p](int offset, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[static_cast<std::size_t>(offset + i)] = static_cast<char>(v >> (8 * i));
  };
  put(4, 100);
  put(8, 5000);
  put(12, sequence);
  put(16, static_cast<std::uint32_t>(size));
  put(20, static_cast<std::uint32_t>(key));
  return p + payload;
}

std::string Frame(std::uint32_t sequence, const std::string& payload, const char* code = "MMPG") {
  return Packet(code, sequence, static_cast<std::int32_t>(payload.size()), 1, payload);
}

// Waits (10 s at most) until |done| holds.
template <class Done>
bool WaitUntil(Done done) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    usleep(1000);
  }
  return true;
}

class Streaming : public ::testing::Test {
 protected:
  static constexpr int kSlot = 9;
  void SetUp() override {
    ASSERT_EQ(StartLinkEngine(), 1);
    ASSERT_EQ(PrepareLink(kSlot, &window, "127.0.0.1", camera.port()), 1);
    ASSERT_EQ(OpenControl(kSlot, "admin", "pw", 0), 1);
    control = camera.AcceptSignIn("CMD#OPEN\nCLS#CONTROL\nRSP#ACK\nSTID#7_99\nVER#0,5,0,0");
    ASSERT_TRUE(window.WaitFor(WM_LOGIN_ACCEPTED));
    ASSERT_EQ(OpenVideoStream(kSlot), 1);
    video = camera.Accept();
    ASSERT_GE(video, 0);
    const std::string open = camera.ReadMessage(video);
    EXPECT_EQ(LineValue(open, "CLS"), "VSTREAM");
    EXPECT_EQ(LineValue(open, "DTID"), "7_99");
    ASSERT_EQ(StartVideo(kSlot, &queue), 1);
    EXPECT_EQ(LineValue(camera.ReadMessage(control), "MTD"), "PLAY");
  }
  void TearDown() override { CloseLink(kSlot); }
  int KeyFrameRequests() {
    int n = 0;
    for (const auto& m : camera.DrainMessages(control, 100)) n += LineValue(m, "MTD") == "I-FRAME_REQ";
    return n;
  }
  TestCamera camera;
  RecordingWindow window;
  RecordingFrameQueue queue;
  int control = -1;
  int video = -1;
};

struct FramingCase {
  const char* name;
  std::string first;   // written, then a short pause
  std::string second;  // written after it
  std::vector<std::string> payloads;  // frames expected, in order
  int keyFrameRequests;
};

TEST_F(Streaming, FramesResynchronisationAndLimits) {
  // The declared size alone decides; the bytes that follow are junk to skip.
  const std::string junk(3000, 'q');
  const FramingCase cases[] = {
      {"two frames in one write", Frame(1, "abc") + Frame(2, "defg"), "", {"abc", "defg"}, 0},
      {"empty motion jpeg", Frame(1, "", "MMJP"), "", {""}, 0},
      {"start code split", std::string("MMP"), Frame(1, "xyz").substr(3), {"xyz"}, 0},
      {"stream joined mid-frame", "ragged tail of a frame", Frame(7, "ok"), {"ok"}, 1},
      {"payload 256001", Packet("MMPG", 1, 256001, 1, junk), Frame(2, "after"), {"after"}, 1},
      {"negative payload size", Packet("MMPG", 1, -5, 1, "zzzzzzzz"), Frame(2, "after"), {"after"}, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    RecordingFrameQueue local;
    ASSERT_EQ(StartVideo(kSlot, &local), 1);
    camera.ReadMessage(control);  // the PLAY request
    camera.Write(video, c.first);
    usleep(50000);
    camera.Write(video, c.second);
    ASSERT_TRUE(local.WaitFrames(static_cast<int>(c.payloads.size())));
    usleep(50000);
    const auto frames = local.Frames();
    ASSERT_EQ(frames.size(), c.payloads.size());
    for (std::size_t i = 0; i < frames.size(); ++i) EXPECT_EQ(frames[i].payload, c.payloads[i]);
    EXPECT_EQ(KeyFrameRequests(), c.keyFrameRequests);
    EXPECT_EQ(local.keyFrameRequests(), c.keyFrameRequests);
  }
  EXPECT_EQ(queue.Frames().size(), 0u);
}

TEST_F(Streaming, QueueAskingForAKeyFrameGetsOneRequestPerFrame) {
  queue.set_ask_key_frame(true);
  camera.Write(video, Frame(1, "a") + Frame(3, "b"));
  for (int i = 0; i < 50 && queue.keyFrameRequests() < 2; ++i) usleep(20000);
  EXPECT_EQ(queue.keyFrameRequests(), 2);
  EXPECT_EQ(KeyFrameRequests(), 2);
  // The slot is free again: the next frame is read into it.
  queue.set_ask_key_frame(false);
  camera.Write(video, Frame(4, "c"));
  ASSERT_TRUE(queue.WaitFrames(1));
  EXPECT_EQ(queue.Frames()[0].payload, "c");
}

TEST_F(Streaming, PeerClosingMidPayloadFreesTheSlotAndTheChannel) {
  camera.Write(video, Frame(1, std::string(1000, 'p')).substr(0, 500));
  usleep(30000);
  ::shutdown(video, SHUT_RDWR);
  for (int i = 0; i < 100 && LinkSlot(kSlot).video.socket.load() != -1; ++i) usleep(20000);
  EXPECT_EQ(LinkSlot(kSlot).video.socket.load(), -1);
  EXPECT_EQ(queue.Frames().size(), 0u);
  EXPECT_EQ(window.Count(WM_CONTROL_CLOSED), 0);  // only the control channel reports
}

// The camera ending the video channel is told to the pane's window at once
// (WM_VIDEO_CLOSED), however it ends it; the control channel stays. Ends the
// viewer brought about are not told: its own reset of the channel, and a
// close after its VIDEO STOP (until the next VIDEO PLAY) or its CLOSE.
TEST_F(Streaming, TheCameraEndingTheVideoChannelIsTold) {
  enum class Viewer { kNothing, kStop, kStopThenPlay, kClose, kReset };
  const struct {
    const char* name;
    Viewer viewer;      // what the viewer does first
    std::string sent;   // what the camera sends before it ends the channel
    bool reset;         // the camera ends with a reset (RST) instead of the end of the stream
    bool told;
  } cases[] = {
      {"end of stream between frames", Viewer::kNothing, Frame(1, "a"), false, true},
      {"end of stream in the middle of a frame", Viewer::kNothing, Frame(2, std::string(1000, 'p')).substr(0, 500),
       false, true},
      {"reset", Viewer::kNothing, "", true, true},
      {"after the viewer's VIDEO STOP", Viewer::kStop, "", false, false},
      {"after VIDEO STOP and VIDEO PLAY again", Viewer::kStopThenPlay, "", false, true},
      {"after the viewer's CLOSE", Viewer::kClose, "", false, false},
      {"the viewer closed it itself", Viewer::kReset, "", false, false},
  };
  int told = 0;
  int channel = video;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (channel < 0) {  // a new video channel for the case
      ASSERT_EQ(OpenVideoStream(kSlot), 1);
      channel = camera.Accept();
      ASSERT_GE(channel, 0);
      EXPECT_EQ(LineValue(camera.ReadMessage(channel), "CLS"), "VSTREAM");
      ASSERT_EQ(StartVideo(kSlot, &queue), 1);
      EXPECT_EQ(LineValue(camera.ReadMessage(control), "MTD"), "PLAY");
    }
    switch (c.viewer) {
      case Viewer::kNothing: break;
      case Viewer::kStop:
        ASSERT_EQ(StopVideo(kSlot), 1);
        EXPECT_EQ(LineValue(camera.ReadMessage(control), "MTD"), "STOP");
        break;
      case Viewer::kStopThenPlay:
        ASSERT_EQ(StopVideo(kSlot), 1);
        ASSERT_EQ(StartVideo(kSlot, &queue), 1);
        EXPECT_EQ(LineValue(camera.ReadMessage(control), "MTD"), "STOP");
        EXPECT_EQ(LineValue(camera.ReadMessage(control), "MTD"), "PLAY");
        break;
      case Viewer::kClose:
        ASSERT_EQ(SendCloseRequest(kSlot), 1);
        EXPECT_EQ(LineValue(camera.ReadMessage(control), "CMD"), "CLOSE");
        break;
      case Viewer::kReset:
        ResetChannel(&LinkSlot(kSlot).video);
        break;
    }
    if (!c.sent.empty()) camera.Write(channel, c.sent);
    const auto closed = std::chrono::steady_clock::now();
    camera.Close(channel, c.reset);
    channel = -1;
    if (c.told) {
      ++told;
      ASSERT_TRUE(window.WaitFor(WM_VIDEO_CLOSED, told));
      std::printf("[ figure   ] %s: told after %.1f ms\n", c.name,
                  std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - closed).count());
    }
    // The slot's thread has reset the channel; a message it posts comes
    // before the acknowledgement it reads next on the control channel.
    ASSERT_TRUE(WaitUntil([] { return LinkSlot(kSlot).video.socket.load() == -1; }));
    const int acks = window.Count(WM_VIDEO_STOP_ACK);
    camera.Write(control, CameraMessage("CMD#CONTROL\nCLS#VIDEO\nMTD#STOP\nRSP#ACK"));
    ASSERT_TRUE(window.WaitFor(WM_VIDEO_STOP_ACK, acks + 1));
    EXPECT_EQ(window.Count(WM_VIDEO_CLOSED), told);
    EXPECT_EQ(window.Count(WM_CONTROL_CLOSED), 0);
    EXPECT_EQ(RequestKeyFrame(kSlot), kSendOk) << "the control channel stays";
    camera.ReadMessage(control);
  }
  // Closing the whole link tells nothing either.
  ASSERT_EQ(OpenVideoStream(kSlot), 1);
  ASSERT_GE(camera.Accept(), 0);
  CloseLink(kSlot);
  EXPECT_EQ(window.Count(WM_VIDEO_CLOSED), told);
  EXPECT_EQ(window.Count(WM_CONTROL_CLOSED), 0);
}

TEST_F(Streaming, StalledPeerIsGivenUpAndTheStreamGoesOn) {
  camera.Write(video, Frame(1, std::string(1000, 'p')).substr(0, 600));
  usleep((kStallLimitMs + 500) * 1000);
  camera.Write(video, Frame(2, "fresh"));
  ASSERT_TRUE(queue.WaitFrames(1));
  EXPECT_EQ(queue.Frames()[0].payload, "fresh");
}

TEST_F(Streaming, AudioBeforeAndAfterTheSinkIsSet) {
  struct Player : AudioSink {
    int PushReceived(const std::uint8_t* bytes, int count) override {
      std::lock_guard<std::mutex> hold(lock);
      data.append(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(count));
      return count;
    }
    std::string Data() {
      std::lock_guard<std::mutex> hold(lock);
      return data;
    }
    std::mutex lock;  // guards data
    std::string data;
  } player;
  ASSERT_EQ(OpenAudioStream(kSlot), 1);
  const int audio = camera.Accept();
  EXPECT_EQ(LineValue(camera.ReadMessage(audio), "CLS"), "ASTREAM");
  const std::uint64_t dropped = AudioBytesDropped();
  camera.Write(audio, "early");  // no sink yet: dropped
  for (const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
       AudioBytesDropped() < dropped + 5 && std::chrono::steady_clock::now() < deadline;) {
    usleep(1000);
  }
  ASSERT_EQ(AudioBytesDropped(), dropped + 5) << "the early bytes were not read and dropped";
  ASSERT_EQ(CameraSoundOn(kSlot, &player), 1);
  EXPECT_EQ(LineValue(camera.ReadMessage(control), "CLS"), "MIC");
  camera.Write(audio, "sound");
  for (int i = 0; i < 100 && player.Data().size() < 5; ++i) usleep(10000);
  EXPECT_EQ(player.Data(), "sound");
  CloseAudioChannel(kSlot);
  EXPECT_EQ(LinkSlot(kSlot).audio.socket.load(), -1);
  EXPECT_GE(LinkSlot(kSlot).video.socket.load(), 0);
}

// Each builder's body as the camera receives it.
TEST_F(Streaming, CommandBodies) {
  struct Case {
    int (*send)();
    const char* body;
  };
  static const Case cases[] = {
      {[] { return RequestKeyFrame(kSlot); }, "CMD#CONTROL\nCLS#VIDEO\nMTD#I-FRAME_REQ"},
      {[] { return StopVideo(kSlot); }, "CMD#CONTROL\nCLS#VIDEO\nMTD#STOP"},
      {[] { return FlipPicture(kSlot, 1, 0); }, "CMD#CONTROL\nCLS#VIDEO\nMTD#SET\nFHORZ#1\nFVERT#0"},
      {[] { return CameraSoundOff(kSlot); }, "CMD#CONTROL\nCLS#MIC\nMTD#STOP"},
      {[] { return TalkBackOn(kSlot); }, "CMD#CONTROL\nCLS#SPK\nMTD#PLAY"},
      {[] { return TalkBackOff(kSlot); }, "CMD#CONTROL\nCLS#SPK\nMTD#STOP"},
      {[] { return SetSpeakerVolume(kSlot, 7); }, "CMD#CONTROL\nCLS#SPK\nMTD#SET\nVOLUME#7"},
      {[] { return MovePanTilt(kSlot, -2, 0, 0, 0); },
       "CMD#CONTROL\nCLS#PTZ\nMTD#SET\nVAR#PAN=-2;TILT=0;ZOOM=0;FOCUS=0;"},
      {[] { return MovePanTilt(kSlot, 0, 0, 0, 0); },
       "CMD#CONTROL\nCLS#PTZ\nMTD#SET\nVAR#PAN=0;TILT=0;ZOOM=0;FOCUS=0;"},
      {[] { return SavePreset(kSlot, 2); }, "CMD#CONTROL\nCLS#PTZ\nMTD#PRESET_SAVE\nPRESET_NUMBER#2"},
      {[] { return GotoPreset(kSlot, 3); }, "CMD#CONTROL\nCLS#PTZ\nMTD#PRESET_GOTO\nPRESET_NUMBER#3"},
      {[] { return StartScan(kSlot); }, "CMD#CONTROL\nCLS#PTZ\nMTD#SCAN_START"},
      {[] { return StopScan(kSlot); }, "CMD#CONTROL\nCLS#PTZ\nMTD#SCAN_STOP"},
      {[] { return ExecuteCustom(kSlot); }, "CMD#CONTROL\nCLS#CUSTOM\nMTD#EXECUTE\nCUTOM_NUMBER#0"},
      {[] { return SetFlash(kSlot, 0); }, "CMD#CONTROL\nCLS#LED\nMTD#SET\nFLASH#0\nLED_01#3\nLED_02#3"},
      {[] { return SetMotionDetection(kSlot, 1); }, "CMD#CONTROL\nCLS#MOTION\nMTD#SET"},
      {[] { return SetSensorInput(kSlot, 0); }, "CMD#CONTROL\nCLS#SENSOR\nMTD#CLR"},
      {[] { return SetGeneralOutput(kSlot, 1); }, "CMD#CONTROL\nCLS#GIO\nMTD#SET\nGIO_PIN#GO_01"},
      {[] { return SendSetupRequest(kSlot, "USER", "SET", "ALLOW_MAX=5;"); },
       "CMD#SETUP\nCLS#USER\nMTD#SET\nVAR#ALLOW_MAX=5;"},
      {[] { return SendSetupRequest(kSlot, "VIDEO", "GET", nullptr); }, "CMD#SETUP\nCLS#VIDEO\nMTD#GET"},
  };
  for (const auto& c : cases) {
    ASSERT_EQ(c.send(), 1) << c.body;
    const std::string m = camera.ReadMessage(control);
    const std::size_t body = m.find("CMD#");
    ASSERT_NE(body, std::string::npos);
    EXPECT_EQ(m.substr(body), std::string(c.body) + "\n\n");
    EXPECT_EQ(m.substr(0, body), "SRC#V\nSTID#" + LineValue(m, "STID") + "\nDST#C\nDTID#7_99\n");
  }
}

}  // namespace
