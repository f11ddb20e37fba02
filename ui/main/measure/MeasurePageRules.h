#pragma once
// What the "Check one action" page shows for the controller's current state. Qt-free.
#include <array>
#include <optional>
#include <string>
#include <vector>

#include "engine/stories/TimelineEvent.h"
#include "measure/MeasureThisActionController.h"

namespace velmora {

struct MeasureStepView {
    bool done = false;
    std::string title;
    std::string accessibleName;  // "Step 1, Press Start: done" / ": not done"
    bool operator==(const MeasureStepView&) const = default;
};

enum class MeasureButton { start, done, showResultNow, cancel };

struct MeasureResultView {
    ConfidenceLevel confidence = ConfidenceLevel::low;
    std::string confidenceSentence;
    std::optional<std::string> impactLine;   // only with a lasting impact
    std::string summary;
    std::optional<std::string> figuresLine;  // only with before, peak and after
    bool operator==(const MeasureResultView&) const = default;
};

struct MeasurePageView {
    std::array<MeasureStepView, 4> steps;
    std::string measuringLabel;
    std::string status;
    // While a run waits for samples that never come because memory watching is off.
    std::optional<std::string> watchingOffNote;
    std::array<std::string, 3> figures;  // Before, Highest, After
    std::vector<MeasureButton> buttons;
    std::optional<MeasureResultView> result;
    bool operator==(const MeasurePageView&) const = default;
};

// The confidence sentence of a report's result card.
std::string_view measureConfidenceSentence(ConfidenceLevel level);
// "Start", "Done — I finished the action", "Show result now", "Cancel".
std::string_view measureButtonTitle(MeasureButton button);

MeasurePageView measurePageView(const MeasureThisActionController& controller, bool samplingRuns);

}  // namespace velmora
