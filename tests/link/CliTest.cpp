// tessora-cli against camsim: the sign-in result and VIDEO section of probe,
// a VIDEO section whose size no picture can have, refusals, a closed port,
// bad arguments and exit codes (number keys of setup set among them), long
// words cut in messages, a search that cannot be sent (inside a network
// namespace only), where the password comes from (option, file,
// environment, a prompt on a terminal), setup get and ptz, what goes to standard
// error, the progress line, and recordings cut short. One camsim process
// serves most of the file; the recordings that are cut short get their own.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <pty.h>
#include <sys/socket.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "support/Camsim.h"
#include "support/ChildProcess.h"

namespace {

namespace fs = std::filesystem;

// Runs the tool with standard input from /dev/null (never asked for a
// password) and TESSORA_PASSWORD unset (empty) unless |env| sets it.
testsupport::Outcome RunCli(const std::vector<std::string>& arguments, const std::vector<std::string>& env = {}) {
  std::vector<std::string> argv = {"/bin/sh", "-c", "exec \"$0\" \"$@\" </dev/null", TESSORA_CLI};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  testsupport::ChildOptions options;
  options.env = env;
  bool password = false;
  for (const auto& e : env) password = password || e.rfind("TESSORA_PASSWORD=", 0) == 0;
  if (!password) options.env.push_back("TESSORA_PASSWORD=");
  testsupport::ChildProcess cli(argv, options);
  testsupport::Outcome o = cli.Finish(60000);
  if (testsupport::SanitizerReport(o.out)) ADD_FAILURE() << o.out;
  return o;
}

// Standard output and standard error apart: the shell sends the tool's
// standard error to a file.
struct Split {
  int status = -1;
  std::string out;
  std::string err;
};

// The tool on a pseudo-terminal of its own (its standard input, output and
// error), as a user runs it. The test types through the master side and
// looks at the terminal's settings through the slave side it keeps open.
class TerminalRun {
 public:
  explicit TerminalRun(const std::vector<std::string>& arguments) {
    if (::openpty(&master_, &slave_, nullptr, nullptr, nullptr) != 0) return;
    std::vector<std::string> words = {TESSORA_CLI};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
      if (std::string(*e).rfind("TESSORA_PASSWORD=", 0) != 0) env.emplace_back(*e);
    }
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    pid_ = ::fork();
    if (pid_ == 0) {
      ::setsid();
      ::ioctl(slave_, TIOCSCTTY, 0);
      ::dup2(slave_, 0);
      ::dup2(slave_, 1);
      ::dup2(slave_, 2);
      ::close(master_);
      if (slave_ > 2) ::close(slave_);
      ::execve(argv[0], argv.data(), envp.data());
      ::_exit(127);
    }
  }
  ~TerminalRun() {
    if (pid_ > 0 && status_ < 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    if (master_ >= 0) ::close(master_);
    if (slave_ >= 0) ::close(slave_);
  }
  bool started() const { return pid_ > 0; }
  pid_t pid() const { return pid_; }
  bool Echo() const {
    termios t{};
    return ::tcgetattr(slave_, &t) == 0 && (t.c_lflag & ECHO) != 0;
  }
  void Type(const std::string& text) const { (void)!::write(master_, text.data(), text.size()); }
  // Reads what the tool wrote until |text| has appeared (true) or the tool
  // ended or 30 s passed (false).
  bool WaitFor(const std::string& text) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (out_.find(text) == std::string::npos) {
      if (Ended() || std::chrono::steady_clock::now() > deadline) return out_.find(text) != std::string::npos;
      ReadSome(50);
    }
    return true;
  }
  // Waits (60 s at most) for the tool to end: its exit status, or 128 +
  // the signal that ended it, or -1.
  int Finish() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!Ended() && std::chrono::steady_clock::now() < deadline) ReadSome(50);
    while (ReadSome(0)) {
    }
    return status_;
  }
  const std::string& out() const { return out_; }

 private:
  bool ReadSome(int ms) {
    pollfd p{master_, POLLIN, 0};
    if (::poll(&p, 1, ms) <= 0) return false;
    char buffer[4096];
    const ssize_t n = ::read(master_, buffer, sizeof buffer);
    if (n <= 0) return false;
    out_.append(buffer, static_cast<std::size_t>(n));
    return true;
  }
  bool Ended() {
    if (status_ >= 0) return true;
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) != pid_) return false;
    status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return true;
  }
  int master_ = -1;
  int slave_ = -1;
  pid_t pid_ = -1;
  int status_ = -1;
  std::string out_;
};

