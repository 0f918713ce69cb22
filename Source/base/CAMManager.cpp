#include "base/CAMManager.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "base/base.h"

std::string SearchEntry::Address() const {
  const char* text = reinterpret_cast<const char*>(data + 20);
  return std::string(text, strnlen(text, 24));
}

int SearchEntry::Port() const {
  return static_cast<int>(static_cast<std::uint32_t>(data[44]) | static_cast<std::uint32_t>(data[45]) << 8 |
                          static_cast<std::uint32_t>(data[46]) << 16 | static_cast<std::uint32_t>(data[47]) << 24);
}

void SearchTable::Clear() {
  for (auto& e : entries_) std::memset(e.data, 0, sizeof e.data);
}

namespace {

// Byte-wise comparison of the address texts (each at most 24 bytes).
int CompareAddress(const std::uint8_t* a, const std::uint8_t* b) {
  for (int i = 20; i < 44; ++i) {
    if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
    if (a[i] == 0) return 0;
  }
  return 0;
}

}  // namespace

int SearchTable::Insert(const std::uint8_t* datagram, std::size_t size) {
  if (datagram == nullptr || size != SearchEntry::kSize) return 0;
  for (int i = 0; i < kEntries; ++i) {
    SearchEntry& entry = entries_[i];
    if (entry.IsFree()) {
      std::memcpy(entry.data, datagram, SearchEntry::kSize);
      return 1;
    }
    if (CompareAddress(entry.data, datagram) <= 0) continue;
    for (int j = kEntries - 1; j > i; --j) entries_[j] = entries_[j - 1];
    std::memcpy(entry.data, datagram, SearchEntry::kSize);
    return 1;
  }
  return 0;
}

std::vector<std::string> SearchTable::Listing() const {
  std::vector<std::string> lines;
  for (int i = 0; i < 16; ++i) {
    if (entries_[i].IsFree()) continue;
    char line[64];
    std::snprintf(line, sizeof line, "%s:%d", entries_[i].Address().c_str(), entries_[i].Port());
    lines.emplace_back(line);
  }
  return lines;
}

CAMManager::~CAMManager() { Stop(); }

int CAMManager::OpenSockets() {
  receiveSocket_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  sockaddr_in any{};
  any.sin_family = AF_INET;
  any.sin_addr.s_addr = htonl(INADDR_ANY);
  socklen_t length = sizeof any;
  const int on = 1;
  if (receiveSocket_ < 0 || ::bind(receiveSocket_, reinterpret_cast<sockaddr*>(&any), sizeof any) != 0 ||
      ::getsockname(receiveSocket_, reinterpret_cast<sockaddr*>(&any), &length) != 0) {
    LogMessage("%s %d\n", LOGPOS);
    CloseSockets();
    return 0;
  }
  replyPort_ = ntohs(any.sin_port);
  sendSocket_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (sendSocket_ < 0 || ::setsockopt(sendSocket_, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0) {
    LogMessage("%s %d\n", LOGPOS);
    CloseSockets();
    return 0;
  }
  return 1;
}

void CAMManager::CloseSockets() {
  for (int* fd : {&receiveSocket_, &sendSocket_}) {
    if (*fd >= 0) ::close(*fd);
    *fd = -1;
  }
}

int CAMManager::Start(int announceSeconds) {
  if (thread_.joinable()) return 1;
  table_.Clear();
  if (!OpenSockets()) {
    LogMessage("%s %d\n", LOGPOS);
    return 0;
  }
  running_ = 1;
  thread_ = std::thread(&CAMManager::Run, this, announceSeconds);
  return 1;
}

void CAMManager::Stop() {
  if (thread_.joinable()) {
    {
      std::lock_guard<std::mutex> hold(wakeLock_);
      running_ = 0;
    }
    wake_.notify_all();
    thread_.join();
  }
  CloseSockets();
}

int CAMManager::SendBroadcast(const std::string& text) {
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(kSearchPort);
  to.sin_addr.s_addr = htonl(INADDR_BROADCAST);
  if (sendSocket_ < 0) return EBADF;
  const ssize_t sent =
      ::sendto(sendSocket_, text.data(), text.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
  if (sent == static_cast<ssize_t>(text.size())) return 0;
  const int error = sent < 0 ? errno : EMSGSIZE;
  LogMessage("%s %d\n", LOGPOS);
  return error;
}

void CAMManager::Run(int announceSeconds) {
  std::unique_lock<std::mutex> hold(wakeLock_);
  while (running_.load() == 1) {
    char text[48];
    std::snprintf(text, sizeof text, "CURRENT_TIME=%d", static_cast<std::int32_t>(std::time(nullptr)));
    hold.unlock();
    SendBroadcast(text);
    hold.lock();
    wake_.wait_for(hold, std::chrono::seconds(announceSeconds), [this] { return running_.load() != 1; });
  }
}

std::string CAMManager::SearchRequest(const char* localAddress, int replyPort) {
  char params[192];
  std::snprintf(params, sizeof params, "IP=%s&PORT=%d&", localAddress, replyPort);
  char request[256];
  std::snprintf(request, sizeof request, "SEARCH&LEN=%d&%s", static_cast<int>(std::strlen(params)), params);
  return request;
}

int CAMManager::SearchCameras() {
  char local[128] = "0.0.0.0";
  if (GetLocalAddress(local) != 1) std::snprintf(local, sizeof local, "0.0.0.0");
  const int unsent = SendBroadcast(SearchRequest(local, replyPort_));
  ::usleep(kReplyWaitMs * 1000);
  table_.Clear();
  if (receiveSocket_ >= 0) {
    std::uint8_t datagram[SearchEntry::kSize + 1];
    for (int i = 0; i < SearchTable::kEntries; ++i) {
      const ssize_t n = ::recv(receiveSocket_, datagram, sizeof datagram, MSG_DONTWAIT);
      if (n < 0) break;
      table_.Insert(datagram, static_cast<std::size_t>(n));
    }
  }
  if (unsent != 0) {
    errno = unsent;
    return -1;
  }
  return 0;
}
