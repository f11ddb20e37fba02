#pragma once
#include <atomic>
#include <cstddef>
#include <thread>
#include <vector>

#include "platform/LoopbackListener.h"

namespace velmora {

// Loopback TCP on its own thread with poll(2): non-blocking sockets, MSG_NOSIGNAL writes, a
// half-close after each reply, a deadline per request and a cap on open connections.
class LinuxLoopbackListener final : public LoopbackListener {
public:
    struct Limits {
        double requestDeadlineSeconds = 10.0;
        std::size_t maxConnections = 64;
        double drainSeconds = 2.0;  // after a reply, waiting for the peer to close first
    };

    LinuxLoopbackListener() : LinuxLoopbackListener(Limits{}) {}
    explicit LinuxLoopbackListener(Limits limits) : limits_(limits) {}
    ~LinuxLoopbackListener() override { stop(); }
    LinuxLoopbackListener(const LinuxLoopbackListener&) = delete;
    LinuxLoopbackListener& operator=(const LinuxLoopbackListener&) = delete;

    std::optional<std::string> start(std::uint16_t port, HandlerFactory newConnection,
                                     std::function<void(std::string)> onFailure) override;
    std::uint16_t port() const override { return port_; }
    void stop() override;

private:
    void run();

    Limits limits_;
    std::vector<int> listenFds_;
    int wakeFd_ = -1;
    std::uint16_t port_ = 0;
    HandlerFactory newConnection_;
    std::function<void(std::string)> onFailure_;
    std::thread thread_;
};

}  // namespace velmora
