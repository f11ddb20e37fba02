#pragma once
#include <array>
#include <optional>
#include <string_view>

#include "engine/sampling/ProcessIdentity.h"
#include "engine/support/Json.h"

namespace velmora {

// The kinds of app the overview and the live chart total memory by.
enum class AppCategory { browser, aiTools, developer, productivity, communication, media, system, velmora, other };

template <>
struct EnumNames<AppCategory> {
    static constexpr std::array<std::string_view, 9> names{"browser", "aiTools",  "developer", "productivity", "communication",
                                                           "media",   "system",   "velmora",   "other"};
};

// An sRGB colour, opacity 1.
struct CategoryColor {
    double red = 0;
    double green = 0;
    double blue = 0;
    bool operator==(const CategoryColor&) const = default;
};

// The kind of an app, from its self flag, grouping key, display name and bundle identifier.
AppCategory categorize(const ProcessIdentity& identity);

// The legend colour of a category; none for `other`, which takes the toolkit's secondary label colour.
std::optional<CategoryColor> color(AppCategory category);

}  // namespace velmora
