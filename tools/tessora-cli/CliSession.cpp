#include "CliSession.h"

#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/base.h"
#include "link/CameraCommands.h"
#include "link/KeyValue.h"
#include "link/LinkEngine.h"
#include "link/LinkMessages.h"

namespace cli {

std::string Arguments::Get(const std::string& name, const std::string& fallback) const {
  const auto it = options.find(name);
  return it == options.end() ? fallback : it->second;
}

std::vector<std::string> SignInOptionsAnd(const std::vector<std::string>& more) {
  std::vector<std::string> options = kSignInOptions;
  options.insert(options.end(), more.begin(), more.end());
  return options;
}

std::string Shown(const std::string& text) {
  std::size_t characters = 0;
  for (std::size_t at = 0; at < text.size(); ++at) {
    // A UTF-8 character begins at every byte that does not continue one.
    if ((static_cast<unsigned char>(text[at]) & 0xC0) == 0x80) continue;
    if (characters++ == kShownChars) return text.substr(0, at) + "\u2026";
  }
  return text;
}

bool IsVerboseFlag(const std::string& word) { return word == "-v" || word == "--verbose"; }

void ShowDiagnostics(bool on) { SetLogToStderr(on); }

Arguments ParseArguments(int argc, char** argv, const std::vector<std::string>& valueOptions,
                         const std::vector<std::string>& flags) {
  Arguments args;
  auto listed = [](const std::vector<std::string>& names, const std::string& word) {
    for (const auto& n : names) {
      if (n == word) return true;
    }
    return false;
  };
  for (int i = 0; i < argc; ++i) {
    const std::string word = argv[i];
    const bool option = word.size() > 1 && word[0] == '-' && !(word[1] >= '0' && word[1] <= '9');
    if (!option) {
      args.positional.push_back(word);
    } else if (IsVerboseFlag(word)) {
      ShowDiagnostics(true);
    } else if (listed(flags, word)) {
      args.options[word].assign(1, '1');  // not = "1": GCC 12 warns falsely (-Wrestrict) at -O3
    } else if (!listed(valueOptions, word)) {
      if (args.error.empty()) args.error = "unknown option " + Shown(word);
    } else if (i + 1 < argc) {
      args.options[word] = argv[++i];
    } else if (args.error.empty()) {
      args.error = "option " + Shown(word) + " needs a value";
    }
  }
  return args;
}

bool CheckArguments(const Arguments& args, std::size_t maxPositional) {
  if (!args.error.empty()) {
    std::fprintf(stderr, "error: %s\n", args.error.c_str());
    return false;
  }
  if (args.positional.size() > maxPositional) {
    std::fprintf(stderr, "error: unexpected argument '%s'\n", Shown(args.positional[maxPositional]).c_str());
    return false;
  }
  return true;
}

bool ParseInt(const std::string& text, int* value) {
  if (text.empty()) return false;
  char* end = nullptr;
  const long v = std::strtol(text.c_str(), &end, 10);
  if (*end != '\0' || v < -2147483647L || v > 2147483647L) return false;
  *value = static_cast<int>(v);
  return true;
}

bool SplitEndpoint(const std::string& text, std::string* host, int* port, std::string* error) {
  *host = text;
  *port = kDefaultPort;
  const auto colon = text.rfind(':');
  if (colon != std::string::npos) {
    *host = text.substr(0, colon);
    if (!ParseInt(text.substr(colon + 1), port) || *port < 1 || *port > 65535) {
      *error = "bad port in '" + Shown(text) + "'";
      return false;
    }
  }
  if (host->empty()) {
    *error = "no host in '" + Shown(text) + "'";
    return false;
  }
  return true;
}

ProgressLine::ProgressLine(bool forced) : enabled_(forced || isatty(STDERR_FILENO) == 1) {}

ProgressLine::~ProgressLine() { Finish(); }

void ProgressLine::Show(const char* format, ...) {
  if (!enabled_) return;
  char text[256];
  va_list args;
  va_start(args, format);
  const int n = std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  if (n < 0) return;
  const std::size_t width = std::strlen(text);
  // Blanks over the rest of a longer earlier text.
  std::fprintf(stderr, "\r%s%*s", text, width < width_ ? static_cast<int>(width_ - width) : 0, "");
  std::fflush(stderr);
  width_ = width;
  shown_ = true;
}

void ProgressLine::Finish() {
  if (!shown_) return;
  std::fputc('\n', stderr);
  std::fflush(stderr);
  shown_ = false;
  width_ = 0;
}

const char* RefusalText(int code) {
  switch (code) {
    case 501: return "the id is not registered";
    case 502: return "id and password do not match";
    case 503: return "no more users can sign in";
    case 504: return "no more administrators can sign in";
    case 505: return "this viewer is already signed in";
    case 506: return "unsupported camera version";
    case 401: return "disconnected for a firmware update";
    case 402: return "the settings are being changed; reconnect after 30 seconds";
    case 403: return "the camera was restarted; reconnect after 30 seconds";
    case 404: return "disconnected to keep a minimum quality";
    default: return "refused";
  }
}

const char* SendFailureText(int result) {
  return result == kSendNotConnected ? "the camera closed the connection" : "the request could not be sent";
}

void QueueWindow::Post(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
  std::lock_guard<std::mutex> hold(lock_);
  queue_.push_back(Message{message, wParam, lParam, {}, {}});
  changed_.notify_all();
}

std::intptr_t QueueWindow::Send(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
  Message m{message, wParam, lParam, {}, {}};
  if (message == WM_LOGIN_ACCEPTED) {
    m.info = *reinterpret_cast<const LoginInfo*>(lParam);
  } else if (lParam != 0) {
    m.text = reinterpret_cast<const char*>(lParam);  // valid only during the send
  }
  std::lock_guard<std::mutex> hold(lock_);
  queue_.push_back(std::move(m));
  changed_.notify_all();
  return 0;
}

bool QueueWindow::Wait(const std::vector<unsigned>& wanted, int timeoutMs, Message* out) {
  std::unique_lock<std::mutex> hold(lock_);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    while (!queue_.empty()) {
      Message m = std::move(queue_.front());
      queue_.pop_front();
      for (unsigned w : wanted) {
        if (m.message == w) {
          *out = std::move(m);
          return true;
        }
      }
    }
    if (changed_.wait_until(hold, deadline) == std::cv_status::timeout && queue_.empty()) return false;
  }
}

