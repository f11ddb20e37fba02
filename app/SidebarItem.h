#pragma once
#include <array>
#include <string_view>

#include "engine/support/Json.h"

namespace velmora {

// The main window's sections, in sidebar order; raw values are the case names.
enum class SidebarItem { overview, timeline, liveChart, measure, apps, trends, settings, developer };

template <>
struct EnumNames<SidebarItem> {
    static constexpr std::array<std::string_view, 8> names{"overview", "timeline", "liveChart", "measure",
                                                           "apps",     "trends",   "settings",  "developer"};
};

}  // namespace velmora
