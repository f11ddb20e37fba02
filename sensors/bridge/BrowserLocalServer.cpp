#include "sensors/bridge/BrowserLocalServer.h"

#include <algorithm>
#include <mutex>
#include <utility>
#include <vector>

#include "sensors/bridge/TabReport.h"

namespace velmora {

// Reports decoded on the listener's thread wait here for the main thread. Only the newest report
// of a browser matters, so it replaces the one of that browser still waiting, and one delivery
// at a time is posted: a flood of posts leaves a few small reports waiting, not a queue.
class TabReportInbox {
public:
    // Browser names come from the peer; past this many, the one waiting longest goes.
    static constexpr std::size_t maxBrowsers = 16;

    // True when no delivery is posted yet, so the caller posts one.
    bool put(TabReport report) {
        const std::lock_guard lock(mutex_);
        const auto same = std::find_if(waiting_.begin(), waiting_.end(),
                                       [&](const TabReport& r) { return r.browser == report.browser; });
        if (same != waiting_.end()) waiting_.erase(same);
        else if (waiting_.size() >= maxBrowsers) waiting_.erase(waiting_.begin());
        waiting_.push_back(std::move(report));  // oldest first, as they last changed
        return !std::exchange(deliveryPosted_, true);
    }

    std::vector<TabReport> take() {
        const std::lock_guard lock(mutex_);
        deliveryPosted_ = false;
        return std::exchange(waiting_, {});
    }

private:
    std::mutex mutex_;
    std::vector<TabReport> waiting_;
    bool deliveryPosted_ = false;
};

namespace {

void deliver(const std::weak_ptr<BrowserLocalServer*>& server, TabReportInbox& inbox) {
    for (const TabReport& report : inbox.take()) {
        const auto alive = server.lock();  // again each time: a handler may end the server
        if (!alive) return;
        if ((*alive)->onTabEvent) (*alive)->onTabEvent(report.browser, report.title, report.url, report.host);
    }
}

// One connection: bytes in, the acknowledgement out, the report handed to the main thread.
class BridgeConnection final : public LoopbackConnectionHandler {
public:
    BridgeConnection(std::uint16_t port, Scheduler& scheduler, std::weak_ptr<BrowserLocalServer*> server,
                     std::shared_ptr<TabReportInbox> inbox)
        : request_(port), scheduler_(scheduler), server_(std::move(server)), inbox_(std::move(inbox)) {}

    Verdict received(std::string_view chunk) override {
        switch (request_.append(chunk)) {
        case BridgeRequest::State::receiving:
            return {Next::readMore, {}};
        case BridgeRequest::State::tooLarge:
            return {Next::drop, {}};
        case BridgeRequest::State::complete:
            break;
        }
        if (request_.isPost() && request_.isFromExtensionOrLocalTool()) {
            if (auto report = TabReport::decode(request_.payload()); report && inbox_->put(std::move(*report)))
                scheduler_.post([server = server_, inbox = inbox_] { deliver(server, *inbox); });
        }
        return {Next::reply, BridgeRequest::acknowledgement};
    }

private:
    BridgeRequest request_;
    Scheduler& scheduler_;
    std::weak_ptr<BrowserLocalServer*> server_;
    std::shared_ptr<TabReportInbox> inbox_;
};

}  // namespace

BrowserLocalServer::BrowserLocalServer(LoopbackListener& listener, Scheduler& scheduler, std::uint16_t port)
    : listener_(listener),
      scheduler_(scheduler),
      port_(port),
      self_(std::make_shared<BrowserLocalServer*>(this)),
      inbox_(std::make_shared<TabReportInbox>()) {}

BrowserLocalServer::~BrowserLocalServer() {
    self_.reset();
    if (started_) listener_.stop();
}

void BrowserLocalServer::start() {
    if (started_) return;
    std::weak_ptr<BrowserLocalServer*> weak = self_;
    // Runs on the listener's thread; the listener's port is fixed before its first connection.
    auto factory = [&scheduler = scheduler_, &listener = listener_, weak,
                    inbox = inbox_]() -> std::unique_ptr<LoopbackConnectionHandler> {
        return std::make_unique<BridgeConnection>(listener.port(), scheduler, weak, inbox);
    };
    auto onFailure = [&scheduler = scheduler_, weak](std::string message) {
        scheduler.post([weak, message = std::move(message)] {
            if (const auto alive = weak.lock()) {
                (*alive)->isRunning_ = false;
                (*alive)->lastError_ = message;
            }
        });
    };
    if (auto error = listener_.start(port_, std::move(factory), std::move(onFailure))) {
        isRunning_ = false;
        lastError_ = std::move(*error);
        return;
    }
    started_ = true;
    port_ = listener_.port();
    isRunning_ = true;
    lastError_.reset();
}

}  // namespace velmora
