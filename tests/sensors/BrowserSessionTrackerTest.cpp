#include <gtest/gtest.h>

#include "sensors/BrowserSessionTracker.h"

using namespace velmora;

namespace {

constexpr std::uint64_t MiB = 1024 * 1024;
constexpr long kQuit = -1;      // a sample with no process of the browser
constexpr long kNoSample = -2;  // page notes only
constexpr long kHuge = -3;      // the renderer at the largest count of bytes, so the sum saturates
using K = ActivityEventKind;

ProcessIdentity chrome(std::string name, std::int32_t pid) {
    return ProcessIdentity{"com.google.Chrome", "com.google.Chrome", std::move(name), {pid}, false};
}
const ProcessIdentity kFirefox{"org.mozilla.firefox", "org.mozilla.firefox", "Firefox", {40}, false};

struct Note {
    K kind;
    std::optional<std::string> title, url = {}, detail = {};
    std::optional<ProcessIdentity> app = chrome("Google Chrome Helper", 10);
};

struct Step {
    double t;
    long mib;  // Chrome's two processes together: 100 MiB of it in the renderer
    std::vector<std::string> titles = {};  // titleChanged notes before the sample
    int tabSummaries = 0;                  // "N tabs visible" notes before the sample
    std::vector<Note> notes = {};
};

// Each story as "start-end startMiB>endMiB peak peakMiB [pages] changes". Beside Chrome every
// sample holds Firefox, never growing, and our own process, huge and named like Chrome.
std::vector<std::string> run(const std::vector<Step>& steps) {
    BrowserSessionTracker tracker;
    std::vector<std::string> stories;
    tracker.onSessionStory = [&](const BrowserSessionStory& s) {
        EXPECT_EQ(s.app, (ProcessIdentity{"family:chrome", "com.google.Chrome", "Google Chrome", {11}, false}));
        std::string pages;
        for (const auto& p : s.pages) pages += (pages.empty() ? "" : ",") + p;
        stories.push_back(std::to_string(int(s.start.secondsSince2001)) + "-" + std::to_string(int(s.end.secondsSince2001)) +
                          " " + std::to_string(s.startBytes / MiB) + ">" + std::to_string(s.endBytes / MiB) + " peak " +
                          std::to_string(s.peakBytes / MiB) + " [" + pages + "] " + std::to_string(s.pageChangeCount));
    };
    const ProcessIdentity self{"net.velmora", std::nullopt, "Velmora Chrome Watch", {1}, true};
    for (const auto& step : steps) {
        std::vector<Note> notes = step.notes;
        for (const auto& title : step.titles) notes.push_back({K::titleChanged, title});
        for (int i = 0; i < step.tabSummaries; ++i)
            notes.push_back({K::tabActivity, "Tabs", std::nullopt, std::to_string(i + 2) + " tabs visible"});
        for (const auto& n : notes) tracker.notePage({Uuid::random(), Date{step.t}, n.kind, n.app, n.title, n.url, n.detail});
        if (step.mib == kNoSample) continue;
        std::vector<AppMemorySnapshot> apps{{kFirefox, 300 * MiB}, {self, 5000 * MiB}};
        if (const bool huge = step.mib == kHuge; step.mib != kQuit) {
            apps.push_back({chrome("Chrome", 10), (huge ? 350 : static_cast<std::uint64_t>(step.mib) - 100) * MiB});
            apps.push_back({chrome("Renderer", 11), huge ? UINT64_MAX : 100 * MiB});
        }
        tracker.ingest(apps, Date{step.t});
    }
    return stories;
}

std::vector<std::string> numbered(const char* prefix) {
    std::vector<std::string> out;
    for (int i = 1; i <= 12; ++i) out.push_back(prefix + std::to_string(i));
    return out;
}

}  // namespace

