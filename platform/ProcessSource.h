#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace velmora {

// What the kernel says about one user-space process. Each field is absent when its read failed.
struct ProcessReading {
    std::int32_t pid = 0;
    std::optional<std::string> executablePath;
    std::optional<std::string> shortName;  // the kernel's short name
    std::optional<std::int32_t> parentPid;
    // Anonymous memory resident and swapped, plus its share of shared anonymous memory (memfd, shm);
    // pages a fork without exec shares copy-on-write count in proportion, so that the footprints of
    // a process and its forks add up to the kernel's proportional sums (Pss_Anon + SwapPss + Pss_Shmem).
    std::optional<std::uint64_t> footprintBytes;
    // With the pid it names one process: a later process with the same pid has another.
    std::optional<std::uint64_t> startTime;
    // The name the program was started under when that is a link to the executable under another
    // name (Debian's redis-server → redis-check-rdb, php → php8.2).
    std::optional<std::string> launchName;
    // The desktop-file id a launcher started this very process from, as its environment says
    // (read once per process, and only for the user's own processes).
    std::optional<std::string> launchedDesktopFile;
};

// Every process of the machine, in the kernel's order. Kernel threads are left out, and a
// process that vanishes while it is read is skipped, as is one whose folder refuses every read
// (other users' processes under hidepid), which tells nothing but its pid. An empty list when
// the list itself fails. The list stays the source's, valid until the next read.
class ProcessSource {
public:
    virtual ~ProcessSource() = default;
    virtual const std::vector<ProcessReading>& readProcesses() = 0;
};

}  // namespace velmora
