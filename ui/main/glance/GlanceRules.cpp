#include "app/AppState.h"
#include "ui/main/glance/GlanceRules.h"

#include "engine/stories/Phrasing.h"
#include "engine/support/ByteMath.h"
#include "platform/Clock.h"

namespace velmora {

namespace {
constexpr std::uint64_t flatBelow = 1'048'576;
}

std::string glanceDeltaLabel(const std::vector<std::uint64_t>& bytes) {
    if (bytes.size() < 2) return " ";
    const std::int64_t delta = signedDifference(bytes.back(), bytes.front());
    if (byteMagnitude(delta) < flatBelow) return "flat";
    return formatSignedBytes(delta);
}

GlanceCard glanceCard(std::string title, const std::vector<std::pair<Date, std::uint64_t>>& series,
                      std::vector<ChartStoryMark> marks, Date windowStart, Date windowEnd) {
    GlanceCard card;
    card.title = std::move(title);
    std::vector<std::uint64_t> bytes;
    bytes.reserve(series.size());
    for (const auto& point : series) bytes.push_back(point.second);
    card.value = bytes.empty() ? "\u2014" : formatBytes(bytes.back());
    card.trend = glanceDeltaLabel(bytes);
    card.trendColoured = card.trend.starts_with("+") || card.trend.starts_with("\u2212") || card.trend.starts_with("-");
    card.line.values.reserve(series.size());
    card.line.dates.reserve(series.size());
    for (const auto& [date, value] : series) {
        // Computed in doubles: bytes of two samples may lie further apart than a signed count holds.
        card.line.values.push_back(static_cast<double>(value) - static_cast<double>(bytes.front()));
        card.line.dates.push_back(date);
    }
    card.line.marks = std::move(marks);
    card.line.windowStart = windowStart;
    card.line.windowEnd = windowEnd;
    return card;
}

GlanceCharts glanceCharts(const AppState& state) {
    const Date end = state.dependencies().clock.now();
    const Date start = end - AppState::chartWindowSeconds;
    const auto marks = state.recentStoryMarks();
    std::vector<std::pair<Date, std::uint64_t>> app;
    for (const auto& point : state.topAppSeries()) app.emplace_back(point.date, point.footprintBytes);
    const auto top = state.topApp();
    return {glanceCard("Free on computer", state.recentSystemSnapshots(), marks, start, end),
            glanceCard(top ? friendlyAppName(top->identity.displayName) : "Heaviest app", app, marks, start, end)};
}

}  // namespace velmora
