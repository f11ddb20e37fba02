#include "platform/linux/ProcfsParsing.h"

#include <charconv>
#include <limits>

namespace velmora::procfs {

namespace {

template <typename T>
bool parseNumber(std::string_view field, T& out) {
    if (field.empty()) return false;
    const auto [ptr, ec] = std::from_chars(field.data(), field.data() + field.size(), out);
    return ec == std::errc() && ptr == field.data() + field.size();
}

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n'; }

// Splits off the next blank-separated field; returns false when none is left.
bool nextField(std::string_view& rest, std::string_view& field) {
    std::size_t begin = 0;
    while (begin < rest.size() && isBlank(rest[begin])) ++begin;
    if (begin == rest.size()) {
        rest = {};
        return false;
    }
    std::size_t end = begin;
    while (end < rest.size() && !isBlank(rest[end])) ++end;
    field = rest.substr(begin, end - begin);
    rest.remove_prefix(end);
    return true;
}

}  // namespace

std::optional<StatFields> parseStat(std::string_view text) {
    const auto open = text.find('(');
    const auto close = text.rfind(')');
    if (open == std::string_view::npos || close == std::string_view::npos || close < open) return std::nullopt;
    StatFields out;
    out.comm = std::string(text.substr(open + 1, close - open - 1));
    std::string_view rest = text.substr(close + 1);
    // Field 3 (state) follows the name; starttime is field 22.
    std::string_view field;
    for (int index = 3; index <= 22; ++index) {
        if (!nextField(rest, field)) return std::nullopt;
        switch (index) {
            case 3:
                if (field.size() != 1) return std::nullopt;
                out.state = field[0];
                break;
            case 4:
                if (!parseNumber(field, out.parentPid)) return std::nullopt;
                break;
            case 9:
                if (!parseNumber(field, out.flags)) return std::nullopt;
                break;
            case 10:
                if (!parseNumber(field, out.minorFaults)) return std::nullopt;
                break;
            case 22:
                if (!parseNumber(field, out.startTime)) return std::nullopt;
                break;
            default:
                break;
        }
    }
    // exit_signal is field 38.
    for (int index = 23; index <= 38 && nextField(rest, field); ++index)
        if (std::int32_t signal = 0; index == 38 && parseNumber(field, signal)) out.exitSignal = signal;
    return out;
}

namespace {

// The next blank-separated field as an unsigned decimal, in one pass: statm is parsed for every
// process every second. False for a missing, non-decimal or overflowing field.
bool takeDecimal(std::string_view& rest, std::uint64_t& out) {
    std::size_t i = 0;
    while (i < rest.size() && isBlank(rest[i])) ++i;
    const std::size_t begin = i;
    std::uint64_t value = 0;
    for (; i < rest.size(); ++i) {
        const unsigned digit = static_cast<unsigned char>(rest[i]) - unsigned{'0'};
        if (digit > 9) break;
        value = value * 10 + digit;
    }
    if (i == begin || (i < rest.size() && !isBlank(rest[i]))) return false;
    // Up to 19 digits cannot overflow; a longer field is parsed again with the check.
    if (i - begin > 19 && !parseNumber(rest.substr(begin, i - begin), value)) return false;
    rest.remove_prefix(i);
    out = value;
    return true;
}

}  // namespace

std::optional<StatmFields> parseStatm(std::string_view text) {
    StatmFields out;
    if (!takeDecimal(text, out.size) || !takeDecimal(text, out.resident) || !takeDecimal(text, out.shared) ||
        !takeDecimal(text, out.text))
        return std::nullopt;
    return out;
}

std::uint64_t anonymousBytes(const StatmFields& statm, std::uint64_t pageSize) {
    // The counters are summed without a lock, so shared can briefly exceed resident.
    if (statm.shared >= statm.resident) return 0;
    return (statm.resident - statm.shared) * pageSize;
}

std::optional<std::uint64_t> kilobyteField(std::string_view text, std::string_view key) {
    std::size_t pos = 0;
    while (pos < text.size()) {
        auto end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        if (line.size() <= key.size() || line.substr(0, key.size()) != key || line[key.size()] != ':') continue;
        std::string_view rest = line.substr(key.size() + 1);
        std::string_view number;
        if (!nextField(rest, number)) return std::nullopt;
        std::uint64_t value = 0;
        if (!parseNumber(number, value)) return std::nullopt;
        std::string_view unit;
        if (!nextField(rest, unit)) return value;  // a plain count
        if (unit != "kB") return std::nullopt;
        if (value > std::numeric_limits<std::uint64_t>::max() / 1024) return std::nullopt;
        return value * 1024;
    }
    return std::nullopt;
}

StatusMemory parseStatusMemory(std::string_view text) {
    return StatusMemory{kilobyteField(text, "RssAnon"), kilobyteField(text, "VmSwap"), kilobyteField(text, "VmExe"),
                        kilobyteField(text, "RssShmem"), kilobyteField(text, "VmRSS"), kilobyteField(text, "VmHWM")};
}

RollupMemory parseRollup(std::string_view text) {
    return RollupMemory{kilobyteField(text, "Anonymous"), kilobyteField(text, "Pss_Anon"), kilobyteField(text, "Swap"),
                        kilobyteField(text, "SwapPss"), kilobyteField(text, "Pss_Shmem"),
                        kilobyteField(text, "Private_Dirty")};
}

std::optional<std::int32_t> innermostPid(std::string_view status) {
    constexpr std::string_view key = "NSpid:";
    for (std::size_t pos = 0; pos < status.size();) {
        auto end = status.find('\n', pos);
        if (end == std::string_view::npos) end = status.size();
        std::string_view rest = status.substr(pos, end - pos);
        pos = end + 1;
        if (!rest.starts_with(key)) continue;
        rest.remove_prefix(key.size());
        std::string_view field, last;
        while (nextField(rest, field)) last = field;
        std::int32_t pid = 0;
        if (!parseNumber(last, pid) || pid < 1) return std::nullopt;
        return pid;
    }
    return std::nullopt;
}

std::optional<std::int32_t> parsePid(std::string_view name) {
    std::int32_t pid = 0;
    if (!parseNumber(name, pid) || name.front() == '+' || name.front() == '-' || pid < 1) return std::nullopt;
    return pid;
}

std::optional<std::int32_t> parseLastPid(std::string_view loadavg) {
    // "0.00 0.01 0.05 1/234 56789": five fields, the fourth with a slash.
    std::string_view field;
    for (int index = 1; index <= 5; ++index) {
        if (!nextField(loadavg, field)) return std::nullopt;
        if (index == 4 && field.find('/') == std::string_view::npos) return std::nullopt;
    }
    std::int32_t pid = 0;
    if (!parseNumber(field, pid) || pid < 0) return std::nullopt;
    return pid;
}

std::string stripDeletedSuffix(std::string path) {
    constexpr std::string_view suffix = " (deleted)";
    if (path.size() > suffix.size() && std::string_view(path).substr(path.size() - suffix.size()) == suffix)
        path.resize(path.size() - suffix.size());
    return path;
}

}  // namespace velmora::procfs
