// Every settings key and value the program uses, with its type and default.
// Top-level keys: "Global", "Camera List" and "Viewer%02d" (one per pane).
// A value always lives one level below its key: key -> subkey -> value.
#pragma once

namespace settings {

// A number with the range the program can use. A stored number outside
// [min, max] reads as the default (and is logged), so no caller does
// arithmetic or sizing with a value that was edited by hand or damaged.
struct DwordSetting {
  const char* subkey;
  const char* value;
  int fallback;
  int min = -2147483647 - 1;
  int max = 2147483647;
};

struct TextSetting {
  const char* subkey;
  const char* value;
  const char* fallback;  // UTF-8
};

inline constexpr char kGlobalKey[] = "Global";
inline constexpr char kCameraListKey[] = "Camera List";
inline constexpr char kViewerKeyFormat[] = "Viewer%02d";

// The stored marker for "directory not set": the default directory is used.
inline constexpr char kUnknownDirectory[] = "Unknown Directory";
// Where firmware updates are fetched when "Global"/"Update"/"Url" is empty.
inline constexpr char kDefaultUpdateUrl[] = "ftp://update.tessora.invalid/pub/update";

// Key "Global".
inline constexpr DwordSetting kLogEnable{"Log", "Enable", 0};
inline constexpr TextSetting kUpdateUrl{"Update", "Url", kDefaultUpdateUrl};
inline constexpr DwordSetting kLayoutX{"Layout", "X", 2};
inline constexpr DwordSetting kLayoutY{"Layout", "Y", 2};
// Pictures keep their proportions (bars beside or above them) instead of
// being stretched to the pane: 0 off (the default), 1 on.
inline constexpr DwordSetting kKeepAspect{"View", "KeepAspect", 0, 0, 1};

// Key "Camera List". Entry subkeys are "%s%02d" of kListPrefix and the entry number.
inline constexpr char kListPrefix[] = "List";
inline constexpr DwordSetting kListConfEnable{"Conf", "Enable", 0};
// The list holds at most 100 entries.
inline constexpr DwordSetting kListConfCount{"Conf", "Count", 0, 0, 100};
inline constexpr char kListName[] = "Name";             // text, "None"
inline constexpr char kListNameDefault[] = "None";
inline constexpr char kListUrl[] = "Url";               // text, ""
inline constexpr char kListPort[] = "Port";             // text, "" (decimal)
inline constexpr char kListId[] = "Id";                 // text, ""
inline constexpr char kListPw[] = "Pw";                 // text, "" (scrambled)
inline constexpr char kListMjpeg[] = "Use Motion JPEG"; // text, "No" ("Yes"/"No")
inline constexpr char kListMjpegDefault[] = "No";

// Key "Viewer%02d".
inline constexpr TextSetting kSigninUrl{"Signin", "Url", "http://"};
// No range here: a stored port that is not one (ParsePort) stays visible in
// the pane and is refused at sign-in, rather than replaced by the default
// port, which would send the credentials to another service.
inline constexpr DwordSetting kSigninPort{"Signin", "Tlp", 9090};
inline constexpr DwordSetting kSigninMjpeg{"Signin", "Use Motion JPEG", 0};
inline constexpr TextSetting kSigninId{"Signin", "Id", ""};
inline constexpr TextSetting kSigninPw{"Signin", "Pw", ""};
inline constexpr TextSetting kSigninAlias{"Signin", "VrAlias", ""};
inline constexpr DwordSetting kZoomEnable{"Zoom", "Enable", 0};
inline constexpr DwordSetting kMicEnable{"Mic", "Enable", 0};
inline constexpr DwordSetting kSpkEnable{"Spk", "Enable", 0};
// The volume bar's range.
inline constexpr DwordSetting kSpkVolume{"Spk", "Volume", 7, 0, 26};
inline constexpr DwordSetting kFlashEnable{"Flash", "Enable", 0};
inline constexpr DwordSetting kMdEnable{"MD", "Enable", 0};
// Seconds; the preferences offer 10 to 60.
inline constexpr DwordSetting kMdDuration{"MD", "Duration", 10, 10, 60};
inline constexpr DwordSetting kMdPlaySound{"MD", "Play Sound", 0};
inline constexpr TextSetting kMdSoundFile{"MD", "Sound File", ""};
inline constexpr DwordSetting kMdActivateViewer{"MD", "Activate Viewer", 0};
inline constexpr TextSetting kCaptureDir{"Capture", "Dir", kUnknownDirectory};
inline constexpr TextSetting kRecordDir{"Record", "Dir", kUnknownDirectory};
inline constexpr DwordSetting kRecordEnable{"Record", "Enable", 0};
// 0 when a pane goes live; the recording choice box uses 1.
inline constexpr DwordSetting kRecordInterval{"Record", "Interval", 0};
// Minutes per file; the preferences offer 1 to 60.
inline constexpr DwordSetting kRecordPeriod{"Record", "Period", 1, 1, 60};
// Gigabytes; the preferences field takes three digits and never stores 0.
inline constexpr DwordSetting kRecordCapacity{"Record", "Capacity", 10, 1, 999};
inline constexpr DwordSetting kRecordUseAllFreeSpace{"Record", "Use All Free Space", 0};

// Reservation slots: value names are "%s%d" of the base name and slot n.
inline constexpr DwordSetting kReservationCount{"Reservation", "Count", 0};
inline constexpr char kReservationSubkey[] = "Reservation";
inline constexpr TextSetting kReservationUsed{"Reservation", "Used", "X"};  // "X" = free
inline constexpr TextSetting kReservationName{"Reservation", "Name", "None"};
inline constexpr TextSetting kReservationPeriod{"Reservation", "PERIOD", "Daily"};
inline constexpr TextSetting kReservationDuration{"Reservation", "Duration", ""};
inline constexpr TextSetting kReservationId{"Reservation", "Id", ""};
inline constexpr TextSetting kReservationStartTime{"Reservation", "Start Time", ""};

}  // namespace settings
