#include "base/base.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <ctime>
#include <mutex>
#include <random>

namespace {

constexpr std::size_t kLineChars = 2048;

std::atomic<bool> g_logEnabled{false};
std::atomic<bool> g_logToStderr{true};

// Guards g_logPath. Log lines are failure paths, so a short lock is fine.
std::mutex g_logPathLock;
std::string g_logPath;

void AppendUtf16(std::u16string& out, char32_t c) {
  if (c < 0x10000) {
    out.push_back(static_cast<char16_t>(c));
  } else {
    c -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
  }
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

// Appends the UTF-16LE bytes of |line| to the log file, opening and closing it
// for this one line so that several processes and threads can share it.
void WriteLogFile(const std::u16string& line) {
  std::string path = GetLogFileName();
  if (path.empty()) return;
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) return;  // The line still reached standard error.
  std::string bytes;
  bytes.reserve(line.size() * 2);
  for (char16_t c : line) {
    bytes.push_back(static_cast<char>(c & 0xFF));
    bytes.push_back(static_cast<char>(c >> 8));
  }
  const char* p = bytes.data();
  std::size_t left = bytes.size();
  while (left > 0) {
    ssize_t n = ::write(fd, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  ::close(fd);
}

void EmitLine(const std::string& utf8, const std::u16string& utf16) {
  if (g_logToStderr.load(std::memory_order_relaxed)) std::fwrite(utf8.data(), 1, utf8.size(), stderr);
  if (g_logEnabled.load(std::memory_order_relaxed)) WriteLogFile(utf16);
}

std::mt19937& ThreadRandom() {
  thread_local std::mt19937 engine{std::random_device{}()};
  return engine;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads |count| hex digits; returns false when one is not a hex digit.
bool ReadHex(const char* p, int count, std::uint32_t* value) {
  std::uint32_t v = 0;
  for (int i = 0; i < count; ++i) {
    int d = HexValue(p[i]);
    if (d < 0) return false;
    v = (v << 4) | static_cast<std::uint32_t>(d);
  }
  *value = v;
  return true;
}

void CopyOut(const std::string& text, char* out, std::size_t size) {
  if (size == 0) return;
  std::size_t n = std::min(text.size(), size - 1);
  std::memcpy(out, text.data(), n);
  out[n] = '\0';
}

}  // namespace

std::u16string Utf8ToUtf16(const char* text, std::size_t length) {
  std::u16string out;
  out.reserve(length);
  const auto* s = reinterpret_cast<const unsigned char*>(text);
  std::size_t i = 0;
  while (i < length) {
    unsigned char b = s[i];
    char32_t c;
    int extra;
    if (b < 0x80) { c = b; extra = 0; }
    else if ((b & 0xE0) == 0xC0) { c = b & 0x1F; extra = 1; }
    else if ((b & 0xF0) == 0xE0) { c = b & 0x0F; extra = 2; }
    else if ((b & 0xF8) == 0xF0) { c = b & 0x07; extra = 3; }
    else { out.push_back(u'\uFFFD'); ++i; continue; }
    bool ok = true;
    for (int k = 1; k <= extra; ++k) {
      if (i + k >= length || (s[i + k] & 0xC0) != 0x80) { ok = false; break; }
      c = (c << 6) | (s[i + k] & 0x3F);
    }
    static constexpr char32_t kMin[] = {0, 0x80, 0x800, 0x10000};
    if (!ok || c < kMin[extra] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
      out.push_back(u'\uFFFD');
      ++i;
      continue;
    }
    AppendUtf16(out, c);
    i += static_cast<std::size_t>(extra) + 1;
  }
  return out;
}

void LogMessage(const char* format, ...) {
  char line[kLineChars];
  va_list args;
  va_start(args, format);
  int n = std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  if (n < 0) return;
  std::size_t len = std::min<std::size_t>(static_cast<std::size_t>(n), kLineChars - 1);
  EmitLine(std::string(line, len), Utf8ToUtf16(line, len));
}

namespace {

// Wide formats follow the wide-printf convention of the program: %s and %c
// take wide arguments, %hs and %hc narrow ones. The C library reads %s as
// narrow, so the format is rewritten to %ls / %lc (and %hs to %s).
std::wstring WideFormat(const wchar_t* format) {
  std::wstring out;
  for (const wchar_t* p = format; *p; ++p) {
    out.push_back(*p);
    if (*p != L'%') continue;
    if (p[1] == L'%') {
      out.push_back(*++p);
      continue;
    }
    // Flags, width, precision.
    while (p[1] && std::wcschr(L"-+ #0123456789.*", p[1])) out.push_back(*++p);
    if ((p[1] == L'h') && (p[2] == L's' || p[2] == L'c')) {
      ++p;  // %hs: narrow argument, which is plain %s here
    } else if (p[1] == L's' || p[1] == L'c') {
      out.push_back(L'l');
    }
  }
  return out;
}

}  // namespace

void LogMessageW(const wchar_t* format, ...) {
  wchar_t line[kLineChars];
  const std::wstring wide = WideFormat(format);
  va_list args;
  va_start(args, format);
  int n = std::vswprintf(line, kLineChars, wide.c_str(), args);
  va_end(args);
  // vswprintf reports truncation as -1 but still fills the buffer.
  std::size_t len = n < 0 ? std::wcslen(line) : static_cast<std::size_t>(n);
  std::string utf8;
  std::u16string utf16;
  for (std::size_t i = 0; i < len; ++i) {
    auto c = static_cast<char32_t>(line[i]);
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = 0xFFFD;
    AppendUtf8(utf8, c);
    AppendUtf16(utf16, c);
  }
  EmitLine(utf8, utf16);
}

void SetLogEnabled(bool enabled) { g_logEnabled.store(enabled); }
bool IsLogEnabled() { return g_logEnabled.load(); }
void SetLogToStderr(bool enabled) { g_logToStderr.store(enabled); }

std::string DefaultDirectory() {
  const char* data = std::getenv("XDG_DATA_HOME");
  std::string base;
  if (data && data[0] == '/') {
    base = data;
  } else {
    const char* home = std::getenv("HOME");
    base = std::string(home ? home : "") + "/.local/share";
  }
  return base + "/TessoraViewer 5.00";
}

std::string SetLogFileName(int instance, const std::string& directory) {
  std::time_t now = std::time(nullptr);
  std::tm t{};
  localtime_r(&now, &t);
  char name[260];
  std::snprintf(name, sizeof name, "[Log %d] %d_%d_%d - %d_%d_%d.txt", instance, t.tm_year + 1900,
                t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
  std::string path = (directory.empty() ? DefaultDirectory() : directory) + "/" + name;
  std::lock_guard<std::mutex> hold(g_logPathLock);
  g_logPath = path;
  return path;
}

std::string GetLogFileName() {
  std::lock_guard<std::mutex> hold(g_logPathLock);
  return g_logPath;
}

void ScrambleTextWith(char* out, const char* text, std::size_t size, unsigned multiplier) {
  static constexpr char kHex[] = "0123456789abcdef";
  const unsigned k = multiplier;
  const std::size_t n = std::strlen(text);
  const std::size_t p = n % 3 ? 3 - n % 3 : 0;
  std::string digits;
  digits.reserve((n + p) * 2);
  auto put = [&](unsigned char b) {
    digits.push_back(kHex[b >> 4]);
    digits.push_back(kHex[b & 15]);
  };
  for (std::size_t i = 0; i < n; ++i) put(static_cast<unsigned char>(text[i]));
  for (std::size_t i = 0; i < p; ++i) put(static_cast<unsigned char>(text[0]));
  std::string result;
  result.reserve(digits.size() / 6 * 8 + 2);
  char group[9];
  for (std::size_t i = 0; i + 6 <= digits.size(); i += 6) {
    std::uint32_t v = 0;
    ReadHex(digits.data() + i, 6, &v);
    std::snprintf(group, sizeof group, "%08x", static_cast<unsigned>(k * v));
    result += group;
  }
  std::snprintf(group, sizeof group, "%02x", static_cast<unsigned>(p * 64 + k) & 0xFF);
  result += group;
  CopyOut(result, out, size);
}

void ScrambleText(char* out, const char* text, std::size_t size) {
  unsigned k = (static_cast<unsigned>(ThreadRandom()()) & 31u) | 32u;
  ScrambleTextWith(out, text, size, k);
}

void UnscrambleText(const char* scrambled, char* out, std::size_t size) {
  CopyOut(UnscrambleText(std::string(scrambled)), out, size);
}

std::string ScrambleText(const std::string& text) {
  std::string out(text.size() * 3 + 16, '\0');
  ScrambleText(out.data(), text.c_str(), out.size());
  out.resize(std::strlen(out.c_str()));
  return out;
}

std::string UnscrambleText(const std::string& s) {
  if (s.size() % 8 != 2) return {};
  std::uint32_t a = 0;
  if (!ReadHex(s.data() + s.size() - 2, 2, &a)) return {};
  const std::uint32_t k = a & 63;
  const std::size_t p = (a >> 6) & 3;
  if (k == 0) return {};  // Never produced by ScrambleText; avoids dividing by zero.
  std::string clear;
  clear.reserve(s.size() / 8 * 3);
  for (std::size_t i = 0; i + 8 <= s.size() - 2; i += 8) {
    std::uint32_t g = 0;
    if (!ReadHex(s.data() + i, 8, &g)) return {};
    std::uint32_t v = g / k;
    clear.push_back(static_cast<char>((v >> 16) & 255));
    clear.push_back(static_cast<char>((v >> 8) & 255));
    clear.push_back(static_cast<char>(v & 255));
  }
  if (p > clear.size()) return {};
  clear.resize(clear.size() - p);
  return clear;
}

int ResolveHost(const char* text, char out[16]) {
  char copy[260];
  std::snprintf(copy, sizeof copy, "%s", text ? text : "");
  const char* host = copy;
  if (const char* scheme = std::strstr(copy, "://")) host = scheme + 3;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* list = nullptr;
  if (host[0] == '\0' || ::getaddrinfo(host, nullptr, &hints, &list) != 0 || !list) {
    out[0] = '\0';
    return -1;
  }
  const auto* sin = reinterpret_cast<const sockaddr_in*>(list->ai_addr);
  ::inet_ntop(AF_INET, &sin->sin_addr, out, 16);
  ::freeaddrinfo(list);
  return 0;
}

int GetLocalAddress(char out[128]) {
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0) {
    LogMessage("%s:%d (%d)\r\n", LOGPOS, errno);
    return 0;
  }
  addrinfo hints{};
  hints.ai_family = AF_INET;
  addrinfo* list = nullptr;
  int rc = ::getaddrinfo(name, nullptr, &hints, &list);
  if (rc != 0 || !list) {
    LogMessage("%s:%d (%d)\r\n", LOGPOS, rc);
    return 0;
  }
  const auto* sin = reinterpret_cast<const sockaddr_in*>(list->ai_addr);
  ::inet_ntop(AF_INET, &sin->sin_addr, out, 128);
  ::freeaddrinfo(list);
  return 1;
}

int ParsePort(const char* text) {
  if (text == nullptr) return 0;
  const char* p = text;
  while (*p == ' ' || *p == '\t') ++p;
  int port = 0;
  const char* digits = p;
  for (; *p >= '0' && *p <= '9'; ++p) {
    port = port * 10 + (*p - '0');
    if (port > 65535) return 0;  // also stops before the number could overflow
  }
  if (p == digits) return 0;
  while (*p == ' ' || *p == '\t') ++p;
  return *p == '\0' && port >= 1 ? port : 0;
}

int IsDottedAddress(const char* text) {
  in_addr addr{};
  if (!text || ::inet_pton(AF_INET, text, &addr) != 1) return 0;
  return addr.s_addr == INADDR_NONE ? 0 : 1;
}

std::int64_t SecondsBetween(std::int64_t a, std::int64_t b) { return (a - b) / 10'000'000; }

std::uint32_t CurrentThreadId() {
  thread_local const auto id = static_cast<std::uint32_t>(::syscall(SYS_gettid));
  return id;
}
