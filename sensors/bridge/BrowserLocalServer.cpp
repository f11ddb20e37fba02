#include "sensors/bridge/BrowserLocalServer.h"

#include <utility>

#include "sensors/bridge/TabReport.h"

namespace velmora {

namespace {

// One connection: bytes in, the acknowledgement out, the report handed to the main thread.
class BridgeConnection final : public LoopbackConnectionHandler {
public:
    BridgeConnection(std::uint16_t port, Scheduler& scheduler, std::weak_ptr<BrowserLocalServer*> server)
        : request_(port), scheduler_(scheduler), server_(std::move(server)) {}

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
            if (auto report = TabReport::decode(request_.payload())) {
                scheduler_.post([server = server_, report = std::move(*report)] {
                    const auto alive = server.lock();
                    if (!alive || !(*alive)->onTabEvent) return;
                    (*alive)->onTabEvent(report.browser, report.title, report.url, report.host);
                });
            }
        }
        return {Next::reply, BridgeRequest::acknowledgement};
    }

private:
    BridgeRequest request_;
    Scheduler& scheduler_;
    std::weak_ptr<BrowserLocalServer*> server_;
};

}  // namespace

BrowserLocalServer::BrowserLocalServer(LoopbackListener& listener, Scheduler& scheduler, std::uint16_t port)
    : listener_(listener), scheduler_(scheduler), port_(port), self_(std::make_shared<BrowserLocalServer*>(this)) {}

BrowserLocalServer::~BrowserLocalServer() {
    self_.reset();
    if (started_) listener_.stop();
}

void BrowserLocalServer::start() {
    if (started_) return;
    std::weak_ptr<BrowserLocalServer*> weak = self_;
    // Runs on the listener's thread; the listener's port is fixed before its first connection.
    auto factory = [&scheduler = scheduler_, &listener = listener_, weak]() -> std::unique_ptr<LoopbackConnectionHandler> {
        return std::make_unique<BridgeConnection>(listener.port(), scheduler, weak);
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
