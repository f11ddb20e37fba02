#include "engine/stories/SensorSource.h"

namespace velmora {

namespace {

struct SourceTexts {
    std::string_view label;
    std::string_view explanation;
};

// Indexed by the case's declaration position.
constexpr std::array<SourceTexts, 14> kTexts{{
    {"Memory", "1 Hz process memory sampling (/proc / system metrics)."},
    {"\u0394 Memory", "Noise filter saw a big jump in one app\u2019s footprint."},
    {"Browser session", "Gradual browser growth over minutes + page/tab activity."},
    {"Long growth", "Steady multi-minute climb (possible leak / retention)."},
    {"Check action", "User-run Check one action measurement."},
    {"App switch", "X11 window list: app launch / quit / became frontmost."},
    {"Accessibility", "AT-SPI accessibility: window title / focus (if allowed)."},
    {"Window list", "X11 window list titles (no permission needed on X11)."},
    {"Automation", "Browser scripting: tab title/URL from the browser."},
    {"Extension", "Velmora Helper extension \u2192 localhost bridge."},
    {"Screenshot OCR", "Local OCR on ring-buffer frames (fallback only)."},
    {"Cloud vision", "Optional xAI vision description of frames."},
    {"Computer pressure", "System memory pressure / swap transition."},
    {"Unknown", "Source not recorded."},
}};

const SourceTexts& textsOf(SensorSource source) {
    const auto index = static_cast<std::size_t>(source);
    return index < kTexts.size() ? kTexts[index] : kTexts.back();
}

}  // namespace

std::string_view label(SensorSource source) { return textsOf(source).label; }

std::string_view explanation(SensorSource source) { return textsOf(source).explanation; }

Json SensorLogEntry::toJson() const { return encodeFields(*this); }

SensorLogEntry SensorLogEntry::fromJson(const Json& j) { return decodeFields<SensorLogEntry>(j); }

}  // namespace velmora
