#pragma once
#include <cstdint>

#include "engine/support/Date.h"
#include "engine/support/Uuid.h"

namespace velmora {

// One story drawn on a chart.
struct ChartStoryMark {
    Uuid id;
    Date date;
    std::int64_t deltaBytes = 0;
    bool operator==(const ChartStoryMark&) const = default;
};

}  // namespace velmora
