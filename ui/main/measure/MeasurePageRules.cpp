#include "ui/main/measure/MeasurePageRules.h"

#include "engine/stories/Phrasing.h"
#include "engine/support/ByteMath.h"

namespace velmora {

namespace {
std::string bytesOrDash(const std::optional<std::uint64_t>& bytes) { return bytes ? formatBytes(*bytes) : "\u2014"; }
}  // namespace

std::string_view measureConfidenceSentence(ConfidenceLevel level) {
    switch (level) {
        case ConfidenceLevel::high: return "We\u2019re fairly sure this matches what you were doing.";
        case ConfidenceLevel::medium: return "Best guess from the numbers \u2014 not proven for a specific tab or click.";
        case ConfidenceLevel::low: break;
    }
    return "We saw a memory change, but we\u2019re not sure why.";
}

std::string_view measureButtonTitle(MeasureButton button) {
    switch (button) {
        case MeasureButton::start: return "Start";
        case MeasureButton::done: return "Done \u2014 I finished the action";
        case MeasureButton::showResultNow: return "Show result now";
        case MeasureButton::cancel: break;
    }
    return "Cancel";
}

MeasurePageView measurePageView(const MeasureThisActionController& controller, bool samplingRuns) {
    MeasurePageView v;
    const MeasurePhase phase = controller.session().phase;
    const bool running = phase == MeasurePhase::baselining || phase == MeasurePhase::recording ||
                         phase == MeasurePhase::settling;
    const bool finished = phase == MeasurePhase::report;
    const std::array<std::pair<const char*, bool>, 4> steps{{
        {"Press Start", running},
        {"Do one thing in another app", phase == MeasurePhase::settling || finished},
        {"Press Done", finished},
        {"Read the result", finished && controller.latestReport().has_value()},
    }};
    for (std::size_t i = 0; i < steps.size(); ++i) {
        const auto& [title, done] = steps[i];
        v.steps[i] = {done, title,
                      "Step " + std::to_string(i + 1) + ", " + title + (done ? ": done" : ": not done")};
    }
    v.measuringLabel = controller.measuringLabel();
    v.status = controller.statusMessage();
    if (running && !samplingRuns)
        v.watchingOffNote = "Memory watching is off, so nothing is being measured. Turn it on in Setup.";
    const auto& s = controller.session();
    v.figures = {bytesOrDash(s.baselineFootprintBytes), bytesOrDash(s.peakFootprintBytes),
                 bytesOrDash(s.settledFootprintBytes)};
    switch (phase) {
        case MeasurePhase::idle:
        case MeasurePhase::report: v.buttons = {MeasureButton::start}; break;
        case MeasurePhase::baselining: v.buttons = {MeasureButton::cancel}; break;
        case MeasurePhase::recording: v.buttons = {MeasureButton::done, MeasureButton::cancel}; break;
        case MeasurePhase::settling: v.buttons = {MeasureButton::showResultNow, MeasureButton::cancel}; break;
    }
    if (const auto& report = controller.latestReport()) {
        MeasureResultView r;
        r.confidence = report->confidence;
        r.confidenceSentence = measureConfidenceSentence(report->confidence);
        if (const auto impact = report->lastingImpactBytes)
            r.impactLine = *impact < 0 ? "Ended about " + formatBytes(byteMagnitude(*impact)) + " lighter"
                                       : "Still using about " + formatSignedBytes(*impact) + " more";
        r.summary = report->summary;
        if (report->beforeBytes && report->peakBytes && report->settledBytes)
            r.figuresLine = "Before " + formatBytes(*report->beforeBytes) + " \u2192 peak " +
                            formatBytes(*report->peakBytes) + " \u2192 after " + formatBytes(*report->settledBytes);
        v.result = std::move(r);
    }
    return v;
}

}  // namespace velmora
