#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "engine/activity/ActivityEvent.h"
#include "engine/sampling/AppMemorySnapshot.h"
#include "sensors/BrowserSessionStory.h"

namespace velmora {

// Watches each browser family (all its helper processes together) and tells a story when the
// family grew by 80 MiB over a long enough stretch or across page changes, naming the pages seen.
// Main thread only; nothing is saved.
class BrowserSessionTracker {
public:
    static constexpr std::uint64_t minGrowth = 80ull * 1024 * 1024;
    static constexpr double minDuration = 75.0;
    static constexpr double cooldown = 150.0;
    static constexpr double shortSessionWithPages = 40.0;
    static constexpr std::int64_t busyPageChanges = 2;
    static constexpr std::uint64_t reanchorDrop = 30ull * 1024 * 1024;
    static constexpr std::size_t pagesKept = 10;

    // Once per sample, with the sample's apps and time. Stories go out through onSessionStory
    // before it returns.
    void ingest(const std::vector<AppMemorySnapshot>& snapshots, Date now);
    // For each activity event that names an app.
    void notePage(const ActivityEvent& event);

    std::function<void(const BrowserSessionStory&)> onSessionStory;

    // "family:<family>", with the process's bundle id and pids and the family's display name.
    static ProcessIdentity familyIdentity(const std::string& family, const ProcessIdentity& identity);

private:
    struct Session {
        ProcessIdentity identity;
        std::string family;
        std::uint64_t anchorBytes = 0;
        Date anchorAt;
        std::uint64_t peakBytes = 0;
        std::uint64_t lastBytes = 0;
        std::vector<std::string> pages;
        std::int64_t pageChangeCount = 0;
        std::optional<Date> lastEmitAt;
        std::uint64_t lastEmitBytes = 0;
    };
    // Pages noted while the family runs no process, waiting for its next session.
    struct Pending {
        std::vector<std::string> pages;  // the last few distinct labels
        std::int64_t count = 0;          // saturates
    };

    void evaluate(Session& session, Date now);

    std::map<std::string, Session> sessions_;
    std::map<std::string, Pending> pending_;
};

}  // namespace velmora
