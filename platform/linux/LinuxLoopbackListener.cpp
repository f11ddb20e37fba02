#include "platform/linux/LinuxLoopbackListener.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <memory>
#include <system_error>

namespace velmora {

namespace {

using SteadyClock = std::chrono::steady_clock;

constexpr std::size_t kReceiveChunk = 65536;
constexpr int kBindAttempts = 20;  // for "any port": the IPv6 twin of a free IPv4 port may be taken

std::string errnoText(int error) { return std::error_code(error, std::generic_category()).message(); }

SteadyClock::duration seconds(double s) {
    return std::chrono::duration_cast<SteadyClock::duration>(std::chrono::duration<double>(s));
}

// A listening socket on one loopback address; the errno on failure.
int listenOn(int family, std::uint16_t port, int& error) {
    const int fd = ::socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = errno;
        return -1;
    }
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    int rc;
    if (family == AF_INET) {
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(port);
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        rc = ::bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr);
    } else {
        ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on);
        sockaddr_in6 addr{};
        addr.sin6_family = AF_INET6;
        addr.sin6_port = htons(port);
        addr.sin6_addr = in6addr_loopback;
        rc = ::bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr);
    }
    if (rc != 0 || ::listen(fd, SOMAXCONN) != 0) {
        error = errno;
        ::close(fd);
        return -1;
    }
    return fd;
}

std::uint16_t boundPort(int fd) {
    sockaddr_in addr{};
    socklen_t len = sizeof addr;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) return 0;
    return ntohs(addr.sin_port);
}

struct Connection {
    enum class Phase { receiving, sending, draining };
    int fd = -1;
    SteadyClock::time_point deadline;
    std::unique_ptr<LoopbackConnectionHandler> handler;
    Phase phase = Phase::receiving;
    std::string_view reply;
    std::size_t sent = 0;
};

}  // namespace

std::optional<std::string> LinuxLoopbackListener::start(std::uint16_t port, HandlerFactory newConnection,
                                                       std::function<void(std::string)> onFailure) {
    if (thread_.joinable()) return std::nullopt;
    for (int attempt = 0; attempt < kBindAttempts; ++attempt) {
        int error = 0;
        const int v4 = listenOn(AF_INET, port, error);
        if (v4 < 0) return "Could not listen on 127.0.0.1 port " + std::to_string(port) + ": " + errnoText(error);
        const std::uint16_t actual = boundPort(v4);
        const int v6 = listenOn(AF_INET6, actual, error);
        if (v6 < 0 && error == EADDRINUSE && port == 0) {
            ::close(v4);
            continue;
        }
        // Without IPv6 (or with ::1 held by someone else) the extension still reaches 127.0.0.1.
        listenFds_ = {v4};
        if (v6 >= 0) listenFds_.push_back(v6);
        port_ = actual;
        break;
    }
    if (listenFds_.empty()) return "Could not find a free port on both loopback addresses";
    wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd_ < 0) {
        const int error = errno;
        for (int fd : listenFds_) ::close(fd);
        listenFds_.clear();
        return "Could not start the listener: " + errnoText(error);
    }
    newConnection_ = std::move(newConnection);
    onFailure_ = std::move(onFailure);
    thread_ = std::thread([this] { run(); });
    return std::nullopt;
}

void LinuxLoopbackListener::stop() {
    if (!thread_.joinable()) return;
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto written = ::write(wakeFd_, &one, sizeof one);
    thread_.join();
    for (int fd : listenFds_) ::close(fd);
    listenFds_.clear();
    ::close(wakeFd_);
    wakeFd_ = -1;
}

