// LAN search responder on UDP port 33333: every camera answers a
// "SEARCH&LEN=n&IP=a&PORT=p&" request with a 128-byte datagram sent to the
// address and port named in the request. Time announcements are logged.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "base/base.h"
#include "camsim/Server.h"

namespace camsim {

namespace {
constexpr int kSearchPort = 33333;
constexpr int kReplySize = 128;

// The value of |name| ("IP=" or "PORT=") in a request, up to the next "&".
std::string Field(const std::string& text, const char* name) {
  std::size_t at = text.find(name);
  if (at == std::string::npos) return {};
  at += std::strlen(name);
  std::size_t end = text.find('&', at);
  return text.substr(at, end == std::string::npos ? std::string::npos : end - at);
}
}  // namespace

int Server::OpenSearch(std::string* error) {
  searchFd_ = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (searchFd_ < 0) {
    *error = std::string("search socket: ") + std::strerror(errno);
    return 0;
  }
  int one = 1;
  setsockopt(searchFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  setsockopt(searchFd_, SOL_SOCKET, SO_BROADCAST, &one, sizeof one);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(kSearchPort);
  sa.sin_addr.s_addr = htonl(INADDR_ANY);  // broadcasts arrive on the wildcard only
  if (bind(searchFd_, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
    *error = "search: cannot listen on UDP port 33333: " + std::string(std::strerror(errno));
    return 0;
  }
  return 1;
}

void Server::ReadSearch() {
  char buffer[1500];
  sockaddr_in from{};
  socklen_t fromLength = sizeof from;
  ssize_t n = recvfrom(searchFd_, buffer, sizeof buffer - 1, 0, reinterpret_cast<sockaddr*>(&from), &fromLength);
  if (n <= 0) return;
  buffer[n] = 0;
  std::string text(buffer, static_cast<std::size_t>(n));
  if (text.rfind("CURRENT_TIME=", 0) == 0) {
    events_.Note(-1, "search", "in", "CURRENT_TIME=" + text.substr(13));
    return;
  }
  if (text.rfind("SEARCH&LEN=", 0) != 0) return;
  events_.Note(-1, "search", "in", "REQUEST=" + text);
  const std::string ip = Field(text, "IP=");
  const std::string port = Field(text, "PORT=");
  sockaddr_in to{};
  to.sin_family = AF_INET;
  int replyPort = std::atoi(port.c_str());
  if (inet_pton(AF_INET, ip.c_str(), &to.sin_addr) != 1 || replyPort <= 0 || replyPort > 65535) return;
  to.sin_port = htons(static_cast<std::uint16_t>(replyPort));
  // The address to sign in to: the bound one, or for the wildcard the one the
  // request reached.
  std::string address = options_.bind;
  if (address == "0.0.0.0") {
    char local[128] = {};
    address = GetLocalAddress(local) ? local : "127.0.0.1";
  }
  for (auto& cam : cams_) {
    std::uint8_t reply[kReplySize] = {};
    std::memcpy(reply, "TESSORA", 7);
    std::strncpy(reinterpret_cast<char*>(reply + 20), address.c_str(), 23);
    const std::uint32_t p = static_cast<std::uint32_t>(cam->port);
    for (int i = 0; i < 4; ++i) reply[44 + i] = static_cast<std::uint8_t>(p >> (8 * i));
    std::snprintf(reinterpret_cast<char*>(reply + 48), 32, "MODEL=%d", cam->cfg.model);
    if (sendto(searchFd_, reply, sizeof reply, 0, reinterpret_cast<sockaddr*>(&to), sizeof to) < 0) {
      LogMessage("%s %d\n", LOGPOS);
    }
    events_.Note(cam->cfg.index, "search", "out", "ADDRESS=" + address + ";PORT=" + std::to_string(cam->port));
  }
}

}  // namespace camsim
