#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace velmora {

class ProcessSource;
class DesktopSession;

// One flat list of every process, with the desktop session's applications merged in.
struct ProcessEnumerator {
    struct RawProcess {
        std::int32_t pid = 0;
        std::string name;
        std::optional<std::string> bundleID;
        std::uint64_t footprintBytes = 0;
        std::optional<std::uint64_t> compressedBytes;
        std::int32_t parentPID = 0;
        bool isApp = false;
        bool isActive = false;
        bool operator==(const RawProcess&) const = default;
    };

    static std::vector<RawProcess> enumerate(ProcessSource& processes, DesktopSession& desktop);
};

using RawProcess = ProcessEnumerator::RawProcess;

}  // namespace velmora
