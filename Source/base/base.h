// Foundation helpers used by every part of the program: the diagnostic log,
// password scrambling, and address and time helpers. No Qt.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>

// Trims a __FILE__ path to the part after "Source/" (or "tools/", "Main/"),
// so log lines name the area and module ("link/Link.cpp") rather than a
// machine-specific absolute path.
constexpr bool StartsWith(const char* p, const char* prefix) {
  for (; *prefix; ++p, ++prefix) {
    if (*p != *prefix) return false;
  }
  return true;
}

constexpr const char* SourceName(const char* path) {
  const char* best = path;
  for (const char* p = path; *p; ++p) {
    if (p != path && p[-1] != '/') continue;
    for (const char* root : {"Source/", "tools/", "Main/", "tests/", "bench/"}) {
      if (StartsWith(p, root)) {
        best = p;
        while (*best != '/') ++best;
        ++best;
      }
    }
  }
  return best;
}

// The first two arguments of every failure line: source name and line number.
//   LogMessage("%s:%d (%d)\r\n", LOGPOS, errno);
#define LOGPOS SourceName(__FILE__), __LINE__

// Formats one line (at most 2047 characters) and writes it to standard error
// and, when file logging is on, appends it as UTF-16LE to the log file.
// Never fails visibly; safe to call from any thread.
void LogMessage(const char* format, ...) __attribute__((format(printf, 1, 2)));
void LogMessageW(const wchar_t* format, ...);

// Switches file logging on or off ("Global"/"Log"/"Enable").
void SetLogEnabled(bool enabled);
bool IsLogEnabled();
// Switches the copy of every line on standard error (on by default); a
// command-line tool turns it off so that its own messages stand alone.
void SetLogToStderr(bool enabled);

// Builds the log file path "[Log %d] %d_%d_%d - %d_%d_%d.txt" in |directory|
// (the default directory when empty) from the instance number and the local
// time now. Returns the path.
std::string SetLogFileName(int instance, const std::string& directory = {});
std::string GetLogFileName();

// The program's data folder: $XDG_DATA_HOME (or ~/.local/share) followed by
// "/TessoraViewer 5.00". Not created here.
std::string DefaultDirectory();

// Converts 8-bit text (UTF-8) to UTF-16; invalid bytes become U+FFFD.
std::u16string Utf8ToUtf16(const char* text, std::size_t length);

// Reversible password scrambling. ScrambleText picks a random multiplier
// 32..63; ScrambleTextWith takes it (tests and callers that need a fixed one).
// The output receives at most size - 1 characters and a terminator.
void ScrambleText(char* out, const char* text, std::size_t size);
void ScrambleTextWith(char* out, const char* text, std::size_t size, unsigned multiplier);
void UnscrambleText(const char* scrambled, char* out, std::size_t size);
std::string ScrambleText(const std::string& text);
std::string UnscrambleText(const std::string& scrambled);

// Host name, dotted address or "scheme://host" to dotted IPv4 text in a
// 16-byte buffer. Returns 0, or -1 when the name does not resolve.
int ResolveHost(const char* text, char out[16]);

// The first IPv4 address of the local host name as dotted text (128 bytes).
// Returns 1, or 0 on failure.
int GetLocalAddress(char out[128]);

// A control port typed or stored as text: decimal digits only (spaces around
// them allowed), 1 to 65535. Returns the port, or 0 for anything else (empty,
// a sign, other characters, 0 or a number above 65535).
int ParsePort(const char* text);

// 1 when |text| is a dotted IPv4 address other than 255.255.255.255, else 0.
int IsDottedAddress(const char* text);

// (a - b) / 10,000,000 truncated: seconds between two FILETIME counts.
std::int64_t SecondsBetween(std::int64_t a, std::int64_t b);

// The calling thread's kernel thread id (used as a lock owner and in logs).
std::uint32_t CurrentThreadId();
