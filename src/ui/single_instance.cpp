#include "ui/single_instance.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>

#include "app/clock.h"

namespace orvane {
namespace {

constexpr const char* kRaiseRequest = "raise\n";
constexpr const char* kRaiseAnswer = "ok\n";
constexpr uint32_t kConnectMs = 1000;
constexpr uint32_t kAnswerMs = 2000;
constexpr qint64 kMaxRequest = 64;

QString RuntimeFolder() {
  QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
  if (folder.isEmpty()) folder = QDir::tempPath();
  return folder;
}

}  // namespace

SingleInstanceGuard::SingleInstanceGuard(QString key, QObject* parent)
    : QObject(parent), key_(std::move(key)), folder_(RuntimeFolder()) {}

SingleInstanceGuard::~SingleInstanceGuard() { Release(); }

QString SingleInstanceGuard::LockPath() const { return folder_ + "/orvane-bootload-" + key_ + ".lock"; }
QString SingleInstanceGuard::SocketPath() const { return folder_ + "/orvane-bootload-" + key_ + ".socket"; }

bool SingleInstanceGuard::IsHeld() const { return lock_ != nullptr && lock_->isLocked(); }

bool SingleInstanceGuard::Acquire() {
  if (IsHeld()) return true;
  auto lock = std::make_unique<QLockFile>(LockPath());
  // Only a lock whose process is gone counts as stale, however old it is.
  lock->setStaleLockTime(0);
  if (!lock->tryLock(0)) {
    if (lock->error() == QLockFile::LockFailedError) {
      AskFirstInstanceToRaise();
      return false;
    }
    return true;  // no usable runtime folder: run without the single-instance rule
  }
  lock_ = std::move(lock);

  // The lock is ours, so any socket file left behind is stale.
  QLocalServer::removeServer(SocketPath());
  server_ = new QLocalServer(this);
  server_->setSocketOptions(QLocalServer::UserAccessOption);
  connect(server_, &QLocalServer::newConnection, this, &SingleInstanceGuard::OnConnection);
  server_->listen(SocketPath());
  return true;
}

void SingleInstanceGuard::Release() {
  if (server_ != nullptr) {
    server_->close();
    delete server_;
    server_ = nullptr;
  }
  if (lock_ != nullptr) {
    lock_->unlock();
    lock_.reset();
  }
}

void SingleInstanceGuard::AskFirstInstanceToRaise() {
  QLocalSocket socket;
  socket.connectToServer(SocketPath());
  if (!socket.waitForConnected(OsWaitMs(kConnectMs))) return;
  socket.write(kRaiseRequest);
  if (socket.waitForBytesWritten(OsWaitMs(kConnectMs))) {
    // Waiting for the answer lets the first instance act before this one ends.
    socket.waitForReadyRead(OsWaitMs(kAnswerMs));
  }
  socket.disconnectFromServer();
}

void SingleInstanceGuard::OnConnection() {
  while (QLocalSocket* socket = server_->nextPendingConnection()) {
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
      if (!socket->canReadLine()) {
        if (socket->bytesAvailable() > kMaxRequest) socket->abort();
        return;
      }
      QByteArray line = socket->readLine(kMaxRequest);
      if (line == kRaiseRequest) {
        emit RaiseRequested();
        socket->write(kRaiseAnswer);
        socket->flush();
      }
      socket->disconnectFromServer();
    });
  }
}

}  // namespace orvane
