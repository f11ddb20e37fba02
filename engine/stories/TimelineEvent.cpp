#include "engine/stories/TimelineEvent.h"

namespace velmora {

namespace {

struct ConfidenceTexts {
    std::string_view label;
    std::string_view sentence;
};

// Indexed by the case's declaration position: high, medium, low.
constexpr std::array<ConfidenceTexts, 3> kConfidenceTexts{{
    {"Strong", "We\u2019re fairly sure this matches what you were doing."},
    {"Best guess", "Best guess from the numbers \u2014 not proven for a specific tab or click."},
    {"Unsure", "We saw a memory change, but we\u2019re not sure why."},
}};

const ConfidenceTexts& textsOf(ConfidenceLevel level) {
    const auto index = static_cast<std::size_t>(level);
    return index < kConfidenceTexts.size() ? kConfidenceTexts[index] : kConfidenceTexts.back();
}

}  // namespace

std::string_view label(ConfidenceLevel level) { return textsOf(level).label; }

std::string_view sentence(ConfidenceLevel level) { return textsOf(level).sentence; }

std::string howSureText(ConfidenceLevel level) {
    std::string text = "How sure: ";
    text += label(level);
    text += ". ";
    text += sentence(level);
    return text;
}

int confidenceStrength(std::optional<ConfidenceLevel> level) {
    if (!level) return 0;
    switch (*level) {
        case ConfidenceLevel::low: return 1;
        case ConfidenceLevel::medium: return 2;
        case ConfidenceLevel::high: return 3;
    }
    return 0;
}

std::optional<ConfidenceLevel> strongerConfidence(std::optional<ConfidenceLevel> a, std::optional<ConfidenceLevel> b) {
    return confidenceStrength(b) > confidenceStrength(a) ? b : a;
}

Json ImpactWindow::toJson() const { return encodeFields(*this); }

ImpactWindow ImpactWindow::fromJson(const Json& j) { return decodeFields<ImpactWindow>(j); }

Json TimelineEvent::toJson() const { return encodeFields(*this); }

TimelineEvent TimelineEvent::fromJson(const Json& j) { return decodeFields<TimelineEvent>(j); }

}  // namespace velmora
