// What the subcommands share: argument helpers and a signed-in session on
// link slot 0 whose window messages are queued for the command to wait on.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "base/WindowTarget.h"
#include "link/ControlChannel.h"
#include "video/VideoFormat.h"

namespace cli {

// Exit codes.
inline constexpr int kOk = 0;
inline constexpr int kFailed = 1;      // unreachable, refused, no answer
inline constexpr int kBadArguments = 2;
inline constexpr int kDefaultPort = 9090;

// Subcommand arguments: positional words and "-x value" / "--name value"
// options (flags listed in |flags| take no value).
struct Arguments {
  std::vector<std::string> positional;
  std::map<std::string, std::string> options;
  std::string error;  // set when the words cannot be read
  bool Has(const std::string& name) const { return options.count(name) != 0; }
  std::string Get(const std::string& name, const std::string& fallback = {}) const;
};
Arguments ParseArguments(int argc, char** argv, const std::vector<std::string>& flags = {});

// "HOST[:PORT]" (host name or dotted address) to a dotted address and port.
bool ParseEndpoint(const std::string& text, std::string* address, int* port, std::string* error);
// A decimal integer; false when |text| is not one.
bool ParseInt(const std::string& text, int* value);

// The meaning of a sign-in refusal or camera close code.
const char* RefusalText(int code);

struct Message {
  unsigned message = 0;
  std::uintptr_t wParam = 0;
  std::intptr_t lParam = 0;
  std::string text;
  LoginInfo info;
};

// A window that queues every message for the command's thread.
class QueueWindow : public WindowTarget {
 public:
  void Post(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) override;
  std::intptr_t Send(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) override;
  // The first queued message among |wanted| (others are dropped), or false
  // after |timeoutMs|.
  bool Wait(const std::vector<unsigned>& wanted, int timeoutMs, Message* out);

 private:
  std::mutex lock_;  // guards queue_
  std::condition_variable changed_;
  std::deque<Message> queue_;
};

// One camera session on slot 0: StartLinkEngine, sign-in, and on destruction
// CLOSE, CloseLink and the engine stopped.
class Session {
 public:
  Session();
  ~Session();
  // Signs in; prints the failure to stderr. Returns kOk or kFailed.
  int SignIn(const std::string& address, int port, const std::string& id, const std::string& password);
  QueueWindow& window() { return window_; }
  const Message& login() const { return login_; }
  static constexpr int kSlot = 0;

 private:
  QueueWindow window_;
  Message login_;
  bool signedIn_ = false;
};

// Reads HOST[:PORT] -u ID -p PW for commands that sign in; prints what is
// wrong and returns false when something is missing.
struct Target {
  std::string address;
  int port = kDefaultPort;
  std::string id;
  std::string password;
};
bool ReadTarget(const Arguments& args, std::size_t hostIndex, Target* target);

// Asks the signed-in camera for its VIDEO section and reads the stream's
// format from the reply. Prints what failed.
bool ReadVideoFormat(Session& session, VideoFormat* format);

}  // namespace cli
