#include <gtest/gtest.h>

#include "engine/stories/AttributionEngine.h"

using namespace velmora;

namespace {

using Kind = ActivityEventKind;

const Date D{700000000};
const ProcessIdentity kSafari{"com.apple.Safari", "com.apple.Safari", "Safari", {10}, false};

SignificantChange growth(std::int64_t delta, std::optional<MemoryPressureLevel> pressure = std::nullopt) {
    SignificantChange c;
    c.id = Uuid::random();
    c.app = kSafari;
    c.detectedAt = D;
    c.signedDelta = delta;
    c.kind = delta < 0 ? SignificantChange::Kind::largeRelease() : SignificantChange::Kind::largeGrowth();
    if (pressure) c.system = SystemMemorySnapshot{*pressure, 0, 0, 4'000'000'000, 16'000'000'000, D};
    return c;
}

ActivityEvent ev(Kind kind, Date at, std::optional<std::string> detail = std::nullopt,
                 std::optional<std::string> title = std::nullopt, std::optional<ProcessIdentity> who = kSafari) {
    return ActivityEvent{Uuid::random(), at, kind, std::move(who), std::move(title), std::nullopt, std::move(detail),
                         std::nullopt};
}

std::vector<Uuid> ids(const std::vector<ActivityEvent>& events) {
    std::vector<Uuid> out;
    for (const auto& e : events) out.push_back(e.id);
    return out;
}

const AttributionEngine engine;

}  // namespace

