#include "engine/sampling/CategoryTotal.h"

#include <algorithm>
#include <array>

namespace velmora {

std::vector<CategoryTotal> CategoryTotal::totals(const std::vector<AppMemorySnapshot>& snapshots) {
    constexpr std::size_t count = EnumNames<AppCategory>::names.size();
    std::array<std::vector<const AppMemorySnapshot*>, count> members;
    // Categories in the order their first app came, so equal totals keep a stable order.
    std::vector<std::size_t> order;
    for (const auto& s : snapshots) {
        const auto c = static_cast<std::size_t>(categorize(s.identity));
        if (members[c].empty()) order.push_back(c);
        members[c].push_back(&s);
    }

    std::vector<CategoryTotal> out;
    out.reserve(order.size());
    for (const std::size_t c : order) {
        auto& list = members[c];
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
