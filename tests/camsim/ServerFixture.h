// Runs a camsim Server on its own thread for one test, on free ports.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <memory>
#include <thread>

#include "camsim/Server.h"
#include "CamsimClient.h"

namespace camsim_test {

class ServerFixture : public ::testing::Test {
 protected:
  // Starts |count| cameras; |config| is INI text applied over the defaults.
  void StartServer(int count, const std::string& config = "", const std::string& events = "") {
    for (int attempt = 0; attempt < 40 && !server_; ++attempt) {
      camsim::Options o;
      o.cameras = count;
      // Below the ephemeral range, so no outgoing or port-0 socket of a test
      // running beside this one can take a camera port while it is closed.
      o.port = 10000 + static_cast<int>((getpid() * 7 + attempt * 131) % 1400) * 16;
      o.adminPort = 0;
      o.stdinCommands = false;
      o.loopSeconds = 1;
      o.eventsFile = events;
      o.search = search_;
      for (int i = 0; i < count; ++i) o.cams.push_back(camsim::DefaultCamera(i));
      std::string error;
      ASSERT_EQ(camsim::ApplyConfigText(config, &o, &error), 1) << error;
      auto s = std::make_unique<camsim::Server>(o);
      if (s->Start(&error)) {
        server_ = std::move(s);
      } else {
        ASSERT_NE(error.find("listen"), std::string::npos) << error;
        ASSERT_EQ(error.find("search"), std::string::npos) << error;
      }
    }
    ASSERT_TRUE(server_);
    thread_ = std::thread([this] { server_->Run(); });
  }
  void TearDown() override {
    if (server_) server_->Stop();
    if (thread_.joinable()) thread_.join();
  }
  int Port(int camera) const { return server_->CameraPort(camera); }
  // A client signed in as |id| on |camera|.
  std::unique_ptr<Client> SignedIn(int camera, const std::string& id = "admin", const std::string& pw = "admin",
                                   const std::string& stid = "0_812") {
    auto c = std::make_unique<Client>();
    c->stid = stid;
    EXPECT_TRUE(c->Connect(Port(camera)));
    Reply r = c->SignIn(id, pw);
    EXPECT_EQ(r.Get("RSP"), "ACK");
    return c;
  }
  // Opens the video channel of |control| and starts play-back.
  std::unique_ptr<Client> OpenVideo(int camera, Client* control) {
    auto v = std::make_unique<Client>();
    v->stid = control->stid;
    v->cameraId = control->cameraId;
    EXPECT_TRUE(v->Connect(Port(camera)));
    v->Send("CMD#OPEN\nCLS#VSTREAM");
    EXPECT_EQ(control->ReadFor("OPEN", "VSTREAM").Get("RSP"), "ACK");
    control->Send("CMD#CONTROL\nCLS#VIDEO\nMTD#PLAY");
    EXPECT_EQ(control->ReadFor("CONTROL", "VIDEO").Get("RSP"), "ACK");
    return v;
  }

  bool search_ = false;  // answer LAN searches (private namespaces only)
  std::unique_ptr<camsim::Server> server_;
  std::thread thread_;
};

}  // namespace camsim_test