TEST(BrowserSessionTrackerTest, GrowthDurationPagesCooldownAndAnchors) {
    struct Case {
        const char* name;
        std::vector<Step> steps;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"79 MiB over ten minutes is not enough", {{0, 400}, {600, 479}}, {}},
        {"80 MiB after 75 s", {{0, 400}, {30, 430}, {75, 480}}, {"0-75 400>480 peak 480 [] 0"}},
        {"74.9 s without pages is too short, 75 s is enough", {{0, 400}, {74.9, 500}, {75, 500}},
         {"0-75 400>500 peak 500 [] 0"}},
        {"40 s with a page", {{0, 400}, {10, 400, {"Docs"}}, {39.9, 500}, {40, 500}}, {"0-40 400>500 peak 500 [Docs] 1"}},
        {"40 s with two tab summaries", {{0, 400}, {10, 400, {}, 2}, {40, 500}}, {"0-40 400>500 peak 500 [] 2"}},
        {"one tab summary is not busy", {{0, 400}, {10, 400, {}, 1}, {50, 500}}, {}},
        {"notes of other kinds, apps and families",
         {{0, 400},
          {1, 400, {}, 0,
           {{K::becameFrontmost, "Ignored kind"}, {K::pageNavigated, "Chat", "https://claude.ai/chat/1"},
            {K::siteActivity, "Chat again", "https://claude.ai/x"}, {K::titleChanged, "New Tab"},
            {K::titleChanged, "Elsewhere", {}, {}, std::nullopt}, {K::titleChanged, "Fox page", {}, {}, kFirefox}}},
          {50, kHuge}},
         {"0-50 400>17592186044415 peak 17592186044415 [Claude] 3"}},
        {"pending pages move into the new session", {{0, kNoSample, {"Mail", "Maps", "Mail"}}, {1, 400}, {45, 500}},
         {"1-45 400>500 peak 500 [Maps,Mail] 3"}},
        {"a drop of exactly 30 MiB keeps the anchor", {{0, 1000, {"A"}}, {20, 970}, {80, 1080}},
         {"0-80 1000>1080 peak 1080 [A] 1"}},
        {"a drop of 40 MiB moves it and clears the pages", {{0, 1000}, {5, 1000, {"A"}}, {20, 960}, {100, 1040}},
         {"20-100 960>1040 peak 1040 [] 0"}},
        {"the peak is kept between anchors", {{0, 1000}, {20, 1200}, {80, 1090}}, {"0-80 1000>1090 peak 1200 [] 0"}},
        {"cooldown holds a climb from a lower anchor",
         {{0, 1000}, {100, 1100}, {110, 1060}, {190, 1150}, {249, 1150}, {250, 1150}},
         {"0-100 1000>1100 peak 1100 [] 0", "110-250 1060>1150 peak 1150 [] 0"}},
        {"unless it ends 80 MiB above the last story", {{0, 1000}, {100, 1100}, {110, 1060}, {190, 1180}},
         {"0-100 1000>1100 peak 1100 [] 0", "110-190 1060>1180 peak 1180 [] 0"}},
        {"a relaunch starts afresh, without cooldown",
         {{0, 1000}, {80, 1080}, {90, kQuit}, {100, 500}, {175, 580}, {180, 300}},
         {"0-80 1000>1080 peak 1080 [] 0", "100-175 500>580 peak 580 [] 0"}},
        {"a sensor's own words are no pages; kinds that are no page change do not wait",
         {{0, kNoSample, {}, 0,
           {{K::becameFrontmost, {}, {}, "Frontmost"}, {K::dialogAppeared, "Save As", {}, "AXDialog"},
            {K::pageNavigated, "Story", {}, "news.example.com"}}},
          {1, 400},
          {2, 400, {}, 0, {{K::titleChanged, {}, {}, "window_title_probe"}, {K::dialogAppeared, "Open", {}, "AXSheet"}}},
          {41, 500}},
         {"1-41 400>500 peak 500 [news.example.com] 2"}},
        {"a frontmost switch before the session makes no short story", {{0, kNoSample, {}, 0, {{K::becameFrontmost, {}, {}, "Frontmost"}}}, {1, 400}, {41, 500}}, {}},
        {"twelve pages leave the last ten", {{0, 400, numbered("p")}, {50, 500}},
         {"0-50 400>500 peak 500 [p3,p4,p5,p6,p7,p8,p9,p10,p11,p12] 12"}},
        {"twelve pending pages leave the last ten", {{0, kNoSample, numbered("q")}, {1, 400}, {41, 500}},
         {"1-41 400>500 peak 500 [q3,q4,q5,q6,q7,q8,q9,q10,q11,q12] 12"}},
    };
    for (const auto& c : cases) EXPECT_EQ(run(c.steps), c.expected) << c.name;

    // A family the table does not name keeps the process's own name.
    EXPECT_EQ(BrowserSessionTracker::familyIdentity("netsurf", {"netsurf", "netsurf", "NetSurf", {7}, true}),
              (ProcessIdentity{"family:netsurf", "netsurf", "NetSurf", {7}, false}));
}
