#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/LoopbackListener.h"
#include "platform/Scheduler.h"
#include "sensors/bridge/BridgeRequest.h"

namespace velmora {

class TabReportInbox;

// The local HTTP endpoint the browser extension posts the current tab to. Every complete
// request is answered with the same acknowledgement and the connection closed; decoded tab
// reports reach onTabEvent on the main thread. The application keeps one for its lifetime.
class BrowserLocalServer {
public:
    static constexpr std::uint16_t boundPort = BridgeRequest::port;

    using TabEventHandler = std::function<void(const std::string& browser, const std::optional<std::string>& title,
                                               const std::optional<std::string>& url,
                                               const std::optional<std::string>& host)>;

    // `port` 0 takes any free port (tests).
    BrowserLocalServer(LoopbackListener& listener, Scheduler& scheduler, std::uint16_t port = boundPort);
    ~BrowserLocalServer();
    BrowserLocalServer(const BrowserLocalServer&) = delete;
    BrowserLocalServer& operator=(const BrowserLocalServer&) = delete;

    // Starts listening; does nothing once started. A failure is kept in lastError, not retried.
    void start();

    bool isRunning() const { return isRunning_; }
    const std::optional<std::string>& lastError() const { return lastError_; }
    // The port listened on once running.
    std::uint16_t port() const { return port_; }

    // Main thread: browser ("chrome" when the report names none), then title, url and host.
    // Reports of one browser that arrive while the main thread is busy come as the newest only.
    TabEventHandler onTabEvent;

private:
    LoopbackListener& listener_;
    Scheduler& scheduler_;
    std::uint16_t port_;
    bool started_ = false;
    bool isRunning_ = false;
    std::optional<std::string> lastError_;
    // Work posted from the listener's thread finds the server through this, or not at all.
    std::shared_ptr<BrowserLocalServer*> self_;
    std::shared_ptr<TabReportInbox> inbox_;
};

}  // namespace velmora
