#pragma once
#include <string>

#include "engine/support/Date.h"

namespace velmora {

// What was on screen around a memory change, in one or two plain sentences.
struct VisualChangeDescription {
    std::string summary;  // never empty
    Date timestamp;
    bool operator==(const VisualChangeDescription&) const = default;
};

}  // namespace velmora
