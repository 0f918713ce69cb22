// Command line, configuration file and the setup store's positional payloads.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <vector>

#include "camsim/Config.h"
#include "camsim/SetupStore.h"

namespace {

int Parse(std::vector<const char*> args, camsim::Options* o, std::string* error) {
  args.insert(args.begin(), "camsim");
  return camsim::ParseCommandLine(static_cast<int>(args.size()), const_cast<char**>(args.data()), o, error);
}

TEST(Config, DefaultCamerasTakeTurnsAndCameraThreeIsPanTilt) {
  camsim::Options o;
  std::string error;
  ASSERT_EQ(Parse({"--cameras", "4", "--port", "9100"}, &o, &error), 1) << error;
  ASSERT_EQ(o.cams.size(), 4u);
  EXPECT_EQ(o.cams[0].kind, camsim::VideoKind::kH264);
  EXPECT_EQ(o.cams[1].kind, camsim::VideoKind::kMpeg4);
  EXPECT_EQ(o.cams[2].kind, camsim::VideoKind::kJpeg422);
  EXPECT_EQ(o.cams[3].kind, camsim::VideoKind::kH264);
  EXPECT_EQ(o.cams[3].model, 33554432);
  EXPECT_EQ(o.cams[0].model, 0);
  EXPECT_EQ(o.cams[0].width, 640);
  EXPECT_EQ(o.cams[0].fps, 25);
  ASSERT_EQ(o.cams[0].accounts.size(), 3u);
  EXPECT_EQ(o.cams[0].accounts[1].id, "power");
  EXPECT_EQ(o.cams[0].accounts[1].group, 1);
  EXPECT_EQ(o.cams[0].ownParams, 0);
}

// --own-params starts every camera with own parameter sets; a camera's
// section can switch them off again.
TEST(Config, OwnParameterSetsFromFlagAndFile) {
  camsim::Options o;
  std::string error;
  ASSERT_EQ(Parse({"--cameras", "2", "--own-params"}, &o, &error), 1) << error;
  EXPECT_EQ(o.cams[0].ownParams, 1);
  EXPECT_EQ(o.cams[1].ownParams, 1);
  ASSERT_EQ(camsim::ApplyConfigText("[camera 1]\nown_params = 0\n", &o, &error), 1) << error;
  EXPECT_EQ(o.cams[0].ownParams, 1);
  EXPECT_EQ(o.cams[1].ownParams, 0);
  std::string usage;
  EXPECT_EQ(Parse({"--help"}, &o, &usage), 2);
  EXPECT_NE(usage.find("--own-params"), std::string::npos);
}

TEST(Config, BadCommandLinesAreRefusedWithAReason) {
  struct Case {
    std::vector<const char*> args;
    const char* mention;
  } cases[] = {
      {{"--cameras", "0"}, "--cameras"},
      {{"--cameras", "17"}, "--cameras"},
      {{"--cameras"}, "needs a value"},
      {{"--port", "x"}, "--port"},
      {{"--frobnicate"}, "unknown option"},
      {{"--config", "/nonexistent/camsim.ini"}, "cannot read"},
  };
  for (const Case& c : cases) {
    camsim::Options o;
    std::string error;
    EXPECT_EQ(Parse(c.args, &o, &error), 0) << c.mention;
    EXPECT_NE(error.find(c.mention), std::string::npos) << error;
  }
  camsim::Options o;
  std::string usage;
  EXPECT_EQ(Parse({"--help"}, &o, &usage), 2);
  EXPECT_NE(usage.find("--admin-port"), std::string::npos);
}

TEST(Config, FileSectionsApplyInOrder) {
  camsim::Options o;
  o.cameras = 3;
  for (int i = 0; i < 3; ++i) o.cams.push_back(camsim::DefaultCamera(i));
  std::string error;
  const char* text =
      "# comment\n[global]\nloop_seconds = 2   ; two\n[all]\nfps = 10\naccount = boss:pw:0\naccount = guest:g:2:1\n"
      "[camera 1]\ncodec = mjpeg420-nodht\nsize = 320x240\nnak = VIDEO/PLAY, MIC/PLAY\nVIDEO.QUALITY = 9\n"
      "[camera 9]\nfps = 5\n";
  ASSERT_EQ(camsim::ApplyConfigText(text, &o, &error), 1) << error;
  EXPECT_EQ(o.loopSeconds, 2);
  EXPECT_EQ(o.cams[0].fps, 10);
  ASSERT_EQ(o.cams[0].accounts.size(), 2u);
  EXPECT_EQ(o.cams[0].accounts[1].maxUsers, 1);
  EXPECT_EQ(o.cams[1].kind, camsim::VideoKind::kJpeg420NoDht);
  EXPECT_EQ(o.cams[1].jpegKind, camsim::VideoKind::kJpeg420NoDht);
  EXPECT_EQ(o.cams[1].width, 320);
  EXPECT_EQ(o.cams[1].nak.count("MIC/PLAY"), 1u);
  EXPECT_EQ(o.cams[1].setup.at("VIDEO.QUALITY"), "9");
  EXPECT_EQ(o.cams[2].kind, camsim::VideoKind::kJpeg422);
}

TEST(Config, BadFilesNameTheLine) {
  const char* cases[] = {
      "[camera 0]\nfps = 99\n", "[camera 0]\ncodec = vp9\n", "[nowhere]\n", "[all]\nsize = 641x480\n",
      "[all]\naccount = x\n",   "[global]\nbogus = 1\n",     "[all]\nfps\n",  "[camera 0]\nmjpeg = h264\n",
      "[all]\nown_params = 2\n",
  };
  for (const char* text : cases) {
    camsim::Options o;
    o.cameras = 1;
    o.cams.push_back(camsim::DefaultCamera(0));
    std::string error;
    EXPECT_EQ(camsim::ApplyConfigText(text, &o, &error), 0) << text;
    EXPECT_NE(error.find("config"), std::string::npos) << error;
  }
}

TEST(Config, ExecutableReportsBadOptionsAndBusyPorts) {
  std::string cmd = std::string(CAMSIM_BIN) + " --cameras 99 2>&1";
  FILE* p = popen(cmd.c_str(), "r");
  ASSERT_TRUE(p);
  char line[256] = {};
  ASSERT_TRUE(std::fgets(line, sizeof line, p));
  EXPECT_NE(std::string(line).find("--cameras"), std::string::npos) << line;
  EXPECT_EQ(WEXITSTATUS(pclose(p)), 2);

  // Occupy a port, then ask camsim to use it.
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa), 0);
  ASSERT_EQ(listen(fd, 1), 0);
  socklen_t len = sizeof sa;
  getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len);
  cmd = std::string(CAMSIM_BIN) + " --cameras 1 --admin-port 0 --no-stdin --port " +
        std::to_string(ntohs(sa.sin_port)) + " 2>&1";
  p = popen(cmd.c_str(), "r");
  ASSERT_TRUE(p);
  ASSERT_TRUE(std::fgets(line, sizeof line, p));
  EXPECT_NE(std::string(line).find("Address already in use"), std::string::npos) << line;
  EXPECT_EQ(WEXITSTATUS(pclose(p)), 1);
  close(fd);
}

