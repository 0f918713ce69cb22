// End to end: tessora-cli snapshot against the camera simulator, for each of
// its codecs; the JPEG must be the 4:2:2 picture the camera drew, in its colours.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "VideoTestUtil.h"
#include "camsim/TestPattern.h"
#include "support/Camsim.h"

namespace {

// ffmpeg's RGB picture of the first |frames| frames camera |camera| draws,
// in the layout and range its stream carries them: 4:2:0 video range for
// H.264 and MPEG-4, 4:2:2 full range for Motion JPEG.
bool CameraPictures(const vt::TempDir& dir, int camera, bool jpeg, int frames, vt::Bytes* rgb) {
  const int chromaHeight = jpeg ? 480 : 240;
  vt::Bytes raw;
  for (int frame = 0; frame < frames; ++frame) {
    std::vector<std::uint8_t> y(640 * 480), cb(320 * chromaHeight), cr(320 * chromaHeight);
    camsim::PlanarPicture p{y.data(), cb.data(), cr.data(), 640, 480, chromaHeight, 640, 320};
    camsim::DrawTestPattern(p, camera, frame);
    raw.insert(raw.end(), y.begin(), y.end());
    raw.insert(raw.end(), cb.begin(), cb.end());
    raw.insert(raw.end(), cr.begin(), cr.end());
  }
  const std::string in = dir.File("camera" + std::to_string(camera) + ".yuv");
  const std::string out = dir.File("camera" + std::to_string(camera) + ".rgb");
  return vt::WriteFile(in, raw) &&
         vt::Run(std::string("ffmpeg -nostdin -y -loglevel error -f rawvideo -pix_fmt ") +
                 (jpeg ? "yuvj422p" : "yuv420p") + " -s 640x480 -i '" + in + "' -f rawvideo -pix_fmt rgb24 '" +
                 out + "'") == 0 &&
         vt::ReadFile(out, rgb) && rgb->size() == 640u * 480u * 3u * static_cast<size_t>(frames);
}

// The snapshot of each camera, decoded and converted to RGB by ffmpeg, shows
// the colours ffmpeg shows for the frame the camera drew: video-range
// pictures are stretched to the JPEG's full range, full-range ones kept.
TEST(SnapshotCommand, SavesTheCamerasPictureForEveryCodec) {
  vt::TempDir dir;
  testsupport::Camsim sim(CAMSIM);
  ASSERT_TRUE(sim.Start(dir.path())) << "camera simulator did not start";
  const int port = sim.Port();
  struct Camera {
    const char* name;
    bool jpeg;
  };
  const Camera cameras[] = {{"H.264", false}, {"MPEG-4", false}, {"Motion JPEG 4:2:2", true}};
  // A viewer's stream starts at the loop's first frame; a key frame request
  // may move it on by one group of 25.
  constexpr int kCandidates = 50;
  const size_t rgbBytes = 640u * 480u * 3u;
  for (int camera = 0; camera < 3; ++camera) {
    SCOPED_TRACE(cameras[camera].name);
    const std::string out = dir.File("cam" + std::to_string(camera) + ".jpg");
    ASSERT_EQ(vt::Run(std::string(TESSORA_CLI) + " snapshot 127.0.0.1:" + std::to_string(port + camera) +
                      " -u admin -p admin '" + out + "'"),
              0);
    std::istringstream info(vt::Capture("identify -format '%m %w %h %[jpeg:sampling-factor]' '" + out + "'"));
    std::string format, sampling;
    int w = 0, h = 0;
    info >> format >> w >> h >> sampling;
    ASSERT_EQ(format, "JPEG");
    ASSERT_EQ(w, 640);
    ASSERT_EQ(h, 480);
    EXPECT_EQ(sampling, "2x1,1x1,1x1");

    vt::Bytes snapshot, reference;
    ASSERT_TRUE(vt::ReferenceDecode(out, "rgb24", &snapshot));
    ASSERT_EQ(snapshot.size(), rgbBytes);
    ASSERT_TRUE(CameraPictures(dir, camera, cameras[camera].jpeg, kCandidates, &reference));
    double best = 0;
    for (int frame = 0; frame < kCandidates; ++frame) {
      best = std::max(best, vt::Psnr(snapshot.data(), reference.data() + rgbBytes * static_cast<size_t>(frame),
                                     rgbBytes));
    }
    std::printf("%s: %.1f dB\n", cameras[camera].name, best);
    EXPECT_GE(best, 35.0);
  }
}

}  // namespace
