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

// The diagnostic log. LogMessage formats one line (at most 2047 characters)
// and writes it, after the local time ("2026-12-11 14:03:07.123 "), to
// standard error and, when file logging is on, appends it as UTF-16LE to the
// log file. Never fails visibly; safe to call from any thread (lines are
// written whole, one at a time). LogMessageW takes a wide format.
//
// Repeats: the place of a line is the source file and line of the call. A
// line whose text (after formatting) is that of a line from the same place
// seen less than a minute before is not written; the lines left out are
// counted, and "<text> ... repeated N times (last <time>)" is written at most
// once a minute while they go on, when the place writes a line of another
// text, when a minute has passed since the last one (at the next line of the
// log), when the table of recent places needs the room, and at FlushLogRepeats
// (also at the program's end). A line that comes again after a quiet minute
// is written in full.
#define LogMessage(...) LogMessageAt(__FILE__, __LINE__, __VA_ARGS__)
#define LogMessageW(...) LogMessageWAt(__FILE__, __LINE__, __VA_ARGS__)
// A line only the debug switch lets through (thread ends and similar
// chatter): nothing at all while it is off.
#define LogDebugMessage(...) LogDebugMessageAt(__FILE__, __LINE__, __VA_ARGS__)
void LogMessageAt(const char* file, int line, const char* format, ...) __attribute__((format(printf, 3, 4)));
void LogMessageWAt(const char* file, int line, const wchar_t* format, ...);
void LogDebugMessageAt(const char* file, int line, const char* format, ...) __attribute__((format(printf, 3, 4)));

// Writes the summaries of the repeats still counted and forgets the recent
// lines (the next line of every place is written in full).
void FlushLogRepeats();

// Switches file logging on or off ("Global"/"Log"/"Enable").
void SetLogEnabled(bool enabled);
bool IsLogEnabled();
// Switches the debug lines on or off ("Global"/"Log"/"Debug"; off by default).
void SetLogDebug(bool enabled);
bool IsLogDebug();
// Switches the copy of every line on standard error (on by default); a
// command-line tool turns it off so that its own messages stand alone.
void SetLogToStderr(bool enabled);
// Replaces the log's clock (milliseconds since 1970, UTC) for the line times
// and the repeat minute; nullptr gives the system clocks back. For tests.
using LogClock = std::int64_t (*)();
void SetLogClockForTesting(LogClock clock);

// Builds the log file path "[Log %d] %d_%d_%d - %d_%d_%d.txt" in |directory|
// (the default directory when empty) from the instance number and the local
// time now. Returns the path. The repeats still counted are told (in the old
// file) and forgotten first (FlushLogRepeats).
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
