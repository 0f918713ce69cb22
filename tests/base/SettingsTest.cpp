#include <gtest/gtest.h>

#include <unistd.h>

#include <QSettings>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "base/MRegistry.h"

namespace fs = std::filesystem;

namespace {

// The whole binary runs with XDG_CONFIG_HOME in a temporary folder (set in
// main, before the first settings access), so the user's settings are never
// touched; every test starts from an empty store.
QTemporaryDir* g_configHome = nullptr;

class SettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    {
      QSettings store(QSettings::NativeFormat, QSettings::UserScope, "Halvik", "Tessora");
      store.clear();
      store.sync();
    }
    ASSERT_EQ(OpenSettingsKey("Viewer00", &viewer_), 1);
    ASSERT_EQ(OpenSettingsKey("Global", &global_), 1);
  }
  static std::string ConfigFile() {
    return g_configHome->path().toStdString() + "/Halvik/Tessora.conf";
  }
  static std::string Peer(const std::string& args) {
    std::string cmd = std::string(SETTINGS_PEER) + " " + args;
    FILE* p = ::popen(cmd.c_str(), "r");
    std::string out;
    char buf[256];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    int status = ::pclose(p);
    return status == 0 ? out : "exit:" + std::to_string(status);
  }

  SettingsKey viewer_;
  SettingsKey global_;
};

TEST_F(SettingsTest, DefaultsComeFromTheIndex) {
  EXPECT_EQ(ReadSettingDword(viewer_, settings::kSigninPort), 9090);
  EXPECT_EQ(ReadSettingDword(viewer_, settings::kSpkVolume), 7);
  EXPECT_EQ(ReadSettingDword(global_, settings::kLayoutX), 2);
  QString text;
  EXPECT_EQ(ReadSettingString(viewer_, settings::kSigninUrl, 260, &text), 0);
  EXPECT_EQ(text, "http://");
  EXPECT_EQ(ReadSettingString(viewer_, settings::kRecordDir, 260, &text), 0);
  EXPECT_EQ(text, "Unknown Directory");
}

TEST_F(SettingsTest, WrittenValuesReadBack) {
  EXPECT_EQ(WriteSettingDword(viewer_, settings::kSigninPort, 8000), 1);
  EXPECT_EQ(WriteSettingDword(viewer_, "MD", "Duration", -5), 1);
  EXPECT_EQ(WriteSettingString(viewer_, settings::kSigninAlias, QString::fromUtf8("현관, 1층")), 1);
  EXPECT_EQ(WriteSettingString(viewer_, settings::kSigninId, QString()), 1);
  EXPECT_EQ(ReadSettingDword(viewer_, settings::kSigninPort), 8000);
  EXPECT_EQ(ReadSettingDword(viewer_, "MD", "Duration", 10), -5);
  QString text = "x";
  EXPECT_EQ(ReadSettingString(viewer_, settings::kSigninAlias, 260, &text), 1);
  EXPECT_EQ(text, QString::fromUtf8("현관, 1층"));
  // An empty text is a stored value, not a missing one.
  EXPECT_EQ(ReadSettingString(viewer_, settings::kSigninId, 260, &text), 1);
  EXPECT_EQ(text, "");
  // Keys are separate: the same subkey and value under another key is untouched.
  SettingsKey other;
  ASSERT_EQ(OpenSettingsKey("Viewer01", &other), 1);
  EXPECT_EQ(ReadSettingDword(other, settings::kSigninPort), 9090);
}

TEST_F(SettingsTest, TextLongerThanCapacityGivesTheDefaultAndLogs) {
  ASSERT_EQ(WriteSettingString(viewer_, "Signin", "Url", "http://camera.example"), 1);
  QString text;
  testing::internal::CaptureStderr();
  EXPECT_EQ(ReadSettingString(viewer_, "Signin", "Url", "http://default", 10, &text), 0);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "MRegistry:113\r\n");
  EXPECT_EQ(text, "http://de");  // default cut to capacity - 1
  // Exactly capacity - 1 characters fit.
  EXPECT_EQ(ReadSettingString(viewer_, "Signin", "Url", "", 22, &text), 1);
  EXPECT_EQ(text, "http://camera.example");
}

TEST_F(SettingsTest, TextThatIsNotANumberReadsAsTheDefaultNumber) {
  ASSERT_EQ(WriteSettingString(viewer_, "Signin", "Tlp", "abc"), 1);
  EXPECT_EQ(ReadSettingDword(viewer_, settings::kSigninPort), 9090);
}

TEST_F(SettingsTest, UnopenedKeyReadsZeroNotTheDefault) {
  SettingsKey none;
  EXPECT_EQ(ReadSettingDword(none, settings::kSigninPort), 0);
  QString text = "kept";
  EXPECT_EQ(ReadSettingString(none, settings::kSigninUrl, 260, &text), 0);
  EXPECT_EQ(text, "kept");
  EXPECT_EQ(WriteSettingDword(none, settings::kSigninPort, 1), 0);
  SettingsKey bad;
  EXPECT_EQ(OpenSettingsKey("", &bad), 0);
  EXPECT_EQ(OpenSettingsKey("a/b", &bad), 0);
}

TEST_F(SettingsTest, AnotherProcessSeesWhatThisOneWrote) {
  ASSERT_EQ(WriteSettingDword(global_, settings::kLogEnable, 1), 1);
  EXPECT_EQ(Peer("read Global Log Enable"), "1\n");
  EXPECT_EQ(Peer("write 'Camera List' List00 Name 'text:현관'"), "");
  QString text;
  SettingsKey list;
  ASSERT_EQ(OpenSettingsKey("Camera List", &list), 1);
  EXPECT_EQ(ReadSettingString(list, "List00", "Name", "None", 260, &text), 1);
  EXPECT_EQ(text, QString::fromUtf8("현관"));
  EXPECT_TRUE(fs::exists(ConfigFile())) << ConfigFile();
}

}  // namespace

int main(int argc, char** argv) {
  QTemporaryDir home;
  if (!home.isValid()) return 1;
  ::setenv("XDG_CONFIG_HOME", home.path().toUtf8().constData(), 1);
  g_configHome = &home;
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