Split RunCliSplit(const std::vector<std::string>& arguments, const std::string& errFile) {
  std::vector<std::string> argv = {"/bin/sh", "-c", "exec \"$0\" \"$@\" 2>\"$CLI_ERR\"", TESSORA_CLI};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  testsupport::ChildOptions options;
  options.env = {"CLI_ERR=" + errFile};
  testsupport::ChildProcess cli(argv, options);
  const testsupport::Outcome o = cli.Finish(60000);
  Split split{o.status, o.out, testsupport::ReadText(errFile)};
  if (testsupport::SanitizerReport(split.err)) ADD_FAILURE() << split.err;
  return split;
}

// Camera 0 is a pan/tilt model with a plain VIDEO section; camera 1 says
// RES 3 (a size of its own choosing) with a width of 0. Small Motion JPEG
// loops keep the start quick.
class CliTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = fs::temp_directory_path() / ("tessora-link-cli-" + std::to_string(getpid()));
    fs::create_directories(dir_);
    std::ofstream(dir_ / "camsim.ini") << "[global]\nloop_seconds = 1\n"
                                          "[all]\ncodec = mjpeg422\nsize = 320x240\nUSER.ALLOW_MAX = 5\n"
                                          "[camera 0]\nmodel = 33554432\n"
                                          "[camera 1]\nVIDEO.RES = 3\nVIDEO.WIDTH = 0\n";
    camsim_ = std::make_unique<testsupport::Camsim>(CAMSIM);
    testsupport::CamsimOptions options;
    options.cameras = 2;
    options.admin = false;  // its port (Host(2)) stays without a listener
    options.config = (dir_ / "camsim.ini").string();
    if (!camsim_->Start(dir_.string(), options)) camsim_.reset();
  }
  static void TearDownTestSuite() {
    camsim_.reset();
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }
  void SetUp() override { ASSERT_NE(camsim_, nullptr) << "camsim did not start"; }

  // Control messages camera |camera| received with all of |needles|, once
  // at least |count| have arrived or a generous deadline passed.
  static int WaitEvents(std::initializer_list<const char*> needles, int camera, int count) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    int n = camsim_->CountEvents(needles, camera);
    while (n < count && std::chrono::steady_clock::now() < end) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      n = camsim_->CountEvents(needles, camera);
    }
    return n;
  }

  static std::unique_ptr<testsupport::Camsim> camsim_;
  static fs::path dir_;
};

std::unique_ptr<testsupport::Camsim> CliTest::camsim_;
fs::path CliTest::dir_;

TEST_F(CliTest, ProbeSignsInReadsTheVideoSectionAndSignsOut) {
  const int closes = camsim_->CountEvents({"\"CMD\":\"CLOSE\""}, 0);
  const auto o = RunCli({"probe", camsim_->Host(0), "-u", "admin", "-p", "admin"});
  EXPECT_EQ(o.status, 0) << o.out;
  EXPECT_NE(o.out.find("group: 0\n"), std::string::npos) << o.out;
  EXPECT_NE(o.out.find("model: 33554432\n"), std::string::npos) << o.out;
  EXPECT_NE(o.out.find("camera time: 20"), std::string::npos) << o.out;
  EXPECT_NE(o.out.find("video: Motion JPEG (VCODEC 0), 320x240\n"), std::string::npos) << o.out;
  EXPECT_EQ(WaitEvents({"\"CMD\":\"CLOSE\""}, 0, closes + 1), closes + 1);
}

// RES 3 with a width of 0 is no picture: the commands that read the VIDEO
// section stop with a message instead of showing or saving a 0-pixel one.
TEST_F(CliTest, AVideoSectionWithoutAUsableSizeFails) {
  const std::string jpeg = (dir_ / "none.jpg").string();
  const std::vector<std::vector<std::string>> commands = {
      {"probe", camsim_->Host(1), "-u", "admin", "-p", "admin"},
      {"snapshot", camsim_->Host(1), "-u", "admin", "-p", "admin", jpeg},
  };
  for (const auto& command : commands) {
    const auto o = RunCli(command);
    EXPECT_EQ(o.status, 1) << command[0] << "\n" << o.out;
    EXPECT_NE(o.out.find("error: the camera's VIDEO settings give no usable picture size"), std::string::npos)
        << command[0] << "\n" << o.out;
  }
  EXPECT_FALSE(fs::exists(jpeg));
}

