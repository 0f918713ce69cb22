// Video and audio channels: framing, pacing, faults, format changes, and
// what the ffmpeg command-line tool makes of the captured streams.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "ServerFixture.h"

namespace camsim_test {
namespace {

class Stream : public ServerFixture {
 protected:
  std::string TempDir() {
    char pattern[] = "/tmp/camsim-test-XXXXXX";
    const char* dir = mkdtemp(pattern);
    EXPECT_TRUE(dir);
    return dir ? dir : "/tmp";
  }
};

std::string RunTool(const std::string& cmd, int* status) {
  FILE* p = popen((cmd + " 2>&1").c_str(), "r");
  std::string out;
  char buf[512];
  while (p && std::fgets(buf, sizeof buf, p)) out += buf;
  *status = p ? WEXITSTATUS(pclose(p)) : -1;
  return out;
}

TEST_F(Stream, PacketsAreContinuousAcrossTheLoopAndStartOnAKeyFrame) {
  StartServer(3);
  const char* starts[] = {"MMPG", "MMPG", "MMJP"};
  for (int cam = 0; cam < 3; ++cam) {
    auto c = SignedIn(cam);
    auto v = OpenVideo(cam, c.get());
    Packet first;
    ASSERT_TRUE(v->ReadPacket(&first));
    EXPECT_TRUE(first.key);
    EXPECT_EQ(first.start, starts[cam]);
    Packet prev = first;
    // The loop is 25 frames long: 30 packets cross its end.
    for (int i = 0; i < 30; ++i) {
      Packet p;
      ASSERT_TRUE(v->ReadPacket(&p)) << i;
      EXPECT_EQ(p.sequence, prev.sequence + 1);
      EXPECT_EQ(p.start, starts[cam]);
      double gap = (static_cast<double>(p.seconds) - prev.seconds) * 1000.0 +
                   (static_cast<double>(p.micros) - prev.micros) / 1000.0;
      EXPECT_GE(gap, 0.0);
      EXPECT_LT(gap, 1000.0);
      prev = p;
    }
    double span = (static_cast<double>(prev.seconds) - first.seconds) +
                  (static_cast<double>(prev.micros) - first.micros) / 1e6;
    EXPECT_GT(span, 30 * 0.040 * 0.8);  // paced at 25 per second, not sent in a burst
  }
}

// A viewer's stream numbers its packets without gaps while another viewer
// of the same camera is sent its own (a viewer takes a gap for a lost
// packet and waits for the next key frame).
TEST_F(Stream, EachViewerOfACameraGetsConsecutiveNumbers) {
  StartServer(1);
  auto admin = SignedIn(0);
  auto power = SignedIn(0, "power", "power", "0_813");
  auto first = OpenVideo(0, admin.get());
  auto second = OpenVideo(0, power.get());
  Packet a, b;
  ASSERT_TRUE(first->ReadPacket(&a));
  ASSERT_TRUE(second->ReadPacket(&b));
  for (int i = 0; i < 10; ++i) {
    Packet p, q;
    ASSERT_TRUE(first->ReadPacket(&p)) << i;
    ASSERT_TRUE(second->ReadPacket(&q)) << i;
    EXPECT_EQ(p.sequence, a.sequence + 1) << i;
    EXPECT_EQ(q.sequence, b.sequence + 1) << i;
    a = p;
    b = q;
  }
}

TEST_F(Stream, FaultsShapeTheNextPacket) {
  StartServer(1);
  auto c = SignedIn(0);
  auto v = OpenVideo(0, c.get());
  Packet p;
  ASSERT_TRUE(v->ReadPacket(&p));
  std::uint32_t seq = p.sequence;

  // Packets already under way when a command lands go out unchanged.
  server_->Post("gap 0 3");
  for (int i = 0; i < 6; ++i) {
    ASSERT_TRUE(v->ReadPacket(&p));
    if (p.sequence != seq + 1) break;
    seq = p.sequence;
  }
  EXPECT_EQ(p.sequence, seq + 4);
  seq = p.sequence;

  // The packet under way when a command lands is sent unchanged, so read
  // packets until the garbage shows up at a packet boundary.
  server_->Post("garbage 0 17");
  int garbage = 0;
  for (int i = 0; i < 8 && garbage == 0; ++i) {
    std::uint8_t b[4];
    ASSERT_TRUE(v->ReadExact(b, 4));
    while (b[0] == 0x5A) {
      ++garbage;
      std::memmove(b, b + 1, 3);
      ASSERT_TRUE(v->ReadExact(b + 3, 1));
    }
    ASSERT_EQ(std::string(reinterpret_cast<char*>(b), 4), "MMPG");
    std::uint8_t rest[28];
    ASSERT_TRUE(v->ReadExact(rest, 28));
    std::int32_t size = rest[12] | rest[13] << 8 | rest[14] << 16 | rest[15] << 24;
    std::vector<std::uint8_t> payload(static_cast<std::size_t>(size));
    ASSERT_TRUE(v->ReadExact(payload.data(), payload.size()));
  }
  EXPECT_EQ(garbage, 17);
  ASSERT_TRUE(v->ReadPacket(&p));
  EXPECT_EQ(p.start, "MMPG");

  server_->Post("oversize 0");
  for (int i = 0; i < 6 && p.size != 256001; ++i) ASSERT_TRUE(v->ReadPacket(&p));
  EXPECT_EQ(p.size, 256001);
  ASSERT_TRUE(v->ReadPacket(&p));
  EXPECT_EQ(p.start, "MMPG");

  server_->Post("split 0");
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(v->ReadPacket(&p));
    EXPECT_EQ(p.start, "MMPG");
  }