Session::Session() { StartLinkEngine(); }

Session::~Session() {
  if (signedIn_) SendCloseRequest(kSlot);
  CloseLink(kSlot);
  GetSetupReplyTargets().Clear();
  StopLinkEngine();
}

int Session::SignIn(const Target& given) {
  Target target = given;
  // Asked only now, once the arguments are known to be good.
  if (target.askPassword &&
      !PromptPassword("Password for " + Shown(target.id) + " at " + Shown(target.host) + ":" +
                          std::to_string(target.port) + ": ",
                      &target.password)) {
    return kBadArguments;
  }
  char dotted[16];
  if (ResolveHost(target.host.c_str(), dotted) != 0) {
    std::fprintf(stderr, "error: cannot resolve host '%s'\n", Shown(target.host).c_str());
    return kFailed;
  }
  address_ = dotted;
  const std::string& address = address_;
  const int port = target.port;
  CloseLink(kSlot);
  PrepareLink(kSlot, &window_, address.c_str(), port);
  if (OpenControl(kSlot, target.id.c_str(), target.password.c_str(), 0) != 1) {
    std::fprintf(stderr, "error: cannot connect to %s:%d\n", address.c_str(), port);
    return kFailed;
  }
  if (!window_.Wait({WM_LOGIN_ACCEPTED, WM_LOGIN_REFUSED, WM_CONTROL_CLOSED}, 5000, &login_)) {
    std::fprintf(stderr, "error: no sign-in reply from %s:%d\n", address.c_str(), port);
    return kFailed;
  }
  if (login_.message == WM_CONTROL_CLOSED) {
    std::fprintf(stderr, "error: the camera closed the connection\n");
    return kFailed;
  }
  if (login_.message == WM_LOGIN_REFUSED) {
    std::fprintf(stderr, "sign-in refused: %d (%s)\n", static_cast<int>(login_.lParam),
                 RefusalText(static_cast<int>(login_.lParam)));
    return kFailed;
  }
  signedIn_ = true;
  return kOk;
}

bool ReadTarget(const Arguments& args, std::size_t hostIndex, Target* target) {
  if (!args.error.empty()) {
    std::fprintf(stderr, "error: %s\n", args.error.c_str());
    return false;
  }
  if (args.positional.size() <= hostIndex) {
    std::fprintf(stderr, "error: HOST[:PORT] is missing\n");
    return false;
  }
  if (!args.Has("-u")) {
    std::fprintf(stderr, "error: -u ID is missing\n");
    return false;
  }
  std::string error;
  if (!SplitEndpoint(args.positional[hostIndex], &target->host, &target->port, &error)) {
    std::fprintf(stderr, "error: %s\n", error.c_str());
    return false;
  }
  target->id = args.Get("-u");
  // An empty password is given as -p "" (or an empty file or answer), never
  // assumed.
  return ReadPassword(args, &target->password, &target->askPassword);
}

bool ReadVideoFormat(Session& session, VideoFormat* format) {
  constexpr int kReplyWaitMs = 5000;
  Message reply;
  if (SendSetupRequest(Session::kSlot, "VIDEO", "GET", nullptr) != 1 ||
      !session.window().Wait({WM_SETUP_VIDEO_GET, WM_SETUP_REFUSED, WM_CONTROL_CLOSED}, kReplyWaitMs, &reply) ||
      reply.message != WM_SETUP_VIDEO_GET) {
    std::fprintf(stderr, "error: the camera did not answer the VIDEO request\n");
    return false;
  }
  if (!ParseVideoFormat(reply.text.data(), format)) {
    std::fprintf(stderr, "error: the camera's VIDEO settings give no usable picture size\n");
    return false;
  }
  return true;
}

}  // namespace cli
