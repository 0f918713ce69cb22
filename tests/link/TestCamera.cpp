#include "TestCamera.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>

#include "link/LinkMessages.h"

TestCamera::TestCamera(int backlog) {
  listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in at{};
  at.sin_family = AF_INET;
  at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(listener_, reinterpret_cast<sockaddr*>(&at), sizeof at);
  ::listen(listener_, backlog);
  socklen_t length = sizeof at;
  ::getsockname(listener_, reinterpret_cast<sockaddr*>(&at), &length);
  port_ = ntohs(at.sin_port);
}

TestCamera::~TestCamera() {
  for (int fd : accepted_) ::close(fd);
  ::close(listener_);
}

int TestCamera::Accept(int timeoutMs) {
  pollfd p{listener_, POLLIN, 0};
  if (::poll(&p, 1, timeoutMs) != 1) return -1;
  const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
  if (fd >= 0) accepted_.push_back(fd);
  return fd;
}

std::string TestCamera::ReadMessage(int fd, int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    const auto end = pending_[fd].find("\n\n");
    if (end != std::string::npos) {
      std::string message = pending_[fd].substr(0, end + 2);
      pending_[fd].erase(0, end + 2);
      return message;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now()).count();
    if (left <= 0) return {};
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(left)) != 1) return {};
    char buffer[4096];
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) return {};
    pending_[fd].append(buffer, static_cast<std::size_t>(n));
  }
}

std::vector<std::string> TestCamera::DrainMessages(int fd, int timeoutMs) {
  std::vector<std::string> out;
  for (std::string m = ReadMessage(fd, timeoutMs); !m.empty(); m = ReadMessage(fd, timeoutMs)) {
    out.push_back(m);
  }
  return out;
}

void TestCamera::Write(int fd, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n <= 0) return;
    done += static_cast<std::size_t>(n);
  }
}

void TestCamera::Close(int fd, bool reset) {
  for (auto it = accepted_.begin(); it != accepted_.end(); ++it) {
    if (*it != fd) continue;
    if (reset) {
      const linger now{1, 0};
      ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &now, sizeof now);
    }
    ::close(fd);
    accepted_.erase(it);
    pending_.erase(fd);
    return;
  }
}

int TestCamera::AcceptSignIn(const std::string& reply, std::string* request) {
  const int fd = Accept();
  if (fd < 0) return -1;
  std::string message = ReadMessage(fd);
  if (request != nullptr) *request = message;
  Write(fd, CameraMessage(reply));
  return fd;
}

std::string CameraMessage(const std::string& body, const char* src, const char* dst) {
  // A "STID#" line in |body| is the camera's id: it goes into the header.
  std::string stid = "7_99";
  std::string rest = body;
  const std::size_t at = ("\n" + rest).find("\nSTID#");
  if (at != std::string::npos) {
    const std::size_t end = rest.find('\n', at);
    stid = rest.substr(at + 5, end == std::string::npos ? std::string::npos : end - at - 5);
    rest.erase(at, end == std::string::npos ? std::string::npos : end - at + 1);
    if (!rest.empty() && rest.back() == '\n') rest.pop_back();
  }
  return std::string("SRC#") + src + "\nSTID#" + stid + "\nDST#" + dst + "\nDTID#0_1\n" + rest + "\n\n";
}

std::string LineValue(const std::string& message, const std::string& key) {
  std::size_t at = 0;
  while (at < message.size()) {
    const std::size_t end = message.find('\n', at);
    const std::string line = message.substr(at, end == std::string::npos ? std::string::npos : end - at);
    if (line.compare(0, key.size() + 1, key + "#") == 0) return line.substr(key.size() + 1);
    if (end == std::string::npos) break;
    at = end + 1;
  }
  return {};
}

void RecordingWindow::Add(Recorded record) {
  std::lock_guard<std::mutex> hold(lock_);
  records_.push_back(std::move(record));
  changed_.notify_all();
}

void RecordingWindow::Post(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
  Recorded r;
  r.message = message;
  r.wParam = wParam;
  r.lParam = lParam;
  Add(std::move(r));
}

std::intptr_t RecordingWindow::Send(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
  Recorded r;
  r.message = message;
  r.wParam = wParam;
  r.lParam = lParam;
  r.sent = true;
  if (message == WM_LOGIN_ACCEPTED) {
    r.info = *reinterpret_cast<const LoginInfo*>(lParam);
  } else if (lParam != 0) {
    r.text = reinterpret_cast<const char*>(lParam);
  }
  Add(std::move(r));
  return 0;
}

bool RecordingWindow::WaitFor(unsigned message, int count, int timeoutMs) {
  std::unique_lock<std::mutex> hold(lock_);
  return changed_.wait_for(hold, std::chrono::milliseconds(timeoutMs), [&] {
    int n = 0;
    for (const auto& r : records_) n += r.message == message;
    return n >= count;
  });
}

std::vector<Recorded> RecordingWindow::All() {
  std::lock_guard<std::mutex> hold(lock_);
  return records_;
}

int RecordingWindow::Count(unsigned message) {
  int n = 0;
  for (const auto& r : All()) n += r.message == message;
  return n;
}

Recorded RecordingWindow::Last(unsigned message) {
  Recorded last;
  for (const auto& r : All()) {
    if (r.message == message) last = r;
  }
  return last;
}

RecordingFrameQueue::RecordingFrameQueue() : buffer_(FrameSlot::kMaxPayload) { slot_.payload = buffer_.data(); }

FrameSlot* RecordingFrameQueue::GetFreeFrameSlot() { return &slot_; }

int RecordingFrameQueue::SubmitFrame(FrameSlot* slot) {
  if (askKeyFrame_) return 1;
  ReceivedFrame frame;
  frame.startCode.assign(reinterpret_cast<const char*>(slot->header), 4);
  frame.sequence = slot->Sequence();
  frame.key = slot->IsKeyFrame();
  frame.payload.assign(reinterpret_cast<const char*>(slot->payload), static_cast<std::size_t>(slot->payloadCount));
  slot->headerCount = slot->payloadCount = 0;  // consumed at once
  std::lock_guard<std::mutex> hold(lock_);
  frames_.push_back(std::move(frame));
  changed_.notify_all();
  return 0;
}

void RecordingFrameQueue::RequireKeyFrame() {
  std::lock_guard<std::mutex> hold(lock_);
  ++keyRequests_;
}

bool RecordingFrameQueue::WaitFrames(int count, int timeoutMs) {
  std::unique_lock<std::mutex> hold(lock_);
  return changed_.wait_for(hold, std::chrono::milliseconds(timeoutMs),
                           [&] { return static_cast<int>(frames_.size()) >= count; });
}

std::vector<ReceivedFrame> RecordingFrameQueue::Frames() {
  std::lock_guard<std::mutex> hold(lock_);
  return frames_;
}

int RecordingFrameQueue::keyFrameRequests() {
  std::lock_guard<std::mutex> hold(lock_);
  return keyRequests_;
}
