#include "engine/sampling/CategoryTotal.h"

#include <algorithm>
#include <array>

namespace velmora {

std::vector<CategoryTotal> CategoryTotal::totals(const std::vector<AppMemorySnapshot>& snapshots) {
    constexpr std::size_t count = EnumNames<AppCategory>::names.size();
    std::array<std::vector<const AppMemorySnapshot*>, count> members;
    for (const auto& s : snapshots) members[static_cast<std::size_t>(categorize(s.identity))].push_back(&s);

    std::vector<CategoryTotal> out;
    for (std::size_t c = 0; c < count; ++c) {
        auto& list = members[c];
        if (list.empty()) continue;
        std::stable_sort(list.begin(), list.end(), [](const auto* a, const auto* b) {
            return a->footprintBytes > b->footprintBytes;
        });
        CategoryTotal total;
        total.category = static_cast<AppCategory>(c);
        total.apps.reserve(list.size());
        for (const auto* s : list) {
            total.totalBytes = s->footprintBytes > UINT64_MAX - total.totalBytes ? UINT64_MAX
                                                                                  : total.totalBytes + s->footprintBytes;
            total.apps.push_back(*s);
        }
        out.push_back(std::move(total));
    }
    std::stable_sort(out.begin(), out.end(), [](const auto& a, const auto& b) { return a.totalBytes > b.totalBytes; });
    return out;
}

}  // namespace velmora
