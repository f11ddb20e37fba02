#include "sensors/BrowserSessionTracker.h"

#include <algorithm>
#include <array>
#include <string_view>
#include <utility>

#include "engine/activity/BrowserActivityAdapter.h"
#include "engine/support/ByteMath.h"
#include "engine/support/Text.h"
#include "engine/sampling/BrowserFamily.h"
#include "engine/support/Utf8.h"
#include "sensors/PageLabel.h"

namespace velmora {

namespace {

bool countsAsPageChange(ActivityEventKind kind) {
    using K = ActivityEventKind;
    return kind == K::titleChanged || kind == K::pageNavigated || kind == K::mediaLikelyPlaying ||
           kind == K::tabActivity || kind == K::siteActivity;
}

bool containsPage(const std::vector<std::string>& pages, const std::string& page) {
    return std::find(pages.begin(), pages.end(), page) != pages.end();
}

void keepLast(std::vector<std::string>& pages, std::size_t n) {
    if (pages.size() > n) pages.erase(pages.begin(), pages.end() - static_cast<std::ptrdiff_t>(n));
}

// A tab summary ("7 tabs visible") is a page change but names no page. An empty label names none
// either. A sensor's own word in the detail ("Frontmost", a dialog role) is no page; only a
// dotted name is taken for a host.
std::optional<std::string> pageOf(const ActivityEvent& event) {
    if (event.detail && utf8::containsIgnoringCase(*event.detail, "tabs")) return std::nullopt;
    const bool hostLike = event.detail && contains(*event.detail, ".") && !contains(*event.detail, " ");
    const auto host = hostLike ? std::optional<std::string_view>(*event.detail) : std::nullopt;
    auto label = pageLabel(event.windowTitle, event.urlString, host);
    if (label && label->empty()) return std::nullopt;
    return label;
}

}  // namespace

ProcessIdentity BrowserSessionTracker::familyIdentity(const std::string& family, const ProcessIdentity& identity) {
    std::string displayName = identity.displayName;
    if (const BrowserFamily* known = browserFamilyNamed(family)) displayName = known->displayName;
    return ProcessIdentity{"family:" + family, identity.bundleID, std::move(displayName), identity.pids, false};
}

void BrowserSessionTracker::ingest(const std::vector<AppMemorySnapshot>& snapshots, Date now) {
    struct Total {
        std::string family;
        ProcessIdentity identity;
        std::uint64_t bytes = 0;
    };
    std::vector<Total> totals;  // in order of first appearance, so stories come out in a fixed order
    for (const auto& snapshot : snapshots) {
        if (snapshot.identity.isSelf) continue;
        auto family = BrowserActivityAdapter::browserFamily(snapshot.identity);
        if (!family) continue;
        auto it = std::find_if(totals.begin(), totals.end(), [&](const Total& t) { return t.family == *family; });
        if (it == totals.end()) it = totals.insert(totals.end(), Total{*family, {}, 0});
        it->bytes = saturatingAdd(it->bytes, snapshot.footprintBytes);
        it->identity = familyIdentity(*family, snapshot.identity);
    }

    std::erase_if(sessions_, [&](const auto& entry) {
        return std::none_of(totals.begin(), totals.end(), [&](const Total& t) { return t.family == entry.first; });
    });

    for (auto& total : totals) {
        Pending waiting = std::exchange(pending_[total.family], Pending{});
        auto found = sessions_.find(total.family);
        if (found == sessions_.end()) {
            // A new session is only evaluated from the next sample on.
            sessions_.emplace(total.family, Session{std::move(total.identity), total.family, total.bytes, now,
                                                    total.bytes, total.bytes, std::move(waiting.pages),
                                                    waiting.count, std::nullopt, total.bytes});
            continue;
        }
        Session& session = found->second;
        session.identity = std::move(total.identity);
        session.lastBytes = total.bytes;
        session.peakBytes = std::max(session.peakBytes, total.bytes);
        for (auto& page : waiting.pages)
            if (!containsPage(session.pages, page)) session.pages.push_back(std::move(page));
        keepLast(session.pages, pagesKept);
        session.pageChangeCount = saturatingAdd(session.pageChangeCount, waiting.count);
        evaluate(session, now);
    }
}

void BrowserSessionTracker::evaluate(Session& session, Date now) {
    const std::uint64_t last = session.lastBytes;
    const std::uint64_t anchor = session.anchorBytes;
    if (last <= anchor) {
        if (anchor - last > reanchorDrop) {
            session.anchorBytes = last;
            session.anchorAt = now;
            session.peakBytes = last;
            session.pages.clear();
            session.pageChangeCount = 0;
        }
        return;
    }
    if (last - anchor < minGrowth) return;
    const double elapsed = now - session.anchorAt;
    const bool longEnough = elapsed >= minDuration ||
                            (elapsed >= shortSessionWithPages &&
                             (!session.pages.empty() || session.pageChangeCount >= busyPageChanges));
    if (!longEnough) return;
    if (session.lastEmitAt && now - *session.lastEmitAt < cooldown &&
        !(last >= session.lastEmitBytes && last - session.lastEmitBytes >= minGrowth))
        return;

    const auto pageCount = static_cast<std::int64_t>(session.pages.size());
    BrowserSessionStory story{session.identity, session.anchorAt, now, anchor, last, session.peakBytes,
                              std::move(session.pages), std::max(pageCount, session.pageChangeCount)};
    // The new period starts before the handler runs, so a handler that feeds the tracker sees it.
    session.lastEmitAt = now;
    session.lastEmitBytes = last;
    session.anchorBytes = last;
    session.anchorAt = now;
    session.peakBytes = last;
    session.pages.clear();
    session.pageChangeCount = 0;
    if (onSessionStory) onSessionStory(story);
}

void BrowserSessionTracker::notePage(const ActivityEvent& event) {
    if (!event.app) return;
    const auto family = BrowserActivityAdapter::browserFamily(*event.app);
    if (!family) return;

    if (auto found = sessions_.find(*family); found != sessions_.end()) {
        if (!countsAsPageChange(event.kind)) return;
        Session& session = found->second;
        session.pageChangeCount = saturatingAdd(session.pageChangeCount, std::int64_t{1});
        if (auto page = pageOf(event); page && !containsPage(session.pages, *page))
            session.pages.push_back(std::move(*page));
        keepLast(session.pages, pagesKept);
        return;
    }

    // While the browser is closed nothing bounds the notes but this: the last few distinct pages.
    // Only what would be a page change in a running session waits for the next one.
    if (!countsAsPageChange(event.kind)) return;
    Pending& waiting = pending_[*family];
    auto page = pageOf(event);
    if (!page) return;
    std::erase(waiting.pages, *page);
    waiting.pages.push_back(std::move(*page));
    keepLast(waiting.pages, pagesKept);
    waiting.count = saturatingAdd(waiting.count, std::int64_t{1});
}

}  // namespace velmora
