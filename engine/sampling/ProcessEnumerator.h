#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/DesktopSession.h"

namespace velmora {

class ProcessSource;

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
        // Where it runs from: a helper that no parent ties to its app is known by its folder.
        std::optional<std::string> executablePath;
        bool operator==(const RawProcess&) const = default;
    };

    // The desktop application each process was first resolved to (by its window or by the
    // desktop entry it was launched from), kept while the process lives.
    struct KnownApplication {
        std::optional<std::uint64_t> startTime;
        RunningApplication application;
        bool seen = false;  // in the sample being enumerated
    };
    using KnownApplications = std::unordered_map<std::int32_t, KnownApplication>;

    static std::vector<RawProcess> enumerate(ProcessSource& processes, DesktopSession& desktop,
                                             KnownApplications* known = nullptr);
    // The same list written over `out`, whose strings are reused: a sampler that keeps it between
    // samples allocates next to nothing for the processes it saw before.
    static void enumerate(ProcessSource& processes, DesktopSession& desktop, KnownApplications* known,
                          std::vector<RawProcess>& out);
};

using RawProcess = ProcessEnumerator::RawProcess;

}  // namespace velmora
