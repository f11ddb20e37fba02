#include <gtest/gtest.h>

#include "engine/settings/SettingsStore.h"
#include "sensors/visual/VisualContextAnalyzer.h"
#include "tests/fakes/InMemoryDefaults.h"
#include "tests/sensors/visual/RingRig.h"

using namespace velmora;

namespace {

using Frame = ScreenshotRingBuffer::Frame;

Frame frameOwnedBy(std::optional<std::string> owner) { return Frame{Uuid::random(), Date{0}, {}, std::move(owner), {}}; }

std::optional<std::string> summaryOf(std::vector<std::vector<std::string>> lines,
                                     std::vector<std::optional<std::string>> owners = {}) {
    std::vector<Frame> frames;
    for (auto& o : owners) frames.push_back(frameOwnedBy(o));
    return VisualContextAnalyzer::localSummary(frames, lines);
}

SignificantChange growthOf(std::string app, double detectedAt,
                           SignificantChange::Kind kind = SignificantChange::Kind::largeGrowth()) {
    SignificantChange c;
    c.app = ProcessIdentity{"name:" + app, {}, app, {42}};
    c.detectedAt = Date{detectedAt};
    c.kind = kind;
    return c;
}

struct Analysis : RingRig {
    InMemoryDefaults defaults;
    SettingsStore settings{defaults};
    FakeTextRecognizer recognizer;
    FakeHttpsClient http;
    VisualContextAnalyzer analyzer{ring, settings, recognizer, http, clock};
    std::map<std::string, std::string> env;
    std::vector<std::optional<VisualChangeDescription>> results;

    Analysis() {
        recognizer.linesByPicture["1@640x320"] = {"Quarterly report draft"};
        settings.setPermission(&PermissionState::screenshotsEnabled, true);
        analyzer.environment = [this](std::string_view name) -> std::optional<std::string> {
            const auto it = env.find(std::string(name));
            return it == env.end() ? std::nullopt : std::optional(it->second);
        };
        ring.start(false);
        scheduler.advance(4);  // frames at 0…4
    }
    void analyze(const SignificantChange& change, bool force = false) {
        analyzer.analyze(change, force, [this](auto d) { results.push_back(std::move(d)); });
    }
};

}  // namespace

TEST(VisualContextAnalyzerTest, LocalSummarySentences) {
    const std::string line119(119, 'x'), line120(120, 'y');
    std::string accents;
    for (int i = 0; i < 119; ++i) accents += "\u00E9";  // 119 characters in 238 bytes
    const std::tuple<std::vector<std::vector<std::string>>, std::vector<std::optional<std::string>>,
                     std::optional<std::string>>
        cases[] = {
            {{{"FILE", "Edit", "view", "HiStOrY"}, {"Window", "help", "VELMORA", "ab", " \n"}},
             {"Firefox", "Editor", std::nullopt},
             "Active window appeared to belong to Editor; OCR found little readable text."},
            {{{"ab"}}, {std::nullopt}, std::nullopt},
            {{{"www.youtube.com", "Cats playing piano"}}, {},
             "Visible text suggests YouTube / video UI. Browser-like content or URLs visible. Readable on-screen text "
             "included: www.youtube.com; Cats playing piano."},
            {{{"Quarterly report draft"}}, {}, "Readable on-screen text included: Quarterly report draft."},
            {{{"  see http links here \n", "see http links here"}}, {},
             "Browser-like content or URLs visible. Readable on-screen text included: see http links here."},
            {{{line120, line119, accents, "abc"}}, {},
             "Readable on-screen text included: " + line119 + "; " + accents + "; abc."},
            {{{"one", "two", "six", "ten"}, {"l05", "l06", "l07", "l08", "l09", "l10", "youtube"}}, {},
             "Readable on-screen text included: one; two; six; ten; l05."},  // the eleventh line is not read
        };
    for (const auto& [lines, owners, expected] : cases)
        EXPECT_EQ(summaryOf(lines, owners), expected) << (expected ? *expected : "nothing");
}

TEST(VisualContextAnalyzerTest, ShouldAnalyze) {
    Analysis a;
    auto signal = [](double weight) { return StructuredSignal{"site", {}, Date{0}, {}, weight}; };
    const auto growth = growthOf("Editor", 2);
    EXPECT_FALSE(a.analyzer.shouldAnalyze(growth, {signal(2), signal(8.0)}));
    EXPECT_TRUE(a.analyzer.shouldAnalyze(growth, {signal(7.9), signal(1)}));
    EXPECT_TRUE(a.analyzer.shouldAnalyze(growthOf("Editor", 2, SignificantChange::Kind::largeRelease()), {}));
    EXPECT_FALSE(a.analyzer.shouldAnalyze(growthOf("System", 2, SignificantChange::Kind::swapSpike(1)), {}));
    a.ring.stop();
    EXPECT_FALSE(a.analyzer.shouldAnalyze(growth, {}));
    a.ring.start(false);
    a.settings.setPermission(&PermissionState::screenshotsEnabled, false);
    EXPECT_FALSE(a.analyzer.shouldAnalyze(growth, {}));
}

