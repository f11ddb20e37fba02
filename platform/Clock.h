#pragma once
#include "engine/support/Date.h"

namespace velmora {

class Clock {
public:
    virtual ~Clock() = default;
    virtual Date now() const = 0;
};

}  // namespace velmora
