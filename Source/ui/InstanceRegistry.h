// Numbering of running viewer instances (at most four side by side, each with
// its own panes' settings). Instance n holds a lock file for its number and a
// local server named after its window title, through which a later instance
// asks it to come forward.
#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QString>
#include <memory>

class InstanceRegistry : public QObject {
  Q_OBJECT
 public:
  static constexpr int kMaxInstances = 4;

  // |directory| holds the lock files (the runtime directory by default).
  explicit InstanceRegistry(const QString& directory = {}, QObject* parent = nullptr);
  ~InstanceRegistry() override;

  static QString ProgramName();          // "TessoraViewer_5.00"
  static QString WindowTitle(int number);  // "TessoraViewer_5.00 #n"

  // How many instances run already: the first free number 0..3, or 4.
  int CountRunning() const;
  // Takes |number| for this process and starts listening. Returns false when
  // another process holds it.
  bool Claim(int number);
  int number() const { return number_; }

  // Asks the instance |number| to restore itself, come to the front and move
  // to the work area's corner plus (50 k, 50 k). Returns false when it does
  // not answer.
  static bool BringForward(int number, int k);

 signals:
  // This instance was asked to come forward as the k-th of the found windows.
  void raiseRequested(int k);

 private:
  bool IsRunning(int number) const;
  QString LockPath(int number) const;

  QString directory_;
  int number_ = -1;
  std::unique_ptr<QLockFile> lock_;
  QLocalServer server_;
};
