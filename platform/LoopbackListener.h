#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace velmora {

// What one accepted connection does with the bytes it receives. Runs on the listener's thread.
class LoopbackConnectionHandler {
public:
    enum class Next { readMore, reply, drop };
    struct Verdict {
        Next next = Next::readMore;
        std::string_view reply;  // for Next::reply: sent whole, then the connection is closed
    };
    virtual ~LoopbackConnectionHandler() = default;
    // Each chunk as it arrives; nothing more is read once it answers reply or drop.
    virtual Verdict received(std::string_view chunk) = 0;
};

// A TCP listener on the loopback addresses only (127.0.0.1 and ::1). It owns its sockets and its
// thread: connections that stall past a deadline, or the oldest unfinished one when too many are
// open, are closed without a reply; a peer that closes early is dropped.
class LoopbackListener {
public:
    using HandlerFactory = std::function<std::unique_ptr<LoopbackConnectionHandler>()>;
    virtual ~LoopbackListener() = default;
    // Starts listening on `port` (0: any free port, the same on both addresses). Returns a
    // description of what failed, or nothing once it listens. `onFailure` is called from the
    // listener's thread if listening stops later.
    virtual std::optional<std::string> start(std::uint16_t port, HandlerFactory newConnection,
                                             std::function<void(std::string)> onFailure) = 0;
    // The port in use after a successful start.
    virtual std::uint16_t port() const = 0;
    // Closes every socket and joins the thread; no handler runs after it returns.
    virtual void stop() = 0;
};

}  // namespace velmora
