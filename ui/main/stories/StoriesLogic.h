#pragma once
// What the Stories page shows, without the toolkit: which stories are worth a row, the three
// filters, the app choices, and the texts and tones of a row and of the detail.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/stories/TimelineEvent.h"

namespace velmora::stories {

// The impact label of whole-machine stories; the stress filter matches this same constant.
inline constexpr std::string_view computerStatus = "Computer status";

enum class ImpactFilter { all, helps, tiny, smallHit, worthWatching, stress };
inline constexpr std::array<ImpactFilter, 6> allImpactFilters{ImpactFilter::all,      ImpactFilter::helps,
                                                              ImpactFilter::tiny,     ImpactFilter::smallHit,
                                                              ImpactFilter::worthWatching, ImpactFilter::stress};
std::string_view title(ImpactFilter filter);
std::string_view rawValue(ImpactFilter filter);
// Exact case names only.
std::optional<ImpactFilter> impactFilterFromRaw(std::string_view raw);
bool matches(ImpactFilter filter, std::string_view label);

// One word or phrase for what a story did to the machine.
std::string impactLabel(const TimelineEvent& story);

// Whether a story earns a row at all: activity records, noise, no change and small changes under
// normal pressure are left out. Measurements the user asked for always stay.
bool isVisible(const TimelineEvent& story);

struct Filters {
    std::string search;
    std::optional<std::string> appKey;
    ImpactFilter impact = ImpactFilter::all;

    // Any filter narrows the list (a search of spaces counts).
    bool active() const { return !search.empty() || appKey || impact != ImpactFilter::all; }
    bool operator==(const Filters&) const = default;
};

// The lower-cased "title explanation app" text a search looks in.
std::string searchHaystack(const TimelineEvent& story);
bool matchesFilters(const TimelineEvent& story, const Filters& filters);
// The same, with the haystack already built (the page keeps one per story).
bool matchesFilters(const TimelineEvent& story, const std::string& haystack, const Filters& filters);

struct AppOption {
    std::string key;
    std::string name;
    bool operator==(const AppOption&) const = default;
};
// One choice per app of the given stories (the later story's name wins), sorted by name in the
// user's locale, ignoring case.
std::vector<AppOption> appOptions(const std::vector<const TimelineEvent*>& visible);
// The picker's items: the options, and the chosen app after them while it is no longer among
// them, so a narrowed list never shows under "All apps".
std::vector<AppOption> pickerOptions(std::vector<AppOption> options, const std::optional<AppOption>& chosen);

bool showsExtensionNudge(bool extensionEverConnected, bool nudgeDismissed, int lowConfidenceBrowserStories);

// Colours by meaning; the view turns them into the palette.
enum class Tone { primary, secondary, green, orange, yellow, red };
// A verdict level's colour: 0 green, 1–2 secondary, 3 yellow, 4–5 red.
Tone verdictTone(int level);

enum class RowSymbol { up, down, gauge };

struct RowModel {
    std::string deltaText;
    Tone deltaTone = Tone::primary;
    std::optional<std::string> totalText;  // "now 1.2 GB"
    RowSymbol symbol = RowSymbol::up;
    Tone accent = Tone::orange;
    double share = 0;  // of physical memory after the change, 0…1
    std::string summary;
    Tone summaryTone = Tone::secondary;
    std::optional<std::string> subtitle;
    std::string sourceLabel;
    std::string accessibleText;
    bool operator==(const RowModel&) const = default;
};
RowModel rowModel(const TimelineEvent& story);

struct DetailModel {
    std::int64_t delta = 0;
    std::string deltaText;
    bool deltaGreen = false;
    std::string cardLabel;
    std::string cardReason;
    Tone tone = Tone::secondary;
    bool offersQuit = false;
    std::optional<std::string> headline;
    std::optional<std::string> spikeLine;
    std::optional<std::string> freeLine;
    std::vector<SensorSource> badges;  // primary, then at most four supporting
    std::string sourceExplanation;
};
DetailModel detailModel(const TimelineEvent& story);

// How far the app briefly rose above its baseline, when that peak stands clearly above where the
// story settled; nothing otherwise.
std::optional<std::int64_t> spikeAboveSettled(const TimelineEvent& story, std::int64_t delta);

}  // namespace velmora::stories