void LinuxLoopbackListener::run() {
    std::vector<std::unique_ptr<Connection>> connections;  // oldest first
    std::vector<int> listening = listenFds_;
    SteadyClock::time_point acceptPausedUntil{};
    std::vector<char> chunk(kReceiveChunk);
    std::vector<pollfd> fds;

    const auto closeAt = [&](std::size_t i) {
        ::close(connections[i]->fd);
        connections.erase(connections.begin() + static_cast<std::ptrdiff_t>(i));
    };
    // Room for one more: the oldest unfinished request goes first, else the oldest of all.
    const auto evictOldest = [&] {
        if (connections.empty()) return false;
        auto it = std::find_if(connections.begin(), connections.end(),
                               [](const auto& c) { return c->phase == Connection::Phase::receiving; });
        closeAt(it == connections.end() ? 0 : static_cast<std::size_t>(it - connections.begin()));
        return true;
    };
    const auto sendMore = [&](Connection& c) {
        while (c.sent < c.reply.size()) {
            const ssize_t n = ::send(c.fd, c.reply.data() + c.sent, c.reply.size() - c.sent, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n < 0) return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
            c.sent += static_cast<std::size_t>(n);
        }
        // Half-close so the peer reads every byte, then wait briefly for its own close: closing
        // with unread input would reset the connection and could cut the reply short.
        ::shutdown(c.fd, SHUT_WR);
        c.phase = Connection::Phase::draining;
        c.deadline = std::min(c.deadline, SteadyClock::now() + seconds(limits_.drainSeconds));
        return true;
    };
    // False when the connection is finished with.
    const auto serve = [&](Connection& c, short revents) {
        if (c.phase == Connection::Phase::sending) return (revents & (POLLOUT | POLLERR | POLLHUP)) ? sendMore(c) : true;
        const ssize_t n = ::recv(c.fd, chunk.data(), chunk.size(), MSG_DONTWAIT);
        if (n < 0) return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
        if (n == 0) return false;  // the peer finished before its request did, or after our reply
        if (c.phase == Connection::Phase::draining) return true;
        LoopbackConnectionHandler::Verdict verdict;
        try {
            verdict = c.handler->received(std::string_view(chunk.data(), static_cast<std::size_t>(n)));
        } catch (...) {
            return false;
        }
        switch (verdict.next) {
        case LoopbackConnectionHandler::Next::readMore:
            return true;
        case LoopbackConnectionHandler::Next::drop:
            return false;
        case LoopbackConnectionHandler::Next::reply:
            c.phase = Connection::Phase::sending;
            c.reply = verdict.reply;
            return sendMore(c);
        }
        return false;
    };
    const auto acceptAll = [&](int listenFd, SteadyClock::time_point now) {
        for (;;) {
            const int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (fd < 0) {
                if (errno == EINTR || errno == ECONNABORTED || errno == EPROTO) continue;
                if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
                    // Out of descriptors: make room, or stop accepting for a moment rather than spin.
                    if (!evictOldest()) acceptPausedUntil = now + std::chrono::milliseconds(100);
                }
                return;
            }
            std::unique_ptr<LoopbackConnectionHandler> handler;
            try {
                handler = newConnection_();
            } catch (...) {
            }
            if (!handler) {
                ::close(fd);
                continue;
            }
            while (connections.size() >= limits_.maxConnections && evictOldest()) {
            }
            auto c = std::make_unique<Connection>();
            c->fd = fd;
            c->deadline = now + seconds(limits_.requestDeadlineSeconds);
            c->handler = std::move(handler);
            connections.push_back(std::move(c));
        }
    };

    for (;;) {
        auto now = SteadyClock::now();
        const bool accepting = now >= acceptPausedUntil;
        fds.clear();
        fds.push_back({wakeFd_, POLLIN, 0});
        for (int fd : listening) fds.push_back({accepting ? fd : -1, POLLIN, 0});
        for (const auto& c : connections)
            fds.push_back({c->fd, static_cast<short>(c->phase == Connection::Phase::sending ? POLLOUT : POLLIN), 0});

        SteadyClock::time_point wakeAt = accepting ? SteadyClock::time_point::max() : acceptPausedUntil;
        for (const auto& c : connections) wakeAt = std::min(wakeAt, c->deadline);
        int timeoutMs = -1;
        if (wakeAt != SteadyClock::time_point::max()) {
            const auto wait = std::chrono::ceil<std::chrono::milliseconds>(wakeAt - now).count();
            timeoutMs = static_cast<int>(std::clamp<long long>(wait, 0, 60'000));
        }
        if (::poll(fds.data(), fds.size(), timeoutMs) < 0 && errno != EINTR) {
            if (onFailure_) onFailure_("The listener stopped: " + errnoText(errno));
            break;
        }
        if (fds[0].revents & POLLIN) break;
        now = SteadyClock::now();

        // Connections first, by descriptor, so indices stay valid while some are closed.
        const std::size_t first = 1 + listening.size();
        std::vector<std::pair<int, short>> ready;
        for (std::size_t i = first; i < fds.size(); ++i)
            if (fds[i].revents) ready.emplace_back(fds[i].fd, fds[i].revents);
        for (const auto& [fd, revents] : ready) {
            auto it = std::find_if(connections.begin(), connections.end(), [fd](const auto& c) { return c->fd == fd; });
            if (it != connections.end() && !serve(**it, revents)) closeAt(static_cast<std::size_t>(it - connections.begin()));
        }
        for (std::size_t i = connections.size(); i-- > 0;)
            if (connections[i]->deadline <= now) closeAt(i);

        for (std::size_t i = 0; i < listening.size(); ++i) {
            const short revents = fds[1 + i].revents;
            if (revents & (POLLERR | POLLNVAL)) {
                listening[i] = -1;
                continue;
            }
            if (revents & POLLIN) acceptAll(listening[i], now);
        }
        if (std::erase(listening, -1) > 0 && listening.empty()) {
            if (onFailure_) onFailure_("The listening socket failed");
            break;
        }
    }
    for (const auto& c : connections) ::close(c->fd);
}

}  // namespace velmora
