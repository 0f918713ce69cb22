// Setup sections kept per camera, account changes, and the update flow.
#include <gtest/gtest.h>

#include "ServerFixture.h"

namespace camsim_test {
namespace {

class Setup : public ServerFixture {
 protected:
  Reply Ask(Client* c, const std::string& cls, const std::string& mtd, const std::string& var = "") {
    std::string body = "CMD#SETUP\nCLS#" + cls + "\nMTD#" + mtd;
    if (!var.empty()) body += "\nVAR#" + var;
    c->Send(body);
    return c->ReadFor("SETUP", cls);
  }
};

TEST_F(Setup, SectionsAnswerInVarSyntaxAndKeepWhatIsSet) {
  StartServer(2);
  auto admin = SignedIn(1);
  struct Case {
    const char* cls;
    const char* setVar;
    const char* expectInGet;
  } cases[] = {
      {"NETWORK", "IP_TYPE=dhcp;HTTP_PORT=8080;", "IP_TYPE=dhcp;"},
      {"DDNS", "DDNS_ENABLE=1;DDNS_TYPE=1;DDNS_SERVER=x.example;DDNS_HOST=h;DDNS_ID=i;DDNS_PW=p;", "DDNS_SERVER=x.example;"},
      {"USER", "ALLOW_MAX=5;", "ALLOW_MAX=5;"},
      {"AUDIO", "ALLOW_MIC=0;", "ALLOW_MIC=0;"},
      {"MDALARM", "SENSIBILITY=9;MOTION_TYPE=ftp;FTP_SERVER=f;", "MOTION_TYPE=ftp;"},
      {"ADVANCE", "FPS=15;IO_ENABLE=0;SENSOR_SETUP=0;", "FPS=15;"},
      {"USERINFO2", "NOTE=hello;", "NOTE=hello;"},
  };
  for (const Case& k : cases) {
    Reply set = Ask(admin.get(), k.cls, "SET", k.setVar);
    EXPECT_EQ(set.Get("RSP"), "ACK") << k.cls;
    EXPECT_EQ(set.Get("MTD"), "SET");
    Reply get = Ask(admin.get(), k.cls, "GET");
    EXPECT_EQ(get.Get("RSP"), "ACK") << k.cls;
    EXPECT_NE(get.var.find(k.expectInGet), std::string::npos) << k.cls << ": " << get.var;
    EXPECT_EQ(get.var.back(), ';');
  }
  // Other cameras keep their own values.
  auto other = SignedIn(0);
  EXPECT_NE(Ask(other.get(), "USER", "GET").var.find("ALLOW_MAX=10;"), std::string::npos);
  // Users read but never write.
  auto user = SignedIn(1, "user", "user", "7_7");
  EXPECT_EQ(Ask(user.get(), "USER", "SET", "ALLOW_MAX=1;").Get("RSP"), "NAK");
  EXPECT_EQ(Ask(user.get(), "VIDEO", "GET").Get("RSP"), "ACK");
  EXPECT_EQ(Ask(admin.get(), "NOSUCH", "GET").Get("RSP"), "NAK");
  // MAINTENANCE GET counts the signed-in viewers.
  Reply m = Ask(admin.get(), "MAINTENANCE", "GET");
  EXPECT_NE(m.var.find("USERS=2;"), std::string::npos) << m.var;
  EXPECT_NE(m.var.find("MODEL=0;"), std::string::npos) << m.var;
}

TEST_F(Setup, PasswdChangesTheAccountsUsedAtSignIn) {
  StartServer(1);
  auto admin = SignedIn(0);
  EXPECT_EQ(Ask(admin.get(), "PASSWD", "GET").var, "admin=0=1;power=1=4;user=2=4;");
  EXPECT_EQ(Ask(admin.get(), "PASSWD", "ADD", "alice=1=wonder").Get("RSP"), "ACK");
  EXPECT_EQ(Ask(admin.get(), "PASSWD", "ADD", "alice=2=again").Get("RSP"), "NAK");
  EXPECT_EQ(Ask(admin.get(), "PASSWD", "DEL", "user").Get("RSP"), "ACK");
  EXPECT_EQ(Ask(admin.get(), "PASSWD", "MOD", "admin=root=0=toor").Get("RSP"), "ACK");
  struct Case {
    const char* id;
    const char* pw;
    const char* rsp;
    const char* code;
  } cases[] = {
      {"alice", "wonder", "ACK", "0"},
      {"user", "user", "NAK", "501"},
      {"root", "admin", "NAK", "502"},
  };
  int n = 0;
  for (const Case& k : cases) {
    Client c;
    c.stid = "3_" + std::to_string(++n);
    ASSERT_TRUE(c.Connect(Port(0)));
    Reply r = c.SignIn(k.id, k.pw);
    EXPECT_EQ(r.Get("RSP"), k.rsp) << k.id;
    EXPECT_EQ(r.Get("CODE"), k.code) << k.id;
  }
}

TEST_F(Setup, UpdateFlowFollowsTheViewersAnswers) {
  StartServer(2, "[global]\nupdate_step_ms = 20\n[camera 1]\nupdate_fail = 516\n");
  auto admin = SignedIn(0);
  auto watcher = SignedIn(0, "user", "user", "4_4");
  auto progress = [&](Client* c) { return c->ReadFor("SETUP", "MAINTENANCE"); };
  admin->Send("CMD#SETUP\nCLS#MAINTENANCE\nMTD#UPDATE_START\nUPDATE_SERVER#ftp://127.0.0.1/pub/update");
  struct Step {
    const char* answer;  // sent after the expected code; empty for none
    int code;
  } steps[] = {{"", 405}, {"UPDATE_DOWNLOAD", 406}, {"", 407}, {"UPDATE_EXECUTE", 408},
               {"", 409}, {"UPDATE_RESTART", 410},  {"", 411}};
  for (const Step& s : steps) {
    Reply r = progress(admin.get());
    ASSERT_TRUE(r.ok) << s.code;
    EXPECT_EQ(r.Get("MTD"), "UPDATE_START");
    EXPECT_EQ(r.Get("RSP"), "ACK");
    EXPECT_EQ(r.Get("CODE"), std::to_string(s.code));
    if (*s.answer) admin->Send(std::string("CMD#SETUP\nCLS#MAINTENANCE\nMTD#") + s.answer);
  }
  // The others were told why, then the camera restarted.
  EXPECT_EQ(watcher->ReadFor("CLOSE", "").Get("CODE"), "401");
  EXPECT_TRUE(admin->WaitClosed());
  Client refused;
  EXPECT_FALSE(refused.Connect(Port(0)));

  // Camera 1 fails the download; a cancel on another run ends with 520.
  auto second = SignedIn(1);
  second->Send("CMD#SETUP\nCLS#MAINTENANCE\nMTD#UPDATE_START\nUPDATE_SERVER#0");
  EXPECT_EQ(progress(second.get()).Get("CODE"), "405");
  EXPECT_EQ(progress(second.get()).Get("CODE"), "406");
  second->Send("CMD#SETUP\nCLS#MAINTENANCE\nMTD#UPDATE_DOWNLOAD");
  EXPECT_EQ(progress(second.get()).Get("CODE"), "407");
  Reply failed = progress(second.get());
  EXPECT_EQ(failed.Get("RSP"), "NAK");
  EXPECT_EQ(failed.Get("CODE"), "516");
  second->Send("CMD#SETUP\nCLS#MAINTENANCE\nMTD#UPDATE_START\nUPDATE_SERVER#0");
  EXPECT_EQ(progress(second.get()).Get("CODE"), "405");
  EXPECT_EQ(progress(second.get()).Get("CODE"), "406");
  second->Send("CMD#SETUP\nCLS#MAINTENANCE\nMTD#UPDATE_CANCEL");
  Reply cancelled = progress(second.get());
  EXPECT_EQ(cancelled.Get("RSP"), "NAK");
  EXPECT_EQ(cancelled.Get("CODE"), "520");
}

}  // namespace
}  // namespace camsim_test
