// A second process for the settings tests:
//   settings_peer write KEY SUBKEY VALUE NUMBER|text:TEXT
//   settings_peer read KEY SUBKEY VALUE   (prints the number, or the text)
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/MRegistry.h"

int main(int argc, char** argv) {
  if (argc < 5) return 2;
  SettingsKey key;
  if (!OpenSettingsKey(QString::fromUtf8(argv[2]), &key)) return 3;
  if (std::strcmp(argv[1], "write") == 0 && argc == 6) {
    if (std::strncmp(argv[5], "text:", 5) == 0) {
      return WriteSettingString(key, argv[3], argv[4], QString::fromUtf8(argv[5] + 5)) ? 0 : 1;
    }
    return WriteSettingDword(key, argv[3], argv[4], std::atoi(argv[5])) ? 0 : 1;
  }
  if (std::strcmp(argv[1], "read") == 0) {
    QString text;
    if (ReadSettingString(key, argv[3], argv[4], QString(), 260, &text)) {
      std::printf("%s\n", text.toUtf8().constData());
      return 0;
    }
    return 1;
  }
  return 2;
}
