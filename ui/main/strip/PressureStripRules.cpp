#include "ui/main/strip/PressureStripRules.h"

#include <algorithm>
#include <cmath>

#include "app/StoryText.h"
#include "engine/stories/Phrasing.h"

namespace velmora {

namespace {
// Swap in use only counts as disk memory above 50 MiB.
constexpr std::uint64_t diskMemoryThreshold = 52'428'800;
}  // namespace

double usedFraction(std::uint64_t totalBytes, std::uint64_t availableBytes) {
    if (totalBytes == 0) return 0;
    const double total = static_cast<double>(totalBytes);
    return std::clamp((total - static_cast<double>(availableBytes)) / total, 0.0, 1.0);
}

int usedPercent(std::uint64_t totalBytes, std::uint64_t availableBytes) {
    return static_cast<int>(std::lround(usedFraction(totalBytes, availableBytes) * 100));
}

PressureStripText pressureStripText(const std::optional<SystemMemorySnapshot>& snapshot) {
    PressureStripText out;
    if (!snapshot) {
        out.headline = "Watching your computer\u2026";
        out.explanation = "Stories appear when an app uses a lot more memory.";
    } else {
        out.level = snapshot->pressure;
        switch (snapshot->pressure) {
            case MemoryPressureLevel::normal:
                out.headline = "Computer memory: OK";
                out.explanation = "No overall memory stress right now.";
                break;
            case MemoryPressureLevel::warning:
                out.headline = "Computer memory: getting tight";
                out.explanation = "Apps may feel slower. See stories below.";
                break;
            case MemoryPressureLevel::critical:
                out.headline = "Computer memory: under pressure";
                out.explanation = "Closing heavy apps can help.";
                break;
        }
    }
    out.summary = out.headline + ". " + out.explanation;
    if (!snapshot || snapshot->readFailed) return out;

    PressureStripText::Figures f;
    f.usedPercent = usedPercent(snapshot->totalPhysicalBytes, snapshot->availableBytes);
    f.fillFraction = usedFraction(snapshot->totalPhysicalBytes, snapshot->availableBytes);
    const std::string percent = decimalText(f.usedPercent);
    const std::string available = formatBytes(snapshot->availableBytes);
    const std::string total = formatBytes(snapshot->totalPhysicalBytes);
    f.usedText = percent + "% used";
    f.freeText = available + " free of " + total;
    if (snapshot->swapUsedBytes > diskMemoryThreshold) f.diskText = "Disk memory " + formatBytes(snapshot->swapUsedBytes);
    f.spoken = percent + " percent used, " + available + " free of " + total + " total";
    out.figures = std::move(f);
    return out;
}

}  // namespace velmora
