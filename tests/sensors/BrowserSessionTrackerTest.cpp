#include <gtest/gtest.h>

#include <limits>

#include "sensors/BrowserSessionTracker.h"

using namespace velmora;

namespace {

constexpr std::uint64_t MiB = 1024 * 1024;
constexpr long kQuit = -1;    // a sample with no process of the browser
constexpr long kNoSample = -2;  // page notes only

ProcessIdentity chromeProcess(std::string name = "Google Chrome Helper", std::int32_t pid = 10) {
    return ProcessIdentity{"com.google.Chrome", "com.google.Chrome", std::move(name), {pid}, false};
}

struct Step {
    double t;
    long mib;
    std::vector<std::string> titles = {};  // titleChanged notes before the sample
    int tabSummaries = 0;                  // "N tabs visible" notes before the sample
};

std::string describe(const BrowserSessionStory& s) {
    std::string pages;
    for (const auto& p : s.pages) pages += (pages.empty() ? "" : ",") + p;
    return std::to_string(int(s.start.secondsSince2001)) + "-" + std::to_string(int(s.end.secondsSince2001)) + " " +
           std::to_string(s.startBytes / MiB) + ">" + std::to_string(s.endBytes / MiB) + " peak " +
           std::to_string(s.peakBytes / MiB) + " [" + pages + "] " + std::to_string(s.pageChangeCount);
}

std::vector<std::string> run(const std::vector<Step>& steps) {
    BrowserSessionTracker tracker;
    std::vector<std::string> stories;
    tracker.onSessionStory = [&](const BrowserSessionStory& s) { stories.push_back(describe(s)); };
    const ProcessIdentity editor{"org.gnome.TextEditor", "org.gnome.TextEditor", "Text Editor", {5}, false};
    for (const auto& step : steps) {
        for (const auto& title : step.titles)
            tracker.notePage({Uuid::random(), Date{step.t}, ActivityEventKind::titleChanged, chromeProcess(), title});
        for (int i = 0; i < step.tabSummaries; ++i)
            tracker.notePage({Uuid::random(), Date{step.t}, ActivityEventKind::tabActivity, chromeProcess(), "Tabs",
                              std::nullopt, std::to_string(i + 2) + " tabs visible"});
        if (step.mib == kNoSample) continue;
        std::vector<AppMemorySnapshot> apps{{editor, 900 * MiB}};
        if (step.mib != kQuit) apps.push_back({chromeProcess(), static_cast<std::uint64_t>(step.mib) * MiB});
        tracker.ingest(apps, Date{step.t});
    }
    return stories;
}

std::vector<std::string> numbered(const char* prefix, int from, int to) {
    std::vector<std::string> out;
    for (int i = from; i <= to; ++i) out.push_back(prefix + std::to_string(i));
    return out;
}

}  // namespace

