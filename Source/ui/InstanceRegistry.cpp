#include "InstanceRegistry.h"

#include <QDir>
#include <QLocalSocket>
#include <QStandardPaths>

#include "base/base.h"

namespace {

constexpr int kAnswerWaitMs = 1000;

}  // namespace

InstanceRegistry::InstanceRegistry(const QString& directory, QObject* parent)
    : QObject(parent), directory_(directory) {
  if (directory_.isEmpty()) {
    directory_ = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (directory_.isEmpty()) directory_ = QDir::tempPath();
  }
  QDir().mkpath(directory_);
  connect(&server_, &QLocalServer::newConnection, this, [this] {
    while (QLocalSocket* peer = server_.nextPendingConnection()) {
      connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
      connect(peer, &QLocalSocket::readyRead, this, [this, peer] {
        const QByteArray line = peer->readAll().trimmed();
        if (line.startsWith("raise ")) emit raiseRequested(line.mid(6).toInt());
        peer->write("ok\n");
        peer->flush();
      });
    }
  });
}

InstanceRegistry::~InstanceRegistry() {
  server_.close();
  if (lock_) lock_->unlock();
}

QString InstanceRegistry::ProgramName() {
  return QStringLiteral("%1_%2").arg(QStringLiteral("TessoraViewer"), QStringLiteral("5.00"));
}

QString InstanceRegistry::WindowTitle(int number) {
  return QStringLiteral("%1 #%2").arg(ProgramName()).arg(number);
}

QString InstanceRegistry::LockPath(int number) const {
  return directory_ + QStringLiteral("/TessoraViewer-instance-%1.lock").arg(number);
}

bool InstanceRegistry::IsRunning(int number) const {
  if (number == number_) return true;
  QLockFile probe(LockPath(number));
  if (probe.tryLock(0)) {
    probe.unlock();
    return false;
  }
  return true;
}

int InstanceRegistry::CountRunning() const {
  for (int i = 0; i < kMaxInstances; ++i) {
    if (!IsRunning(i)) return i;
  }
  return kMaxInstances;
}

bool InstanceRegistry::Claim(int number) {
  auto lock = std::make_unique<QLockFile>(LockPath(number));
  lock->setStaleLockTime(0);
  if (!lock->tryLock(0)) return false;
  const QString name = WindowTitle(number);
  // A server name left behind by a crashed instance refuses connections; only
  // then is it safe to remove.
  QLocalSocket probe;
  probe.connectToServer(name);
  if (!probe.waitForConnected(200)) {
    QLocalServer::removeServer(name);
  } else {
    probe.disconnectFromServer();
  }
  if (!server_.listen(name)) {
    LogMessage("%s:%d (%d)\r\n", LOGPOS, static_cast<int>(server_.serverError()));
  }
  lock_ = std::move(lock);
  number_ = number;
  return true;
}

bool InstanceRegistry::BringForward(int number, int k) {
  QLocalSocket socket;
  socket.connectToServer(WindowTitle(number));
  if (!socket.waitForConnected(kAnswerWaitMs)) return false;
  socket.write(QByteArray("raise ") + QByteArray::number(k) + '\n');
  socket.flush();
  const bool answered = socket.waitForReadyRead(kAnswerWaitMs);
  socket.disconnectFromServer();
  return answered;
}
