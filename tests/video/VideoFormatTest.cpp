// The camera's VIDEO section turned into a format: the size rules per RES,
// the bounds on a size the camera chooses, and text that is not a section.
#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "video/VideoFormat.h"

namespace {

struct Case {
  const char* name;
  std::string var;
  bool ok;
  int width, height;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.var.substr(0, 60); }

class ParseVideoFormatTest : public ::testing::TestWithParam<Case> {};

TEST_P(ParseVideoFormatTest, SizeFollowsTheResolutionCode) {
  const Case& c = GetParam();
  VideoFormat f;
  f.width = -7;  // left alone on failure
  ASSERT_EQ(ParseVideoFormat(c.var.c_str(), &f), c.ok) << c.var;
  EXPECT_EQ(f.width, c.ok ? c.width : -7);
  if (c.ok) {
    EXPECT_EQ(f.height, c.height);
  }
}

const std::string kLong = "RES=3;WIDTH=800;HEIGHT=600;OSD_NAME=" + std::string(5000, 'x') + ";";

INSTANTIATE_TEST_SUITE_P(
    Sections, ParseVideoFormatTest,
    ::testing::Values(
        // The fixed sizes win over whatever WIDTH and HEIGHT say.
        Case{"Qvga", "RES=0;VCODEC=1;WIDTH=800;HEIGHT=600;", true, 320, 240},
        Case{"QvgaLoupe", "RES=1;WIDTH=640;HEIGHT=480;", true, 320, 240},
        Case{"Vga", "RES=2;WIDTH=320;HEIGHT=240;", true, 640, 480},
        Case{"VgaWithoutSize", "RES=2;VCODEC=2;", true, 640, 480},
        // A size of the camera's choosing, within bounds.
        Case{"UserDefined", "RES=3;WIDTH=800;HEIGHT=600;", true, 800, 600},
        Case{"AboveThree", "RES=4;WIDTH=1280;HEIGHT=720;", true, 1280, 720},
        Case{"LargestSide", "RES=3;WIDTH=4096;HEIGHT=4096;", true, 4096, 4096},
        Case{"SmallestSide", "RES=3;WIDTH=1;HEIGHT=1;", true, 1, 1},
        Case{"LongNameAfterSize", kLong, true, 800, 600},
        // Each size rule broken.
        Case{"UserDefinedZeroWidth", "RES=3;WIDTH=0;HEIGHT=600;", false, 0, 0},
        Case{"UserDefinedNoHeight", "RES=3;WIDTH=800;", false, 0, 0},
        Case{"AboveThreeNoSize", "RES=5;", false, 0, 0},
        Case{"NegativeWidth", "RES=3;WIDTH=-640;HEIGHT=480;", false, 0, 0},
        Case{"NegativeRes", "RES=-1;WIDTH=0;HEIGHT=0;", false, 0, 0},
        Case{"WidthTooLarge", "RES=3;WIDTH=4097;HEIGHT=480;", false, 0, 0},
        Case{"HeightTooLarge", "RES=4;WIDTH=640;HEIGHT=70000;", false, 0, 0},
        Case{"WidthSaturates", "RES=3;WIDTH=99999999999;HEIGHT=480;", false, 0, 0},
        // Text that is not a VIDEO section: no RES reads as 0.
        Case{"Empty", "", true, 320, 240},
        Case{"OnlyDelimiters", ";;==\n;=", true, 320, 240},
        Case{"WordsForNumbers", "RES=three;WIDTH=wide;HEIGHT=tall;", true, 320, 240},
        Case{"WordsForSize", "RES=3;WIDTH=wide;HEIGHT=tall;", false, 0, 0}),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

TEST(ParseVideoFormat, ByteFieldsKeepTheLowEightBits) {
  VideoFormat f;
  ASSERT_TRUE(ParseVideoFormat("RES=2;VCODEC=2;QUALITY=12;BRIGHT=7;CONTRAST=269;NIGHT_MODE=1;", &f));
  EXPECT_EQ(f.resolution, 2);
  EXPECT_EQ(f.codec, 2);
  EXPECT_EQ(f.quality, 12);
  EXPECT_EQ(f.brightness, 7);
  EXPECT_EQ(f.contrast, 13);  // 269 mod 256
  ASSERT_TRUE(ParseVideoFormat("RES=259;WIDTH=800;HEIGHT=600;", &f));
  EXPECT_EQ(f.resolution, 3);
  EXPECT_EQ(f.width, 800);
}

TEST(ParseVideoFormat, NoTextIsRefused) {
  VideoFormat f;
  EXPECT_FALSE(ParseVideoFormat(nullptr, &f));
  EXPECT_FALSE(ParseVideoFormat("RES=2;", nullptr));
}

}  // namespace
