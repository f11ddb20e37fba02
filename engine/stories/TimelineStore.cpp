#include "engine/stories/TimelineStore.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <set>

#include "engine/stories/Phrasing.h"
#include "engine/stories/StoryText.h"
#include "engine/support/Text.h"
#include "platform/Clock.h"
#include "platform/Paths.h"

namespace velmora {

namespace {

bool isMergeable(TimelineEventKind kind) {
    return std::find(TimelineStore::mergeableKinds.begin(), TimelineStore::mergeableKinds.end(), kind) !=
           TimelineStore::mergeableKinds.end();
}

bool isMergeCandidate(const TimelineEvent& stored, const std::string& key, const TimelineEvent& incoming) {
    return stored.relatedApp && stored.relatedApp->groupingKey == key && isMergeable(stored.kind) &&
           std::fabs(stored.timestamp - incoming.timestamp) <= TimelineStore::mergeSeconds;
}

std::uint64_t peakOf(const std::optional<ImpactWindow>& w) { return w && w->peakBytes ? *w->peakBytes : 0; }

std::optional<std::uint64_t> endOf(const std::optional<ImpactWindow>& w) {
    return w ? w->endFootprintBytes : std::nullopt;
}

// A climb merged with a change that left it no higher than it began is no climb: it becomes that
// change's story, worded from the window it shows like any other. Both the change just measured
// and that window must say so, since a settled window from before the climb joined is no news of
// it. True when it ended.
bool endClimbWithNoGrowthLeft(TimelineEvent& story, std::int64_t measured) {
    const ImpactWindow* window = firstPresentWindow(story);
    if (story.kind != TimelineEventKind::sustainedGrowth || measured > 0 || !window || window->deltaBytes > 0)
        return false;
    story.kind = window->deltaBytes < 0 ? TimelineEventKind::memoryReleased : TimelineEventKind::largeDelta;
    return true;
}

// Every story text the store keeps passes through here.
TimelineEvent reworded(const TimelineEvent& story) { return rewriteStoryText(story); }

}  // namespace

std::string TimelineStore::defaultStoragePath(const Paths& paths) {
    return paths.applicationSupportDirectory() + "/stories.json";
}

TimelineStore::TimelineStore(FileSystem& files, std::string path, const Clock& clock)
    : clock_(clock), file_(files, std::move(path)) {
    const Date now = clock_.now();
    const Date cutoff = now - retentionWindow;
    // A story dated beyond tomorrow came from a clock set wrong or a damaged file; kept, it would
    // never age out.
    const Date latest = now + retentionWindow;
    std::set<Uuid> seen;
    // The file is newest first, so once 500 are kept the rest would be dropped anyway.
    file_.load<TimelineEvent>(now, [&](TimelineEvent&& story) {
        if (story.timestamp < cutoff || story.timestamp > latest) return true;
        if (!seen.insert(story.id).second) return true;  // one story per id, or updates would miss copies
        story.isPendingWindows = false;                  // its follow-ups ended with the last run
        events_.push_back(std::move(story));
        return events_.size() < maxEvents;
    });
}

TimelineEvent* TimelineStore::find(const Uuid& id) {
    auto it = std::find_if(events_.begin(), events_.end(), [&](const TimelineEvent& e) { return e.id == id; });
    return it == events_.end() ? nullptr : &*it;
}

void TimelineStore::add(const TimelineEvent& story) {
    if (auto merged = mergeIntoRecent(story)) {
        update(reworded(*merged));
        return;
    }
    const TimelineEvent inserted = reworded(story);
    events_.insert(events_.begin(), inserted);
    while (events_.size() > maxEvents) events_.pop_back();
    save();
    changed();
    if (onNewStory) onNewStory(inserted);
}

void TimelineStore::update(const TimelineEvent& story) {
    TimelineEvent* stored = find(story.id);
    if (!stored) return;
    *stored = reworded(story);
    save();
    changed();
}

std::optional<TimelineEvent> TimelineStore::mergeIntoRecent(const TimelineEvent& incoming) {
    if (!incoming.relatedApp || !isMergeable(incoming.kind)) return std::nullopt;
    const std::string& key = incoming.relatedApp->groupingKey;
    auto target = std::find_if(events_.begin(), events_.end(),
                               [&](const TimelineEvent& e) { return isMergeCandidate(e, key, incoming); });
    if (target == events_.end()) return std::nullopt;

    TimelineEvent copy = *target;
    bool tookIncomingText = false;
    if (incoming.kind == TimelineEventKind::sustainedGrowth && copy.kind != TimelineEventKind::sustainedGrowth) {
        copy.title = incoming.title;
        copy.explanation = incoming.explanation;
        tookIncomingText = true;
    }
    const TimelineEvent& change = incoming.kind == TimelineEventKind::sustainedGrowth ? *target : incoming;

    // The merged change runs from before the earlier story, so it keeps that story's baseline:
    // a release of 1100 -> 800 followed by 800 -> 500 is a release of 600, not 300.
    const bool copyIsEarlier = copy.timestamp <= incoming.timestamp;
    const auto& earlierBaseline = copyIsEarlier ? copy.baselineFootprintBytes : incoming.baselineFootprintBytes;
    const auto& laterBaseline = copyIsEarlier ? incoming.baselineFootprintBytes : copy.baselineFootprintBytes;
    copy.baselineFootprintBytes = earlierBaseline ? earlierBaseline : laterBaseline;

    const std::uint64_t peak = std::max({peakOf(copy.immediate), peakOf(incoming.immediate), peakOf(copy.settled)});
    std::optional<std::uint64_t> end = endOf(incoming.immediate);
    if (!end) end = endOf(incoming.settled);
    if (!end) end = endOf(copy.immediate);

    if (end && copy.baselineFootprintBytes) {
        const std::int64_t delta = signedDifference(*end, *copy.baselineFootprintBytes);
        ImpactWindow window;
        window.deltaBytes = delta;
        window.duration = std::max(copy.immediate ? copy.immediate->duration : 0.0,
                                   incoming.immediate ? incoming.immediate->duration : 0.0);
        if (peak > 0) window.peakBytes = peak;
        window.endFootprintBytes = *end;
        copy.immediate = window;
        if (incoming.systemContext) copy.systemContext = incoming.systemContext;
        copy.timestamp = std::max(copy.timestamp, incoming.timestamp);
        copy.isPendingWindows = copy.isPendingWindows || incoming.isPendingWindows;
        for (const auto& link : incoming.linkedActivityIDs)
            if (std::find(copy.linkedActivityIDs.begin(), copy.linkedActivityIDs.end(), link) == copy.linkedActivityIDs.end())
                copy.linkedActivityIDs.push_back(link);
        copy.confidence = strongerConfidence(copy.confidence, incoming.confidence);

        if (tookIncomingText) copy.kind = TimelineEventKind::sustainedGrowth;
        else if (copy.kind != TimelineEventKind::sustainedGrowth)
            copy.kind = delta < 0 ? TimelineEventKind::memoryReleased : TimelineEventKind::largeDelta;
        if (endClimbWithNoGrowthLeft(copy, delta) && change.kind != TimelineEventKind::sustainedGrowth) {
            // The climb's text tells of growth that is gone: the change's own text words it.
            copy.title = change.title;
            copy.explanation = change.explanation;
        }

        if (contains(incoming.explanation, "•") && !contains(copy.explanation, incoming.explanation)) {
            std::string bullets;
            std::size_t start = 0;
            while (start <= incoming.explanation.size()) {
                std::size_t nl = incoming.explanation.find('\n', start);
                if (nl == std::string::npos) nl = incoming.explanation.size();
                const std::string_view line(incoming.explanation.data() + start, nl - start);
                if (line.starts_with("•")) {
                    if (!bullets.empty()) bullets += '\n';
                    bullets += line;
                }
                start = nl + 1;
            }
            if (!bullets.empty()) copy.explanation += "\n" + bullets;
        }
    }

    if (auto pending = pendingFollowUps_.find(incoming.id); pending != pendingFollowUps_.end() && incoming.id != copy.id) {
        FollowUp moved = pending->second;
        moved.eventID = copy.id;
        pendingFollowUps_.erase(pending);
        pendingFollowUps_.insert_or_assign(copy.id, moved);
    }
    return copy;
}

bool TimelineStore::isRepeatDelta(const TimelineEvent& stored, const std::string& appKey, const TimelineEvent& story) {
    return stored.relatedApp && stored.relatedApp->groupingKey == appKey &&
           std::fabs(stored.timestamp - story.timestamp) < mergeSeconds &&
           (stored.kind == TimelineEventKind::largeDelta || stored.kind == TimelineEventKind::memoryReleased);
}

void TimelineStore::registerFollowUp(const TimelineEvent& story, const std::string& appKey, std::uint64_t baseline,
                                     std::uint64_t peak) {
    const TimelineEvent* measured = nullptr;
    for (const auto& stored : events_)
        if (isRepeatDelta(stored, appKey, story)) {
            measured = &stored;
            break;
        }
    // A story merged into a slow climb is measured on the climb's story, which kept the change.
    if (!measured && !find(story.id))
        for (const auto& stored : events_)
            if (isMergeCandidate(stored, appKey, story)) {
                measured = &stored;
                break;
            }
    const Uuid target = measured ? measured->id : story.id;
    if (measured && measured->id != story.id) {
        // Measuring a merged story: its windows describe the whole merged change, so they are
        // measured from its baseline, and the highest footprint seen so far stays the peak.
        if (measured->baselineFootprintBytes) baseline = *measured->baselineFootprintBytes;
        peak = std::max({peak, peakOf(measured->immediate), peakOf(measured->settled)});
        if (auto running = pendingFollowUps_.find(target); running != pendingFollowUps_.end())
            peak = std::max(peak, running->second.peak);
    }
    pendingFollowUps_.insert_or_assign(target, FollowUp{target, appKey, baseline, peak, story.timestamp, false, false});
}

void TimelineStore::updateFollowUps(const std::vector<AppMemorySnapshot>& apps, Date now) {
    if (pendingFollowUps_.empty()) return;
    const auto pending = pendingFollowUps_;
    for (const auto& [id, entry] : pending) {
        FollowUp f = entry;
        // Looked up afresh before each window: the callbacks of an update may change `events`.
        auto storyCopy = [&]() -> std::optional<TimelineEvent> {
            const TimelineEvent* story = find(f.eventID);
            return story ? std::optional<TimelineEvent>(*story) : std::nullopt;
        };
        if (!find(f.eventID)) {
            pendingFollowUps_.erase(id);
            continue;
        }
        auto app = std::find_if(apps.begin(), apps.end(),
                                [&](const AppMemorySnapshot& s) { return s.identity.groupingKey == f.appKey; });
        const bool present = app != apps.end();
        const std::uint64_t current = present ? app->footprintBytes : 0;
        if (present) f.peak = std::max(f.peak, current);

        // A clock set back before the story would hold its follow-up for as long as it went back:
        // time it from now instead.
        if (now < f.createdAt) f.createdAt = now;
        const double elapsed = now - f.createdAt;

        auto window = [&](std::int64_t delta) {
            ImpactWindow w;
            w.deltaBytes = delta;
            w.duration = elapsed;
            w.peakBytes = f.peak;
            w.endFootprintBytes = current;
            return w;
        };

        if (present && !f.immediateDone && elapsed >= immediateAfter) {
            f.immediateDone = true;
            if (auto story = storyCopy()) {
                story->immediate = window(signedDifference(current, f.baseline));
                endClimbWithNoGrowthLeft(*story, story->immediate->deltaBytes);
                update(*story);
            }
        }

        if (!f.settledDone && present && elapsed >= settledAfter) {
            f.settledDone = true;
            if (auto story = storyCopy()) {
                story->settled = window(signedDifference(current, f.baseline));
                story->isPendingWindows = false;
                // A change merged into a slow climb measures that story; it stays the climb's story while
                // the climb stays above where it began.
                if (story->kind != TimelineEventKind::sustainedGrowth)
                    story->kind = current < f.baseline ? TimelineEventKind::memoryReleased : TimelineEventKind::largeDelta;
                endClimbWithNoGrowthLeft(*story, story->settled->deltaBytes);
                update(*story);
            }
        }

        if (f.settledDone && present && elapsed >= longerTermAfter) {
            if (auto story = storyCopy()) {
                const std::uint64_t reference = endOf(story->immediate).value_or(f.baseline);
                const std::int64_t d = signedDifference(current, reference);
                if (byteMagnitude(d) >= longerTermMinimumBytes) {
                    story->longerTerm = window(d);
                    update(*story);
                }
            }
            pendingFollowUps_.erase(id);
            continue;
        }

        pendingFollowUps_.insert_or_assign(id, f);
        if (f.immediateDone && f.settledDone && elapsed > followUpLifetime) pendingFollowUps_.erase(id);
    }
}

void TimelineStore::recordSystemSnapshot(const SystemMemorySnapshot& snapshot) {
    systemHistory_.push_back(snapshot);
    if (systemHistory_.size() > maxSystemHistory)
        systemHistory_.erase(systemHistory_.begin(),
                             systemHistory_.begin() + static_cast<std::ptrdiff_t>(systemHistory_.size() - maxSystemHistory));
    changed();
}

bool TimelineStore::save() {
    const Date cutoff = clock_.now() - retentionWindow;
    std::vector<TimelineEvent> kept;
    kept.reserve(events_.size());
    for (const auto& story : events_)
        if (!(story.timestamp < cutoff)) kept.push_back(story);
    return file_.save(kept);
}

}  // namespace velmora
