// The LAN search responder. It only ever runs inside a private network
// namespace (scripts/in-netns), where nothing can leave the machine.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <cstdlib>
#include <fstream>

#include "ServerFixture.h"

namespace camsim_test {
namespace {

class Search : public ServerFixture {};

TEST_F(Search, AnswersEachRequestWithOneReplyPerCamera) {
  const char* inNetns = std::getenv("TESSORA_IN_NETNS");
  if (!inNetns || std::string(inNetns) != "1") GTEST_SKIP() << "run through scripts/in-netns";
  char dir[] = "/tmp/camsim-search-XXXXXX";
  ASSERT_TRUE(mkdtemp(dir));
  const std::string events = std::string(dir) + "/events.jsonl";
  search_ = true;
  StartServer(3, "", events);

  int fd = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in me{};
  me.sin_family = AF_INET;
  me.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&me), sizeof me), 0);
  socklen_t len = sizeof me;
  getsockname(fd, reinterpret_cast<sockaddr*>(&me), &len);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(33333);
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const std::string params = "IP=127.0.0.1&PORT=" + std::to_string(ntohs(me.sin_port)) + "&";
  const std::string request = "SEARCH&LEN=" + std::to_string(params.size()) + "&" + params;
  const std::string time = "CURRENT_TIME=1700000000";
  sendto(fd, time.data(), time.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
  sendto(fd, request.data(), request.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);

  std::vector<int> ports;
  for (int i = 0; i < 3; ++i) {
    pollfd p{fd, POLLIN, 0};
    ASSERT_EQ(poll(&p, 1, 5000), 1);
    std::uint8_t reply[200];
    ASSERT_EQ(recv(fd, reply, sizeof reply, 0), 128);
    EXPECT_STREQ(reinterpret_cast<char*>(reply + 20), "127.0.0.1");
    ports.push_back(reply[44] | reply[45] << 8 | reply[46] << 16 | reply[47] << 24);
  }
  EXPECT_EQ(ports, (std::vector<int>{Port(0), Port(1), Port(2)}));
  close(fd);

  std::ifstream in(events);
  std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_NE(all.find("\"CURRENT_TIME\":\"1700000000\""), std::string::npos) << all;
  std::remove(events.c_str());
  rmdir(dir);
}

}  // namespace
}  // namespace camsim_test