TEST(BrowserSessionTrackerTest, GrowthDurationPagesCooldownAndAnchors) {
    using Stories = std::vector<std::string>;
    struct Case {
        const char* name;
        std::vector<Step> steps;
        Stories expected;
    };
    const Case cases[] = {
        {"79 MiB over ten minutes is not enough", {{0, 400}, {600, 479}}, {}},
        {"80 MiB after 75 s", {{0, 400}, {30, 430}, {75, 480}}, {"0-75 400>480 peak 480 [] 0"}},
        {"74.9 s without pages is too short", {{0, 400}, {74.9, 500}}, {}},
        {"then 75 s is long enough", {{0, 400}, {74.9, 500}, {75, 500}}, {"0-75 400>500 peak 500 [] 0"}},
        {"40 s with a page", {{0, 400}, {10, 400, {"Docs"}}, {39.9, 500}, {40, 500}}, {"0-40 400>500 peak 500 [Docs] 1"}},
        {"40 s with two tab summaries", {{0, 400}, {10, 400, {}, 2}, {40, 500}}, {"0-40 400>500 peak 500 [] 2"}},
        {"one tab summary is not busy", {{0, 400}, {10, 400, {}, 1}, {50, 500}}, {}},
        {"pending pages move into the new session",
         {{0, kNoSample, {"Mail", "Maps", "Mail"}}, {1, 400}, {45, 500}},
         {"1-45 400>500 peak 500 [Maps,Mail] 3"}},
        {"a drop of exactly 30 MiB keeps the anchor", {{0, 1000, {"A"}}, {20, 970}, {80, 1080}},
         {"0-80 1000>1080 peak 1080 [A] 1"}},
        {"a drop of 40 MiB moves it and clears the pages", {{0, 1000}, {5, 1000, {"A"}}, {20, 960}, {100, 1040}},
         {"20-100 960>1040 peak 1040 [] 0"}},
        {"the peak is kept between anchors", {{0, 1000}, {20, 1200}, {80, 1090}}, {"0-80 1000>1090 peak 1200 [] 0"}},
        {"cooldown holds a climb from a lower anchor",
         {{0, 1000}, {100, 1100}, {110, 1060}, {190, 1150}, {249, 1150}, {250, 1150}},
         {"0-100 1000>1100 peak 1100 [] 0", "110-250 1060>1150 peak 1150 [] 0"}},
        {"unless it ends 80 MiB above the last story",
         {{0, 1000}, {100, 1100}, {110, 1060}, {190, 1180}},
         {"0-100 1000>1100 peak 1100 [] 0", "110-190 1060>1180 peak 1180 [] 0"}},
        {"a relaunch starts afresh, without cooldown",
         {{0, 1000}, {80, 1080}, {90, kQuit}, {100, 500}, {175, 580}, {180, 300}},
         {"0-80 1000>1080 peak 1080 [] 0", "100-175 500>580 peak 580 [] 0"}},
        {"twelve pages leave the last ten", {{0, 400, numbered("p", 1, 12)}, {50, 500}},
         {"0-50 400>500 peak 500 [p3,p4,p5,p6,p7,p8,p9,p10,p11,p12] 12"}},
        {"twelve pending pages leave the last ten", {{0, kNoSample, numbered("q", 1, 12)}, {1, 400}, {41, 500}},
         {"1-41 400>500 peak 500 [q3,q4,q5,q6,q7,q8,q9,q10,q11,q12] 12"}},
    };
    for (const auto& c : cases) EXPECT_EQ(run(c.steps), c.expected) << c.name;
}

TEST(BrowserSessionTrackerTest, FamiliesIdentitiesAndNotes) {
    BrowserSessionTracker tracker;
    std::vector<BrowserSessionStory> stories;
    tracker.onSessionStory = [&](const BrowserSessionStory& s) { stories.push_back(s); };
    const ProcessIdentity self{"net.velmora", std::nullopt, "Velmora Chrome Watch", {1}, true};
    const ProcessIdentity firefox{"org.mozilla.firefox", "org.mozilla.firefox", "Firefox", {40}, false};
    const auto sample = [&](double t, std::uint64_t a, std::uint64_t b) {
        tracker.ingest({{chromeProcess("Chrome", 10), a}, {self, 5000 * MiB}, {chromeProcess("Renderer", 11), b},
                        {firefox, 100 * MiB}},
                       Date{t});
    };
    const auto note = [&](ActivityEventKind kind, std::optional<std::string> title, std::optional<std::string> url = {},
                          std::optional<ProcessIdentity> who = chromeProcess()) {
        tracker.notePage({Uuid::random(), Date{1}, kind, std::move(who), std::move(title), std::move(url)});
    };
    sample(0, 300 * MiB, 100 * MiB);
    note(ActivityEventKind::becameFrontmost, "Ignored kind");  // no page change
    note(ActivityEventKind::pageNavigated, "Chat", "https://claude.ai/chat/1");
    note(ActivityEventKind::siteActivity, "Chat again", "https://claude.ai/x");  // same label, one more change
    note(ActivityEventKind::titleChanged, "New Tab");                           // a change with no page
    note(ActivityEventKind::titleChanged, "Elsewhere", {}, std::nullopt);      // no app
    note(ActivityEventKind::titleChanged, "Fox page", {}, firefox);            // another family
    sample(50, 350 * MiB, std::numeric_limits<std::uint64_t>::max());          // sums saturate
    ASSERT_EQ(stories.size(), 1u);
    EXPECT_EQ(stories[0].app, (ProcessIdentity{"family:chrome", "com.google.Chrome", "Google Chrome", {11}, false}));
    EXPECT_EQ(stories[0].startBytes, 400 * MiB);
    EXPECT_EQ(stories[0].endBytes, std::numeric_limits<std::uint64_t>::max());
    EXPECT_EQ(stories[0].pages, std::vector<std::string>{"Claude"});
    EXPECT_EQ(stories[0].pageChangeCount, 3);

    // A family the table does not name keeps the process's own name.
    EXPECT_EQ(BrowserSessionTracker::familyIdentity("chromium", {"chromium", "chromium", "Chromium", {7}, true}),
              (ProcessIdentity{"family:chromium", "chromium", "Chromium", {7}, false}));
}
