#include <gtest/gtest.h>

#include "engine/stories/AttributionEngine.h"

using namespace velmora;

namespace {

using Kind = ActivityEventKind;
using P = MemoryPressureLevel;
using Attribution = AttributionEngine::Attribution;

const Date D{700000000};
const ProcessIdentity kSafari{"com.apple.Safari", "com.apple.Safari", "Safari", {10}, false};

SignificantChange growth(std::int64_t delta, std::optional<P> pressure = std::nullopt) {
    const auto kind = delta < 0 ? SignificantChange::Kind::largeRelease() : SignificantChange::Kind::largeGrowth();
    return {{}, kSafari, D, {}, 0, 0, 0, delta, kind,
            pressure ? std::optional(SystemMemorySnapshot{*pressure, 0, 0, 4'000'000'000, 16'000'000'000, D}) : std::nullopt};
}

ActivityEvent ev(Kind kind, Date at, std::optional<std::string> detail = std::nullopt,
                 std::optional<std::string> title = std::nullopt, std::optional<ProcessIdentity> who = kSafari) {
    return ActivityEvent{Uuid::random(), at, kind, std::move(who), std::move(title), std::nullopt, std::move(detail), {}};
}

const AttributionEngine engine;
const std::string kQ = "\xE2\x80\x9C", kEndQ = "\xE2\x80\x9D";

}  // namespace

