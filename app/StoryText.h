#pragma once
#include <cstdint>
#include <string>

#include "engine/support/Date.h"

namespace velmora {

// Whole minutes from start to end, truncated, at least 1.
long long storyMinutes(Date start, Date end);
// Decimal text of an integer, independent of the locale.
std::string decimalText(long long value);

}  // namespace velmora
