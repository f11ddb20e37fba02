#pragma once
#include <optional>

namespace velmora {

// How long the user has not touched any input device.
class IdleTimeSource {
public:
    virtual ~IdleTimeSource() = default;
    // Seconds since the last keyboard, pointer or other input event; absent when the desktop
    // cannot say (no display).
    virtual std::optional<double> secondsSinceLastInput() = 0;
};

}  // namespace velmora
