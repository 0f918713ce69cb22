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
// "2026-12-11 14:03:07.123 " before every line.
constexpr std::size_t kTimeChars = 24;
// The places whose recent line is remembered for the repeat rule.
constexpr int kRecentLines = 64;
// A repeat within this time is counted instead of written; a summary at most
// this often.
constexpr std::int64_t kRepeatWindowMs = 60000;
// Room after a line's text for the summary's own words.
constexpr std::size_t kSummaryChars = 96;
constexpr std::size_t kOutputChars = kTimeChars + kLineChars * 4 + kSummaryChars;

std::atomic<bool> g_logEnabled{false};
std::atomic<bool> g_logDebug{false};
std::atomic<bool> g_logToStderr{true};
std::atomic<LogClock> g_testClock{nullptr};

// Guards g_logPath. A plain array, so that lines logged while static objects
// are destroyed still find it.
std::mutex g_logPathLock;
constinit char g_logPath[4096] = "";

// The last line of a place that was seen, and the repeats of it not written.
struct RecentLine {
  const char* file;             // nullptr: free entry
  int line;
  std::uint64_t hash;           // of the text
  std::size_t length;
  std::uint32_t suppressed;     // repeats since the line or its last summary was written
  std::int64_t lastSeen;        // steady milliseconds of the last occurrence
  std::int64_t lastSeenWall;    // the same as wall-clock milliseconds (told in the summary)
  std::int64_t lastWritten;     // steady milliseconds the line or its summary was written
  std::uint64_t lastUse;        // g_lineCount at the last occurrence (the oldest makes room)
  char text[kLineChars];        // the text, lines of up to kLineChars - 1 bytes
};

// g_logLock guards g_recent, g_lineCount, g_output, g_outputUtf16 and the summary buffer,
// and keeps the lines of different threads whole and in one order on both
// outputs. Taken by every line; the path lock is taken inside it, never the
// other way.
std::mutex g_logLock;
constinit RecentLine g_recent[kRecentLines]{};
std::uint64_t g_lineCount = 0;
// The line as written (time, text) and its UTF-16LE bytes.
constinit char g_output[kOutputChars]{};
constinit unsigned char g_outputUtf16[kOutputChars * 2]{};

void AppendUtf16(std::u16string& out, char32_t c) {
  if (c < 0x10000) {
    out.push_back(static_cast<char16_t>(c));
  } else {
    c -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
  }
}

// Writes |c| as UTF-8 at |out| (room for 4 bytes); returns the bytes written.
std::size_t PutUtf8(char* out, char32_t c) {
  if (c < 0x80) {
    out[0] = static_cast<char>(c);
    return 1;
  }
  if (c < 0x800) {
    out[0] = static_cast<char>(0xC0 | (c >> 6));
    out[1] = static_cast<char>(0x80 | (c & 0x3F));
    return 2;
  }
  if (c < 0x10000) {
    out[0] = static_cast<char>(0xE0 | (c >> 12));
    out[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out[2] = static_cast<char>(0x80 | (c & 0x3F));
    return 3;
  }
  out[0] = static_cast<char>(0xF0 | (c >> 18));
  out[1] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
  out[2] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
  out[3] = static_cast<char>(0x80 | (c & 0x3F));
  return 4;
}

// Calls |put| with each character of UTF-8 |text|; an invalid byte gives
// U+FFFD.
template <class Put>
void DecodeUtf8(const char* text, std::size_t length, Put&& put) {
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
    else { put(U'\uFFFD'); ++i; continue; }
    bool ok = true;
    for (int k = 1; k <= extra; ++k) {
      if (i + k >= length || (s[i + k] & 0xC0) != 0x80) { ok = false; break; }
      c = (c << 6) | (s[i + k] & 0x3F);
    }
    static constexpr char32_t kMin[] = {0, 0x80, 0x800, 0x10000};
    if (!ok || c < kMin[extra] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
      put(U'\uFFFD');
      ++i;
      continue;
    }
    put(c);
    i += static_cast<std::size_t>(extra) + 1;
  }
}

struct LogNow {
  std::int64_t wallMs;    // for the line's time
  std::int64_t steadyMs;  // for the repeat minute
};

LogNow ReadLogClock() {
  if (LogClock clock = g_testClock.load()) {
    const std::int64_t t = clock();
    return {t, t};
  }
  timespec wall{}, steady{};
  ::clock_gettime(CLOCK_REALTIME, &wall);
  ::clock_gettime(CLOCK_MONOTONIC, &steady);
  return {static_cast<std::int64_t>(wall.tv_sec) * 1000 + wall.tv_nsec / 1000000,
          static_cast<std::int64_t>(steady.tv_sec) * 1000 + steady.tv_nsec / 1000000};
}

