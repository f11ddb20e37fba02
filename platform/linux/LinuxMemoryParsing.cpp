#include "platform/linux/LinuxMemoryParsing.h"

#include <charconv>

#include "platform/linux/ProcfsParsing.h"

namespace velmora::linuxmem {

Meminfo parseMeminfo(std::string_view text) {
    using procfs::kilobyteField;
    Meminfo m;
    m.memTotal = kilobyteField(text, "MemTotal");
    m.memFree = kilobyteField(text, "MemFree");
    m.activeFile = kilobyteField(text, "Active(file)");
    m.inactiveFile = kilobyteField(text, "Inactive(file)");
    m.swapTotal = kilobyteField(text, "SwapTotal");
    m.swapFree = kilobyteField(text, "SwapFree");
    m.zswap = kilobyteField(text, "Zswap");
    return m;
}

std::optional<std::uint64_t> availableBytes(const Meminfo& m) {
    if (!m.memFree || !m.activeFile || !m.inactiveFile) return std::nullopt;
    return *m.memFree + *m.activeFile + *m.inactiveFile;
}

std::optional<std::uint64_t> swapUsedBytes(const Meminfo& m) {
    if (!m.swapTotal || !m.swapFree) return std::nullopt;
    return *m.swapTotal > *m.swapFree ? *m.swapTotal - *m.swapFree : 0;
}

std::optional<std::uint64_t> parseZramMemoryUsed(std::string_view mmStat) {
    std::uint64_t value = 0;
    const char* p = mmStat.data();
    const char* end = p + mmStat.size();
    for (int field = 1; field <= 3; ++field) {
        while (p < end && (*p == ' ' || *p == '\t')) ++p;
        const auto [next, ec] = std::from_chars(p, end, value);
        if (ec != std::errc() || (next < end && *next != ' ' && *next != '\t' && *next != '\n')) return std::nullopt;
        p = next;
    }
    return value;
}

std::optional<std::uint64_t> parseBlockSize(std::string_view text) {
    if (text.ends_with('\n')) text.remove_suffix(1);
    std::uint64_t value = 0;
    const auto [next, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    if (text.empty() || ec != std::errc() || next != text.data() + text.size() || value == 0) return std::nullopt;
    return value;
}

namespace {

// The avg10 value of a "some ..." or "full ..." line.
std::optional<double> average10(std::string_view text, std::string_view kind) {
    std::size_t pos = 0;
    while (pos < text.size()) {
        auto end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        if (line.substr(0, kind.size() + 1) != std::string(kind) + " ") continue;
        constexpr std::string_view key = "avg10=";
        const auto at = line.find(key);
        if (at == std::string_view::npos) return std::nullopt;
        double value = 0;
        const char* first = line.data() + at + key.size();
        const auto [next, ec] = std::from_chars(first, line.data() + line.size(), value);
        if (ec != std::errc() || !(value >= 0 && value <= 100)) return std::nullopt;  // NaN too
        return value;
    }
    return std::nullopt;
}

}  // namespace

std::optional<PsiAverages> parsePsi(std::string_view text) {
    const auto some = average10(text, "some");
    if (!some) return std::nullopt;
    return PsiAverages{*some, average10(text, "full").value_or(0)};
}

std::optional<MemoryPressureLevel> PressureClassifier::update(const PressureInputs& in) {
    std::optional<double> fraction;
    if (in.availableBytes && in.totalBytes && *in.totalBytes > 0)
        fraction = static_cast<double>(*in.availableBytes) / static_cast<double>(*in.totalBytes);
    if (!in.psi && !fraction) return std::nullopt;

    const auto& psi = in.psi;
    const bool criticalEnter = (psi && psi->full >= psiCriticalEnter) || (fraction && *fraction < availableCriticalEnter);
    const bool criticalHold = (psi && psi->full >= psiCriticalLeave) || (fraction && *fraction < availableCriticalLeave);
    const bool warningEnter = (psi && psi->some >= psiWarningEnter) || (fraction && *fraction < availableWarningEnter);
    const bool warningHold = (psi && psi->some >= psiWarningLeave) || (fraction && *fraction < availableWarningLeave);

    if (criticalEnter || (level_ == MemoryPressureLevel::critical && criticalHold))
        level_ = MemoryPressureLevel::critical;
    else if (warningEnter || (level_ != MemoryPressureLevel::normal && warningHold))
        level_ = MemoryPressureLevel::warning;
    else
        level_ = MemoryPressureLevel::normal;
    return level_;
}

}  // namespace velmora::linuxmem
