// A small camera stand-in for the link's tests: a loopback TCP listener whose
// connections the test drives by hand (read one message, write bytes), plus a
// recording window and a recording frame queue.
//
// Tests that a real camera's behaviour covers run against camsim (its fault
// commands included). This stand-in stays for what camsim cannot give: the
// exact bytes the link sent (header lines, IDs, command bodies) read back in
// the test; replies and media framing written byte by byte, split at chosen
// offsets, two messages in one write or malformed on purpose; a listener
// that never accepts (connect time-outs); and a peer that closes in the
// middle of a payload at a chosen point.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "base/WindowTarget.h"
#include "link/ControlChannel.h"
#include "link/MediaSink.h"

class TestCamera {
 public:
  explicit TestCamera(int backlog = 8);
  ~TestCamera();
  int port() const { return port_; }
  int listener() const { return listener_; }
  // Accepts one connection (fd) or -1 after |timeoutMs|.
  int Accept(int timeoutMs = 5000);
  // Reads one message through "\n\n" ("" on time-out or close).
  std::string ReadMessage(int fd, int timeoutMs = 5000);
  // Every whole message that arrives within |timeoutMs|.
  std::vector<std::string> DrainMessages(int fd, int timeoutMs);
  static void Write(int fd, const std::string& bytes);
  // Closes an accepted connection now: with the end of the stream, or with a
  // reset (RST) when |reset|.
  void Close(int fd, bool reset = false);
  // Accepts the control connection and answers the sign-in with |reply|
  // (the text after the header lines; "\n\n" is added). Returns the fd.
  int AcceptSignIn(const std::string& reply, std::string* request = nullptr);

 private:
  int listener_ = -1;
  int port_ = 0;
  std::vector<int> accepted_;
  std::map<int, std::string> pending_;  // bytes read past the last message, per connection
};

// "SRC#C\nSTID#..\nDST#V\nDTID#..\n" + body + "\n\n".
std::string CameraMessage(const std::string& body, const char* src = "C", const char* dst = "V");

// One line's value in a message text ("" when absent).
std::string LineValue(const std::string& message, const std::string& key);

struct Recorded {
  unsigned message = 0;
  std::uintptr_t wParam = 0;
  std::intptr_t lParam = 0;
  bool sent = false;
  std::string text;  // the text lParam pointed to (setup replies)
  LoginInfo info;    // WM_LOGIN_ACCEPTED
};

class RecordingWindow : public WindowTarget {
 public:
  void Post(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) override;
  std::intptr_t Send(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) override;
  // Waits (bounded) until |message| has arrived |count| times.
  bool WaitFor(unsigned message, int count = 1, int timeoutMs = 5000);
  std::vector<Recorded> All();
  int Count(unsigned message);
  Recorded Last(unsigned message);

 private:
  void Add(Recorded record);
  std::mutex lock_;  // guards records_
  std::condition_variable changed_;
  std::vector<Recorded> records_;
};

struct ReceivedFrame {
  std::string startCode;
  std::uint32_t sequence = 0;
  bool key = false;
  std::string payload;
};

class RecordingFrameQueue : public FrameSink {
 public:
  RecordingFrameQueue();
  FrameSlot* GetFreeFrameSlot() override;
  int SubmitFrame(FrameSlot* slot) override;
  void RequireKeyFrame() override;
  bool WaitFrames(int count, int timeoutMs = 5000);
  std::vector<ReceivedFrame> Frames();
  int keyFrameRequests();
  void set_ask_key_frame(bool ask) { askKeyFrame_ = ask; }
  FrameSlot& slot() { return slot_; }

 private:
  std::vector<std::uint8_t> buffer_;
  FrameSlot slot_;
  std::mutex lock_;  // guards frames_, keyRequests_
  std::condition_variable changed_;
  std::vector<ReceivedFrame> frames_;
  int keyRequests_ = 0;
  std::atomic<bool> askKeyFrame_{false};
};
