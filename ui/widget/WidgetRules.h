#pragma once
// What the widget shows, as plain values: the app it follows, its trend and latest spike, the
// system's free memory, the texts and tones. Qt-free, so every rule is tested on its own.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/ChartStoryMark.h"
#include "engine/sampling/AppMemorySnapshot.h"
#include "engine/sampling/FootprintHistory.h"
#include "engine/sampling/SystemMemorySnapshot.h"
#include "ui/widget/FloatingWidgetPreferences.h"
#include "ui/widget/WidgetPanel.h"

namespace velmora {

class AppState;

// The widget's colours by meaning; `dimmed` is the secondary text tone at 30 %.
enum class WidgetTone { orange, green, red, dimmed };

struct WidgetSpike {
    ChartStoryMark mark;
    WidgetTone tone = WidgetTone::orange;  // green only for a negative change
    bool falling = false;                  // the arrow points down and to the right
    std::string amount;                    // signed, e.g. "+380 MB"
    bool operator==(const WidgetSpike&) const = default;
};

struct WidgetSystemFigures {
    std::uint64_t freeBytes = 0;
    std::uint64_t totalBytes = 0;
    int freePercent = 0;  // whole percent, halves away from zero
    bool operator==(const WidgetSystemFigures&) const = default;
};

// What the view reads from the application state for one redraw.
struct WidgetInput {
    std::optional<AppMemorySnapshot> shownApp;
    std::vector<FootprintHistory::Point> history;  // the shown app's samples, any age
    std::vector<ChartStoryMark> marks;             // the shown app's charted stories, any age
    std::optional<SystemMemorySnapshot> system;
    Date now;
    std::int64_t trendRangeMinutes = 15;
};

struct WidgetFigures {
    Date windowStart;
    std::vector<double> trendPoints;  // change since the first kept sample
    std::vector<Date> trendDates;     // one per point
    std::vector<ChartStoryMark> trendMarks;
    std::optional<WidgetSpike> latestSpike;
    double usageFraction = 0;
    std::optional<WidgetSystemFigures> system;
    bool isCriticalMemory = false;
    WidgetTone accent = WidgetTone::dimmed;  // the card's top bar and the strip's capsule
    WidgetTone trend = WidgetTone::orange;   // the sparkline, usage bar and the bar's stripe
};

// The pinned app while it runs (none once it has quit), else the app in front.
std::optional<AppMemorySnapshot> widgetShownApp(const AppState& state, const FloatingWidgetPreferences& prefs);
WidgetInput widgetInput(const AppState& state, const FloatingWidgetPreferences& prefs, Date now);
WidgetFigures widgetFigures(const WidgetInput& input);

// At most 5 % of physical memory free; never without a reading or with a total of 0.
bool isCriticalMemory(const std::optional<SystemMemorySnapshot>& system);
WidgetSpike widgetSpike(const ChartStoryMark& mark);
// "just now" under a minute (and for a date after `now`), else whole minutes: "1m ago".
std::string timeAgoText(Date date, Date now);

// Texts of the card and the bar.
std::string widgetAppName(const std::optional<AppMemorySnapshot>& app);            // "Velmora" for none
std::string widgetDockCaption(const std::optional<AppMemorySnapshot>& app);        // "Focused app"
std::string missingAppNote(const FloatingWidgetPreferences& prefs);                // pinned or not
std::string cardTrendTitle(std::int64_t minutes);                                  // "TREND · LAST 15 MIN"
std::string dockTrendTitle(std::int64_t minutes);                                  // "TREND · 15M"
std::string noSpikeText(std::int64_t minutes, bool docked);
std::string cardSystemLine(const WidgetSystemFigures& figures);                    // "A free of T"
std::string cardSystemPercent(const WidgetSystemFigures& figures);                 // "12% free"
std::string dockSystemFree(const WidgetSystemFigures& figures);                    // "A free"
std::string dockSystemTotal(const WidgetSystemFigures& figures);                   // "of T · 12%"
extern const char* const lowMemoryWarning;

// One entry of the settings' "Show" list; no key follows the app in front.
struct WidgetShowOption {
    std::optional<std::string> key;
    std::string label;
    bool operator==(const WidgetShowOption&) const = default;
};
// "Focused app", then the widget's apps in their order, with Velmora itself always among them
// (in place of the last entry when the list is full), and the pin when the list leaves it out.
std::vector<WidgetShowOption> widgetShowOptions(const std::vector<AppMemorySnapshot>& widgetApps,
                                                const std::vector<AppMemorySnapshot>& allApps,
                                                const std::optional<std::string>& pinnedAppKey);
inline constexpr std::size_t widgetShowLimit = 15;

// The card's new frame after the compact or system-memory switch: same top-left corner, the
// size of the table. None for a docked bar.
std::optional<WidgetRect> cardFrameKeepingTopLeft(const WidgetRect& current, const FloatingWidgetPreferences& prefs);

}  // namespace velmora
