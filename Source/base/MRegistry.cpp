#include "base/MRegistry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <functional>

#include "base/base.h"

namespace {

// Top-level key names are limited to 260 characters with the prefix.
constexpr int kMaxKeyPath = 260;
const QString kKeyPrefix = QStringLiteral("Software\\Halvik\\Tessora\\");

QString ValuePath(const SettingsKey& key, const char* subkey, const char* value) {
  return key.name + '/' + QString::fromUtf8(subkey) + '/' + QString::fromUtf8(value);
}

// Makes the settings file exist with mode 0600 (created so, or narrowed).
// QSettings writes a new file beside it, created 0600 because the target
// exists, and gives the new file the target's permissions when it replaces
// it; so after this the contents are never readable by others.
void KeepUserOnly(const QString& path) {
  QDir().mkpath(QFileInfo(path).absolutePath());
  const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) {
    LogMessage("%s:%d (%d)\r\n", LOGPOS, errno);
    return;
  }
  struct stat st {};
  if (::fstat(fd, &st) == 0 && (st.st_mode & 0077) != 0 && ::fchmod(fd, 0600) != 0) {
    LogMessage("%s:%d (%d)\r\n", LOGPOS, errno);
  }
  ::close(fd);
}

QSettings::Status Store(const std::function<void(QSettings&)>& body) {
  QSettings store(QSettings::NativeFormat, QSettings::UserScope, "Halvik", "Tessora");
  const QString path = store.fileName();
  KeepUserOnly(path);
  body(store);
  store.sync();
  // Should the file have been written in place or replaced by another
  // writer meanwhile, narrow it again.
  struct stat st {};
  const QByteArray name = QFile::encodeName(path);
  if (::stat(name.constData(), &st) == 0 && (st.st_mode & 0077) != 0 && ::chmod(name.constData(), 0600) != 0) {
    LogMessage("%s:%d (%d)\r\n", LOGPOS, errno);
  }
  return store.status();
}

}  // namespace

int OpenSettingsKey(const QString& name, SettingsKey* key) {
  if (name.isEmpty() || kKeyPrefix.size() + name.size() >= kMaxKeyPath || name.contains('/') ||
      name.contains('\\')) {
    LogMessage("%s:%d\r\n", LOGPOS);
    return 0;
  }
  QSettings store(QSettings::NativeFormat, QSettings::UserScope, "Halvik", "Tessora");
  if (store.status() != QSettings::NoError) return 0;
  key->name = name;
  return 1;
}

int ReadSettingDword(const SettingsKey& key, const char* subkey, const char* value, int fallback) {
  QSettings store(QSettings::NativeFormat, QSettings::UserScope, "Halvik", "Tessora");
  if (key.name.isEmpty() || store.status() != QSettings::NoError) return 0;
  const QVariant v = store.value(ValuePath(key, subkey, value));
  if (!v.isValid()) return fallback;
  // The store keeps numbers as decimal text; a text that is not a number reads
  // as the default, like a value of the wrong type.
  bool ok = false;
  const qlonglong n = v.toLongLong(&ok);
  if (!ok || n < INT32_MIN || n > UINT32_MAX) return fallback;
  return static_cast<int>(static_cast<std::uint32_t>(n));
}

int ReadSettingDword(const SettingsKey& key, const settings::DwordSetting& s) {
  const int n = ReadSettingDword(key, s.subkey, s.value, s.fallback);
  if (n >= s.min && n <= s.max) return n;
  LogMessage("%s:%d (%s/%s=%d)\r\n", LOGPOS, s.subkey, s.value, n);
  return s.fallback;
}

QString ReadSettingNumberText(const SettingsKey& key, const settings::DwordSetting& s, int capacity) {
  QSettings store(QSettings::NativeFormat, QSettings::UserScope, "Halvik", "Tessora");
  if (key.name.isEmpty() || store.status() != QSettings::NoError) return {};
  const QVariant v = store.value(ValuePath(key, s.subkey, s.value));
  if (!v.isValid()) return QString::number(s.fallback);
  const QString text = v.toString();
  if (text.size() < capacity) return text;
  LogMessage("%s:%d (%s/%s)\r\n", LOGPOS, s.subkey, s.value);
  return {};
}

int ReadSettingString(const SettingsKey& key, const char* subkey, const char* value,
                      const QString& fallback, int capacity, QString* out) {
  QSettings store(QSettings::NativeFormat, QSettings::UserScope, "Halvik", "Tessora");
  if (key.name.isEmpty() || store.status() != QSettings::NoError) return 0;
  const int room = capacity > 0 ? capacity - 1 : 0;
  const QVariant v = store.value(ValuePath(key, subkey, value));
  if (v.isValid() && v.canConvert<QString>()) {
    const QString text = v.toString();
    if (text.size() <= room) {
      *out = text;
      return 1;
    }
    LogMessage("%s:%d\r\n", "MRegistry", 113);
  }
  *out = fallback.left(room);
  return 0;
}

int WriteSettingDword(const SettingsKey& key, const char* subkey, const char* value, int number) {
  if (key.name.isEmpty()) return 0;
  auto status = Store([&](QSettings& s) { s.setValue(ValuePath(key, subkey, value), number); });
  return status == QSettings::NoError ? 1 : 0;
}

int WriteSettingString(const SettingsKey& key, const char* subkey, const char* value,
                       const QString& text) {
  if (key.name.isEmpty()) return 0;
  auto status = Store([&](QSettings& s) { s.setValue(ValuePath(key, subkey, value), text); });
  return status == QSettings::NoError ? 1 : 0;
}
