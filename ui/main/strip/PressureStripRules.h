#pragma once
// What the system pressure strip says about one system snapshot. Qt-free.
#include <cstdint>
#include <optional>
#include <string>

#include "engine/sampling/SystemMemorySnapshot.h"

namespace velmora {

struct PressureStripText {
    std::optional<MemoryPressureLevel> level;  // none: the secondary colour
    std::string headline;
    std::string explanation;
    std::string summary;  // read aloud for the whole strip: headline ". " explanation
    // The figures on the right; absent before the first sample and when the reading failed.
    struct Figures {
        int usedPercent = 0;
        double fillFraction = 0;  // the bar, unrounded
        std::string usedText;     // "38% used"
        std::string freeText;     // "A free of T"
        std::optional<std::string> diskText;  // "Disk memory S" above 50 MiB of swap
        std::string spoken;       // "N percent used, A free of T total"
        bool operator==(const Figures&) const = default;
    };
    std::optional<Figures> figures;
    bool operator==(const PressureStripText&) const = default;
};

// (total − available) / total in doubles, held to 0…1; 0 when the total is 0.
double usedFraction(std::uint64_t totalBytes, std::uint64_t availableBytes);
// The fraction as a whole percentage, halves away from zero.
int usedPercent(std::uint64_t totalBytes, std::uint64_t availableBytes);

// A snapshot whose kernel read failed keeps its headline but shows no figures: its zeros would
// read as "100% used, 0 bytes free".
PressureStripText pressureStripText(const std::optional<SystemMemorySnapshot>& snapshot);

}  // namespace velmora
