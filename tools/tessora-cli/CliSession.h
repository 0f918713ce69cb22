// What the subcommands share: argument helpers and a signed-in session on
// link slot 0 whose window messages are queued for the command to wait on.
#pragma once

#include <condition_variable>
#include <cstddef>
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
inline constexpr int kFailed = 1;      // unreachable, unresolvable, refused, no answer
inline constexpr int kBadArguments = 2;
inline constexpr int kShort = 3;       // record: fewer seconds than asked were written
inline constexpr int kDefaultPort = 9090;

// Subcommand arguments: positional words and the options the command knows:
// "-x value" / "--name value" options listed in |valueOptions| and flags
// listed in |flags|. "-v" / "--verbose" is known to every command and lets
// the core's diagnostic lines through to standard error. A word that starts
// with "-" and a digit is a positional word (a negative number).
struct Arguments {
  std::vector<std::string> positional;
  std::map<std::string, std::string> options;
  std::string error;  // set when the words cannot be read (unknown option, missing value)
  bool Has(const std::string& name) const { return options.count(name) != 0; }
  std::string Get(const std::string& name, const std::string& fallback = {}) const;
};
Arguments ParseArguments(int argc, char** argv, const std::vector<std::string>& valueOptions,
                         const std::vector<std::string>& flags = {});
// The options of every command that signs in.
inline const std::vector<std::string> kSignInOptions = {"-u", "-p", "--password-file"};
// |more| after the sign-in options.
std::vector<std::string> SignInOptionsAnd(const std::vector<std::string>& more);

// The environment variable a password may come from.
inline constexpr const char* kPasswordVariable = "TESSORA_PASSWORD";
// The password, from the first of: -p PW; --password-file FILE (its first
// line without the line end; a file other users can read is used with a
// warning); TESSORA_PASSWORD when set and not empty. When none is given and
// standard input is a terminal, |ask| is set: PromptPassword asks at sign-in.
// Prints what is missing or unreadable and returns false (a usage error).
bool ReadPassword(const Arguments& args, std::string* password, bool* ask);
// Shows |prompt| on standard error and reads one line from the terminal with
// echo off (the terminal's settings come back, also when a signal ends the
// program meanwhile). False, printed, when the input ended without a line.
bool PromptPassword(const std::string& prompt, std::string* password);

// True when |word| switches the diagnostic lines on.
bool IsVerboseFlag(const std::string& word);
// The core's diagnostic lines on standard error: off unless asked for.
void ShowDiagnostics(bool on);

// A word the user gave, as a message quotes it: at most kShownChars
// characters; a longer one is cut and ends in "…".
inline constexpr std::size_t kShownChars = 64;
std::string Shown(const std::string& text);

// Prints the parse error, or an "unexpected argument" error when more than
// |maxPositional| positional words were given. False after printing.
bool CheckArguments(const Arguments& args, std::size_t maxPositional);

// "HOST[:PORT]" to the host text (a name or dotted address, resolved at
// sign-in) and port; false with a message for a bad port or an empty host.
bool SplitEndpoint(const std::string& text, std::string* host, int* port, std::string* error);
// A decimal integer; false when |text| is not one.
bool ParseInt(const std::string& text, int* value);

// A progress line on standard error, rewritten in place, when standard error
// is a terminal or |forced| (--progress); nothing at all otherwise (a pipe, a
// file).
class ProgressLine {
 public:
  explicit ProgressLine(bool forced);
  ~ProgressLine();  // ends a shown line with a newline
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;
  void Show(const char* format, ...) __attribute__((format(printf, 2, 3)));
  void Finish();  // the newline after the last shown text
  bool enabled() const { return enabled_; }

 private:
  bool enabled_ = false;
  bool shown_ = false;
  std::size_t width_ = 0;  // characters of the text shown last
};

// The meaning of a sign-in refusal or camera close code.
const char* RefusalText(int code);
// Why a request was not sent (a SendControlMessage result other than kSendOk).
const char* SendFailureText(int result);

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

// Reads HOST[:PORT], -u ID and the password (ReadPassword) for commands that
// sign in; prints what is missing or malformed and returns false (a usage
// error).
struct Target {
  std::string host;
  int port = kDefaultPort;
  std::string id;
  std::string password;
  bool askPassword = false;  // none given: asked on the terminal at sign-in
};
bool ReadTarget(const Arguments& args, std::size_t hostIndex, Target* target);

// One camera session on slot 0: StartLinkEngine, sign-in, and on destruction
// CLOSE, CloseLink and the engine stopped.
class Session {
 public:
  Session();
  ~Session();
  // Asks for the password when the target says so, resolves the host and
  // signs in; prints the failure to stderr. Returns kOk, kFailed, or
  // kBadArguments when no password was entered.
  int SignIn(const Target& target);
  QueueWindow& window() { return window_; }
  const Message& login() const { return login_; }
  const std::string& address() const { return address_; }  // dotted, once resolved
  static constexpr int kSlot = 0;

 private:
  QueueWindow window_;
  Message login_;
  std::string address_;
  bool signedIn_ = false;
};

// Asks the signed-in camera for its VIDEO section and reads the stream's
// format from the reply. Prints what failed.
bool ReadVideoFormat(Session& session, VideoFormat* format);

}  // namespace cli
