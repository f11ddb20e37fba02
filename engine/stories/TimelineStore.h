#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "engine/sampling/AppMemorySnapshot.h"
#include "engine/sampling/SystemMemorySnapshot.h"
#include "engine/support/StoredArrayFile.h"
#include "engine/stories/TimelineEvent.h"

namespace velmora {

class Clock;
class FileSystem;
class Paths;

// The stories, newest first: merges repeat changes of one app, measures each app story again
// 8, 45 and 180 seconds after the change, and keeps the last 24 hours in "stories.json".
class TimelineStore {
public:
    static constexpr std::size_t maxEvents = 500;
    static constexpr std::size_t maxSystemHistory = 7200;
    static constexpr double mergeSeconds = 120.0;
    static constexpr double retentionWindow = 86400.0;
    static constexpr double immediateAfter = 8.0;
    static constexpr double settledAfter = 45.0;
    static constexpr double longerTermAfter = 180.0;
    static constexpr double followUpLifetime = 200.0;
    // A later change must be more than 20 MiB to count.
    static constexpr std::uint64_t longerTermMinimumBytes = 20 * 1024 * 1024 + 1;

    static constexpr std::array<TimelineEventKind, 3> mergeableKinds{
        TimelineEventKind::largeDelta, TimelineEventKind::memoryReleased, TimelineEventKind::sustainedGrowth};
    // Weakest first; an absent level is weaker than all of them.
    static constexpr std::array<ConfidenceLevel, 3> confidenceOrder{ConfidenceLevel::low, ConfidenceLevel::medium,
                                                                    ConfidenceLevel::high};

    // "<application support>/stories.json".
    static std::string defaultStoragePath(const Paths& paths);

    // Loads the stories of the last 24 hours (at most 500). None of them waits for follow-ups any
    // more: those do not outlive the process.
    TimelineStore(FileSystem& files, std::string path, const Clock& clock);

    const std::vector<TimelineEvent>& events() const { return events_; }
    const std::deque<SystemMemorySnapshot>& systemHistory() const { return systemHistory_; }
    const std::string& storagePath() const { return file_.path(); }

    // Files a story: merged into a recent story of the same app, or inserted at the front.
    void add(const TimelineEvent& story);
    // Replaces the stored story with the same id (reworded) and saves; ignores unknown ids.
    void update(const TimelineEvent& story);
    void recordSystemSnapshot(const SystemMemorySnapshot& snapshot);
    // Advances every pending follow-up with one tick's app snapshots.
    void updateFollowUps(const std::vector<AppMemorySnapshot>& apps, Date now);
    // Starts measuring an app story; `baseline` and `peak` are the detected change's footprints.
    void registerFollowUp(const TimelineEvent& story, const std::string& appKey, std::uint64_t baseline,
                          std::uint64_t peak);
    bool hasPendingFollowUp(const Uuid& storyID) const { return pendingFollowUps_.contains(storyID); }

    // True when `stored` is an app change of the same app less than 120 s from `story`.
    static bool isRepeatDelta(const TimelineEvent& stored, const std::string& appKey, const TimelineEvent& story);

    // Writes the stories of the last 24 hours. False when the write failed or was refused.
    bool save();

    // Called once for every inserted story, never for a merge.
    std::function<void(const TimelineEvent&)> onNewStory;
    // Announces every change of `events` or `systemHistory`.
    std::function<void()> onChange;

private:
    struct FollowUp {
        Uuid eventID;
        std::string appKey;
        std::uint64_t baseline = 0;
        std::uint64_t peak = 0;
        Date createdAt;
        bool immediateDone = false;
        bool settledDone = false;
    };

    std::optional<TimelineEvent> mergeIntoRecent(const TimelineEvent& incoming);
    TimelineEvent* find(const Uuid& id);
    void changed() {
        if (onChange) onChange();
    }

    const Clock& clock_;
    StoredArrayFile file_;
    std::vector<TimelineEvent> events_;
    std::deque<SystemMemorySnapshot> systemHistory_;
    std::map<Uuid, FollowUp> pendingFollowUps_;
};

}  // namespace velmora
