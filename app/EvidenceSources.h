#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "engine/stories/SensorSource.h"

namespace velmora {

// The badge labels of the sources, joined by `separator`.
std::string joinSourceLabels(const std::vector<SensorSource>& sources, std::string_view separator);

}  // namespace velmora