TEST_F(CliTest, FailuresExitNonZeroWithAClearMessage) {
  const std::string host = camsim_->Host(0);
  const std::string avi = (dir_ / "never.avi").string();
  const struct {
    std::vector<std::string> arguments;
    int status;
    const char* says;
  } cases[] = {
      {{"probe", host, "-u", "admin", "-p", "wrong"}, 1, "sign-in refused: 502 (id and password do not match)"},
      {{"probe", camsim_->Host(2), "-u", "a", "-p", "b"}, 1, "cannot connect"},
      {{"probe", "nosuchhost.invalid", "-u", "a", "-p", "b"}, 1, "cannot resolve host 'nosuchhost.invalid'"},
      // A refusal the camera answers at once, told as a refusal.
      {{"setup", "set", "VIDEO", host, "-u", "user", "-p", "user", "FPS=5"}, 1, "the camera refused the request"},
      {{"probe", "127.0.0.1:99999", "-u", "a", "-p", "b"}, 2, "bad port"},
      {{"probe", ":9090", "-u", "a", "-p", "b"}, 2, "no host"},
      {{"probe", "127.0.0.1"}, 2, "-u ID is missing"},
      {{"probe", host, "-u", "admin"}, 2, "error: the password is missing: give -p PW, --password-file FILE"},
      {{"probe", host, "-u"}, 2, "option -u needs a value"},
      {{"probe"}, 2, "HOST[:PORT] is missing"},
      {{"probe", host, "-u", "admin", "-p", "admin", "extra"}, 2, "unexpected argument 'extra'"},
      {{"probe", host, "-u", "admin", "-p", "admin", "--bogus"}, 2, "unknown option --bogus"},
      {{"snapshot", host, "-u", "a", "-p", "b", "x.jpg", "y.jpg"}, 2, "unexpected argument 'y.jpg'"},
      {{"record", host, "-u", "a", "-p", "b", "--seconds", "1", "--audio", avi, "x"}, 2, "unexpected argument 'x'"},
      {{"record", host, "-u", "a", "-p", "b", "--secs", "1", avi}, 2, "unknown option --secs"},
      {{"record", host, "-u", "a", "-p", "b", avi}, 2, "--seconds N"},
      {{"search", "now"}, 2, "unexpected argument 'now'"},
      {{"search", "--all"}, 2, "unknown option --all"},
      {{"ptz", "127.0.0.1", "-u", "a", "-p", "b", "--pan", "x"}, 2, "whole number"},
      {{"ptz", "127.0.0.1", "-u", "a", "-p", "b"}, 2, "give one action"},
      {{"setup", "get", "NOSUCH", "127.0.0.1", "-u", "a", "-p", "b"}, 2, "unknown section"},
      {{"setup", "set", "VIDEO", "127.0.0.1", "-u", "a", "-p", "b"}, 2, "needs NAME=VALUE"},
      // A key the camera keeps as a number takes a whole number, refused
      // before anything is sent; texts and numbers in range go out.
      {{"setup", "set", "VIDEO", host, "-u", "admin", "-p", "admin", "BRIGHT=abc"}, 2,
       "error: BRIGHT takes a whole number of 0 or more, not 'abc'"},
      {{"setup", "set", "VIDEO", host, "-u", "admin", "-p", "admin", "OSD_NAME=door", "contrast=-1"}, 2,
       "error: CONTRAST takes a whole number of 0 or more, not '-1'"},
      {{"setup", "set", "USER", host, "-u", "admin", "-p", "admin", "ALLOW_MAX="}, 2,
       "error: ALLOW_MAX takes a whole number of 0 or more, not ''"},
      {{"setup", "set", "NETWORK", host, "-u", "admin", "-p", "admin", "IP_TYPE=dhcp", "HTTP_PORT=80x"}, 2,
       "error: HTTP_PORT takes a whole number of 0 or more, not '80x'"},
      {{"setup", "set", "MDALARM", host, "-u", "admin", "-p", "admin", "SMTP_PORT=+25"}, 2,
       "error: SMTP_PORT takes a whole number of 0 or more, not '+25'"},
      {{"setup", "set", "VIDEO", host, "-u", "admin", "-p", "admin", "WIDTH=4294967296"}, 2,
       "error: WIDTH takes a whole number of 0 or more, not '4294967296'"},
      {{"setup", "set", "ADVANCE", host, "-u", "admin", "-p", "admin", "HSYNC=1.5"}, 2,
       "error: HSYNC takes a whole number, not '1.5'"},
      {{"setup", "set", "AUDIO", host, "-u", "admin", "-p", "admin", "ALLOW_MIC=yes"}, 2,
       "error: ALLOW_MIC takes a whole number of 0 or more, not 'yes'"},
      {{"setup", "set", "ADVANCE", host, "-u", "admin", "-p", "admin", "HSYNC=-3", "FPS=25"}, 0, "sent"},
      {{"setup", "set", "USER", host, "-u", "admin", "-p", "admin", "ALLOW_MAX=5"}, 0, "done"},
      {{"setup", "get", "USER", "127.0.0.1", "-u", "a", "-p", "b", "--force"}, 2, "unknown option --force"},
      {{"frobnicate"}, 2, "unknown command"},
      {{}, 2, "a command is missing"},
      {{"-v"}, 2, "a command is missing"},
      {{"--help"}, 0, "usage: tessora-cli"},
      {{"record", "--help"}, 0, "usage: tessora-cli record"},
      {{"--version"}, 0, "tessora-cli "},
  };
  for (const auto& c : cases) {
    const std::string what = c.arguments.empty() ? "(none)" : c.arguments[0] + " " + c.says;
    const auto o = RunCli(c.arguments);
    EXPECT_EQ(o.status, c.status) << what << "\n" << o.out;
    EXPECT_NE(o.out.find(c.says), std::string::npos) << what << "\n" << o.out;
  }
  EXPECT_FALSE(fs::exists(avi));
}

