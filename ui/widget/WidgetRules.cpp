#include "ui/widget/WidgetRules.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "app/AppState.h"
#include "engine/stories/Phrasing.h"
#include "ui/widget/FloatingWidgetController.h"

namespace velmora {

namespace {

constexpr std::uint64_t largestSigned = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());

std::string bytes(std::uint64_t count) { return formatBytes(std::min(count, largestSigned)); }

double windowSeconds(std::int64_t minutes) { return static_cast<double>(minutes) * 60.0; }

}  // namespace

const char* const lowMemoryWarning = "Computer is almost out of memory \u2014 closing a heavy app can help.";

std::optional<AppMemorySnapshot> widgetShownApp(const AppState& state, const FloatingWidgetPreferences& prefs) {
    if (prefs.pinnedAppKey) return state.appSnapshot(*prefs.pinnedAppKey);
    return state.foregroundApp();
}

WidgetInput widgetInput(const AppState& state, const FloatingWidgetPreferences& prefs, Date now) {
    WidgetInput in;
    in.shownApp = widgetShownApp(state, prefs);
    in.system = state.sampler->systemSnapshot();
    in.now = now;
    in.trendRangeMinutes = prefs.trendRangeMinutes;
    if (in.shownApp) {
        const Date start = now - windowSeconds(prefs.trendRangeMinutes);
        const auto& key = in.shownApp->identity.groupingKey;
        in.history = state.footprintSeries(in.shownApp->identity, start).second;
        in.marks = state.storyMarks(key, start);
    }
    return in;
}

bool isCriticalMemory(const std::optional<SystemMemorySnapshot>& system) {
    if (!system || system->readFailed || system->totalPhysicalBytes == 0) return false;
    return static_cast<double>(system->availableBytes) / static_cast<double>(system->totalPhysicalBytes) <= 0.05;
}

WidgetSpike widgetSpike(const ChartStoryMark& mark) {
    const bool falling = mark.deltaBytes < 0;
    return {mark, falling ? WidgetTone::green : WidgetTone::orange, falling, formatSignedBytes(mark.deltaBytes)};
}

WidgetFigures widgetFigures(const WidgetInput& in) {
    WidgetFigures f;
    f.windowStart = in.now - windowSeconds(in.trendRangeMinutes);
    if (in.shownApp) {
        std::optional<double> first;
        for (const auto& p : in.history) {
            if (p.date < f.windowStart) continue;
            const double value = static_cast<double>(p.footprintBytes);
            if (!first) first = value;
            f.trendPoints.push_back(value - *first);
            f.trendDates.push_back(p.date);
        }
        for (const auto& m : in.marks)
            if (m.date >= f.windowStart) f.trendMarks.push_back(m);
        const ChartStoryMark* latest = nullptr;
        for (const auto& m : f.trendMarks)
            if (!latest || m.date > latest->date) latest = &m;
        if (latest) f.latestSpike = widgetSpike(*latest);
    }
    const bool systemKnown = in.system && !in.system->readFailed && in.system->totalPhysicalBytes > 0;
    if (systemKnown) {
        const double total = static_cast<double>(in.system->totalPhysicalBytes);
        const double available = static_cast<double>(in.system->availableBytes);
        f.system = WidgetSystemFigures{in.system->availableBytes, in.system->totalPhysicalBytes,
                                       static_cast<int>(std::lround(available / total * 100.0))};
        if (in.shownApp)
            f.usageFraction = std::clamp(static_cast<double>(in.shownApp->footprintBytes) / total, 0.0, 1.0);
    }
    f.isCriticalMemory = isCriticalMemory(in.system);
    const bool shrank = !f.trendPoints.empty() && f.trendPoints.back() < f.trendPoints.front();
    f.trend = shrank ? WidgetTone::green : WidgetTone::orange;
    if (f.isCriticalMemory) f.accent = WidgetTone::red;
    else if (!f.trendPoints.empty()) f.accent = f.trend;
    else f.accent = in.shownApp ? WidgetTone::orange : WidgetTone::dimmed;
    return f;
}