TEST(SetupStore, PasswdAddModifyDelete) {
  camsim::SetupStore s;
  s.Init(camsim::DefaultCamera(0), "127.0.0.1", 9090);
  EXPECT_EQ(s.PasswdVar(), "admin=0=1;power=1=4;user=2=4;");
  struct Step {
    const char* op;
    const char* var;
    int result;
  } steps[] = {
      {"ADD", "alice=2=secret", 1}, {"ADD", "alice=1=x", 0},      {"ADD", "bob=0=x", 0},
      {"ADD", "short=1", 0},        {"MOD", "power=p2=0=x", 0},   {"MOD", "admin=root=0=toor", 1},
      {"MOD", "root=user=0=x", 0},  {"DEL", "root", 0},           {"DEL", "alice", 1},
      {"DEL", "alice", 0},
  };
  for (const Step& st : steps) {
    int r = std::string(st.op) == "ADD" ? s.AddAccount(st.var)
            : std::string(st.op) == "MOD" ? s.ModifyAccount(st.var)
                                          : s.DeleteAccount(st.var);
    EXPECT_EQ(r, st.result) << st.op << " " << st.var;
  }
  EXPECT_EQ(s.PasswdVar(), "root=0=1;power=1=4;user=2=4;");
  ASSERT_TRUE(s.FindAccount("root"));
  EXPECT_EQ(s.FindAccount("root")->password, "toor");
  for (int i = 0; i < 7; ++i) EXPECT_EQ(s.AddAccount(("u" + std::to_string(i) + "=2=p").c_str()), 1);
  EXPECT_EQ(s.AddAccount("eleventh=2=p"), 0);  // ten accounts at most
}

TEST(SetupStore, SetKeepsOrderAndAddsUnknownKeysAtTheEnd) {
  camsim::SetupStore s;
  s.Init(camsim::DefaultCamera(2), "127.0.0.1", 9092);
  EXPECT_EQ(s.Value("VIDEO", "VCODEC"), "0");
  EXPECT_EQ(s.ApplyVar("USER", "ALLOW_MAX=5;"), 1);
  EXPECT_EQ(s.Var("USER"), "ALLOW_MAX=5;");
  s.ApplyVar("USERINFO2", "A=1;B=two;");
  EXPECT_EQ(s.Var("USERINFO2"), "A=1;B=two;");
  EXPECT_EQ(s.Value("NETWORK", "CTL_PORT"), "9092");
  EXPECT_EQ(s.Value("NOSUCH", "KEY"), "0");
}

}  // namespace
