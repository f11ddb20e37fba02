#pragma once
#include <string>

#include <QObject>

class QLocalServer;

namespace velmora {

// A folder for this user's session that only this user can reach: $XDG_RUNTIME_DIR when it is one,
// else a per-user folder in the temporary folder, made with mode 0700. Empty when neither is safe
// (another user owns the name, say). `runtimeDirectory` is the value of $XDG_RUNTIME_DIR, if any.
std::string privateRuntimeFolder(const char* runtimeDirectory);

// One Velmora per user session. The first process holds a lock in the private folder for as long as
// it lives (the kernel lets go of it when the process dies, however it dies) and listens on a local
// socket beside it; a later launch finds the lock taken and asks the first, through the socket, to
// show its main window. A socket file left by a crashed instance is replaced by the next one.
class SingleInstance final : public QObject {
    Q_OBJECT
public:
    enum class Claim {
        first,       // this process is the one instance
        handedOver,  // the running instance was asked to show itself, and answered
        unanswered,  // an instance holds the lock but did not answer in time
        unguarded,   // no private folder or lock: runs without the guard
    };

    // `folder` as privateRuntimeFolder gives it.
    explicit SingleInstance(std::string folder, QObject* parent = nullptr);
    ~SingleInstance() override;

    // Waits at most `answerSeconds` for a running instance to answer.
    Claim claim(double answerSeconds = 5.0);
    std::string socketPath() const { return folder_ + "/velmora.socket"; }

signals:
    // Another launch asked for the main window.
    void showRequested();

private:
    bool tryLock();
    void listen();
    void serve();
    bool askToShow(int timeoutMs);

    std::string folder_;
    int lockFd_ = -1;
    QLocalServer* server_ = nullptr;
};

}  // namespace velmora
