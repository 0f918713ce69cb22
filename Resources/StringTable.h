// The program's string table (ids 20000 to 20181), compiled in, in Korean
// (the default) and English.
#pragma once

enum class Language { kKorean, kEnglish };

// The language of every later LoadStringText call; process-wide, may be
// called from any thread.
void SetLanguage(Language language);
Language CurrentLanguage();
// "ko" or "en" (any case); false for anything else.
bool ParseLanguage(const char* code, Language* language);

// The UTF-8 text of a string id in the current language, or "" for an id the
// table does not hold.
const char* LoadStringText(int id);
// The same in a given language.
const char* LoadStringText(int id, Language language);

// The ids the table holds, ascending, and their count.
const int* StringIds(int* count);

// The English texts, in their own file.
const char* LoadEnglishText(int id);

// Texts of the program's own controls that have no string id (the pane's
// menu, the boxes' buttons, the tray menu, the sign-in button), by key, in
// both languages.
enum class UiText {
  kOk,
  kCancel,
  kYes,
  kNo,
  kMenuLogOut,
  kMenuMic,
  kMenuSnapshot,
  kMenuRecord,
  kMenuEnlarge,
  kMenuAlwaysOnTop,
  kMenuFullScreen,
  kMenuCamera,
  kMenuSpeaker,
  kMenuFlash,
  kMenuMotion,
  kMenuMirror,
  kMenuFlip,
  kMenuZoomIn,
  kMenuZoomOut,
  kMenuFocusIn,
  kMenuFocusOut,
  kMenuCameraSetup,
  kMenuViewerSetup,
  kMenuHelp,
  kTrayShow,
  kSignIn,
  kSignInRefused,  // "%1": the camera's refusal code
  kRecordingDiskFull,      // a recording stopped for want of space
  kRecordingWriteFailed,   // a recording stopped because its file could not be written
  kLanSearching,           // the LAN search list while the search runs
  kLanNoCameras,           // the LAN search list when no camera answered
  // The About box (the help command): its headings, and each key the
  // program answers with what it does (form/ProgramKeys.h lists them).
  kAboutTitle,
  kAboutKeys,
  kAboutPlaces,
  kAboutSettings,
  kAboutLogs,
  kAboutRecordings,
  kAboutManual,            // "%1": the manual page's command
  kKeyEnter,
  kKeyEnterWhat,
  kKeyEscape,
  kKeyEscapeWhat,
  kKeyWheel,
  kKeyWheelWhat,
  kCount
};

// The UTF-8 text of |key| in the current language, or in |language|.
const char* UiString(UiText key);
const char* UiString(UiText key, Language language);
