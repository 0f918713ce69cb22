// LAN search: the result table, and a search end to end between two network
// namespaces joined by a veth pair (created and removed here; needs root).
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "base/CAMManager.h"

namespace {

std::vector<std::uint8_t> Reply(const std::string& address, int port, std::size_t size = 128) {
  std::vector<std::uint8_t> d(size, 0);
  if (size >= 20) std::memset(d.data(), 0x5a, 20);
  if (size >= 48) {
    std::memcpy(d.data() + 20, address.data(), address.size());
    for (int i = 0; i < 4; ++i) d[44 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(port >> (8 * i));
  }
  return d;
}

TEST(SearchTable, SortsKeepsDuplicatesAndIgnoresOtherSizes) {
  SearchTable table;
  table.Clear();
  for (const auto& [address, port] : std::vector<std::pair<std::string, int>>{
           {"192.168.0.30", 1}, {"192.168.0.4", 2}, {"192.168.0.100", 3}, {"192.168.0.30", 4}}) {
    const auto d = Reply(address, port);
    EXPECT_EQ(table.Insert(d.data(), d.size()), 1);
  }
  for (std::size_t size : {127u, 129u, 0u}) {
    const auto d = Reply("10.0.0.1", 9, size);
    EXPECT_EQ(table.Insert(d.data(), d.size()), 0);
  }
  EXPECT_EQ(table.Listing(), (std::vector<std::string>{"192.168.0.100:3", "192.168.0.30:1", "192.168.0.30:4",
                                                       "192.168.0.4:2"}));
}

TEST(SearchTable, FullTableDropsTheGreatestAndListsSixteen) {
  SearchTable table;
  table.Clear();
  for (int i = 0; i < 40; ++i) {
    const auto d = Reply("10.0.0." + std::to_string(100 + i), i);  // 10.0.0.100 .. 10.0.0.139
    table.Insert(d.data(), d.size());
  }
  EXPECT_EQ(table.At(31).Address(), "10.0.0.131");
  const auto smaller = Reply("10.0.0.1", 1);
  EXPECT_EQ(table.Insert(smaller.data(), smaller.size()), 1);
  EXPECT_EQ(table.At(0).Address(), "10.0.0.1");
  EXPECT_EQ(table.At(31).Address(), "10.0.0.130");
  const auto larger = Reply("10.0.0.99", 1);
  EXPECT_EQ(table.Insert(larger.data(), larger.size()), 0);
  const auto lines = table.Listing();
  ASSERT_EQ(lines.size(), 16u);
  EXPECT_EQ(lines[15], "10.0.0.114:14");
}

// Two namespaces, viewer side "a" (10.77.0.1, default route) and camera side
// "b" (10.77.0.2), made for the test and removed after it.
class NamespacePair {
 public:
  NamespacePair() {
    const std::string id = std::to_string(getpid());
    a_ = "tsva" + id;
    b_ = "tsvb" + id;
    ok_ = Run("ip netns add " + a_) && Run("ip netns add " + b_) &&
          Run("ip link add va" + id + " netns " + a_ + " type veth peer name vb" + id + " netns " + b_) &&
          Run("ip -n " + a_ + " addr add 10.77.0.1/24 dev va" + id) &&
          Run("ip -n " + b_ + " addr add 10.77.0.2/24 dev vb" + id) &&
          Run("ip -n " + a_ + " link set va" + id + " up") && Run("ip -n " + b_ + " link set vb" + id + " up") &&
          Run("ip -n " + a_ + " link set lo up") && Run("ip -n " + b_ + " link set lo up") &&
          Run("ip -n " + a_ + " route add default dev va" + id);
  }
  ~NamespacePair() {
    Run("ip netns del " + a_);
    Run("ip netns del " + b_);
  }
  bool ok() const { return ok_; }
  // Moves the calling thread into a namespace.
  bool Enter(bool viewerSide) const {
    const int fd = ::open(("/run/netns/" + (viewerSide ? a_ : b_)).c_str(), O_RDONLY | O_CLOEXEC);
    const bool entered = fd >= 0 && ::setns(fd, CLONE_NEWNET) == 0;
    if (fd >= 0) ::close(fd);
    return entered;
  }

 private:
  static bool Run(const std::string& command) { return std::system((command + " 2>/dev/null").c_str()) == 0; }
  std::string a_, b_;
  bool ok_ = false;
};

// The camera side: answers every search request with |replies| datagrams
// sent to the request's source, and counts time announcements.
struct Responder {
  std::vector<std::vector<std::uint8_t>> replies;
  int delayedMs = 0;  // answer this much later (0: at once)
  int requests = 0;
  int announcements = 0;
  int wrongLength = 0;  // requests whose LEN is not the length of what follows it
  void Serve(int fd, int searches) {
    while (requests < searches) {
      pollfd p{fd, POLLIN, 0};
      if (::poll(&p, 1, 5000) != 1) return;
      char text[512];
      sockaddr_in from{};
      socklen_t length = sizeof from;
      const ssize_t n = ::recvfrom(fd, text, sizeof text - 1, 0, reinterpret_cast<sockaddr*>(&from), &length);
      if (n <= 0) return;
      text[n] = '\0';
      if (std::strncmp(text, "CURRENT_TIME=", 13) == 0) {
        ++announcements;
        continue;
      }
      if (std::strncmp(text, "SEARCH&LEN=", 11) != 0) continue;
      ++requests;
      const char* rest = std::strchr(text + 11, '&');
      if (rest == nullptr || std::atoi(text + 11) != static_cast<int>(std::strlen(rest + 1))) ++wrongLength;
      const char* portAt = std::strstr(text, "PORT=");
      if (portAt == nullptr) continue;
      from.sin_port = htons(static_cast<std::uint16_t>(std::atoi(portAt + 5)));
      if (delayedMs > 0 && requests == 1) ::usleep(static_cast<useconds_t>(delayedMs) * 1000);
      for (const auto& d : replies) {
        ::sendto(fd, d.data(), d.size(), 0, reinterpret_cast<sockaddr*>(&from), sizeof from);
      }
    }
  }
};

TEST(LanSearch, EndToEndAcrossAVethPair) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to create network namespaces";
  NamespacePair pair;
  if (!pair.ok()) GTEST_SKIP() << "could not create network namespaces and a veth pair (ip netns)";

  Responder responder;
  for (const auto* address : {"192.168.0.30", "192.168.0.4", "192.168.0.100", "192.168.0.4"}) {
    responder.replies.push_back(Reply(address, 7000));
  }
  responder.replies.push_back(Reply("10.9.9.9", 1, 127));
  responder.replies.push_back(Reply("10.9.9.9", 1, 129));
  for (int i = 0; i < 16; ++i) responder.replies.push_back(Reply("172.16.0." + std::to_string(10 + i), 8000 + i));

  int camera = -1;
  std::thread cameraSide([&] {
    if (!pair.Enter(false)) return;
    camera = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    ::setsockopt(camera, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_port = htons(CAMManager::kSearchPort);
    at.sin_addr.s_addr = htonl(INADDR_ANY);
    if (::bind(camera, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0) return;
    responder.Serve(camera, 1);
  });
  ::usleep(200000);  // the responder is listening

  std::vector<std::string> listing;
  std::thread viewerSide([&] {
    if (!pair.Enter(true)) return;
    CAMManager manager;
    if (manager.Start() != 1) return;
    ::usleep(100000);  // let the first time announcement go out before the search
    manager.SearchCameras();
    listing = manager.Results().Listing();
    manager.Stop();
  });
  viewerSide.join();
  cameraSide.join();
  if (camera >= 0) ::close(camera);

  EXPECT_EQ(responder.requests, 1);
  EXPECT_EQ(responder.wrongLength, 0);
  EXPECT_GE(responder.announcements, 1);  // the first announcement goes out at start
  ASSERT_EQ(listing.size(), 16u);
  // 172.16.* sort before 192.168.*: all sixteen lines are the 172.16 answers.
  EXPECT_EQ(listing.front(), "172.16.0.10:8000");
  EXPECT_EQ(listing.back(), "172.16.0.25:8015");
}

TEST(LanSearch, LateAnswersAreListedByTheNextSearch) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to create network namespaces";
  NamespacePair pair;
  if (!pair.ok()) GTEST_SKIP() << "could not create network namespaces and a veth pair (ip netns)";
  Responder responder;
  responder.delayedMs = 250;
  for (const auto* address : {"192.168.0.30", "192.168.0.4", "192.168.0.100", "192.168.0.4"}) {
    responder.replies.push_back(Reply(address, 7000));
  }
  std::thread cameraSide([&] {
    if (!pair.Enter(false)) return;
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_port = htons(CAMManager::kSearchPort);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&at), sizeof at) == 0) responder.Serve(fd, 2);
    ::close(fd);
  });
  ::usleep(200000);
  std::vector<std::string> first, second;
  std::thread viewerSide([&] {
    if (!pair.Enter(true)) return;
    CAMManager manager;
    if (manager.Start() != 1) return;
    manager.SearchCameras();
    first = manager.Results().Listing();
    ::usleep(300000);
    manager.SearchCameras();
    second = manager.Results().Listing();
    manager.Stop();
  });
  viewerSide.join();
  cameraSide.join();
  EXPECT_TRUE(first.empty());
  // The late answers to the first search, then the answers to the second.
  EXPECT_EQ(second, (std::vector<std::string>{"192.168.0.100:7000", "192.168.0.100:7000", "192.168.0.30:7000",
                                              "192.168.0.30:7000", "192.168.0.4:7000", "192.168.0.4:7000",
                                              "192.168.0.4:7000", "192.168.0.4:7000"}));
}

}  // namespace