TEST(AttributionEngineTest, WorkedExampleOnePageEventBeforeAGrowth) {
    const auto page = ev(Kind::pageNavigated, D - 30, "Maps");
    EXPECT_DOUBLE_EQ(AttributionEngine::score(page, D - 60, 60), 10.0);
    const auto a = engine.attribute(growth(1'288'490'189, MemoryPressureLevel::normal), {page}, {});
    EXPECT_EQ(a.title, "Safari grew on Maps");
    EXPECT_EQ(a.confidence, ConfidenceLevel::high);
    EXPECT_EQ(a.explanation,
              "Safari grew by about 1.2 GB.\n"
              "What you were doing around then:\n"
              "\xE2\x80\xA2 You opened Maps\n"
              "These lined up in time \xE2\x80\x94 a good guess, not proof.\n"
              "Your Mac\xE2\x80\x99s overall memory still looked fine.");
    EXPECT_EQ(a.primaryFactors, std::vector<std::string>{"You opened Maps"});
    EXPECT_EQ(ids(a.linkedActivities), std::vector<Uuid>{page.id});
    EXPECT_FALSE(a.needsVisualFallback);
}

TEST(AttributionEngineTest, NothingSeenGivesLowConfidenceAndFallbackTexts) {
    const auto grew = engine.attribute(growth(1'288'490'189), {}, {});
    EXPECT_EQ(grew.confidence, ConfidenceLevel::low);
    EXPECT_TRUE(grew.needsVisualFallback);
    EXPECT_TRUE(grew.primaryFactors.empty());
    EXPECT_EQ(grew.title, "Safari used +1.2 GB more");
    EXPECT_EQ(grew.explanation,
              "Safari grew by about 1.2 GB.\nWe saw you use Safari, but not exactly which click or page caused this.");

    const auto freed = engine.attribute(growth(-314'572'800, MemoryPressureLevel::critical), {}, {});
    EXPECT_EQ(freed.confidence, ConfidenceLevel::low);
    EXPECT_FALSE(freed.needsVisualFallback);
    EXPECT_EQ(freed.title, "Safari freed 300 MB");
    EXPECT_EQ(freed.explanation,
              "Safari shrank by about 300 MB.\n"
              "Memory came free \xE2\x80\x94 often after closing tabs, windows, or quitting.\n"
              "Your Mac was under heavy memory pressure.");
}

TEST(AttributionEngineTest, WholeMachineChangesGetFixedTexts) {
    SignificantChange pressure = growth(0);
    pressure.app = ProcessIdentity::system();
    pressure.kind = SignificantChange::Kind::pressureTransition(MemoryPressureLevel::warning, MemoryPressureLevel::normal);
    const auto p = engine.attribute(pressure, {ev(Kind::pageNavigated, D, "Maps")}, {});
    EXPECT_EQ(p.title, "Mac memory went ok");
    EXPECT_EQ(p.explanation, "Your Mac\xE2\x80\x99s memory status changed from Tight to OK.");
    EXPECT_EQ(p.confidence, ConfidenceLevel::high);
    EXPECT_TRUE(p.linkedActivities.empty());

    pressure.kind = SignificantChange::Kind::pressureTransition(MemoryPressureLevel::normal, MemoryPressureLevel::critical);
    EXPECT_EQ(engine.attribute(pressure, {}, {}).title, "Mac memory went critical");

    SignificantChange swap = pressure;
    swap.kind = SignificantChange::Kind::swapSpike(50'000'000);
    const auto s = engine.attribute(swap, {}, {});
    EXPECT_EQ(s.title, "Mac started using disk for memory");
    EXPECT_EQ(s.explanation, "Your Mac started using disk as extra memory quickly. That often makes things feel slow.");
    EXPECT_EQ(s.confidence, ConfidenceLevel::medium);
    EXPECT_FALSE(s.needsVisualFallback);
}

TEST(AttributionEngineTest, WindowEndsAreIncluded) {
    struct Case {
        Date at;
        bool matches;
    };
    const Case cases[] = {{D - 60, true}, {D + 5, true}, {D - 60.001, false}, {D + 5.001, false}};
    for (const auto& c : cases) {
        const auto a = engine.attribute(growth(200'000'000), {ev(Kind::menuCommand, c.at)}, {});
        EXPECT_EQ(a.linkedActivities.size(), c.matches ? 1u : 0u) << c.at.secondsSince2001 - D.secondsSince2001;
    }
}

TEST(AttributionEngineTest, ScoresByKindAndRecency) {
    struct Case {
        Kind kind;
        double offset;  // seconds after the window start of a 60 s span
        double expected;
    };
    const Case cases[] = {
        {Kind::becameFrontmost, 65, 1.05}, {Kind::userIdle, 0, 1.0},        {Kind::appLaunched, 0, 4.0},
        {Kind::titleChanged, 30, 7.0},     {Kind::mediaLikelyPlaying, 60, 12.0}, {Kind::visualContext, 15, 4.0},
        {Kind::siteActivity, -10, 9.0},    {Kind::documentOpened, 0, 8.0},   {Kind::tabActivity, 0, 7.0},
    };
    for (const auto& c : cases)
        EXPECT_NEAR(AttributionEngine::score(ev(c.kind, D - 60 + c.offset), D - 60, 60), c.expected, 1e-12)
            << static_cast<int>(c.kind);
}

TEST(AttributionEngineTest, ShortGrowthUsesASpanOfOneSecond) {
    // With a 0.3 s span the title change would score 6 + 2 = 8 and tie, coming first by input order;
    // with the 1 s floor it scores 6.6 and falls behind the document.
    SignificantChange c = growth(200'000'000);
    c.growthStartedAt = D - 0.3;
    const auto title = ev(Kind::titleChanged, D, std::nullopt, "Notes");
    const auto doc = ev(Kind::documentOpened, D - 0.3, "Report.pdf");
    const auto a = engine.attribute(c, {title, doc}, {});
    EXPECT_EQ(ids(a.linkedActivities), (std::vector<Uuid>{doc.id, title.id}));
}

TEST(AttributionEngineTest, TiesKeepInputOrderAndSixAreLinked) {
    std::vector<ActivityEvent> events;
    for (int i = 0; i < 7; ++i) events.push_back(ev(Kind::menuCommand, D - 10));
    const auto a = engine.attribute(growth(200'000'000), events, {});
    ASSERT_EQ(a.linkedActivities.size(), 6u);
    for (std::size_t i = 0; i < 6; ++i) EXPECT_EQ(a.linkedActivities[i].id, events[i].id) << i;
    EXPECT_EQ(a.confidence, ConfidenceLevel::medium);
}

TEST(AttributionEngineTest, OnlyQuietEventsGiveLowConfidenceWithoutBullets) {
    const auto idle = ev(Kind::userIdle, D - 50);
    const auto back = ev(Kind::userResumed, D - 10);
    const auto front = ev(Kind::becameFrontmost, D);
    const auto a = engine.attribute(growth(1'288'490'189), {front, idle, back}, {});
    EXPECT_EQ(a.confidence, ConfidenceLevel::low);
    EXPECT_TRUE(a.needsVisualFallback);
    EXPECT_EQ(ids(a.linkedActivities), (std::vector<Uuid>{back.id, idle.id, front.id}));
    EXPECT_EQ(a.primaryFactors, std::vector<std::string>{"You're back"});
    EXPECT_EQ(a.explanation.find("What you were doing"), std::string::npos);
}

TEST(AttributionEngineTest, MediaTitlesEvenForAReleaseAndShortenedLabels) {
    const std::string seventy(70, 'v');
    struct Case {
        std::optional<std::string> detail, windowTitle;
        std::string label;
    };
    const Case cases[] = {
        {"  Lo-fi beats  ", std::nullopt, "Lo-fi beats"},
        {seventy, std::nullopt, std::string(57, 'v') + "\xE2\x80\xA6"},
        {std::nullopt, "Trailer - YouTube", "Trailer - YouTube"},
        {std::nullopt, std::nullopt, "a video"},
        {"", "Concert", "Concert"},
    };
    for (const auto& c : cases) {
        const auto a =
            engine.attribute(growth(-314'572'800), {ev(Kind::mediaLikelyPlaying, D - 5, c.detail, c.windowTitle)}, {});
        EXPECT_EQ(a.title, "Safari grew while watching " + c.label);
        EXPECT_EQ(a.confidence, ConfidenceLevel::high);
    }
}

TEST(AttributionEngineTest, SameAppByKeyBundleOrBrowserFamily) {
    const ProcessIdentity chrome{"family:chrome", std::nullopt, "Google Chrome", {1}, false};
    struct Case {
        ProcessIdentity changed, eventApp;
        bool same;
    };
    const Case cases[] = {
        {kSafari, {"other-key", "com.apple.Safari", "Safari Tech", {2}, false}, true},
        {chrome, {"name:Google Chrome Helper", std::nullopt, "Google Chrome Helper", {3}, false}, true},
        {{"name:Notes", "", "Notes", {4}, false}, {"name:Mail", "", "Mail", {5}, false}, false},
        {{"name:Notes", std::nullopt, "Notes", {4}, false}, {"name:Mail", std::nullopt, "Mail", {5}, false}, false},
        {{"name:Search", std::nullopt, "Search", {4}, false}, {"name:Research", std::nullopt, "Research", {5}, false}, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(AttributionEngine::isSameApp(c.changed, c.eventApp), c.same) << c.changed.displayName << "/"
                                                                              << c.eventApp.displayName;
        SignificantChange change = growth(200'000'000);
        change.app = c.changed;
        const auto a = engine.attribute(change, {ev(Kind::menuCommand, D, std::nullopt, std::nullopt, c.eventApp)}, {});
        EXPECT_EQ(a.linkedActivities.size(), c.same ? 1u : 0u);
    }
    // An event without an app never matches.
    EXPECT_TRUE(engine.attribute(growth(1), {ev(Kind::menuCommand, D, std::nullopt, std::nullopt, std::nullopt)}, {})
                    .linkedActivities.empty());
}

TEST(AttributionEngineTest, SignalsMatchByBundlePrefixEitherWay) {
    auto signal = [](std::optional<std::string> bundle, std::string detail) {
        return StructuredSignal{"site", std::move(detail), D - 500, std::move(bundle), 8.0};
    };
    const std::vector<StructuredSignal> signals{signal("com.apple", "a.example"), signal("com.apple.Safari.beta", "b.example"),
                                                signal("com.google.Chrome", "c.example"), signal("", "d.example"),
                                                signal(std::nullopt, "e.example")};
    const auto a = engine.attribute(growth(200'000'000), {}, signals);
    ASSERT_EQ(a.structuredSignals.size(), 2u);
    EXPECT_EQ(a.structuredSignals[0].detail, "a.example");
    EXPECT_EQ(a.structuredSignals[1].detail, "b.example");
    // Site signals alone do not raise the confidence, but name the place in the title.
    EXPECT_EQ(a.confidence, ConfidenceLevel::low);
    EXPECT_EQ(a.title, "Safari grew on a.example");

    // An empty bundle identifier on the changed app is a prefix of nothing.
    SignificantChange blank = growth(200'000'000);
    blank.app.bundleID = "";
    EXPECT_TRUE(engine.attribute(blank, {}, signals).structuredSignals.empty());
}

TEST(AttributionEngineTest, FactorsFromDetailsInFirstSeenOrder) {
    const std::vector<ActivityEvent> events{
        ev(Kind::mediaLikelyPlaying, D - 40, "Song"), ev(Kind::pageNavigated, D - 30, "Maps"),
        ev(Kind::siteActivity, D - 20, "maps.apple.com"), ev(Kind::pageNavigated, D - 10, "Maps"),
        ev(Kind::tabActivity, D - 5, "Docs"), ev(Kind::windowOpened, D - 1, "Mail")};
    const std::vector<StructuredSignal> signals{{"site", "news.example", D, "com.apple.Safari", 8.0}};
    const auto a = engine.attribute(growth(200'000'000), events, signals);
    EXPECT_EQ(a.primaryFactors, (std::vector<std::string>{"You watched \xE2\x80\x9CSong\xE2\x80\x9D", "You opened Maps",
                                                          "You opened maps.apple.com", "You opened Docs"}));
    EXPECT_EQ(a.title, "Safari grew while watching Song");
    const auto bullets = a.explanation.find("\xE2\x80\xA2 You opened Docs\nThese lined up");
    EXPECT_NE(bullets, std::string::npos) << a.explanation;
}

TEST(AttributionEngineTest, StrongEventsWithoutDetailsGiveTheirLastTwoSentences) {
    const std::vector<ActivityEvent> events{ev(Kind::titleChanged, D - 30, std::nullopt, "Old"),
                                            ev(Kind::windowOpened, D - 20, std::nullopt, "Inbox"),
                                            ev(Kind::titleChanged, D - 10, "   ", "Draft")};
    const auto a = engine.attribute(growth(1'288'490'189), events, {});
    EXPECT_EQ(a.primaryFactors, (std::vector<std::string>{"You were in \xE2\x80\x9CInbox\xE2\x80\x9D",
                                                          "You were in \xE2\x80\x9C" "Draft\xE2\x80\x9D"}));
    // A blank detail names nothing: the title falls back to the amount.
    EXPECT_EQ(a.title, "Safari used +1.2 GB more");
    EXPECT_EQ(a.confidence, ConfidenceLevel::high);
}
