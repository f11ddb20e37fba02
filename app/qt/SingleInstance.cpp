#include "app/qt/SingleInstance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include <QLocalServer>
#include <QLocalSocket>

namespace velmora {

namespace {

const QByteArray showRequest = "show\n";
const QByteArray shownAnswer = "shown\n";
constexpr qint64 longestRequest = 64;

// A folder (not a link to one) of this user that nobody else may enter.
bool isPrivateFolder(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() &&
           (st.st_mode & 077) == 0;
}

}  // namespace

std::string privateRuntimeFolder(const char* runtimeDirectory) {
    if (runtimeDirectory && *runtimeDirectory == '/' && isPrivateFolder(runtimeDirectory)) return runtimeDirectory;
    std::error_code ec;
    const auto temp = std::filesystem::temp_directory_path(ec);
    if (ec || !temp.is_absolute()) return {};
    const std::string folder = (temp / ("Velmora-" + std::to_string(::geteuid()))).string();
    // The same per-user folder the stored files fall back to without a home. mkdir fails on a name
    // that exists; whoever made it must be this user, with nobody else let in.
    if (::mkdir(folder.c_str(), 0700) == 0) ::chmod(folder.c_str(), 0700);
    return isPrivateFolder(folder) ? folder : std::string();
}

SingleInstance::SingleInstance(std::string folder, QObject* parent) : QObject(parent), folder_(std::move(folder)) {}

SingleInstance::~SingleInstance() {
    if (server_) server_->close();  // removes the socket file
    if (lockFd_ >= 0) ::close(lockFd_);
}

bool SingleInstance::tryLock() {
    if (lockFd_ < 0) {
        // Not inherited: a copy this process starts must not hold the lock after it ends.
        lockFd_ = ::open((folder_ + "/velmora.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK,
                         0600);
        if (lockFd_ < 0) return false;
    }
    return ::flock(lockFd_, LOCK_EX | LOCK_NB) == 0;
}

SingleInstance::Claim SingleInstance::claim(double answerSeconds) {
    if (folder_.empty()) return Claim::unguarded;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(answerSeconds);
    for (;;) {
        if (tryLock()) {
            listen();
            return Claim::first;
        }
        if (lockFd_ < 0) return Claim::unguarded;
        // The holder may be starting (not listening yet) or ending (the lock comes free): try both
        // until the time is up.
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return Claim::unanswered;
        if (askToShow(static_cast<int>(std::min<long long>(left.count(), 1000)))) return Claim::handedOver;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

void SingleInstance::listen() {
    const QString path = QString::fromStdString(socketPath());
    // We hold the lock, so a socket file here is a dead instance's.
    QLocalServer::removeServer(path);
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_->listen(path)) return;
    connect(server_, &QLocalServer::newConnection, this, &SingleInstance::serve);
}

void SingleInstance::serve() {
    while (QLocalSocket* client = server_->nextPendingConnection()) {
        connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
        connect(client, &QLocalSocket::readyRead, this, [this, client] {
            if (!client->canReadLine()) {
                if (client->bytesAvailable() > longestRequest) client->abort();
                return;
            }
            const QByteArray line = client->readLine(longestRequest);
            if (line != showRequest) {
                client->abort();
                return;
            }
            emit showRequested();
            client->write(shownAnswer);
            client->disconnectFromServer();
        });
    }
}

bool SingleInstance::askToShow(int timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    const auto left = [&] {
        return static_cast<int>(std::max<long long>(
            0, std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now()).count()));
    };
    QLocalSocket socket;
    socket.connectToServer(QString::fromStdString(socketPath()));
    if (!socket.waitForConnected(left())) return false;
    socket.write(showRequest);
    if (!socket.waitForBytesWritten(left())) return false;
    QByteArray answer;
    while (!answer.contains('\n') && answer.size() <= longestRequest && socket.waitForReadyRead(left()))
        answer += socket.readAll();
    return answer == shownAnswer;
}

}  // namespace velmora
