#include "engine/stories/TimelineEvent.h"

#include <cmath>

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

Json ImpactWindow::toJson() const {
    Json j = Json::object();
    j["deltaBytes"] = deltaBytes;
    // JSON has no NaN: it would be written as null and fail the record on the next load.
    j["duration"] = std::isfinite(duration) ? duration : 0.0;
    putOptional(j, "peakBytes", peakBytes);
    putOptional(j, "endFootprintBytes", endFootprintBytes);
    return j;
}

ImpactWindow ImpactWindow::fromJson(const Json& j) {
    ImpactWindow w;
    w.deltaBytes = require<std::int64_t>(j, "deltaBytes");
    w.duration = require<double>(j, "duration");
    w.peakBytes = optional<std::uint64_t>(j, "peakBytes");
    w.endFootprintBytes = optional<std::uint64_t>(j, "endFootprintBytes");
    return w;
}

Json TimelineEvent::toJson() const {
    Json j = Json::object();
    j["id"] = encode(id);
    j["timestamp"] = encode(timestamp);
    j["kind"] = encode(kind);
    j["title"] = title;
    j["explanation"] = explanation;
    putOptional(j, "confidence", confidence);
    putOptional(j, "relatedApp", relatedApp);
    putOptional(j, "baselineFootprintBytes", baselineFootprintBytes);
    putOptional(j, "immediate", immediate);
    putOptional(j, "settled", settled);
    putOptional(j, "longerTerm", longerTerm);
    putOptional(j, "systemContext", systemContext);
    j["linkedActivityIDs"] = encode(linkedActivityIDs);
    j["isPendingWindows"] = isPendingWindows;
    j["primarySource"] = encode(primarySource);
    j["supportingSources"] = encode(supportingSources);
    return j;
}

TimelineEvent TimelineEvent::fromJson(const Json& j) {
    TimelineEvent e;
    e.id = require<Uuid>(j, "id");
    e.timestamp = require<Date>(j, "timestamp");
    e.kind = require<TimelineEventKind>(j, "kind");
    e.title = require<std::string>(j, "title");
    e.explanation = require<std::string>(j, "explanation");
    e.confidence = optional<ConfidenceLevel>(j, "confidence");
    e.relatedApp = optional<ProcessIdentity>(j, "relatedApp");
    e.baselineFootprintBytes = optional<std::uint64_t>(j, "baselineFootprintBytes");
    e.immediate = optional<ImpactWindow>(j, "immediate");
    e.settled = optional<ImpactWindow>(j, "settled");
    e.longerTerm = optional<ImpactWindow>(j, "longerTerm");
    e.systemContext = optional<SystemMemorySnapshot>(j, "systemContext");
    e.linkedActivityIDs = require<std::vector<Uuid>>(j, "linkedActivityIDs");
    e.isPendingWindows = require<bool>(j, "isPendingWindows");
    e.primarySource = require<SensorSource>(j, "primarySource");
    e.supportingSources = require<std::vector<SensorSource>>(j, "supportingSources");
    return e;
}

}  // namespace velmora
