#include "engine/stories/Phrasing.h"

#include <array>
#include <optional>
#include <vector>

#include "engine/activity/BrowserActivityAdapter.h"
#include "engine/sampling/BrowserFamily.h"
#include "engine/support/Utf8.h"
#include "measure/MeasureReport.h"

namespace velmora {

namespace {

constexpr std::size_t kShortenLimit = 60;
constexpr std::size_t kShortenKeep = 57;

std::string shortened(std::string_view text) { return utf8::shorten(text, kShortenLimit, kShortenKeep); }

// Removes every non-overlapping occurrence of `needle` (matched without regard to case) from the
// original-case text, in one left-to-right pass. Lower-casing can change a character's byte
// length, so the text is lowered one code point at a time while remembering where each lowered
// piece came from; matches are then cut out of the original bytes.
std::string removeIgnoringCase(std::string_view text, std::string_view needle) {
    const std::string lowNeedle = utf8::lower(needle);
    if (lowNeedle.empty()) return std::string(text);

    std::string low;
    std::vector<std::size_t> origin;  // origin[i]: byte offset in `text` where low[i]'s code point starts
    low.reserve(text.size());
    origin.reserve(text.size() + 1);
    std::size_t pos = 0;
    while (pos < text.size()) {
        const unsigned char c = static_cast<unsigned char>(text[pos]);
        std::size_t len = 1;
        if (c >= 0xF0) len = 4;
        else if (c >= 0xE0) len = 3;
        else if (c >= 0xC0) len = 2;
        if (pos + len > text.size()) len = 1;
        // utf8::lower keeps invalid bytes as they are, one byte at a time.
        const std::string piece = utf8::lower(text.substr(pos, len));
        low += piece;
        origin.insert(origin.end(), piece.size(), pos);
        pos += len;
    }
    origin.push_back(text.size());

    std::string out;
    out.reserve(text.size());
    std::size_t copiedUpTo = 0;  // in original bytes
    std::size_t searchFrom = 0;  // in lowered bytes
    while (true) {
        const std::size_t at = low.find(lowNeedle, searchFrom);
        if (at == std::string::npos) break;
        const std::size_t end = at + lowNeedle.size();
        // Only cut whole code points: both ends must sit on a piece boundary.
        const bool startsOnBoundary = at == 0 || origin[at] != origin[at - 1];
        const bool endsOnBoundary = end == low.size() || origin[end] != origin[end - 1];
        if (!startsOnBoundary || !endsOnBoundary) {
            searchFrom = at + 1;
            continue;
        }
        out.append(text.substr(copiedUpTo, origin[at] - copiedUpTo));
        copiedUpTo = origin[end];
        searchFrom = end;
    }
    out.append(text.substr(copiedUpTo));
    return out;
}

// Appends the decimal digits of n with "," between groups of three.
void appendGrouped(std::string& out, std::uint64_t n) {
    char digits[20];
    int count = 0;
    do {
        digits[count++] = static_cast<char>('0' + n % 10);
        n /= 10;
    } while (n != 0);
    for (int i = count - 1; i >= 0; --i) {
        out.push_back(digits[i]);
        if (i > 0 && i % 3 == 0) out.push_back(',');
    }
}


std::string inCurlyQuotes(std::string_view text) { return "\u201C" + shortened(text) + "\u201D"; }

}  // namespace

std::string_view pressureLabel(MemoryPressureLevel level) {
    switch (level) {
    case MemoryPressureLevel::normal: return "OK";
    case MemoryPressureLevel::warning: return "Tight";
    case MemoryPressureLevel::critical: return "Critical";
    }
    return "OK";
}

std::string friendlyAppName(std::string_view name) {
    // Before the Safari row: on Linux a process called "Web Content" is Firefox's.
    if (BrowserActivityAdapter::isFirefoxContentProcess(name)) return "Firefox";
    const std::string low = utf8::lower(name);
    const auto has = [&](std::string_view word) { return low.find(word) != std::string::npos; };
    const BrowserFamily& safari = *browserFamilyNamed("safari");
    if (has(safari.word) || has(safari.nameAlias) || has("web content") || has("graphics and media"))
        return std::string(safari.displayName);
    // Not a file that every browser built on Chromium ships as "chrome_…" (its crash handler).
    if (const BrowserFamily& chrome = *browserFamilyNamed("chrome"); namesFamily(low, chrome))
        return std::string(chrome.displayName);
    if (has("helper")) {
        std::string out = removeIgnoringCase(name, " Helper");
        out = removeIgnoringCase(out, " (Renderer)");
        out = removeIgnoringCase(out, " (GPU)");
        return out + " (background)";
    }
    return std::string(name);
}

std::string formatBytes(std::uint64_t bytes) {
    std::string out;
    out.reserve(16);
    if (bytes < 1024) {
        appendGrouped(out, bytes);
        out += bytes == 1 ? " byte" : " bytes";
        return out;
    }

    // The largest unit in which the value is at least 1, up to TB.
    static constexpr std::array<std::string_view, 4> labels{" KB", " MB", " GB", " TB"};
    static constexpr std::array<int, 4> fractionDigits{0, 1, 2, 2};
    std::size_t unit = 0;
    while (unit + 1 < labels.size() && (bytes >> (10 * (unit + 2))) != 0) ++unit;
    const unsigned shift = static_cast<unsigned>(10 * (unit + 1));
    const int digits = fractionDigits[unit];
    const std::uint64_t scale = digits == 0 ? 1 : digits == 1 ? 10 : 100;

    // value × scale = whole × scale + (rest × scale) / 2^shift, computed exactly: rest < 2^40 and
    // whole < 2^24 in TB, so nothing overflows.
    const std::uint64_t whole = bytes >> shift;
    const std::uint64_t rest = bytes & ((std::uint64_t{1} << shift) - 1);
    const std::uint64_t restScaled = rest * scale;
    std::uint64_t scaled = whole * scale + (restScaled >> shift);
    const std::uint64_t remainder = restScaled & ((std::uint64_t{1} << shift) - 1);
    const std::uint64_t half = std::uint64_t{1} << (shift - 1);
    // Half to even at the last shown digit. A carry to 1024 stays in this unit ("1,024 KB").
    if (remainder > half || (remainder == half && (scaled & 1) != 0)) ++scaled;

    appendGrouped(out, scaled / scale);
    std::uint64_t fraction = scaled % scale;
    if (fraction != 0) {
        int shown = digits;
        while (shown > 0 && fraction % 10 == 0) {
            fraction /= 10;
            --shown;
        }
        out.push_back('.');
        char buf[2];
        for (int i = shown - 1; i >= 0; --i) {
            buf[i] = static_cast<char>('0' + fraction % 10);
            fraction /= 10;
        }
        out.append(buf, static_cast<std::size_t>(shown));
    }
    out += labels[unit];
    return out;
}

std::string formatSignedBytes(std::int64_t bytes) {
    const std::string_view sign = bytes > 0 ? "+" : bytes < 0 ? "\u2212" : "";
    return std::string(sign) + formatBytes(byteMagnitude(bytes));
}

std::string activityPhrase(const ActivityEvent& event) {
    const std::string a = event.app ? event.app->displayName : "an app";
    const auto& title = event.windowTitle;
    const auto& detail = event.detail;
    switch (event.kind) {
    case ActivityEventKind::appLaunched: return "Opened " + a;
    case ActivityEventKind::appTerminated: return "Closed " + a;
    case ActivityEventKind::becameFrontmost: return "Switched to " + a;
    case ActivityEventKind::windowOpened: return "New window in " + a;
    case ActivityEventKind::windowClosed: return "Closed a window in " + a;
    case ActivityEventKind::titleChanged:
        if (title && !title->empty()) return "In " + a + ": " + shortened(*title);
        return "Used " + a;
    case ActivityEventKind::menuCommand: return "Used a menu in " + a;
    case ActivityEventKind::dialogAppeared: return "A dialog opened in " + a;
    case ActivityEventKind::userIdle: return "You stepped away";
    case ActivityEventKind::userResumed: return "You're back";
    case ActivityEventKind::pageNavigated:
        if (detail) return "Opened " + *detail + " in " + a;
        if (title) return "Opened a page in " + a + ": " + shortened(*title);
        return "Opened a page in " + a;
    case ActivityEventKind::mediaLikelyPlaying:
        if (detail) return "Watched video in " + a + ": " + shortened(*detail);
        return "Watched video in " + a;
    case ActivityEventKind::tabActivity: return "Changed tabs in " + a;
    case ActivityEventKind::documentOpened:
        if (detail) return "Opened " + *detail + " in " + a;
        return "Opened a file in " + a;
    case ActivityEventKind::siteActivity:
        if (detail) return "On " + *detail + " in " + a;
        return "Browsing in " + a;
    case ActivityEventKind::visualContext:
        if (detail) return shortened(*detail);
        return "Something on screen changed";
    }
    return "Used " + a;
}

std::string userActionSentence(const ActivityEvent& event) {
    const std::string a = event.app ? event.app->displayName : "the app";
    const auto& title = event.windowTitle;
    const auto& detail = event.detail;
    switch (event.kind) {
    case ActivityEventKind::appLaunched: return "You opened " + a;
    case ActivityEventKind::becameFrontmost: return "You switched to " + a;
    case ActivityEventKind::windowOpened:
    case ActivityEventKind::titleChanged:
        if (title) return "You were in " + inCurlyQuotes(*title);
        return "You used a window";
    case ActivityEventKind::mediaLikelyPlaying:
        if (detail) return "You watched " + inCurlyQuotes(*detail);
        return "You watched a video";
    case ActivityEventKind::pageNavigated:
    case ActivityEventKind::siteActivity:
        if (detail) return "You opened " + *detail;
        if (title) return "You opened " + inCurlyQuotes(*title);
        return "You opened a page";
    default: return activityPhrase(event);
    }
}

std::string pressureChangeSentence(MemoryPressureLevel from, MemoryPressureLevel to) {
    std::string out = "Your computer\u2019s memory status changed from ";
    out += pressureLabel(from);
    out += " to ";
    out += pressureLabel(to);
    out += ".";
    return out;
}

std::string freedOrUsedPhrase(const ProcessIdentity& identity, std::int64_t delta) {
    const std::string name = friendlyAppName(identity.displayName);
    if (delta < 0) return name + " freed " + formatBytes(byteMagnitude(delta));
    return name + " used " + formatSignedBytes(delta) + " more";
}

std::string measureResultSentence(const MeasureReport& report) {
    // A run that found no app measured nothing; "about 0 bytes more" would claim a result.
    if (!report.targetApp && !report.lastingImpactBytes)
        return "No app was measured — none was in front or grew during that action.";
    const std::string name = report.targetApp ? friendlyAppName(report.targetApp->displayName) : "the app";
    const std::int64_t lasting = report.lastingImpactBytes.value_or(0);
    if (lasting < 0)
        return "After that action, " + name + " used about " + formatBytes(byteMagnitude(lasting)) + " less than before.";
    return "After that action, " + name + " still used about " + formatSignedBytes(lasting) + " more than before.";
}

}  // namespace velmora
