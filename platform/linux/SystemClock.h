#pragma once
#include "platform/Clock.h"

namespace velmora {

class SystemClock final : public Clock {
public:
    Date now() const override;
};

}  // namespace velmora
