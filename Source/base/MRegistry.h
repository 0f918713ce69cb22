// The per-user settings store. One top-level key per name ("Global",
// "Camera List", "Viewer%02d"), values one level below in subkeys. Backed by
// QSettings (~/.config/Halvik/Tessora.conf on Linux). Every call opens and
// closes its own handle, so the functions keep no state and may be called
// from any thread.
#pragma once

#include <QString>

#include "base/SettingsIndex.h"

// A handle to an opened top-level key.
struct SettingsKey {
  QString name;
};

// 1 when the key was opened or created, else 0.
int OpenSettingsKey(const QString& name, SettingsKey* key);

// The value; |fallback| when it cannot be read; 0 when the store cannot be
// opened.
int ReadSettingDword(const SettingsKey& key, const char* subkey, const char* value, int fallback);

// The stored text of a number that a person sees and may correct (a port),
// without turning it into a number: the default as decimal text when the
// value is missing, else the text as stored, also when it is not a number.
// A text of |capacity| characters or more gives an empty text (logged), so
// cutting it cannot turn it into another number. Empty when the store cannot
// be opened.
QString ReadSettingNumberText(const SettingsKey& key, const settings::DwordSetting& s, int capacity);

// Reads into |out| at most |capacity| - 1 characters. Returns 1 when read. A
// missing value, or a stored text of |capacity| characters or more, copies the
// fallback (cut to the capacity) and returns 0; the latter also logs. When
// the store cannot be opened |out| is left as it was and 0 is returned.
int ReadSettingString(const SettingsKey& key, const char* subkey, const char* value,
                      const QString& fallback, int capacity, QString* out);

// 1 on success, else 0. The store holds scrambled passwords, so every write
// leaves the file readable and writable by the user only (mode 0600), also
// when it existed with wider permissions; the new contents are never
// readable by others, not even while being written.
int WriteSettingDword(const SettingsKey& key, const char* subkey, const char* value, int number);
int WriteSettingString(const SettingsKey& key, const char* subkey, const char* value,
                       const QString& text);

// Conveniences over the settings index. A stored number outside the index's
// range for it reads as the default and is logged.
int ReadSettingDword(const SettingsKey& key, const settings::DwordSetting& s);
inline int WriteSettingDword(const SettingsKey& key, const settings::DwordSetting& s, int number) {
  return WriteSettingDword(key, s.subkey, s.value, number);
}
inline int ReadSettingString(const SettingsKey& key, const settings::TextSetting& s, int capacity,
                             QString* out) {
  return ReadSettingString(key, s.subkey, s.value, QString::fromUtf8(s.fallback), capacity, out);
}
inline int WriteSettingString(const SettingsKey& key, const settings::TextSetting& s,
                              const QString& text) {
  return WriteSettingString(key, s.subkey, s.value, text);
}
