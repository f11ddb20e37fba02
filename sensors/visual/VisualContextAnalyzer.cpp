#include "sensors/visual/VisualContextAnalyzer.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <unordered_set>

#include "engine/settings/SettingsStore.h"
#include "engine/support/Utf8.h"
#include "platform/Clock.h"
#include "platform/TextRecognizer.h"

namespace velmora {

namespace {

constexpr std::array<std::string_view, 7> kMenuWords{"file", "edit", "view", "history", "window", "help", "velmora"};

std::optional<std::string> processEnvironment(std::string_view name) {
    const char* value = std::getenv(std::string(name).c_str());
    return value ? std::optional<std::string>(value) : std::nullopt;
}

std::string join(const std::vector<std::string>& parts, std::size_t count, std::string_view separator) {
    std::string out;
    for (std::size_t i = 0; i < parts.size() && i < count; ++i) {
        if (i > 0) out += separator;
        out += parts[i];
    }
    return out;
}

}  // namespace

VisualContextAnalyzer::VisualContextAnalyzer(ScreenshotRingBuffer& buffer, const SettingsStore& settings,
                                             TextRecognizer& recognizer, HttpsClient& http, const Clock& clock)
    : environment(processEnvironment), buffer_(buffer), settings_(settings), recognizer_(recognizer), cloud_(http),
      clock_(clock) {}

VisualContextAnalyzer::~VisualContextAnalyzer() = default;

bool VisualContextAnalyzer::shouldAnalyze(const SignificantChange& change,
                                          const std::vector<StructuredSignal>& structuredSignals) const {
    return settings_.permissions().screenshotsEnabled && buffer_.isCapturing() && change.kind.isAppChange() &&
           std::none_of(structuredSignals.begin(), structuredSignals.end(),
                        [](const StructuredSignal& s) { return s.weight >= strongSignalWeight; });
}

std::optional<std::string> VisualContextAnalyzer::localSummary(
    const std::vector<ScreenshotRingBuffer::Frame>& frames, const std::vector<std::vector<std::string>>& linesPerFrame) {
    // First-seen order, so the same screen gives the same sentence.
    std::vector<std::string> top;
    std::unordered_set<std::string> seen;
    for (const auto& lines : linesPerFrame) {
        for (const auto& raw : lines) {
            std::string line = utf8::trim(utf8::sanitize(raw));
            if (!seen.insert(line).second) continue;
            const std::size_t length = utf8::characterCount(line);
            if (length < 3 || length >= 120) continue;
            const std::string lowered = utf8::lower(line);
            if (std::find(kMenuWords.begin(), kMenuWords.end(), lowered) != kMenuWords.end()) continue;
            if (top.size() < 10) top.push_back(std::move(line));
        }
    }
    if (top.empty()) {
        std::optional<std::string> owner;
        for (const auto& f : frames)
            if (f.windowOwnerName) owner = f.windowOwnerName;
        if (!owner) return std::nullopt;
        return "Active window appeared to belong to " + *owner + "; OCR found little readable text.";
    }
    const std::string haystack = utf8::lower(join(top, top.size(), " \u00B7 "));
    std::vector<std::string> sentences;
    if (haystack.find("youtube") != std::string::npos) sentences.emplace_back("Visible text suggests YouTube / video UI");
    if (haystack.find("http") != std::string::npos ||
        std::any_of(top.begin(), top.end(), [](const std::string& l) {
            return l.find('.') != std::string::npos && l.find(' ') == std::string::npos;
        }))
        sentences.emplace_back("Browser-like content or URLs visible");
    sentences.push_back("Readable on-screen text included: " + join(top, 5, "; "));
    return join(sentences, sentences.size(), ". ") + ".";
}

void VisualContextAnalyzer::analyze(const SignificantChange& change, bool force,
                                    std::function<void(std::optional<VisualChangeDescription>)> done) {
    if (!settings_.permissions().screenshotsEnabled && !force) return done(std::nullopt);
    const Date start = change.growthStartedAt.value_or(change.detectedAt - 15.0);
    auto frames = buffer_.framesAround(start, change.detectedAt);
    if (frames.empty()) return done(std::nullopt);

    std::vector<std::vector<std::uint8_t>> pictures;
    for (const auto& f : frames) pictures.push_back(f.jpegData);
    const std::weak_ptr<bool> alive = alive_;
    recognizer_.recognize(std::move(pictures), [this, alive, change, frames = std::move(frames),
                                                done = std::move(done)](std::vector<TextRecognizer::Lines> lines) {
        if (alive.expired()) return;
        auto local = localSummary(frames, lines);
        const auto key = environment(CloudVisionClient::keyVariable);
        if (!settings_.permissions().cloudAIEnabled || !key || key->empty())
            return finish(change, frames, std::move(local), false, done);
        auto endpoint = environment(CloudVisionClient::endpointVariable);
        if (!endpoint || endpoint->empty()) endpoint = std::string(CloudVisionClient::defaultEndpoint);
        cloud_.requestCloudDescription(
            frames, *key, local, *endpoint,
            [this, alive, change, frames, local, done](std::optional<std::string> cloudText) {
                if (alive.expired()) return;
                // An empty reply says nothing about the screen; the local reading still does.
                if (cloudText && !cloudText->empty()) finish(change, frames, std::move(cloudText), true, done);
                else finish(change, frames, local, false, done);
            });
    });
}

void VisualContextAnalyzer::finish(const SignificantChange& change,
                                   const std::vector<ScreenshotRingBuffer::Frame>& frames,
                                   std::optional<std::string> text, bool usedCloudAI,
                                   const std::function<void(std::optional<VisualChangeDescription>)>& done) {
    std::vector<Uuid> ids;
    for (const auto& f : frames) ids.push_back(f.id);
    if (!text || text->empty()) {
        buffer_.removeFrames(ids);
        return done(std::nullopt);
    }
    const Date now = clock_.now();
    captureHistory_.push_front(CaptureHistoryEntry{Uuid::random(), now, change.app.displayName, *text, usedCloudAI,
                                                   static_cast<int>(frames.size())});
    if (captureHistory_.size() > maxHistory) captureHistory_.resize(maxHistory);
    if (onChange) onChange();
    buffer_.removeFrames(ids);
    done(VisualChangeDescription{std::move(*text), now});
}

}  // namespace velmora