// A word the user gave is quoted cut to 64 characters and "…", however long
// it is (a 10 kB host name is not echoed whole).
TEST_F(CliTest, LongWordsAreQuotedCut) {
  const std::string word(10000, 'h');
  const std::string cut = std::string(64, 'h') + "\u2026";
  std::string korean;
  for (int i = 0; i < 100; ++i) korean += "\uD55C";  // three bytes each
  std::string koreanCut;
  for (int i = 0; i < 64; ++i) koreanCut += "\uD55C";
  const std::string host = camsim_->Host(0);
  const struct {
    std::vector<std::string> arguments;
    int status;
    std::string says;
  } cases[] = {
      {{"probe", word, "-u", "a", "-p", "b"}, 1, "error: cannot resolve host '" + cut + "'\n"},
      {{"probe", korean, "-u", "a", "-p", "b"}, 1, "error: cannot resolve host '" + koreanCut + "\u2026'\n"},
      {{"probe", word + ":99999", "-u", "a", "-p", "b"}, 2, "error: bad port in '" + cut + "'\n"},
      {{"probe", ":" + word, "-u", "a", "-p", "b"}, 2, "error: bad port in ':" + std::string(63, 'h') + "\u2026'"},
      {{word}, 2, "error: unknown command '" + cut + "'\n"},
      {{"probe", host, "-u", "a", "-p", "b", "--" + word}, 2,
       "error: unknown option --" + std::string(62, 'h') + "\u2026\n"},
      {{"probe", host, "-u", "a", "-p", "b", word}, 2, "error: unexpected argument '" + cut + "'\n"},
      {{"setup", "get", word, host, "-u", "a", "-p", "b"}, 2, "error: unknown section '" + cut + "' ("},
      {{"setup", "set", "VIDEO", host, "-u", "a", "-p", "b", word}, 2, "error: '" + cut + "' is not NAME=VALUE\n"},
      {{"setup", "set", "VIDEO", host, "-u", "a", "-p", "b", "BRIGHT=" + word}, 2, "not '" + cut + "'\n"},
      {{"probe", std::string(64, 'h'), "-u", "a", "-p", "b"}, 1,
       "error: cannot resolve host '" + std::string(64, 'h') + "'\n"},  // 64 characters stay whole
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.says);
    const auto o = RunCli(c.arguments);
    EXPECT_EQ(o.status, c.status) << o.out;
    EXPECT_NE(o.out.find(c.says), std::string::npos) << o.out;
    EXPECT_LT(o.out.size(), 2000u) << "a long word was echoed whole";
  }
}

