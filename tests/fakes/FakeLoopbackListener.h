#pragma once
#include <optional>
#include <string>

#include "platform/LoopbackListener.h"

namespace velmora {

// Hands out connection handlers on demand, so request handling is driven without sockets.
class FakeLoopbackListener final : public LoopbackListener {
public:
    explicit FakeLoopbackListener(std::uint16_t assignedPort = 40000) : assignedPort(assignedPort) {}

    std::optional<std::string> start(std::uint16_t port, HandlerFactory newConnection,
                                     std::function<void(std::string)> failed) override {
        ++starts;
        requestedPort = port;
        if (failure) return failure;
        factory = std::move(newConnection);
        onFailure = std::move(failed);
        return std::nullopt;
    }
    std::uint16_t port() const override { return assignedPort; }
    void stop() override { ++stops; }
    std::unique_ptr<LoopbackConnectionHandler> connect() { return factory(); }

    std::optional<std::string> failure;  // what start reports, if anything
    std::uint16_t assignedPort, requestedPort = 0;
    int starts = 0, stops = 0;
    HandlerFactory factory;
    std::function<void(std::string)> onFailure;
};

}  // namespace velmora