std::string timeAgoText(Date date, Date now) {
    const double seconds = std::trunc(now - date);
    if (!(seconds >= 60)) return "just now";  // also a date ahead of now, or no number at all
    const double minutes = std::min(std::floor(seconds / 60), 1e15);
    return std::to_string(static_cast<std::int64_t>(minutes)) + "m ago";
}

std::string widgetAppName(const std::optional<AppMemorySnapshot>& app) {
    return app ? friendlyAppName(app->identity.displayName) : "Velmora";
}

std::string widgetDockCaption(const std::optional<AppMemorySnapshot>& app) {
    return app ? "Focused app" : "No app in focus";
}

std::string missingAppNote(const FloatingWidgetPreferences& prefs) {
    return prefs.pinnedAppKey ? "Pinned app isn't running" : "No app in focus";
}

std::string cardTrendTitle(std::int64_t minutes) { return "TREND \u00B7 LAST " + std::to_string(minutes) + " MIN"; }

std::string dockTrendTitle(std::int64_t minutes) { return "TREND \u00B7 " + std::to_string(minutes) + "M"; }

std::string noSpikeText(std::int64_t minutes, bool docked) {
    if (docked) return "No spikes recently";
    return "No significant spikes in the last " + std::to_string(minutes) + " min";
}

std::string cardSystemLine(const WidgetSystemFigures& f) { return bytes(f.freeBytes) + " free of " + bytes(f.totalBytes); }

std::string cardSystemPercent(const WidgetSystemFigures& f) { return std::to_string(f.freePercent) + "% free"; }

std::string dockSystemFree(const WidgetSystemFigures& f) { return bytes(f.freeBytes) + " free"; }

std::string dockSystemTotal(const WidgetSystemFigures& f) {
    return "of " + bytes(f.totalBytes) + " \u00B7 " + std::to_string(f.freePercent) + "%";
}

std::vector<WidgetShowOption> widgetShowOptions(const std::vector<AppMemorySnapshot>& widgetApps,
                                                const std::vector<AppMemorySnapshot>& allApps,
                                                const std::optional<std::string>& pinnedAppKey) {
    std::vector<const AppMemorySnapshot*> apps;
    for (const auto& a : widgetApps) {
        if (apps.size() == widgetShowLimit) break;
        apps.push_back(&a);
    }
    const bool selfListed = std::any_of(apps.begin(), apps.end(), [](auto* a) { return a->identity.isSelf; });
    if (!selfListed) {
        auto self = std::find_if(allApps.begin(), allApps.end(), [](const auto& a) { return a.identity.isSelf; });
        if (self != allApps.end()) {
            if (apps.size() == widgetShowLimit) apps.back() = &*self;
            else apps.push_back(&*self);
        }
    }
    std::vector<WidgetShowOption> out{{std::nullopt, "Focused app"}};
    bool pinListed = !pinnedAppKey;
    for (const auto* a : apps) {
        out.push_back({a->identity.groupingKey,
                       a->identity.isSelf ? "Velmora (this app)" : friendlyAppName(a->identity.displayName)});
        pinListed |= pinnedAppKey == a->identity.groupingKey;
    }
    if (!pinListed) {
        auto pinned = std::find_if(allApps.begin(), allApps.end(),
                                   [&](const auto& a) { return a.identity.groupingKey == *pinnedAppKey; });
        out.push_back({pinnedAppKey, pinned == allApps.end() ? "Pinned app isn't running"
                                                             : friendlyAppName(pinned->identity.displayName)});
    }
    return out;
}

std::optional<WidgetRect> cardFrameKeepingTopLeft(const WidgetRect& current, const FloatingWidgetPreferences& prefs) {
    if (prefs.placement != WidgetPlacement::floating) return std::nullopt;
    const WidgetRect size = widgetPanelSize(prefs, false);
    return WidgetRect{current.x, current.y, size.width, size.height};
}

}  // namespace velmora