  // Step a few frames into a group of pictures, where no key frame is due
  // for the next 20 frames, then ask for one.
  bool sawKey = false;
  for (int i = 0; i < 30 && !sawKey; ++i) {
    ASSERT_TRUE(v->ReadPacket(&p));
    sawKey = p.key;
  }
  ASSERT_TRUE(sawKey);
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(v->ReadPacket(&p));
  c->Send("CMD#CONTROL\nCLS#VIDEO\nMTD#I-FRAME_REQ");
  sawKey = false;
  for (int i = 0; i < 6 && !sawKey; ++i) {
    ASSERT_TRUE(v->ReadPacket(&p));
    sawKey = p.key;
  }
  EXPECT_TRUE(sawKey);

  // A stall shows as a gap of about a second between capture times.
  server_->Post("stall 0 1");
  double widest = 0;
  Packet prev = p;
  for (int i = 0; i < 20 && widest < 0.8; ++i) {
    ASSERT_TRUE(v->ReadPacket(&p, 3000));
    widest = std::max(widest, (static_cast<double>(p.seconds) - prev.seconds) +
                                  (static_cast<double>(p.micros) - prev.micros) / 1e6);
    prev = p;
  }
  EXPECT_GE(widest, 0.8);
  EXPECT_LT(widest, 5.0);
  Packet after;

  c->Send("CMD#CONTROL\nCLS#VIDEO\nMTD#STOP");
  EXPECT_EQ(c->ReadFor("CONTROL", "VIDEO").Get("RSP"), "ACK");
  v->ReadPacket(&after, 200);
  EXPECT_FALSE(v->ReadPacket(&after, 500));

