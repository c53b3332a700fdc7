#pragma once
// One running program per user: a lock file in the runtime folder tells
// whether another instance runs, and a local socket beside it lets a second
// start ask the first to bring its window to the front.

#include <QObject>
#include <QString>

#include <memory>

class QLockFile;
class QLocalServer;

namespace orvane {

inline constexpr const char* kInstanceKey = "{2BB67CFA-BB06-4933-8E97-5EC69112338E}";

class SingleInstanceGuard : public QObject {
  Q_OBJECT

 public:
  explicit SingleInstanceGuard(QString key = QString::fromLatin1(kInstanceKey), QObject* parent = nullptr);
  ~SingleInstanceGuard() override;

  // True when this is the first instance: the lock is held and raise requests
  // are answered from now on. False when another instance holds the lock; it
  // has then been asked to raise its window. When the lock cannot be taken for
  // another reason (no writable runtime folder) the program runs anyway.
  bool Acquire();
  // Gives the lock up and stops listening.
  void Release();
  bool IsHeld() const;

  QString LockPath() const;
  QString SocketPath() const;

 signals:
  // Another start of the program asked for the window.
  void RaiseRequested();

 private:
  void AskFirstInstanceToRaise();
  void OnConnection();

  QString key_;
  QString folder_;
  std::unique_ptr<QLockFile> lock_;
  QLocalServer* server_ = nullptr;
};

}  // namespace orvane
