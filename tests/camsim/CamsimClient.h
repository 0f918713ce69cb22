// A blocking viewer stand-in for the camsim tests: connects to a camera,
// signs in, sends requests and reads replies and video packets, with
// generous time limits so a fault shows up as a failure rather than a hang.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "base/base.h"

namespace camsim_test {

struct Reply {
  std::map<std::string, std::string> keys;  // lines before VAR (first wins)
  std::string var;
  bool ok = false;
  std::string Get(const std::string& k) const {
    auto it = keys.find(k);
    return it == keys.end() ? "0" : it->second;
  }
};

inline Reply ParseReply(const std::string& text) {
  Reply r;
  r.ok = true;
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t nl = text.find('\n', at);
    if (nl == std::string::npos) nl = text.size();
    std::string line = text.substr(at, nl - at);
    std::size_t hash = line.find('#');
    if (hash != std::string::npos) {
      std::string key = line.substr(0, hash);
      if (key == "VAR") {
        r.var = text.substr(at + 4);
        while (!r.var.empty() && r.var.back() == '\n') r.var.pop_back();
        break;
      }
      r.keys.emplace(key, line.substr(hash + 1));
    }
    at = nl + 1;
  }
  return r;
}

struct Packet {
  std::string start;
  std::uint32_t seconds = 0, micros = 0, sequence = 0;
  std::int32_t size = 0;
  bool key = false;
  std::vector<std::uint8_t> payload;
};

class Client {
 public:
  ~Client() { Close(); }
  bool Connect(int port) {
    Close();
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(static_cast<std::uint16_t>(port));
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return connect(fd_, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0;
  }
  void Close() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
    buffer_.clear();
  }
  int fd() const { return fd_; }

  bool SendRaw(const std::string& text) {
    return send(fd_, text.data(), text.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(text.size());
  }
  // Header lines of a viewer message, then |body| lines, then "\n\n".
  bool Send(const std::string& body, const std::string& dtid = "") {
    return SendRaw("SRC#V\nSTID#" + stid + "\nDST#C\nDTID#" + (dtid.empty() ? cameraId : dtid) + "\n" + body +
                   "\n\n");
  }
  // Next whole message, or ok = false after |ms|.
  Reply Read(int ms = 5000) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
      std::size_t src = buffer_.find("SRC");
      std::size_t end = src == std::string::npos ? std::string::npos : buffer_.find("\n\n", src);
      if (end != std::string::npos) {
        std::string text = buffer_.substr(src, end + 2 - src);
        buffer_.erase(0, end + 2);
        return ParseReply(text);
      }
      if (!Fill(deadline)) return Reply{};
    }
  }
  // Next message whose CLS (or CMD when |cls| is empty) matches.
  Reply ReadFor(const std::string& cmd, const std::string& cls, int ms = 5000) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
      int left = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                      deadline - std::chrono::steady_clock::now())
                                      .count());
      if (left <= 0) return Reply{};
      Reply r = Read(left);
      if (!r.ok) return r;
      if (r.Get("CMD") == cmd && (cls.empty() || r.Get("CLS") == cls)) return r;
    }
  }
  Reply SignIn(const std::string& id, const std::string& pw, int useMjpeg = 0) {
    Send("CMD#OPEN\nCLS#CONTROL\nID#" + id + "\nPW#" + ScrambleText(pw) + "\nUSE_MJPEG#" +
             std::to_string(useMjpeg) + "\nCURRENT_TIME#1700000000",
         "TESSORA");
    Reply r = ReadFor("OPEN", "CONTROL");
    if (r.Get("RSP") == "ACK") cameraId = r.Get("STID");
    return r;
  }
  // Reads exactly n bytes; false on timeout or close.
  bool ReadExact(std::uint8_t* out, std::size_t n, int ms = 5000) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (buffer_.size() < n) {
      if (!Fill(deadline)) return false;
    }
    std::memcpy(out, buffer_.data(), n);
    buffer_.erase(0, n);
    return true;
  }
  bool ReadPacket(Packet* p, int ms = 5000) {
    std::uint8_t h[32];
    if (!ReadExact(h, 32, ms)) return false;
    auto le = [&](int at) {
      return static_cast<std::uint32_t>(h[at]) | static_cast<std::uint32_t>(h[at + 1]) << 8 |
             static_cast<std::uint32_t>(h[at + 2]) << 16 | static_cast<std::uint32_t>(h[at + 3]) << 24;
    };
    p->start.assign(reinterpret_cast<char*>(h), 4);
    p->seconds = le(4);
    p->micros = le(8);
    p->sequence = le(12);
    p->size = static_cast<std::int32_t>(le(16));
    p->key = le(20) != 0;
    if (p->size < 0 || p->size > 256001) return false;
    p->payload.resize(static_cast<std::size_t>(p->size));
    return ReadExact(p->payload.data(), p->payload.size(), ms);
  }
  // True when the peer closed the connection within |ms|.
  bool WaitClosed(int ms = 5000) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
      buffer_.clear();
      if (!Fill(deadline)) return closed_;
    }
  }

  std::string stid = "0_812";
  std::string cameraId = "TESSORA";

 private:
  bool Fill(std::chrono::steady_clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now())
                    .count();
    if (left <= 0 || fd_ < 0) return false;
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left)) <= 0) return false;
    char chunk[65536];
    ssize_t n = recv(fd_, chunk, sizeof chunk, 0);
    if (n <= 0) {
      closed_ = true;
      return false;
    }
    buffer_.append(chunk, static_cast<std::size_t>(n));
    return true;
  }
  int fd_ = -1;
  bool closed_ = false;
  std::string buffer_;
};

}  // namespace camsim_test
