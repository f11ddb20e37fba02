#include "ui/main/overview/OverviewRules.h"

#include <algorithm>
#include <cmath>

#include "engine/stories/Phrasing.h"
#include "engine/support/ByteMath.h"

namespace velmora {

std::vector<double> stackedBarWidths(const std::vector<std::uint64_t>& totals, double width, double gap,
                                     double minWidth) {
    const std::size_t k = totals.size();
    std::vector<double> out(k, 0.0);
    if (k == 0 || width <= 0) return out;
    const double avail = std::max(0.0, width - gap * static_cast<double>(k - 1));
    // A column too narrow for every floor: equal shares of what is there.
    if (minWidth * static_cast<double>(k) >= avail) {
        std::fill(out.begin(), out.end(), avail / static_cast<double>(k));
        return out;
    }
    std::vector<bool> floored(k, false);
    // Floor the smallest shares one round at a time; the rest share what the floors leave.
    for (;;) {
        double freeWidth = avail;
        double freeTotal = 0;
        for (std::size_t i = 0; i < k; ++i) {
            if (floored[i]) freeWidth -= minWidth;
            else freeTotal += static_cast<double>(totals[i]);
        }
        bool changed = false;
        for (std::size_t i = 0; i < k; ++i) {
            if (floored[i]) {
                out[i] = minWidth;
                continue;
            }
            const double share = freeTotal > 0 ? static_cast<double>(totals[i]) / freeTotal : 0.0;
            out[i] = share * freeWidth;
            if (out[i] < minWidth) {
                floored[i] = true;
                changed = true;
            }
        }
        if (!changed) break;
    }
    return out;
}

std::string categoryTitle(AppCategory category) {
    switch (category) {
        case AppCategory::browser: return "Browsers";
        case AppCategory::aiTools: return "AI Tools";
        case AppCategory::developer: return "Developer Tools";
        case AppCategory::productivity: return "Productivity";
        case AppCategory::communication: return "Communication";
        case AppCategory::media: return "Media";
        case AppCategory::system: return "System & Utilities";
        case AppCategory::velmora: return "Velmora";
        case AppCategory::other: break;
    }
    return "Other";
}

std::uint64_t grandTotal(const std::vector<CategoryTotal>& totals) {
    std::uint64_t sum = 0;
    for (const auto& t : totals) sum = saturatingAdd(sum, t.totalBytes);
    return sum;
}

std::vector<CategoryRow> categoryRows(const std::vector<CategoryTotal>& totals) {
    const std::uint64_t grand = grandTotal(totals);
    std::vector<CategoryRow> rows;
    for (const auto& t : totals) {
        CategoryRow row;
        row.category = t.category;
        row.title = categoryTitle(t.category);
        for (std::size_t i = 0; i < t.apps.size() && i < 3; ++i) {
            if (i) row.members += ", ";
            row.memberNames.push_back(friendlyAppName(t.apps[i].identity.displayName));
            row.members += row.memberNames.back();
        }
        row.bytes = formatBytes(t.totalBytes);
        const double share =
            grand == 0 ? 0.0 : static_cast<double>(t.totalBytes) / static_cast<double>(grand) * 100.0;
        row.share = std::to_string(std::lround(share)) + "%";
        rows.push_back(std::move(row));
    }
    return rows;
}

}  // namespace velmora
