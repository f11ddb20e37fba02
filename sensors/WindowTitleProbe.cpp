#include "sensors/WindowTitleProbe.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "sensors/RunningAppIdentity.h"

namespace velmora {

WindowTitleProbe::WindowTitleProbe(ActivityEventBus& bus, Workspace& workspace, WindowList& windows,
                                   Scheduler& scheduler, const Clock& clock, SelfProcess self)
    : bus_(bus), workspace_(workspace), windows_(windows), clock_(clock), self_(std::move(self)), timer_(scheduler) {}

void WindowTitleProbe::start() {
    timer_.start(interval, [this] { poll(); });
    poll();
}

void WindowTitleProbe::stop() { timer_.stop(); }

std::optional<std::string> WindowTitleProbe::frontmostWindowTitle(std::int32_t pid) {
    std::vector<ListedWindow> own;
    for (auto& w : windows_.windows())
        if (w.onScreen && w.ownerPid == pid) own.push_back(std::move(w));
    const bool anyOrdinary = std::any_of(own.begin(), own.end(), [](const ListedWindow& w) {
        return w.layer == ListedWindow::normalLayer;
    });

    std::vector<std::pair<const std::string*, double>> titled;  // title and area, front to back
    for (const auto& w : own) {
        if (anyOrdinary && w.layer != ListedWindow::normalLayer) continue;
        if (!w.title || w.title->empty()) continue;
        titled.emplace_back(&*w.title, w.bounds.width * w.bounds.height);
    }
    // Largest first; of equal areas the one nearer the front.
    std::stable_sort(titled.begin(), titled.end(), [](const auto& a, const auto& b) { return a.second > b.second; });
    if (titled.empty()) return std::nullopt;
    return *titled.front().first;
}

void WindowTitleProbe::poll() {
    const auto front = workspace_.frontmostApplication();
    if (!front || front->pid == self_.pid) return;
    const ProcessIdentity identity = identityOf(*front);
    if (ActivityEventBus::isSensitive(identity, std::nullopt)) return;

    // An incognito Chromium window reads like any other: such a browser's titles are not read.
    const auto title = ActivityEventBus::hidesPrivateWindows(identity) ? std::nullopt : frontmostWindowTitle(front->pid);
    lastObservedApp_ = identity.displayName;
    lastObservedAt_ = clock_.now();
    if (!title || title->empty()) {
        lastObservedTitle_.reset();
        return;
    }
    if (ActivityEventBus::isSensitive(identity, *title)) return;
    lastObservedTitle_ = title;

    if (lastKey_ != identity.groupingKey) {
        lastKey_ = identity.groupingKey;
        lastTitle_.reset();
    }
    if (title == lastTitle_) return;

    ActivityEvent event;
    event.id = Uuid::random();
    event.timestamp = clock_.now();
    event.kind = lastTitle_ ? ActivityEventKind::titleChanged : ActivityEventKind::windowOpened;
    event.app = identity;
    event.windowTitle = title;
    // The sensor's tag travels as the semantic label only: a detail is what stories name as the
    // thing the user opened, and "grew on window_title_probe" tells nobody anything.
    event.semanticLabel = "cg_window_title";
    lastTitle_ = title;
    bus_.publish(event);
}

}  // namespace velmora