  server_->Post("drop 0");
  EXPECT_TRUE(c->WaitClosed());
  EXPECT_TRUE(v->WaitClosed());
}

TEST_F(Stream, OpenStreamNeedsTheSessionAndRestartRefusesConnections) {
  StartServer(1, "[camera 0]\nnak = ASTREAM/OPEN\n");
  auto c = SignedIn(0);
  Client stray;
  ASSERT_TRUE(stray.Connect(Port(0)));
  stray.Send("CMD#OPEN\nCLS#VSTREAM", "0_999");
  EXPECT_TRUE(stray.WaitClosed());
  Client audio;
  ASSERT_TRUE(audio.Connect(Port(0)));
  audio.Send("CMD#OPEN\nCLS#ASTREAM", c->cameraId);
  EXPECT_EQ(c->ReadFor("OPEN", "ASTREAM").Get("RSP"), "NAK");

  // A 3-second restart leaves a loaded machine time to try a connection
  // inside the window.
  server_->Post("restart 0 3");
  EXPECT_TRUE(c->WaitClosed());
  Client during;
  EXPECT_FALSE(during.Connect(Port(0)));
  bool back = false;
  for (int i = 0; i < 100 && !back; ++i) {
    usleep(100000);
    Client after;
    back = after.Connect(Port(0));
  }
  EXPECT_TRUE(back);
}

TEST_F(Stream, VideoSetChangesWhatIsStreamed) {
  StartServer(1);
  auto c = SignedIn(0);
  auto v = OpenVideo(0, c.get());
  Packet p;
  ASSERT_TRUE(v->ReadPacket(&p));
  EXPECT_EQ(p.start, "MMPG");
  c->Send("CMD#SETUP\nCLS#VIDEO\nMTD#SET\nVAR#RES=0;VCODEC=0;QUALITY=5;WIDTH=320;HEIGHT=240;");
  Reply r = c->ReadFor("SETUP", "VIDEO");
  EXPECT_EQ(r.Get("RSP"), "ACK");
  EXPECT_NE(r.var.find("RES=0;VCODEC=0;QUALITY=5;"), std::string::npos) << r.var;
  EXPECT_NE(r.var.find("WIDTH=320;HEIGHT=240;"), std::string::npos) << r.var;
  for (int i = 0; i < 3 && p.start != "MMJP"; ++i) ASSERT_TRUE(v->ReadPacket(&p));
  EXPECT_EQ(p.start, "MMJP");
  // SOF0 height and width of the new picture.
  bool found = false;
  for (std::size_t i = 0; i + 9 < p.payload.size() && !found; ++i) {
    if (p.payload[i] == 0xFF && p.payload[i + 1] == 0xC0) {
      EXPECT_EQ(p.payload[i + 5] << 8 | p.payload[i + 6], 240);
      EXPECT_EQ(p.payload[i + 7] << 8 | p.payload[i + 8], 320);
      found = true;
    }
  }
  EXPECT_TRUE(found);
  c->Send("CMD#SETUP\nCLS#VIDEO\nMTD#SET\nVAR#RES=3;VCODEC=2;WIDTH=100;HEIGHT=100;");
  EXPECT_EQ(c->ReadFor("SETUP", "VIDEO").Get("RSP"), "NAK");  // not a size the encoders take
}

TEST_F(Stream, AudioToneOutAndTalkBackIntoAWav) {
  const std::string dir = TempDir();
  StartServer(1, "[global]\nspk_dir = " + dir + "\n");
  auto c = SignedIn(0);
  Client a;
  a.cameraId = c->cameraId;
  ASSERT_TRUE(a.Connect(Port(0)));
  a.Send("CMD#OPEN\nCLS#ASTREAM");
  EXPECT_EQ(c->ReadFor("OPEN", "ASTREAM").Get("RSP"), "ACK");
  c->Send("CMD#CONTROL\nCLS#MIC\nMTD#PLAY");
  EXPECT_EQ(c->ReadFor("CONTROL", "MIC").Get("RSP"), "ACK");
  std::vector<std::uint8_t> tone(1600);
  ASSERT_TRUE(a.ReadExact(tone.data(), tone.size(), 3000));
  // A 1 kHz tone repeats every 8 samples.
  for (std::size_t i = 8; i < tone.size(); ++i) EXPECT_EQ(tone[i], tone[i - 8]) << i;

  c->Send("CMD#CONTROL\nCLS#SPK\nMTD#PLAY");
  EXPECT_EQ(c->ReadFor("CONTROL", "SPK").Get("RSP"), "ACK");
  std::string talk(4000, '\x55');
  ASSERT_TRUE(a.SendRaw(talk));
  const std::string wav = dir + "/camsim-spk-0.wav";
  struct stat st {};
  for (int i = 0; i < 50 && !(stat(wav.c_str(), &st) == 0 && st.st_size >= 46 + 4000); ++i) usleep(50000);
  EXPECT_EQ(st.st_size, 46 + 4000);
  int status = 0;
  std::string info = RunTool("ffprobe -v error -show_entries stream=codec_name,sample_rate,duration -of csv=p=0 " + wav,
                         &status);
  EXPECT_EQ(status, 0) << info;
  EXPECT_NE(info.find("pcm_mulaw,8000,0.5"), std::string::npos) << info;
  std::remove(wav.c_str());
  rmdir(dir.c_str());
}

// Captures the video of each format, writes the payloads back to back, and
// decodes that with the ffmpeg tool: no error and every frame decoded.
TEST_F(Stream, CapturedStreamsDecodeWithFfmpeg) {
  const std::string dir = TempDir();
  const std::string events = dir + "/events.jsonl";
  StartServer(6,
              "[camera 2]\ncodec = mjpeg422\n[camera 3]\ncodec = mjpeg420-nodht\n"
              "[camera 4]\ncodec = mjpeg422-nodht\n[camera 5]\ncodec = mjpeg420\n",
              events);
  const char* formats[] = {"h264", "m4v", "mjpeg", "mjpeg", "mjpeg", "mjpeg"};
  for (int cam = 0; cam < 6; ++cam) {
    auto c = SignedIn(cam);
    auto v = OpenVideo(cam, c.get());
    const std::string file = dir + "/cam" + std::to_string(cam) + ".raw";
    std::ofstream out(file, std::ios::binary);
    const int frames = 30;
    for (int i = 0; i < frames; ++i) {
      Packet p;
      ASSERT_TRUE(v->ReadPacket(&p)) << cam;
      out.write(reinterpret_cast<const char*>(p.payload.data()), static_cast<std::streamsize>(p.payload.size()));
    }
    out.close();
    int status = 0;
    std::string log = RunTool(std::string("ffmpeg -nostdin -v error -f ") + formats[cam] + " -i " + file +
                              " -f framemd5 -",
                          &status);
    EXPECT_EQ(status, 0) << cam << ": " << log;
    int decoded = 0;
    std::istringstream lines(log);
    std::string line;
    while (std::getline(lines, line)) {
      if (!line.empty() && line[0] != '#') ++decoded;
      EXPECT_EQ(line.find("rror"), std::string::npos) << cam << ": " << line;
    }
    EXPECT_EQ(decoded, frames) << cam << ": " << log;
    std::remove(file.c_str());
  }
  // The event log recorded the sign-ins, one JSON object per line.
  std::ifstream in(events);
  std::string line;
  int signIns = 0;
  while (std::getline(in, line)) {
    EXPECT_EQ(line.front(), '{');
    EXPECT_EQ(line.back(), '}');
    if (line.find("\"dir\":\"in\"") != std::string::npos && line.find("\"CLS\":\"CONTROL\"") != std::string::npos &&
        line.find("\"ID\":\"admin\"") != std::string::npos) {
      ++signIns;
    }
  }
  EXPECT_EQ(signIns, 6);
  std::remove(events.c_str());
  rmdir(dir.c_str());
}

}  // namespace
}  // namespace camsim_test