TEST(AttributionEngineTest, WorkedExampleAndFixedTexts) {
    const auto page = ev(Kind::pageNavigated, D - 30, "Maps");
    SignificantChange machine = growth(0), swap = growth(0);
    machine.app = swap.app = ProcessIdentity::system();
    machine.kind = SignificantChange::Kind::pressureTransition(P::warning, P::normal);
    swap.kind = SignificantChange::Kind::swapSpike(50'000'000);
    const std::tuple<SignificantChange, std::vector<ActivityEvent>, Attribution> cases[] = {
        {growth(1'288'490'189, P::normal), {page},
         {ConfidenceLevel::high, {page}, {},
          "Safari grew by about 1.2 GB.\nWhat you were doing around then:\n\xE2\x80\xA2 You opened Maps\n"
          "These lined up in time \xE2\x80\x94 a good guess, not proof.\nYour computer\xE2\x80\x99s overall memory still looked fine.",
          "Safari grew on Maps", false, {"You opened Maps"}}},
        {growth(1'288'490'189), {},
         {ConfidenceLevel::low, {}, {},
          "Safari grew by about 1.2 GB.\nWe saw you use Safari, but not exactly which click or page caused this.",
          "Safari used +1.2 GB more", true, {}}},
        {growth(-314'572'800, P::critical), {},
         {ConfidenceLevel::low, {}, {},
          "Safari shrank by about 300 MB.\nMemory came free \xE2\x80\x94 often after closing tabs, windows, or quitting.\n"
          "Your computer was under heavy memory pressure.",
          "Safari freed 300 MB", false, {}}},
        {machine, {page},
         {ConfidenceLevel::high, {}, {}, "Your computer\xE2\x80\x99s memory status changed from Tight to OK.", "Computer memory went ok", false, {}}},
        {swap, {},
         {ConfidenceLevel::medium, {}, {}, "Your computer started using disk as extra memory quickly. That often makes things feel slow.",
          "Computer started using disk for memory", false, {}}},
    };
    for (const auto& [change, events, expected] : cases) EXPECT_EQ(engine.attribute(change, events, {}), expected) << expected.title;
}

TEST(AttributionEngineTest, WindowScoresAndOrder) {
    const std::pair<Date, bool> ends[] = {{D - 60, true}, {D + 5, true}, {D - 60.001, false}, {D + 5.001, false}};
    for (const auto& [at, matches] : ends)
        EXPECT_EQ(engine.attribute(growth(1), {ev(Kind::menuCommand, at)}, {}).linkedActivities.size(), matches ? 1u : 0u);

    const std::tuple<Kind, double, double> scores[] = {  // kind, seconds into a 60 s window, score
        {Kind::becameFrontmost, 65, 1.05}, {Kind::userIdle, 0, 1.0},           {Kind::titleChanged, 30, 7.0},
        {Kind::mediaLikelyPlaying, 60, 12.0}, {Kind::visualContext, 15, 4.0}, {Kind::siteActivity, -10, 9.0},
    };
    for (const auto& [kind, offset, expected] : scores)
        EXPECT_NEAR(AttributionEngine::score(ev(kind, D - 60 + offset), D - 60, 60), expected, 1e-12) << rawValue(kind);

    // A 0.3 s growth uses a 1 s span: the title change scores 6.6 and falls behind the document's 8.
    SignificantChange brief = growth(200'000'000);
    brief.growthStartedAt = D - 0.3;
    const auto title = ev(Kind::titleChanged, D, std::nullopt, "Notes");
    const auto doc = ev(Kind::documentOpened, D - 0.3, "Report.pdf");
    EXPECT_EQ(engine.attribute(brief, {title, doc}, {}).linkedActivities, (std::vector{doc, title}));

    // Ties keep the order the events came in; six at most.
    std::vector<ActivityEvent> events;
    for (int i = 0; i < 7; ++i) events.push_back(ev(Kind::menuCommand, D - 10));
    const auto a = engine.attribute(growth(200'000'000), events, {});
    EXPECT_EQ(a.linkedActivities, std::vector(events.begin(), events.begin() + 6));
    EXPECT_EQ(a.confidence, ConfidenceLevel::medium);
}

TEST(AttributionEngineTest, MediaTitlesEvenForAReleaseAndShortenedLabels) {
    using O = std::optional<std::string>;
    const std::tuple<O, O, std::string> cases[] = {
        {"  Lo-fi beats  ", std::nullopt, "Lo-fi beats"}, {std::nullopt, "Trailer - YouTube", "Trailer - YouTube"},
        {std::string(70, 'v'), std::nullopt, std::string(57, 'v') + "\xE2\x80\xA6"}, {std::nullopt, std::nullopt, "a video"},
    };
    for (const auto& [detail, windowTitle, label] : cases)
        EXPECT_EQ(engine.attribute(growth(-314'572'800), {ev(Kind::mediaLikelyPlaying, D - 5, detail, windowTitle)}, {}).title,
                  "Safari grew while watching " + label);
}

TEST(AttributionEngineTest, MatchingAppsAndSignals) {
    const ProcessIdentity chrome{"family:chrome", std::nullopt, "Google Chrome", {1}, false};
    const std::tuple<ProcessIdentity, ProcessIdentity, bool> cases[] = {
        {kSafari, {"other-key", "com.apple.Safari", "Safari Tech", {2}, false}, true},
        {chrome, {"name:Google Chrome Helper", std::nullopt, "Google Chrome Helper", {3}, false}, true},
        {{"name:Notes", "", "Notes", {4}, false}, {"name:Mail", "", "Mail", {5}, false}, false},
        {{"name:Search", std::nullopt, "Search", {4}, false}, {"name:Research", std::nullopt, "Research", {5}, false}, false},
    };
    for (const auto& [changedApp, eventApp, same] : cases)
        EXPECT_EQ(AttributionEngine::isSameApp(eventApp, changedApp), same) << changedApp.displayName << "/" << eventApp.displayName;
    EXPECT_TRUE(engine.attribute(growth(1), {ev(Kind::menuCommand, D, {}, {}, std::nullopt)}, {}).linkedActivities.empty());

    // Bundle prefixes match either way; empty bundle identifiers match nothing.
    const Date t = D - 500;  // well before the change: signals are not held to its window
    const std::vector<StructuredSignal> signals{
        {"site", "a.example", t, "com.apple", 8.0}, {"site", "b.example", t, "com.apple.Safari.beta", 8.0},
        {"site", "c", t, "com.google.Chrome", 8.0}, {"site", "d", t, "", 8.0}, {"site", "e", t, std::nullopt, 8.0}};
    EXPECT_EQ(engine.attribute(growth(1), {}, signals).structuredSignals, (std::vector{signals[0], signals[1]}));
    SignificantChange blank = growth(1);
    blank.app.bundleID = "";
    EXPECT_EQ(engine.attribute(blank, {}, signals).structuredSignals, std::vector<StructuredSignal>{});
}

TEST(AttributionEngineTest, ConfidenceFactorsAndTitles) {
    const auto quiet = std::vector{ev(Kind::becameFrontmost, D), ev(Kind::userIdle, D - 60), ev(Kind::userResumed, D - 59)};
    const auto details = std::vector{
        ev(Kind::mediaLikelyPlaying, D - 40, "Song"), ev(Kind::pageNavigated, D - 30, "Maps"),
        ev(Kind::siteActivity, D - 20, "maps.apple.com"), ev(Kind::pageNavigated, D - 10, "Maps"),
        ev(Kind::tabActivity, D - 5, "Docs"), ev(Kind::windowOpened, D - 1, "Mail")};
    const auto noDetails = std::vector{ev(Kind::titleChanged, D - 30, std::nullopt, "Old"),
                                       ev(Kind::windowOpened, D - 20, std::nullopt, "Inbox"),
                                       ev(Kind::titleChanged, D - 10, "   ", "Draft")};  // a blank detail names nothing
    const auto site = std::vector<StructuredSignal>{{"site", "news.example", D, "com.apple.Safari", 8.0}};
    const std::tuple<std::vector<ActivityEvent>, std::vector<StructuredSignal>, ConfidenceLevel, std::vector<std::string>,
                     std::string>
        cases[] = {
            // Only quiet events: no bullets, the one factor from the first linked event that is not a switch.
            {quiet, {}, ConfidenceLevel::low, {"You're back"}, "Safari used +1.2 GB more"},
            {details, site, ConfidenceLevel::high,
             {"You watched " + kQ + "Song" + kEndQ, "You opened Maps", "You opened maps.apple.com", "You opened Docs"},
             "Safari grew while watching Song"},
            // Media alone, and strong events alone, each make the story high.
            {{ev(Kind::mediaLikelyPlaying, D - 40, "Song")}, {}, ConfidenceLevel::high, {"You watched " + kQ + "Song" + kEndQ},
             "Safari grew while watching Song"},
            {noDetails, {}, ConfidenceLevel::high, {"You were in " + kQ + "Inbox" + kEndQ, "You were in " + kQ + "Draft" + kEndQ},
             "Safari used +1.2 GB more"},
            // A site signal names the place but raises neither the confidence nor a bullet block.
            {{}, site, ConfidenceLevel::low, {"You opened news.example"}, "Safari grew on news.example"},
        };
    for (const auto& [events, signals, confidence, factors, title] : cases) {
        const auto a = engine.attribute(growth(1'288'490'189), events, signals);
        EXPECT_EQ(std::tie(a.confidence, a.primaryFactors, a.title), std::tie(confidence, factors, title));
        EXPECT_EQ(a.needsVisualFallback, confidence == ConfidenceLevel::low) << title;
        const bool bullets = a.explanation.find("\n\xE2\x80\xA2 " + factors.back() + "\nThese lined up in time") != std::string::npos;
        EXPECT_EQ(bullets, confidence != ConfidenceLevel::low) << a.explanation;
    }
    // Without media the title names the latest strong event that has a detail.
    const auto pages = std::vector{ev(Kind::pageNavigated, D - 30, "Maps"), ev(Kind::pageNavigated, D - 10, "Docs"),
                                   ev(Kind::titleChanged, D - 5, std::nullopt, "Draft")};
    EXPECT_EQ(engine.attribute(growth(1'288'490'189), pages, {}).title, "Safari grew on Docs");
}