// "YYYY-MM-DD hh:mm:ss.mmm" (23 characters) of |wallMs| in local time.
void FormatLocalTime(std::int64_t wallMs, char out[kTimeChars]) {
  std::int64_t seconds = wallMs / 1000;
  std::int64_t millis = wallMs % 1000;
  if (millis < 0) {
    millis += 1000;
    seconds -= 1;
  }
  const auto t = static_cast<std::time_t>(seconds);
  std::tm local{};
  localtime_r(&t, &local);
  // Written digit by digit: fixed widths whatever the values.
  auto put = [out](int at, int value, int width) {
    value = std::max(value, 0);
    for (int i = width - 1; i >= 0; --i) {
      out[at + i] = static_cast<char>('0' + value % 10);
      value /= 10;
    }
  };
  std::memcpy(out, "0000-00-00 00:00:00.000", kTimeChars);
  put(0, local.tm_year + 1900, 4);
  put(5, local.tm_mon + 1, 2);
  put(8, local.tm_mday, 2);
  put(11, local.tm_hour, 2);
  put(14, local.tm_min, 2);
  put(17, local.tm_sec, 2);
  put(20, static_cast<int>(millis), 3);
}

// Appends |size| bytes to the log file, opening and closing it for this one
// line so that several processes can share it. Caller holds g_logLock.
void WriteLogFile(const unsigned char* bytes, std::size_t size) {
  int fd = -1;
  {
    std::lock_guard<std::mutex> hold(g_logPathLock);
    if (g_logPath[0] == '\0') return;
    fd = ::open(g_logPath, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  }
  if (fd < 0) return;  // The line still reached standard error.
  const unsigned char* p = bytes;
  std::size_t left = size;
  while (left > 0) {
    ssize_t n = ::write(fd, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  ::close(fd);
}

// Writes the time of |wallMs| and then |text| to both outputs. Caller holds
// g_logLock.
void EmitLocked(std::int64_t wallMs, const char* text, std::size_t length) {
  FormatLocalTime(wallMs, g_output);
  g_output[kTimeChars - 1] = ' ';
  length = std::min(length, kOutputChars - kTimeChars);
  std::memcpy(g_output + kTimeChars, text, length);
  const std::size_t total = kTimeChars + length;
  if (g_logToStderr.load(std::memory_order_relaxed)) std::fwrite(g_output, 1, total, stderr);
  if (!g_logEnabled.load(std::memory_order_relaxed)) return;
  std::size_t bytes = 0;
  auto put16 = [&bytes](char16_t unit) {
    g_outputUtf16[bytes++] = static_cast<unsigned char>(unit & 0xFF);
    g_outputUtf16[bytes++] = static_cast<unsigned char>(unit >> 8);
  };
  // Each UTF-8 byte gives at most one UTF-16 unit, so the buffer is enough.
  DecodeUtf8(g_output, total, [&put16](char32_t c) {
    if (c < 0x10000) {
      put16(static_cast<char16_t>(c));
    } else {
      c -= 0x10000;
      put16(static_cast<char16_t>(0xD800 + (c >> 10)));
      put16(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    }
  });
  WriteLogFile(g_outputUtf16, bytes);
}

// Writes "<text> ... repeated N times (last <time>)" for |entry| and clears
// its count. Caller holds g_logLock.
void EmitSummaryLocked(RecentLine& entry, const LogNow& now) {
  std::size_t length = entry.length;
  while (length > 0 && (entry.text[length - 1] == '\n' || entry.text[length - 1] == '\r')) --length;
  char last[kTimeChars];
  FormatLocalTime(entry.lastSeenWall, last);
  static char summary[kLineChars + kSummaryChars];  // guarded by g_logLock
  std::memcpy(summary, entry.text, length);
  const int words = std::snprintf(summary + length, kSummaryChars, " ... repeated %u times (last %s)\r\n",
                                  static_cast<unsigned>(entry.suppressed), last);
  entry.suppressed = 0;
  entry.lastWritten = now.steadyMs;
  if (words > 0) {
    EmitLocked(now.wallMs, summary, length + std::min(static_cast<std::size_t>(words), kSummaryChars - 1));
  }
}

std::uint64_t HashText(const char* text, std::size_t length) {
  std::uint64_t h = 14695981039346656037ull;  // FNV-1a
  for (std::size_t i = 0; i < length; ++i) {
    h ^= static_cast<unsigned char>(text[i]);
    h *= 1099511628211ull;
  }
  return h;
}

bool SamePlace(const RecentLine& entry, const char* file, int line) {
  return entry.file != nullptr && entry.line == line && (entry.file == file || std::strcmp(entry.file, file) == 0);
}

// Writes one formatted line under the repeat rule (see base.h).
void LogLine(const char* file, int line, const char* text, std::size_t length) {
  const LogNow now = ReadLogClock();
  const bool remembered = length < kLineChars;  // longer lines are always written
  const std::uint64_t hash = remembered ? HashText(text, length) : 0;
  std::lock_guard<std::mutex> hold(g_logLock);
  ++g_lineCount;
  // Repeats that ended a minute ago are told now, whatever place this line is from.
  RecentLine* same = nullptr;
  for (RecentLine& e : g_recent) {
    if (e.file == nullptr) continue;
    if (e.suppressed > 0 && now.steadyMs - e.lastSeen >= kRepeatWindowMs) EmitSummaryLocked(e, now);
    if (remembered && same == nullptr && e.hash == hash && e.length == length && SamePlace(e, file, line) &&
        std::memcmp(e.text, text, length) == 0) {
      same = &e;
    }
  }
  if (same != nullptr && now.steadyMs - same->lastSeen < kRepeatWindowMs) {
    ++same->suppressed;
    same->lastUse = g_lineCount;
    same->lastSeen = now.steadyMs;
    same->lastSeenWall = now.wallMs;
    if (now.steadyMs - same->lastWritten >= kRepeatWindowMs) EmitSummaryLocked(*same, now);
    return;
  }
  // Written in full: the repeats still counted at this place are told first.
  for (RecentLine& e : g_recent) {
    if (SamePlace(e, file, line) && e.suppressed > 0) EmitSummaryLocked(e, now);
  }
  RecentLine* entry = same;
  if (entry == nullptr && remembered) {
    // A free entry, else the one seen longest ago.
    entry = &g_recent[0];
    for (RecentLine& e : g_recent) {
      if (e.file == nullptr) {
        entry = &e;
        break;
      }
      if (e.lastUse < entry->lastUse) entry = &e;
    }
    if (entry->file != nullptr && entry->suppressed > 0) EmitSummaryLocked(*entry, now);
  }
  if (entry != nullptr) {
    entry->file = file;
    entry->line = line;
    entry->hash = hash;
    entry->length = length;
    std::memcpy(entry->text, text, length);
    entry->suppressed = 0;
    entry->lastUse = g_lineCount;
    entry->lastSeen = now.steadyMs;
    entry->lastSeenWall = now.wallMs;
    entry->lastWritten = now.steadyMs;
  }
  EmitLocked(now.wallMs, text, length);
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
  DecodeUtf8(text, length, [&out](char32_t c) { AppendUtf16(out, c); });
  return out;
}

namespace {

// Formats a narrow line into |line| (kLineChars); returns its length, or -1.
long FormatLine(char* line, const char* format, va_list args) {
  const int n = std::vsnprintf(line, kLineChars, format, args);
  if (n < 0) return -1;
  return static_cast<long>(std::min<std::size_t>(static_cast<std::size_t>(n), kLineChars - 1));
}

}  // namespace

namespace {

void LogFormatted(const char* file, int line, const char* format, va_list args) {
  char text[kLineChars];
  const long n = FormatLine(text, format, args);
  if (n >= 0) LogLine(file, line, text, static_cast<std::size_t>(n));
}

}  // namespace

void LogMessageAt(const char* file, int line, const char* format, ...) {
  va_list args;
  va_start(args, format);
  LogFormatted(file, line, format, args);
  va_end(args);
}

void LogDebugMessageAt(const char* file, int line, const char* format, ...) {
  if (!g_logDebug.load(std::memory_order_relaxed)) return;
  va_list args;
  va_start(args, format);
  LogFormatted(file, line, format, args);
  va_end(args);
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

void LogMessageWAt(const char* file, int line, const wchar_t* format, ...) {
  wchar_t wide[kLineChars];
  const std::wstring rewritten = WideFormat(format);
  va_list args;
  va_start(args, format);
  int n = std::vswprintf(wide, kLineChars, rewritten.c_str(), args);
  va_end(args);
  // vswprintf reports truncation as -1 but still fills the buffer.
  const std::size_t count = n < 0 ? std::wcslen(wide) : static_cast<std::size_t>(n);
  char text[kLineChars * 4];
  std::size_t length = 0;
  for (std::size_t i = 0; i < count; ++i) {
    auto c = static_cast<char32_t>(wide[i]);
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = 0xFFFD;
    length += PutUtf8(text + length, c);
  }
  LogLine(file, line, text, length);
}

void FlushLogRepeats() {
  const LogNow now = ReadLogClock();
  std::lock_guard<std::mutex> hold(g_logLock);
  for (RecentLine& e : g_recent) {
    if (e.file != nullptr && e.suppressed > 0) EmitSummaryLocked(e, now);
    e.file = nullptr;
  }
}

namespace {

// The summaries still counted when the program ends. An ELF destructor runs
// after every static object's destructor (which may still log, like the link
// engine's threads ending) and before standard error is closed; everything
// it uses is trivially destructible.
__attribute__((destructor)) void FlushLogRepeatsAtExit() { FlushLogRepeats(); }

}  // namespace

void SetLogEnabled(bool enabled) { g_logEnabled.store(enabled); }
bool IsLogEnabled() { return g_logEnabled.load(); }
void SetLogDebug(bool enabled) { g_logDebug.store(enabled); }
bool IsLogDebug() { return g_logDebug.load(); }
void SetLogToStderr(bool enabled) { g_logToStderr.store(enabled); }
void SetLogClockForTesting(LogClock clock) { g_testClock.store(clock); }

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
  // The counts still open belong to the file they began in; the new file
  // starts with every place's next line in full.
  FlushLogRepeats();
  std::lock_guard<std::mutex> hold(g_logPathLock);
  // A path too long for the buffer could not be opened anyway: no file then.
  std::snprintf(g_logPath, sizeof g_logPath, "%s", path.size() < sizeof g_logPath ? path.c_str() : "");
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
