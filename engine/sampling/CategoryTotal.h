#pragma once
#include <cstdint>
#include <vector>

#include "engine/sampling/AppCategory.h"
#include "engine/sampling/AppMemorySnapshot.h"

namespace velmora {

// One kind of app's share of a sample.
struct CategoryTotal {
    AppCategory category = AppCategory::other;
    std::uint64_t totalBytes = 0;
    std::vector<AppMemorySnapshot> apps;  // largest footprint first

    std::string_view id() const { return rawValue(category); }
    bool operator==(const CategoryTotal&) const = default;

    // One total per category that has apps, largest total first.
    static std::vector<CategoryTotal> totals(const std::vector<AppMemorySnapshot>& snapshots);
};

}  // namespace velmora
