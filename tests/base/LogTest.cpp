#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>

#include "base/base.h"

namespace fs = std::filesystem;

namespace {

class LogFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/tessora-log-XXXXXX";
    dir_ = ::mkdtemp(tmpl);
  }
  void TearDown() override {
    SetLogEnabled(false);
    fs::remove_all(dir_);
  }
  static std::string ReadWithIconv(const std::string& path) {
    std::string cmd = "iconv -f UTF-16LE -t UTF-8 '" + path + "'";
    FILE* p = ::popen(cmd.c_str(), "r");
    std::string out;
    char buf[256];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    EXPECT_EQ(::pclose(p), 0);
    return out;
  }
  std::string dir_;
};

TEST_F(LogFileTest, FileNameFollowsPattern) {
  const std::string path = SetLogFileName(3, dir_);
  const std::string name = fs::path(path).filename().string();
  EXPECT_TRUE(std::regex_match(name, std::regex(R"(\[Log 3\] \d{4}_[1-9]\d?_[1-9]\d? - \d{1,2}_\d{1,2}_\d{1,2}\.txt)")))
      << name;
  EXPECT_EQ(fs::path(path).parent_path().string(), dir_);
}

TEST_F(LogFileTest, KoreanTextIsWrittenAsUtf16WithoutBom) {
  const std::string path = SetLogFileName(0, dir_);
  SetLogEnabled(true);
  LogMessage("%s:%d camera %s\r\n", "link/Link.cpp", 42, "현관 카메라");
  LogMessageW(L"%s:%d (%d)\r\n", L"ui/MViewer.cpp", 7, -1);
  ASSERT_TRUE(fs::exists(path));
  std::ifstream raw(path, std::ios::binary);
  char first[2] = {};
  raw.read(first, 2);
  EXPECT_EQ(first[0], 'l');  // no byte-order mark
  EXPECT_EQ(first[1], '\0');
  EXPECT_EQ(ReadWithIconv(path),
            "link/Link.cpp:42 camera 현관 카메라\r\nui/MViewer.cpp:7 (-1)\r\n");
}

TEST_F(LogFileTest, NothingIsWrittenWhenFileLoggingIsOff) {
  const std::string path = SetLogFileName(1, dir_);
  SetLogEnabled(false);
  LogMessage("%s:%d\r\n", "x", 1);
  EXPECT_FALSE(fs::exists(path));
  EXPECT_TRUE(fs::is_empty(dir_));
}

TEST_F(LogFileTest, LongLinesAreCutNotOverrun) {
  const std::string path = SetLogFileName(0, dir_);
  SetLogEnabled(true);
  std::string big(5000, 'x');
  LogMessage("%s", big.c_str());
  EXPECT_EQ(fs::file_size(path), 2047u * 2);
}

TEST_F(LogFileTest, UnwritableFileStillReachesStandardError) {
  SetLogFileName(0, dir_ + "/missing-folder");
  SetLogEnabled(true);
  testing::internal::CaptureStderr();
  LogMessage("%s:%d\r\n", "base/x.cpp", 9);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "base/x.cpp:9\r\n");
}

TEST(SourceName, TrimsToAreaAndModule) {
  EXPECT_STREQ(SourceName("/home/u/src/Source/link/Link.cpp"), "link/Link.cpp");
  EXPECT_STREQ(SourceName("/x/tools/camsim/main.cpp"), "camsim/main.cpp");
  EXPECT_STREQ(SourceName("plain.cpp"), "plain.cpp");
}

TEST(Utf8ToUtf16, InvalidBytesBecomeReplacementCharacters) {
  const char bad[] = "a\xff\xe0\x80z";
  std::u16string out = Utf8ToUtf16(bad, sizeof bad - 1);
  EXPECT_EQ(out, u"a\uFFFD\uFFFD\uFFFDz");
  EXPECT_EQ(Utf8ToUtf16("\xf0\x9f\x93\xb7", 4), u"\U0001F4F7");
}

}  // namespace
