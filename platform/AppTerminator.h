#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace velmora {

// Asking other applications to quit, politely (they may refuse).
class AppTerminator {
public:
    virtual ~AppTerminator() = default;
    // The running applications with this desktop-entry id, by pid.
    virtual std::vector<std::int32_t> applicationsWithBundleID(const std::string& bundleID) = 0;
    // Whether the pid is a running application of the desktop session.
    virtual bool isRunningApplication(std::int32_t pid) = 0;
    // Asks it to quit; false when the request could not be delivered or was refused.
    virtual bool terminate(std::int32_t pid) = 0;
};

}  // namespace velmora
