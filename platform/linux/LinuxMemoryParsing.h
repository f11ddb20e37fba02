#pragma once
// Pure parsers of the kernel's memory texts and the pressure classifier, fed strings by tests.
#include <cstdint>
#include <optional>
#include <string_view>

#include "engine/sampling/SystemMemorySnapshot.h"

namespace velmora::linuxmem {

// The /proc/meminfo lines the snapshot needs, in bytes; each absent when missing.
struct Meminfo {
    std::optional<std::uint64_t> memTotal;
    std::optional<std::uint64_t> memFree;
    std::optional<std::uint64_t> activeFile;
    std::optional<std::uint64_t> inactiveFile;
    std::optional<std::uint64_t> swapTotal;
    std::optional<std::uint64_t> swapFree;
    std::optional<std::uint64_t> zswap;  // only on kernels built with zswap
};
Meminfo parseMeminfo(std::string_view text);

// Free memory plus clean file pages; absent when a part is missing.
std::optional<std::uint64_t> availableBytes(const Meminfo& m);
// SwapTotal − SwapFree, 0 when the two disagree; absent when a part is missing.
std::optional<std::uint64_t> swapUsedBytes(const Meminfo& m);

// mem_used_total, the third field of /sys/block/zramN/mm_stat (bytes).
std::optional<std::uint64_t> parseZramMemoryUsed(std::string_view mmStat);

// /sys/devices/system/memory/block_size_bytes: the size of a memory block, in hexadecimal
// without a prefix ("8000000" is 128 MiB). Nothing for zero, overflow or anything else.
std::optional<std::uint64_t> parseBlockSize(std::string_view text);

// The 10-second averages of /proc/pressure/memory, in percent of wall time.
struct PsiAverages {
    double some = 0;  // some task stalled on memory
    double full = 0;  // every runnable task stalled on memory
    bool operator==(const PsiAverages&) const = default;
};
// Needs the "some" line; a missing "full" line (older kernels) counts as 0.
std::optional<PsiAverages> parsePsi(std::string_view text);

// What the pressure level is judged from; each input may be missing.
struct PressureInputs {
    std::optional<PsiAverages> psi;
    std::optional<std::uint64_t> availableBytes;
    std::optional<std::uint64_t> totalBytes;
};

// Judges the pressure level from stall times and the available-memory floors. Each level is
// entered at one threshold and left only past a gentler one, so a reading that hovers near a
// threshold does not make the level flap from sample to sample.
class PressureClassifier {
public:
    // Stalls of a tenth of the time are felt as sluggishness.
    static constexpr double psiWarningEnter = 10.0;
    static constexpr double psiWarningLeave = 5.0;
    // Every task stalled a tenth of the time is thrashing.
    static constexpr double psiCriticalEnter = 10.0;
    static constexpr double psiCriticalLeave = 5.0;
    // Under a tenth of memory left, the kernel starts reclaiming in earnest.
    static constexpr double availableWarningEnter = 0.10;
    static constexpr double availableWarningLeave = 0.15;
    // Under a twentieth left, the next allocation burst meets the out-of-memory killer.
    static constexpr double availableCriticalEnter = 0.05;
    static constexpr double availableCriticalLeave = 0.08;

    // The new level; nothing (and no change) when no input could be read.
    std::optional<MemoryPressureLevel> update(const PressureInputs& inputs);
    MemoryPressureLevel level() const { return level_; }

private:
    MemoryPressureLevel level_ = MemoryPressureLevel::normal;
};

}  // namespace velmora::linuxmem