// A search whose broadcast cannot be sent (here: a network namespace with
// only loopback, where the broadcast has no route) fails with the reason
// instead of reporting that no camera answered. Run only inside such a
// namespace (scripts/in-netns): a search anywhere else would broadcast on
// the host's network.
TEST(CliSearchTest, ASearchThatCannotBeSentFailsWithTheReason) {
  const char* inNetns = std::getenv("TESSORA_IN_NETNS");
  if (inNetns == nullptr || std::string(inNetns) != "1") GTEST_SKIP() << "run through scripts/in-netns";
  // Connecting a datagram socket only looks the route up; nothing is sent.
  const int probe = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  ASSERT_GE(probe, 0);
  const int on = 1;
  ::setsockopt(probe, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(33333);
  to.sin_addr.s_addr = htonl(INADDR_BROADCAST);
  const bool routed = ::connect(probe, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0;
  ::close(probe);
  if (routed) GTEST_SKIP() << "this network namespace can broadcast";
  for (const std::vector<std::string>& arguments : {std::vector<std::string>{"search"},
                                                    std::vector<std::string>{"search", "--progress"}}) {
    SCOPED_TRACE(arguments.back());
    const auto o = RunCli(arguments);
    EXPECT_EQ(o.status, 1) << o.out;
    EXPECT_NE(o.out.find("error: the search request could not be sent: Network is unreachable\n"), std::string::npos)
        << o.out;
    EXPECT_EQ(o.out.find("no cameras answered"), std::string::npos) << o.out;
    EXPECT_EQ(o.out.find("cameras found"), std::string::npos) << o.out;
  }
}

// The password from -p, a file or the environment, in that order; a file's
// first line only; a file others can read is used with a warning; a file
// that cannot be read is a usage error.
TEST_F(CliTest, PasswordFromOptionFileOrEnvironment) {
  const std::string host = camsim_->Host(0);
  auto file = [](const std::string& name, const std::string& text, fs::perms perms) {
    const std::string path = (dir_ / name).string();
    std::ofstream(path) << text;
    fs::permissions(path, perms);
    return path;
  };
  const auto owner = fs::perms::owner_read | fs::perms::owner_write;
  const std::string right = file("right.pw", "admin\n", owner);
  const std::string wrong = file("wrong.pw", "wrong\n", owner);
  const std::string lines = file("lines.pw", "admin\r\nsecond line\n", owner);
  const std::string bare = file("bare.pw", "admin", owner);
  const std::string shared = file("shared.pw", "admin\n", owner | fs::perms::group_read | fs::perms::others_read);
  const std::string missing = (dir_ / "missing.pw").string();
  const std::string signedIn = "signed in to ";
  const std::string refused = "sign-in refused: 502";
  const std::string unreadable = "error: cannot read the password file '";
  const struct {
    const char* name;
    std::vector<std::string> password;  // the words after -u admin
    std::vector<std::string> env;
    int status;
    std::string says;
  } cases[] = {
      {"environment", {}, {"TESSORA_PASSWORD=admin"}, 0, signedIn},
      {"environment used", {}, {"TESSORA_PASSWORD=wrong"}, 1, refused},
      {"empty environment is unset", {}, {"TESSORA_PASSWORD="}, 2, "the password is missing"},
      {"-p before environment", {"-p", "admin"}, {"TESSORA_PASSWORD=wrong"}, 0, signedIn},
      {"file", {"--password-file", right}, {}, 0, signedIn},
      {"file used", {"--password-file", wrong}, {}, 1, refused},
      {"file before environment", {"--password-file", right}, {"TESSORA_PASSWORD=wrong"}, 0, signedIn},
      {"-p before file", {"-p", "admin", "--password-file", wrong}, {}, 0, signedIn},
      {"first line, CR LF", {"--password-file", lines}, {}, 0, signedIn},
      {"no line end", {"--password-file", bare}, {}, 0, signedIn},
      {"readable by others", {"--password-file", shared}, {}, 0, "warning: the password file '"},
      {"missing file", {"--password-file", missing}, {"TESSORA_PASSWORD=admin"}, 2,
       unreadable + missing + "': No such file or directory"},
      {"directory", {"--password-file", dir_.string()}, {}, 2, unreadable + dir_.string() + "': Is a directory"},
      {"no file name", {"--password-file"}, {}, 2, "option --password-file needs a value"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> arguments = {"probe", host, "-u", "admin"};
    arguments.insert(arguments.end(), c.password.begin(), c.password.end());
    const auto o = RunCli(arguments, c.env);
    EXPECT_EQ(o.status, c.status) << o.out;
    EXPECT_NE(o.out.find(c.says), std::string::npos) << o.out;
    if (c.status == 0) {
      EXPECT_NE(o.out.find(signedIn), std::string::npos) << o.out;
    }
  }
}

// With no password given and a terminal on standard input the tool asks,
// with echo off while it reads, and leaves the terminal as it found it:
// after an answer, at the end of input, and when interrupted at the prompt.
TEST_F(CliTest, PasswordIsAskedOnATerminalWithoutEcho) {
  const std::string host = camsim_->Host(0);
  const std::string prompt = "Password for admin at " + host + ": ";
  const struct {
    const char* name;
    const char* typed;  // nullptr: SIGINT instead
    int status;
    const char* says;
  } cases[] = {
      {"answered", "admin\n", 0, "signed in to "},
      {"wrong answer", "wrong\n", 1, "sign-in refused: 502"},
      {"end of input", "\x04", 2, "error: no password was entered"},
      {"interrupted", nullptr, 128 + SIGINT, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TerminalRun run({"probe", host, "-u", "admin"});
    ASSERT_TRUE(run.started());
    ASSERT_TRUE(run.WaitFor(prompt)) << run.out();
    EXPECT_FALSE(run.Echo()) << "echo is on while the password is read";
    if (c.typed != nullptr) {
      run.Type(c.typed);
    } else {
      ::kill(run.pid(), SIGINT);
    }
    EXPECT_EQ(run.Finish(), c.status) << run.out();
    EXPECT_NE(run.out().find(c.says), std::string::npos) << run.out();
    const std::string answer = c.typed == nullptr ? "" : std::string(c.typed).substr(0, std::strlen(c.typed) - 1);
    if (!answer.empty()) {
      EXPECT_EQ(run.out().find(prompt + answer), std::string::npos) << "the answer was shown: " << run.out();
    }
    EXPECT_TRUE(run.Echo()) << "the terminal was left without echo";
  }
}

// Standard error carries the tool's own messages; the link's diagnostic
// lines (with their times) only with -v, in either place. The link's thread
// ends are not among them (they need the log's debug switch).
TEST_F(CliTest, DiagnosticLinesOnlyWithVerbose) {
  const std::string err = (dir_ / "stderr.txt").string();
  const std::string host = camsim_->Host(2);  // nobody listens there
  const std::string failure = "error: cannot connect to " + host + "\n";
  const std::regex diagnostic(R"((^|\n)\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}\.\d{3} connect fail \(111\) !!\r\n)");
  const struct {
    std::vector<std::string> arguments;
    bool verbose;
  } cases[] = {
      {{"probe", host, "-u", "admin", "-p", "admin"}, false},
      {{"-v", "probe", host, "-u", "admin", "-p", "admin"}, true},
      {{"probe", host, "-u", "admin", "-p", "admin", "--verbose"}, true},
  };
  for (const auto& c : cases) {
    const Split o = RunCliSplit(c.arguments, err);
    EXPECT_EQ(o.status, 1) << o.err;
    EXPECT_EQ(o.out, "");
    if (c.verbose) {
      EXPECT_NE(o.err.find(failure), std::string::npos) << o.err;
      EXPECT_TRUE(std::regex_search(o.err, diagnostic)) << o.err;
      EXPECT_EQ(o.err.find("STOP (Thread_Select)"), std::string::npos) << o.err;
    } else {
      EXPECT_EQ(o.err, failure);
    }
  }
  // A successful run prints its result on standard output and nothing else.
  const Split ok = RunCliSplit({"probe", camsim_->Host(0), "-u", "admin", "-p", "admin"}, err);
  EXPECT_EQ(ok.status, 0) << ok.err;
  EXPECT_NE(ok.out.find("signed in to " + camsim_->Host(0)), std::string::npos) << ok.out;
  EXPECT_EQ(ok.err, "");
}

// The progress line: none into a pipe, \r-rewritten on a terminal (a
// pseudo-terminal made by script(1)) and with --progress, ended by a newline.
TEST_F(CliTest, RecordProgressOnlyOnATerminalOrWhenAsked) {
  const std::string avi = (dir_ / "progress.avi").string();
  const std::vector<std::string> record = {"record", camsim_->Host(0), "-u", "admin", "-p", "admin",
                                           "--seconds", "1", avi};
  const auto piped = RunCli(record);
  EXPECT_EQ(piped.status, 0) << piped.out;
  EXPECT_EQ(piped.out.find("recording:"), std::string::npos) << piped.out;
  EXPECT_EQ(piped.out.find('\r'), std::string::npos) << piped.out;
  EXPECT_NE(piped.out.find("saved " + avi), std::string::npos) << piped.out;

  std::vector<std::string> asked = record;
  asked.push_back("--progress");
  const auto forced = RunCli(asked);
  EXPECT_EQ(forced.status, 0) << forced.out;
  EXPECT_NE(forced.out.find("\rrecording: 1/1 s, "), std::string::npos) << forced.out;
  EXPECT_NE(forced.out.find(" frames\n"), std::string::npos) << forced.out;

  if (!fs::exists("/usr/bin/script")) GTEST_SKIP() << "script(1) is not installed";
  std::string line = std::string(TESSORA_CLI);
  for (const auto& a : record) line += " '" + a + "'";
  testsupport::ChildProcess tty({"/usr/bin/script", "-qec", line, "/dev/null"});
  const auto o = tty.Finish(60000);
  EXPECT_EQ(o.status, 0) << o.out;
  EXPECT_NE(o.out.find("\rrecording: 1/1 s, "), std::string::npos) << o.out;
}

TEST_F(CliTest, SetupGetPrintsPairsAndPtzSendsTheMove) {
  const auto get = RunCli({"setup", "get", "USER", camsim_->Host(0), "-u", "admin", "-p", "admin"});
  EXPECT_EQ(get.status, 0) << get.out;
  EXPECT_NE(get.out.find("ALLOW_MAX=5\n"), std::string::npos) << get.out;

  const char* move = "\"var\":\"PAN=-2;TILT=0;ZOOM=0;FOCUS=0;\"";
  const int before = camsim_->CountEvents({move}, 0);
  const auto ptz = RunCli({"ptz", camsim_->Host(0), "-u", "admin", "-p", "admin", "--pan", "-2"});
  EXPECT_EQ(ptz.status, 0) << ptz.out;
  EXPECT_EQ(WaitEvents({move}, 0, before + 1), before + 1);
}

// A camera that stops sending or drops the connection in the middle of a
// recording: the tool says how much the file holds and exits 3.
TEST(CliRecordTest, ARecordingCutShortExitsThree) {
  const fs::path dir = fs::temp_directory_path() / ("tessora-link-cli-short-" + std::to_string(getpid()));
  fs::create_directories(dir);
  std::ofstream(dir / "camsim.ini") << "[global]\nloop_seconds = 1\n[all]\ncodec = mjpeg422\nsize = 320x240\n";
  testsupport::Camsim sim(CAMSIM);
  testsupport::CamsimOptions options;
  options.cameras = 2;
  options.config = (dir / "camsim.ini").string();
  ASSERT_TRUE(sim.Start(dir.string(), options)) << testsupport::ReadText(sim.LogFile());
  const struct {
    int camera;
    const char* fault;
    const char* says;
  } cases[] = {
      {0, "stall 0 60", "the camera stopped sending video"},
      {1, "drop 1", "the camera closed the connection"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fault);
    const std::string avi = (dir / (std::to_string(c.camera) + ".avi")).string();
    testsupport::ChildProcess run({TESSORA_CLI, "record", sim.Host(c.camera), "-u", "admin", "-p", "admin",
                                   "--seconds", "8", "--progress", avi});
    ASSERT_TRUE(run.WaitFor("recording: 1/8 s", 30000)) << run.Output();
    ASSERT_TRUE(sim.Admin(c.fault));
    const auto o = run.Finish(60000);
    EXPECT_EQ(o.status, 3) << o.out;
    EXPECT_NE(o.out.find("holds only "), std::string::npos) << o.out;
    EXPECT_NE(o.out.find(" of 8 s"), std::string::npos) << o.out;
    EXPECT_NE(o.out.find(c.says), std::string::npos) << o.out;
    EXPECT_TRUE(fs::exists(avi));
  }
  sim.Stop();
  std::error_code ignored;
  fs::remove_all(dir, ignored);
}

}  // namespace
