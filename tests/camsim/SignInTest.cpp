// Sign-in checks and the plain control replies.
#include <gtest/gtest.h>

#include "ServerFixture.h"

namespace camsim_test {
namespace {

class SignIn : public ServerFixture {};

TEST_F(SignIn, RefusalsCarryTheirCodes) {
  StartServer(1, "[camera 0]\naccount = admin:admin:0\naccount = power:power:1:1\naccount = user:user:2\n"
                 "USER.ALLOW_MAX = 3\n");
  // Held sign-ins that shape the later cases.
  auto admin = SignedIn(0, "admin", "admin", "0_1");
  auto power = SignedIn(0, "power", "power", "1_1");
  struct Case {
    const char* id;
    const char* pw;
    const char* stid;
    int code;
  } cases[] = {
      {"nobody", "x", "2_1", 501},
      {"user", "wrong", "2_1", 502},
      {"", "", "2_1", 501},
      {"user", "user", "0_1", 505},     // this viewer is already signed in
      {"admin", "admin", "2_1", 504},   // one administrator at a time
      {"power", "power", "2_1", 503},   // the account's own limit
      {"user", "user", "2_1", 0},       // third of ALLOW_MAX 3
      {"user", "user", "3_1", 503},     // ALLOW_MAX reached
  };
  std::vector<std::unique_ptr<Client>> held;
  for (const Case& c : cases) {
    auto client = std::make_unique<Client>();
    client->stid = c.stid;
    ASSERT_TRUE(client->Connect(Port(0)));
    Reply r = client->SignIn(c.id, c.pw);
    ASSERT_TRUE(r.ok) << c.id;
    if (c.code) {
      EXPECT_EQ(r.Get("RSP"), "NAK") << c.id << " " << c.stid;
      EXPECT_EQ(r.Get("CODE"), std::to_string(c.code)) << c.id << " " << c.stid;
    } else {
      EXPECT_EQ(r.Get("RSP"), "ACK") << c.id;
      EXPECT_EQ(r.Get("GROUP"), "2");
    }
    held.push_back(std::move(client));
  }
}

TEST_F(SignIn, AcceptedReplyCarriesTheCameraState) {
  StartServer(4, "[camera 3]\nzone = 24\nflash = 1\nver = 0,4,9,9\n");
  struct Case {
    int camera;
    const char* ver;
    const char* model;
    const char* zone;
  } cases[] = {{0, "0,5,0,0", "0", "15"}, {3, "0,4,9,9", "33554432", "24"}};
  for (const Case& c : cases) {
    Client client;
    ASSERT_TRUE(client.Connect(Port(c.camera)));
    Reply r = client.SignIn("power", "power");
    EXPECT_EQ(r.Get("RSP"), "ACK");
    EXPECT_EQ(r.Get("SRC"), "C");
    EXPECT_EQ(r.Get("DST"), "V");
    EXPECT_EQ(r.Get("DTID"), "0_812");
    EXPECT_NE(r.Get("STID"), "0");
    EXPECT_EQ(r.Get("VER"), c.ver);
    EXPECT_EQ(r.Get("GROUP"), "1");
    EXPECT_EQ(r.Get("MODEL"), c.model);
    EXPECT_EQ(r.Get("ZONE"), c.zone);
    long now = std::stol(r.Get("NOW"));
    EXPECT_NEAR(static_cast<double>(now), static_cast<double>(time(nullptr)), 5.0);
    for (const char* key : {"FLASH", "FHORZ", "FVERT", "GIO_ENABLE", "MD_ENABLE", "SENSOR_ENABLE",
                            "SENSOR_ACTIVE", "GI_01", "GO_01"}) {
      EXPECT_NE(r.keys.count(key), 0u) << key;
    }
  }
}

TEST_F(SignIn, RefuseNextAppliesOnceAndAdminCommandsReachSignedInViewers) {
  StartServer(1);
  server_->Post("refuse 0 503");
  Client first;
  ASSERT_TRUE(first.Connect(Port(0)));
  EXPECT_EQ(first.SignIn("admin", "admin").Get("CODE"), "503");
  auto c = SignedIn(0, "admin", "admin", "5_5");

  struct Case {
    const char* command;
    const char* cmd;
    const char* cls;
    const char* key;
    const char* value;
  } cases[] = {
      {"motion 0", "ALARM", "MOTION", "MTD", "DETECT"},
      {"sensor 0 1", "ALARM", "SENSOR", "SENSOR_ACTIVE", "1"},
      {"key *", "CONTROL", "KEY", "MTD", "GET"},
      {"mdfail 0", "SETUP", "MDALARM", "RSP", "NAK"},
  };
  for (const Case& k : cases) {
    server_->Post(k.command);
    Reply r = c->ReadFor(k.cmd, k.cls);
    ASSERT_TRUE(r.ok) << k.command;
    EXPECT_EQ(r.Get(k.key), k.value) << k.command;
  }
  server_->Post("close 0 402");
  Reply r = c->ReadFor("CLOSE", "");
  EXPECT_EQ(r.Get("RSP"), "ACK");
  EXPECT_EQ(r.Get("CODE"), "402");
  EXPECT_TRUE(c->WaitClosed());
}

TEST_F(SignIn, ControlCommandsAnswerAckOrTheConfiguredNak) {
  StartServer(1, "[camera 0]\nnak = PTZ/SET, MIC/PLAY\nmic_nak_code = 0\n");
  auto c = SignedIn(0);
  struct Case {
    const char* body;
    const char* rsp;
    const char* extraKey;
    const char* extraValue;
  } cases[] = {
      {"CMD#ALIVE\nMTD#SET", "ACK", nullptr, nullptr},
      {"CMD#CONTROL\nCLS#VIDEO\nMTD#SET\nFHORZ#1\nFVERT#0", "ACK", "FHORZ", "1"},
      {"CMD#CONTROL\nCLS#VIDEO\nMTD#I-FRAME_REQ", "ACK", nullptr, nullptr},
      {"CMD#CONTROL\nCLS#PTZ\nMTD#SET\nVAR#PAN=-2;TILT=0;ZOOM=0;FOCUS=0;", "NAK", nullptr, nullptr},
      {"CMD#CONTROL\nCLS#PTZ\nMTD#PRESET_GOTO\nPRESET_NUMBER#2", "ACK", nullptr, nullptr},
      {"CMD#CONTROL\nCLS#MIC\nMTD#PLAY", "NAK", "CODE", "0"},
      {"CMD#CONTROL\nCLS#SPK\nMTD#SET\nVOLUME#7", "ACK", nullptr, nullptr},
      {"CMD#CONTROL\nCLS#LED\nMTD#SET\nFLASH#1\nLED_01#3\nLED_02#3", "ACK", nullptr, nullptr},
      {"CMD#CONTROL\nCLS#MOTION\nMTD#SET", "ACK", nullptr, nullptr},
      {"CMD#CONTROL\nCLS#GIO\nMTD#SET\nGIO_PIN#GO_01", "ACK", nullptr, nullptr},
  };
  for (const Case& k : cases) {
    ASSERT_TRUE(c->Send(k.body));
    Reply r = c->Read();
    ASSERT_TRUE(r.ok) << k.body;
    EXPECT_EQ(r.Get("RSP"), k.rsp) << k.body;
    EXPECT_EQ(r.Get("DTID"), "0_812");
    if (k.extraKey) {
      EXPECT_EQ(r.Get(k.extraKey), k.extraValue) << k.body;
    }
  }
  // The new switch states show in the next sign-in reply.
  Client again;
  again.stid = "9_9";
  ASSERT_TRUE(again.Connect(Port(0)));
  Reply r = again.SignIn("user", "user");
  EXPECT_EQ(r.Get("FLASH"), "1");
  EXPECT_EQ(r.Get("FHORZ"), "1");
  EXPECT_EQ(r.Get("MD_ENABLE"), "1");
  EXPECT_EQ(r.Get("GO_01"), "1");
}

TEST_F(SignIn, NothingButSignInIsAnsweredBeforeSignIn) {
  StartServer(1, "[camera 0]\nAUDIO.ALLOW_MIC = 0\n");
  Client c;
  ASSERT_TRUE(c.Connect(Port(0)));
  c.Send("CMD#CONTROL\nCLS#VIDEO\nMTD#PLAY");
  EXPECT_EQ(c.Read().Get("RSP"), "NAK");
  // A message from a camera (SRC C) is ignored; garbage before SRC is skipped.
  c.SendRaw("SRC#C\nSTID#x\nDST#V\nDTID#y\nCMD#ALIVE\n\nxx##\n");
  EXPECT_EQ(c.SignIn("user", "user").Get("RSP"), "ACK");
  // Users may not listen while ALLOW_MIC is 0: refused with a nonzero code.
  c.Send("CMD#CONTROL\nCLS#MIC\nMTD#PLAY");
  Reply r = c.ReadFor("CONTROL", "MIC");
  EXPECT_EQ(r.Get("RSP"), "NAK");
  EXPECT_EQ(r.Get("CODE"), "1");
}

}  // namespace
}  // namespace camsim_test
