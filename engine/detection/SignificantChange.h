#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "engine/sampling/ProcessIdentity.h"
#include "engine/sampling/SystemMemorySnapshot.h"
#include "engine/support/Date.h"
#include "engine/support/Uuid.h"

namespace velmora {

// A confirmed change: one app grew or released a lot, or the whole machine changed pressure
// level or started swapping fast. Not stored; stories are built from it.
struct SignificantChange {
    struct Kind {
        enum class Case { pressureTransition, swapSpike, largeGrowth, largeRelease };

        Case which = Case::largeGrowth;
        // Payload of pressureTransition.
        MemoryPressureLevel from = MemoryPressureLevel::normal;
        MemoryPressureLevel to = MemoryPressureLevel::normal;
        // Payload of swapSpike: the swap growth rate that triggered it.
        std::uint64_t bytesPerSecond = 0;

        static Kind pressureTransition(MemoryPressureLevel from, MemoryPressureLevel to) {
            return Kind{Case::pressureTransition, from, to, 0};
        }
        static Kind swapSpike(std::uint64_t bytesPerSecond) {
            return Kind{Case::swapSpike, MemoryPressureLevel::normal, MemoryPressureLevel::normal, bytesPerSecond};
        }
        static Kind largeGrowth() { return Kind{Case::largeGrowth}; }
        static Kind largeRelease() { return Kind{Case::largeRelease}; }

        bool isAppChange() const { return which == Case::largeGrowth || which == Case::largeRelease; }

        // Only the payload of the case in hand takes part.
        bool operator==(const Kind& o) const {
            if (which != o.which) return false;
            switch (which) {
                case Case::pressureTransition: return from == o.from && to == o.to;
                case Case::swapSpike: return bytesPerSecond == o.bytesPerSecond;
                default: return true;
            }
        }
    };

    Uuid id;
    ProcessIdentity app;  // the app, or ProcessIdentity::system() for pressure and swap
    Date detectedAt;
    std::optional<Date> growthStartedAt;
    std::uint64_t baselineFootprint = 0;
    std::uint64_t currentFootprint = 0;
    std::uint64_t peakFootprint = 0;
    std::int64_t signedDelta = 0;
    Kind kind;
    std::optional<SystemMemorySnapshot> system;

    bool operator==(const SignificantChange&) const = default;
};

template <>
struct EnumNames<SignificantChange::Kind::Case> {
    static constexpr std::array<std::string_view, 4> names{"pressureTransition", "swapSpike", "largeGrowth",
                                                           "largeRelease"};
};

}  // namespace velmora
