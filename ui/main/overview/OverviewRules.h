#pragma once
// The overview's numbers: the stacked bar's segment widths and the category rows' texts. Qt-free.
#include <cstdint>
#include <string>
#include <vector>

#include "engine/sampling/CategoryTotal.h"

namespace velmora {

// Segment widths for `totals` in a bar `width` wide with `gap` between segments: the gaps and the
// `minWidth` floors come out of the width first, so the segments and gaps never exceed it.
std::vector<double> stackedBarWidths(const std::vector<std::uint64_t>& totals, double width, double gap = 1.5,
                                     double minWidth = 2.0);

struct CategoryRow {
    AppCategory category = AppCategory::other;
    std::string title;    // "Browsers"
    std::string members;  // the first three friendly names, ", "-joined
    std::vector<std::string> memberNames;  // the same names, one by one
    std::string bytes;
    std::string share;  // "42%"
};

std::string categoryTitle(AppCategory category);
// The grand total saturates, so absurd sizes cannot wrap round to a small one.
std::uint64_t grandTotal(const std::vector<CategoryTotal>& totals);
std::vector<CategoryRow> categoryRows(const std::vector<CategoryTotal>& totals);

}  // namespace velmora
