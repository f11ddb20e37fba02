#pragma once
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/activity/StructuredSignal.h"
#include "engine/detection/SignificantChange.h"
#include "sensors/visual/CloudVisionClient.h"
#include "sensors/visual/ScreenshotRingBuffer.h"
#include "sensors/visual/VisualChangeDescription.h"

namespace velmora {

class Clock;
class SettingsStore;
class TextRecognizer;

// Looks at the screenshots around a weakly explained memory change, reads their text on the
// device (or, when the user allows it and a key is set, asks the cloud service) and says in one
// or two sentences what was on screen. Main thread only.
class VisualContextAnalyzer {
public:
    struct CaptureHistoryEntry {
        Uuid id;
        Date timestamp;
        std::string appName;
        std::string summary;
        bool usedCloudAI = false;
        int frameCount = 0;
        bool operator==(const CaptureHistoryEntry&) const = default;
    };

    static constexpr std::size_t maxHistory = 50;
    // A signal this strong explains a change without pictures.
    static constexpr double strongSignalWeight = 8.0;

    using Environment = std::function<std::optional<std::string>(std::string_view name)>;

    VisualContextAnalyzer(ScreenshotRingBuffer& buffer, const SettingsStore& settings, TextRecognizer& recognizer,
                          HttpsClient& http, const Clock& clock);
    ~VisualContextAnalyzer();
    VisualContextAnalyzer(const VisualContextAnalyzer&) = delete;
    VisualContextAnalyzer& operator=(const VisualContextAnalyzer&) = delete;

    // Whether a change is worth a look: screenshots on and capturing, an app change, and no
    // signal of weight 8 or more.
    bool shouldAnalyze(const SignificantChange& change, const std::vector<StructuredSignal>& structuredSignals) const;

    // Describes the frames around the change to `done`, or gives it nothing. `force` analyses
    // even with the screenshots switch off. With nothing to analyse `done` runs at once;
    // otherwise later on the main thread, and not at all when the analyzer is destroyed first.
    // The frames analysed then leave the ring, whatever the outcome.
    void analyze(const SignificantChange& change, bool force,
                 std::function<void(std::optional<VisualChangeDescription>)> done);

    // The on-device description of frames whose recognised lines are given (one list per frame).
    static std::optional<std::string> localSummary(const std::vector<ScreenshotRingBuffer::Frame>& frames,
                                                   const std::vector<std::vector<std::string>>& linesPerFrame);

    // Published, newest first, at most 50.
    const std::deque<CaptureHistoryEntry>& captureHistory() const { return captureHistory_; }
    std::function<void()> onChange;

    // The process environment, read at each analysis; tests replace it.
    Environment environment;

private:
    void finish(const SignificantChange& change, const std::vector<ScreenshotRingBuffer::Frame>& frames,
                std::optional<std::string> text, bool usedCloudAI,
                const std::function<void(std::optional<VisualChangeDescription>)>& done);

    ScreenshotRingBuffer& buffer_;
    const SettingsStore& settings_;
    TextRecognizer& recognizer_;
    CloudVisionClient cloud_;
    const Clock& clock_;
    std::deque<CaptureHistoryEntry> captureHistory_;
    // Deferred work checks this before touching the analyzer.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace velmora