TEST(VisualContextAnalyzerTest, AnalysisConsumesOnlyItsOwnFrames) {
    Analysis a;
    a.settings.setPermission(&PermissionState::screenshotsEnabled, false);
    a.analyze(growthOf("Editor", 2));
    ASSERT_EQ(a.results.size(), 1u);
    EXPECT_EQ(a.results[0], std::nullopt);
    EXPECT_TRUE(a.recognizer.pending.empty());

    auto change = growthOf("Editor", 2);
    change.growthStartedAt = Date{4};  // frames from 1 to 4: the first, index 2 and the last are read
    a.analyze(change, true);
    a.scheduler.advance(1);  // a frame at 5 arrives while the text is read
    a.clock.set(Date{5.5});
    a.recognizer.deliver();
    ASSERT_EQ(a.results.size(), 2u);
    EXPECT_EQ(a.results[1], (VisualChangeDescription{"Readable on-screen text included: Quarterly report draft.",
                                                     Date{5.5}}));
    EXPECT_EQ(times(a.ring.frames()), (std::vector<double>{0, 2, 5}));
    ASSERT_EQ(a.analyzer.captureHistory().size(), 1u);
    const auto& entry = a.analyzer.captureHistory()[0];
    EXPECT_EQ(entry.appName, "Editor");
    EXPECT_EQ(entry.frameCount, 3);
    EXPECT_FALSE(entry.usedCloudAI);

    a.recognizer.linesByPicture.clear();  // nothing readable and no owner: no text, frames still used
    a.desktop.apps[1].localizedName.reset();
    a.ring.start(false);
    a.analyze(growthOf("Editor", 5.5), true);
    a.recognizer.deliver();
    EXPECT_EQ(a.results.back(), std::nullopt);
    EXPECT_EQ(a.ring.frameCount(), 0u);
    a.analyze(growthOf("Editor", 5.5), true);
    EXPECT_EQ(a.results.back(), std::nullopt);  // no frames left
    EXPECT_EQ(a.analyzer.captureHistory().size(), 1u);
}

TEST(VisualContextAnalyzerTest, CloudDescriptionAndItsFallbacks) {
    struct Case {
        const char* label;
        bool cloudOn;
        std::map<std::string, std::string> env;
        std::optional<std::string> url;  // of the request, none when no request is made
        std::optional<HttpsResponse> reply;
        std::string summary;
        bool usedCloud;
    };
    const std::string local = "Readable on-screen text included: Quarterly report draft.";
    const std::string good = R"({"choices":[{"message":{"content":"  Looks like a report.\n"}}]})";
    const Case cases[] = {
        {"described by the cloud", true, {{"XAI_API_KEY", "k-1"}}, "https://api.x.ai/v1/chat/completions",
         HttpsResponse{200, good}, "Looks like a report.", true},
        {"empty reply", true, {{"XAI_API_KEY", "k-1"}, {"VELMORA_VISION_ENDPOINT", ""}},
         "https://api.x.ai/v1/chat/completions", HttpsResponse{200, R"({"choices":[{"message":{"content":" "}}]})"},
         local, false},
        {"failed request", true, {{"XAI_API_KEY", "k-1"}, {"VELMORA_VISION_ENDPOINT", "https://127.0.0.1:8443/"}},
         "https://127.0.0.1:8443/v1/chat/completions", std::nullopt, local, false},
        {"empty key", true, {{"XAI_API_KEY", ""}}, std::nullopt, std::nullopt, local, false},
        {"cloud switched off", false, {{"XAI_API_KEY", "k-1"}}, std::nullopt, std::nullopt, local, false},
    };
    for (const auto& c : cases) {
        Analysis a;
        a.settings.setPermission(&PermissionState::cloudAIEnabled, c.cloudOn);
        a.env = c.env;
        a.analyze(growthOf("Editor", 2));
        a.recognizer.deliver();
        ASSERT_EQ(a.http.requests.size(), c.url ? 1u : 0u) << c.label;
        if (c.url) {
            const auto& r = a.http.requests[0];
            EXPECT_EQ(r.url, *c.url) << c.label;
            EXPECT_EQ(r.timeoutSeconds, 45.0);
            EXPECT_EQ(r.headers[0], (std::pair<std::string, std::string>{"Authorization", "Bearer k-1"}));
            EXPECT_NE(r.body.find("Local OCR hints: " + local), std::string::npos) << c.label;
            EXPECT_TRUE(a.results.empty()) << c.label;  // waits for the reply
            a.http.respond(c.reply);
        }
        ASSERT_EQ(a.results.size(), 1u) << c.label;
        EXPECT_EQ(a.results[0]->summary, c.summary) << c.label;
        EXPECT_EQ(a.analyzer.captureHistory().at(0).usedCloudAI, c.usedCloud) << c.label;
    }
}

TEST(VisualContextAnalyzerTest, HistoryKeepsTheNewestFifty) {
    Analysis a;
    for (int i = 1; i <= 51; ++i) {
        a.scheduler.advance(1);
        a.analyze(growthOf("App " + std::to_string(i), a.clock.now().secondsSince2001));
        a.recognizer.deliver();
    }
    ASSERT_EQ(a.analyzer.captureHistory().size(), 50u);
    EXPECT_EQ(a.analyzer.captureHistory().front().appName, "App 51");
    EXPECT_EQ(a.analyzer.captureHistory().back().appName, "App 2");
}

TEST(VisualContextAnalyzerTest, NoAnswerAfterTheAnalyzerIsGone) {
    int calls = 0;
    FakeTextRecognizer recognizer;
    {
        Analysis a;
        a.analyzer.analyze(growthOf("Editor", 2), false, [&](auto) { ++calls; });
        recognizer.pending = std::move(a.recognizer.pending);
    }
    recognizer.deliver();
    EXPECT_EQ(calls, 0);
}
