// What ffprobe and ffmpeg say of a recording, for the pane tests that record
// (FFPROBE and FFMPEG are the tools' paths, empty when not installed).
#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <string>

namespace mediaprobe {

inline QString Run(const char* program, const QStringList& args, int* exitCode = nullptr) {
  QProcess p;
  p.setProcessChannelMode(QProcess::MergedChannels);
  p.start(QString::fromLatin1(program), args);
  p.waitForFinished(60000);
  if (exitCode != nullptr) *exitCode = p.exitCode();
  return QString::fromUtf8(p.readAll());
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
