// End to end: tessora-cli snapshot against the camera simulator, for each of
// its codecs; the JPEG must be the 4:2:2 picture the camera drew.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "VideoTestUtil.h"
#include "camsim/TestPattern.h"
#include "support/Camsim.h"

namespace {

TEST(SnapshotCommand, SavesTheCamerasPictureForEveryCodec) {
  vt::TempDir dir;
  testsupport::Camsim sim(CAMSIM);
  ASSERT_TRUE(sim.Start(dir.path())) << "camera simulator did not start";
  const int port = sim.Port();
  const char* names[] = {"H.264", "MPEG-4", "Motion JPEG 4:2:2"};
  for (int camera = 0; camera < 3; ++camera) {
    SCOPED_TRACE(names[camera]);
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

    vt::Bytes gray;
    ASSERT_TRUE(vt::ReferenceDecode(out, "gray", &gray));
    ASSERT_EQ(gray.size(), 640u * 480u);
    // The first frames of the camera's loop as it drew them.
    double best = 0;
    for (int frame = 0; frame < 5; ++frame) {
      std::vector<std::uint8_t> y(640 * 480), cb(320 * 480), cr(320 * 480);
      camsim::PlanarPicture p{y.data(), cb.data(), cr.data(), 640, 480, 480, 640, 320};
      camsim::DrawTestPattern(p, camera, frame);
      best = std::max(best, vt::Psnr(gray.data(), y.data(), y.size()));
    }
    EXPECT_GT(best, 30.0);
  }
}

}  // namespace
