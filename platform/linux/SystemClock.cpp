#include "platform/linux/SystemClock.h"

#include <chrono>

namespace velmora {

Date SystemClock::now() const {
    const auto since = std::chrono::system_clock::now().time_since_epoch();
    return Date::fromUnix(std::chrono::duration<double>(since).count());
}

}  // namespace velmora
