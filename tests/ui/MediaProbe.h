// What ffprobe and ffmpeg say of a recording, for the pane tests that record
// (FFPROBE and FFMPEG are the tools' paths, empty when not installed).
#pragma once

#include <QString>
#include <QStringList>
#include <string>
#include <vector>

#include "support/ChildProcess.h"

namespace mediaprobe {

// The tool runs as a plain fork/exec child, not through QProcess: on Linux
// QProcess starts children with clone(CLONE_VM | CLONE_VFORK), and the thread
// sanitizer's clone hook then runs its forked-child set-up in this process's
// own memory (the test thread stops publishing its lock releases, and the next
// thread started makes it abort), so every later report would be false.
inline QString Run(const char* program, const QStringList& args, int* exitCode = nullptr) {
  std::vector<std::string> argv{program};
  for (const QString& a : args) argv.push_back(a.toStdString());
  testsupport::ChildProcess child(argv);
  const testsupport::Outcome o = child.Finish(60000);
  if (exitCode != nullptr) *exitCode = o.status;
  return QString::fromStdString(o.out);
}

// ffprobe's value of |entry| for the first stream of |type| ("v" or "a");
// |count| adds -count_frames and -count_packets (for nb_read_*).
inline QString Probe(const std::string& file, const char* type, const char* entry, bool count = false) {
  QStringList args = {QStringLiteral("-v"), QStringLiteral("error")};
  if (count) args << QStringLiteral("-count_frames") << QStringLiteral("-count_packets");
  args << QStringLiteral("-select_streams") << QString::fromLatin1(type) << QStringLiteral("-show_entries")
       << QStringLiteral("stream=%1").arg(QString::fromLatin1(entry)) << QStringLiteral("-of")
       << QStringLiteral("default=nw=1:nk=1") << QString::fromStdString(file);
  return Run(FFPROBE, args).trimmed();
}

inline double Duration(const std::string& file) {
  return Run(FFPROBE, {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-show_entries"),
                       QStringLiteral("format=duration"), QStringLiteral("-of"), QStringLiteral("default=nw=1:nk=1"),
                       QString::fromStdString(file)})
      .trimmed()
      .toDouble();
}

// ffmpeg decodes the whole file; what it says on error level.
inline QString DecodeErrors(const std::string& file) {
  int code = 0;
  const QString out = Run(FFMPEG, {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-i"),
                                   QString::fromStdString(file), QStringLiteral("-f"), QStringLiteral("null"),
                                   QStringLiteral("-")},
                          &code);
  return code == 0 ? out.trimmed() : QStringLiteral("exit %1: %2").arg(code).arg(out);
}

}  // namespace mediaprobe
