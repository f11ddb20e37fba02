#pragma once
#include <optional>
#include <string>

namespace velmora {

// Copies the running application into the user's own folders and starts the copy; the running
// instance quits shortly after the copy has opened.
class StableInstaller {
public:
    virtual ~StableInstaller() = default;
    // None on success, else the reason, for "Install failed: " + reason.
    virtual std::optional<std::string> installAndRelaunch() = 0;
};

}  // namespace velmora
