#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <QSettings>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "base/MRegistry.h"
#include "base/base.h"

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
  const std::string logged = testing::internal::GetCapturedStderr();
  EXPECT_EQ(logged.substr(std::min<std::size_t>(logged.size(), 24)), "MRegistry:113\r\n")  // after the time
      << logged;
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

// The file keeps a scrambled password: whatever the file's mode was, and
// whatever the process's umask, a write leaves it user-only.
TEST_F(SettingsTest, EveryWriteLeavesTheFileUserOnly) {
  struct Case {
    const char* name;
    int before;  // mode of an existing file, or -1 for no file
    bool number;
  };
  const Case cases[] = {
      {"new file, password", -1, false}, {"new file, number", -1, true},
      {"0644 file, password", 0644, false}, {"0666 file, number", 0666, true},
      {"0604 file, password", 0604, false},
  };
  const mode_t oldMask = ::umask(022);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove(ConfigFile());
    if (c.before >= 0) {
      std::ofstream(ConfigFile()) << "[Global]\nLayout\\X=3\n";
      ASSERT_EQ(::chmod(ConfigFile().c_str(), static_cast<mode_t>(c.before)), 0);
    }
    const int written = c.number ? WriteSettingDword(viewer_, settings::kSpkVolume, 9)
                                 : WriteSettingString(viewer_, settings::kSigninPw, "0c2c4c6020");
    ASSERT_EQ(written, 1);
    struct stat st {};
    ASSERT_EQ(::stat(ConfigFile().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    // The file is still the store: what was there and what was written read back.
    if (c.before >= 0) {
      EXPECT_EQ(ReadSettingDword(global_, settings::kLayoutX), 3);
    }
    if (c.number) {
      EXPECT_EQ(ReadSettingDword(viewer_, settings::kSpkVolume), 9);
    } else {
      QString pw;
      EXPECT_EQ(ReadSettingString(viewer_, settings::kSigninPw, 129, &pw), 1);
      EXPECT_EQ(pw, "0c2c4c6020");
    }
  }
  ::umask(oldMask);
}

// Numbers edited by hand or damaged: outside the range the program uses
// they read as the default, with a log line.
TEST_F(SettingsTest, NumbersOutsideTheirRangeReadAsTheDefault) {
  struct Case {
    settings::DwordSetting setting;
    const char* stored;
    int read;
    bool logged;
  };
  const Case cases[] = {
      {settings::kSpkVolume, "26", 26, false},        {settings::kSpkVolume, "0", 0, false},
      {settings::kSpkVolume, "27", 7, true},          {settings::kSpkVolume, "-1", 7, true},
      {settings::kSpkVolume, "4294967295", 7, true},  {settings::kListConfCount, "100", 100, false},
      {settings::kListConfCount, "101", 0, true},     {settings::kListConfCount, "2147483647", 0, true},
      {settings::kMdDuration, "5", 10, true},         {settings::kRecordCapacity, "0", 10, true},
      {settings::kRecordPeriod, "60", 60, false},     {settings::kSigninPort, "70000", 70000, false},
  };
  SettingsKey list;
  ASSERT_EQ(OpenSettingsKey("Camera List", &list), 1);
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.setting.subkey) + "/" + c.setting.value + "=" + c.stored);
    const SettingsKey& key = c.setting.subkey == std::string("Conf") ? list : viewer_;
    ASSERT_EQ(WriteSettingString(key, c.setting.subkey, c.setting.value, c.stored), 1);
    FlushLogRepeats();  // a line like the last case's would otherwise only be counted
    testing::internal::CaptureStderr();
    EXPECT_EQ(ReadSettingDword(key, c.setting), c.read);
    EXPECT_EQ(!testing::internal::GetCapturedStderr().empty(), c.logged);
  }
}

// A stored port is shown as stored so that a wrong one is seen and refused,
// never replaced by the default port or wrapped to another.
TEST_F(SettingsTest, StoredPortTextAndItsCheck) {
  struct Case {
    const char* stored;  // nullptr: missing
    const char* text;
    int port;
  };
  const Case cases[] = {
      {nullptr, "9090", 9090}, {"8080", "8080", 8080},  {"65535", "65535", 65535}, {" 80 ", " 80 ", 80},
      {"70000", "70000", 0},   {"0", "0", 0},           {"-1", "-1", 0},           {"abc", "abc", 0},
      {"+80", "+80", 0},       {"80x", "80x", 0},       {"", "", 0},
      // Too long for the edit: empty rather than cut to a valid-looking port.
      {"00000800000", "", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stored ? c.stored : "(missing)");
    fs::remove(ConfigFile());
    if (c.stored != nullptr) {
      ASSERT_EQ(WriteSettingString(viewer_, "Signin", "Tlp", c.stored), 1);
    }
    const QString text = ReadSettingNumberText(viewer_, settings::kSigninPort, 8);
    EXPECT_EQ(text, c.text);
    EXPECT_EQ(ParsePort(text.toLatin1().constData()), c.port);
  }
  EXPECT_EQ(ParsePort("99999999999999999999"), 0);
  EXPECT_EQ(ParsePort(nullptr), 0);
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
