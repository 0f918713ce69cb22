// The password of a sign-in, from the first of: -p PW, --password-file FILE,
// the environment variable TESSORA_PASSWORD (when not empty), or a prompt on
// the terminal without echo (only when standard input is a terminal).
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>

#include "CliSession.h"

namespace cli {

namespace {

// Longer lines are cut here (the sign-in uses the first 80 characters).
constexpr std::size_t kMaxPasswordBytes = 1024;

// The terminal's settings while the prompt has echo off, for the signal
// handler that puts them back before the signal ends the program.
struct termios g_savedTerminal;
volatile sig_atomic_t g_echoOff = 0;

void RestoreTerminalAndDie(int signo) {
  if (g_echoOff != 0) tcsetattr(STDIN_FILENO, TCSANOW, &g_savedTerminal);
  signal(signo, SIG_DFL);
  raise(signo);
}

// The first line of |bytes|: up to the first newline, without a carriage
// return before it.
std::string FirstLine(const std::string& bytes) {
  std::string line = bytes.substr(0, bytes.find('\n'));
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

bool ReadPasswordFile(const std::string& path, std::string* password) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
  struct stat st {};
  if (fd < 0 || ::fstat(fd, &st) != 0) {
    std::fprintf(stderr, "error: cannot read the password file '%s': %s\n", path.c_str(), std::strerror(errno));
    if (fd >= 0) ::close(fd);
    return false;
  }
  // A file others can read is used all the same (the password is already
  // exposed; refusing would not take it back), but the user is told.
  if (S_ISREG(st.st_mode) && (st.st_mode & (S_IRGRP | S_IROTH)) != 0) {
    std::fprintf(stderr, "warning: the password file '%s' can be read by other users (chmod 600 it)\n",
                 path.c_str());
  }
  std::string bytes;
  char buffer[256];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      std::fprintf(stderr, "error: cannot read the password file '%s': %s\n", path.c_str(), std::strerror(errno));
      ::close(fd);
      return false;
    }
    if (n == 0) break;
    bytes.append(buffer, static_cast<std::size_t>(n));
    // Only the first line counts (a pipe need not be read to its end).
    if (bytes.find('\n') != std::string::npos || bytes.size() >= kMaxPasswordBytes) break;
  }
  ::close(fd);
  *password = FirstLine(bytes.substr(0, kMaxPasswordBytes));
  return true;
}

}  // namespace

bool ReadPassword(const Arguments& args, std::string* password, bool* ask) {
  *ask = false;
  if (args.Has("-p")) {
    *password = args.Get("-p");
    return true;
  }
  if (args.Has("--password-file")) return ReadPasswordFile(args.Get("--password-file"), password);
  const char* fromEnvironment = std::getenv(kPasswordVariable);
  if (fromEnvironment != nullptr && fromEnvironment[0] != '\0') {
    *password = fromEnvironment;
    return true;
  }
  if (isatty(STDIN_FILENO) == 1) {
    *ask = true;
    return true;
  }
  std::fprintf(stderr,
               "error: the password is missing: give -p PW, --password-file FILE or %s "
               "(or run on a terminal to be asked)\n",
               kPasswordVariable);
  return false;
}

namespace {

// Asks on standard error and reads one line from the terminal on standard
// input with echo off; the terminal's settings come back afterwards, also
// when a signal ends the program meanwhile. False when nothing was read
// (end of input).
bool AskPassword(const std::string& prompt, std::string* password) {
  struct termios saved;
  if (tcgetattr(STDIN_FILENO, &saved) != 0) return false;
  g_savedTerminal = saved;
  struct sigaction action {};
  action.sa_handler = RestoreTerminalAndDie;
  sigemptyset(&action.sa_mask);
  const int signals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
  struct sigaction old[std::size(signals)];
  for (std::size_t i = 0; i < std::size(signals); ++i) sigaction(signals[i], &action, &old[i]);
  struct termios quiet = saved;
  quiet.c_lflag &= static_cast<tcflag_t>(~ECHO);
  quiet.c_lflag |= ECHONL | ICANON;
  g_echoOff = 1;
  const bool quietOn = tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet) == 0;
  // The prompt only once echo is off: whatever is typed after it stays hidden.
  std::fprintf(stderr, "%s", prompt.c_str());
  std::fflush(stderr);
  std::string line;
  bool ended = false;  // a newline arrived
  char c;
  for (;;) {
    const ssize_t n = ::read(STDIN_FILENO, &c, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    if (c == '\n') {
      ended = true;
      break;
    }
    if (line.size() < kMaxPasswordBytes) line.push_back(c);
  }
  if (quietOn) tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
  g_echoOff = 0;
  for (std::size_t i = 0; i < std::size(signals); ++i) sigaction(signals[i], &old[i], nullptr);
  if (!ended) std::fputc('\n', stderr);  // Enter echoes its own newline (ECHONL)
  if (!ended && line.empty()) return false;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  *password = line;
  return true;
}

}  // namespace

bool PromptPassword(const std::string& prompt, std::string* password) {
  if (AskPassword(prompt, password)) return true;
  std::fprintf(stderr, "error: no password was entered\n");
  return false;
}

}  // namespace cli
