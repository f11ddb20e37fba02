#include "engine/sampling/ProcessGrouper.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "tests/fakes/ExistingFiles.h"

namespace velmora {
namespace {

using Group = ProcessGrouper::GroupedApp;

constexpr std::uint64_t MiB = 1024 * 1024;
const SelfProcess self{777, std::string("io.velmora.Velmora")};

RawProcess proc(std::int32_t pid, std::string name, std::int32_t parent = 1, std::uint64_t footprint = 1 * MiB,
                std::optional<std::string> bundle = std::nullopt, bool isApp = false, bool active = false) {
    return RawProcess{pid, std::move(name), std::move(bundle), footprint, std::nullopt, parent, isApp, active};
}

RawProcess app(std::int32_t pid, std::string name, std::optional<std::string> bundle, std::int32_t parent = 1,
               std::uint64_t footprint = 10 * MiB) {
    return proc(pid, std::move(name), parent, footprint, std::move(bundle), true);
}

// An identity's fields, in a form a failure prints readably.
auto fields(const ProcessIdentity& i) { return std::tuple(i.groupingKey, i.bundleID, i.displayName, i.pids, i.isSelf); }

const Group* findGroup(const std::vector<Group>& groups, std::int32_t pid) {
    for (const auto& g : groups)
        if (std::find(g.identity.pids.begin(), g.identity.pids.end(), pid) != g.identity.pids.end()) return &g;
    return nullptr;
}

// The identity the process `pid` ends up in.
ProcessIdentity identityOf(const std::vector<RawProcess>& raw, std::int32_t pid) {
    const auto groups = ProcessGrouper::group(raw, true, self);
    const Group* g = findGroup(groups, pid);
    return g ? g->identity : ProcessIdentity{"<missing>", std::nullopt, "", {}, false};
}

RawProcess at(std::string path, RawProcess p) {
    p.executablePath = std::move(path);
    return p;
}

// Helper 900 below a chain of plain processes that reaches `top` after `depth` steps.
std::vector<RawProcess> chain(int depth, RawProcess top, RawProcess helper) {
    std::vector<RawProcess> raw = {app(50, "Slack", "com.tinyspeck.slackmacgap"), top};
    std::int32_t parent = top.pid;
    for (int i = 1; i < depth; ++i) {
        raw.push_back(proc(600 + i, "sh", parent));
        parent = 600 + i;
    }
    helper.parentPID = parent;
    raw.push_back(helper);
    return raw;
}

TEST(ProcessGrouper, BrowserProcessesAreChargedToTheirApplicationThroughTheParentChain) {
    const std::vector<RawProcess> raw = {
        proc(1, "systemd", 0), app(100, "Google Chrome", "com.google.Chrome", 1, 300 * MiB),
        proc(130, "Google Chrome Helper (Renderer)", 100, 200 * MiB), proc(120, "chrome", 130, 50 * MiB),
        app(300, "Firefox ESR", "firefox-esr"), proc(310, "Isolated Web Co", 300), proc(311, "Web Content", 300),
        app(400, "Chromium", "chromium"), proc(410, "chromium", 400),
        app(500, "Web", "org.gnome.Epiphany"), proc(510, "WebKitWebProces", 500)};
    const auto groups = ProcessGrouper::group(raw, true, self);
    const Group& chrome = groups[0];  // largest first
    EXPECT_EQ(chrome.identity,
              (ProcessIdentity{"family:chrome", "com.google.Chrome", "Google Chrome", {100, 120, 130}, false}));
    EXPECT_EQ(chrome.footprintBytes, 550 * MiB);
    ASSERT_EQ(chrome.processDetails.size(), 3u);
    EXPECT_EQ(chrome.processDetails[1], (ProcessDetail{130, "Google Chrome Helper (Renderer)", 200 * MiB, 100}));
    const std::tuple<std::int32_t, std::string, std::string> cases[] = {
        {310, "family:firefox", "Firefox"}, {311, "family:firefox", "Firefox"},
        {410, "family:chromium", "Chromium"}, {510, "org.gnome.Epiphany", "Web"}};
    for (const auto& [pid, key, name] : cases) {
        const auto& identity = findGroup(groups, pid)->identity;
        EXPECT_EQ(std::tie(identity.groupingKey, identity.displayName), std::tie(key, name)) << pid;
    }
}

TEST(ProcessGrouper, ParentWalksStopAfterSixteenAncestors) {
    const RawProcess zoom = app(60, "Zoom", "us.zoom.xos");
    EXPECT_EQ(identityOf(chain(16, zoom, proc(900, "Slack Helper (GPU)")), 900).groupingKey, "us.zoom.xos");
    EXPECT_EQ(identityOf(chain(17, zoom, proc(900, "Slack Helper (GPU)")), 900).groupingKey,
              "com.tinyspeck.slackmacgap");
    const RawProcess kitty = app(60, "kitty", "kitty");
    EXPECT_EQ(identityOf(chain(16, kitty, proc(900, "cargo")), 900).displayName, "Rust (Cargo) (Terminal)");
    EXPECT_EQ(identityOf(chain(17, kitty, proc(900, "cargo")), 900).displayName, "Rust (Cargo)");
    // Cycles and processes that are their own parent end the walk.
    const std::vector<RawProcess> loops = {app(10, "Editor", "org.example.Editor"), proc(20, "loop Helper", 21),
                                           proc(21, "loop Helper", 20), proc(30, "own Helper", 30),
                                           proc(40, "node", 40)};
    EXPECT_EQ(identityOf(loops, 20).groupingKey, "name:loop Helper");
    EXPECT_EQ(identityOf(loops, 30).groupingKey, "name:own Helper");
    EXPECT_EQ(identityOf(loops, 40).displayName, "Node.js");
}

// Siblings share their parent's walk; the chain's own members walk it from other starting points
// in the same call, so the sixteen-step bound still counts from each process.
TEST(ProcessGrouper, SiblingsUnderOneParentAreOwnedAlikeWithinTheSixteenSteps) {
    const RawProcess zoom = app(60, "Zoom", "us.zoom.xos");
    for (const int depth : {16, 17}) {
        auto raw = chain(depth, zoom, proc(900, "Slack Helper (GPU)"));
        const std::int32_t parent = raw.back().parentPID;
        raw.push_back(proc(901, "worker", parent));
        raw.push_back(proc(902, "Slack Helper", parent));
        const auto groups = ProcessGrouper::group(raw, true, self);
        const auto key = [&](std::int32_t pid) { return findGroup(groups, pid)->identity.groupingKey; };
        const bool owned = depth == 16;
        EXPECT_EQ(key(900), owned ? "us.zoom.xos" : "com.tinyspeck.slackmacgap") << depth;
        EXPECT_EQ(key(901), owned ? "us.zoom.xos" : "name:worker") << depth;
        EXPECT_EQ(key(902), owned ? "us.zoom.xos" : "com.tinyspeck.slackmacgap") << depth;
        EXPECT_EQ(key(parent), "us.zoom.xos") << depth;  // one step nearer
    }
}

TEST(ProcessGrouper, OrphansAreMatchedByNameThenWebContentFallsBackToBrowsers) {
    const auto slack = app(50, "Slack", "com.tinyspeck.slackmacgap");
    const auto notion = app(51, "Notion", "notion.id");
    const char* const web = "WebKitWebProces";
    const std::tuple<std::vector<RawProcess>, const char*, const char*> cases[] = {
        {{slack, notion}, "Notion Web Content", "notion.id"},  // stripped base equals the name
        {{slack, notion}, "slack-crashpad-handler", "com.tinyspeck.slackmacgap"},  // name is a prefix
        {{slack, notion}, "Unrelated Helper", "name:Unrelated Helper"},
        // An empty name is a prefix of every name: it must not swallow every orphan.
        {{app(40, "", "org.example.Nameless")}, "Foo Helper", "name:Foo Helper"},
        {{app(10, "Google Chrome", "com.google.Chrome"), app(11, "Browser", "com.apple.Safari")}, web, "family:safari"},
        {{app(12, "Dia", "company.thebrowser.dia"), app(13, "Google Chrome", "google-chrome")}, web, "family:chrome"},
        {{app(14, "Notes", "org.example.Notes"), app(15, "Dia", "company.thebrowser.dia")}, web, "family:dia"},
        // "dia" inside "media" is no browser: the process keys itself, and its WebKit name is Safari's.
        {{app(16, "Media Player", "org.example.Media")}, web, "family:safari"},
        {{app(11, "Browser", "com.apple.Safari")}, "indexer", "name:indexer"},  // not web content
    };
    for (const auto& [roots, orphan, key] : cases) {
        auto raw = roots;
        raw.push_back(proc(990, orphan, 0));
        EXPECT_EQ(identityOf(raw, 990).groupingKey, key) << orphan << " / " << roots[0].name;
    }
}

TEST(ProcessGrouper, BrowserFamiliesByNameAndBundleWithShortWordsWhole) {
    using Case = std::tuple<const char*, std::optional<std::string>, const char*, const char*>;
    const Case cases[] = {
        // Every Chromium-based browser and app ships its crash handler under this name: it names
        // no browser by itself, and alone it is shown by its own name.
        {"chrome_crashpad_handler", std::nullopt, "name:chrome_crashpad_handler", "chrome_crashpad_handler"},
        {"Brave Web Browser", "brave-browser", "family:brave", "Brave"},
        {"Microsoft Edge", "microsoft-edge", "family:edge", "Microsoft Edge"},
        {"msedge", std::nullopt, "family:edge", "Microsoft Edge"},
        {"Dia", std::nullopt, "family:dia", "Dia"}, {"Launcher", "company.thebrowser.dia", "family:dia", "Dia"},
        {"Arc", "company.thebrowser.Browser", "family:arc", "Arc"},
        {"Safari", "com.apple.Safari", "family:safari", "Safari"},
        {"pipewire-media-session", std::nullopt, "name:pipewire-media-session", "pipewire-media-session"},
        {"Archive Manager", "org.gnome.FileRoller", "org.gnome.FileRoller", "Archive Manager"},
        {"knowledge-sync", std::nullopt, "name:knowledge-sync", "knowledge-sync"},
        {"Médiathèque", "org.example.mediatheque", "org.example.mediatheque", "Médiathèque"},
    };
    for (const auto& [name, bundle, key, display] : cases) {
        const auto identity = identityOf({bundle ? app(10, name, bundle) : proc(10, name, 0)}, 10);
        EXPECT_EQ(identity, (ProcessIdentity{key, bundle, display, {10}, false})) << name;
    }
}

// Crash handlers double-fork away from their browser, so only their folder ties them to it.
TEST(ProcessGrouper, BrowserHelpersOutsideTheParentChainJoinTheBrowserRunningFromTheirFolder) {
    const std::string handler = "chrome_crashpad_handler";
    const std::vector<RawProcess> raw = {
        at("/usr/lib/systemd/systemd", proc(1, "systemd", 0)),
        at("/usr/lib/chromium/chromium", app(400, "Chromium", "chromium", 1, 300 * MiB)),
        at("/usr/lib/chromium/chromium", proc(410, "chromium", 400, 100 * MiB)),
        at("/usr/lib/chromium/" + handler, proc(420, handler, 1, 2 * MiB)),
        at("/usr/lib/chromium/" + handler, proc(421, handler, 1, 3 * MiB)),
        // Brave without a window: its processes are Brave by name.
        at("/opt/brave.com/brave/brave", proc(500, "brave", 1, 50 * MiB)),
        at("/opt/brave.com/brave/" + handler, proc(510, handler, 1)),
        // A browser whose processes grouping does not gather: the handler joins its application.
        at("/opt/vivaldi/vivaldi-bin", app(600, "Vivaldi", "vivaldi-stable")),
        at("/opt/vivaldi/" + handler, proc(610, handler, 1)),
        // An application built on Chromium ships the same handler.
        at("/usr/lib/slack/slack", app(700, "Slack", "com.slack.Slack")),
        at("/usr/lib/slack/" + handler, proc(710, handler, 1)),
        at("/opt/google/chrome/chrome", app(800, "Google Chrome", "google-chrome")),
        at("/opt/google/chrome/" + handler, proc(810, handler, 1)),
        // A helper its parent owns stays with the parent, whichever folder it runs from.
        at("/usr/lib/chromium/nacl_helper", proc(820, "nacl_helper", 800)),
        // In a folder of many programs, an application beside a helper tells nothing of it.
        at("/usr/libexec/gnome-terminal-server", app(900, "Terminal", "org.gnome.Terminal")),
        at("/usr/libexec/gvfsd-network", proc(910, "gvfsd-network", 1)),
    };
    const auto groups = ProcessGrouper::group(raw, true, self);
    const Group* chromium = findGroup(groups, 420);
    ASSERT_NE(chromium, nullptr);
    EXPECT_EQ(fields(chromium->identity),
              fields({"family:chromium", "chromium", "Chromium", {400, 410, 420, 421}, false}));
    EXPECT_EQ(chromium->footprintBytes, 405 * MiB);
    const std::tuple<std::int32_t, std::string, std::string> cases[] = {
        {510, "family:brave", "Brave"},    {610, "vivaldi-stable", "Vivaldi"},
        {710, "com.slack.Slack", "Slack"}, {810, "family:chrome", "Google Chrome"},
        {820, "family:chrome", "Google Chrome"}, {910, "name:gvfsd-network", "gvfsd-network"}};
    for (const auto& [pid, key, name] : cases) {
        const auto& identity = findGroup(groups, pid)->identity;
        EXPECT_EQ(std::tie(identity.groupingKey, identity.displayName), std::tie(key, name)) << pid;
    }
}

// A handler that outlives its browser (it stays to report the crash) is named after the browser
// installed beside it; where nothing tells, by its own name, never after a browser not there.
TEST(ProcessGrouper, ABrowserHelperAloneIsNamedAfterTheBrowserInstalledBesideItElseByItself) {
    const ExistingFiles files({"/usr/lib/chromium/chromium", "/opt/vivaldi/vivaldi-bin", "/opt/google/chrome/chrome",
                               "/snap/chromium/3235/usr/lib/chromium-browser/chrome", "/usr/bin/chromium"});
    using Case = std::tuple<std::optional<std::string>, const char*, const char*, const char*>;
    const Case cases[] = {
        {"/usr/lib/chromium/chrome_crashpad_handler", "chrome_crashpad_handler", "family:chromium", "Chromium"},
        {"/opt/vivaldi/chrome_crashpad_handler", "chrome_crashpad_handler", "name:Vivaldi", "Vivaldi"},
        {"/opt/google/chrome/chrome_crashpad_handler", "chrome_crashpad_handler", "family:chrome", "Google Chrome"},
        // Chromium's snap calls its program "chrome".
        {"/snap/chromium/3235/usr/lib/chromium-browser/chrome_crashpad_handler", "chrome_crashpad_handler",
         "family:chromium", "Chromium"},
        {"/opt/example/chrome_crashpad_handler", "chrome_crashpad_handler", "name:chrome_crashpad_handler",
         "chrome_crashpad_handler"},
        {"/usr/bin/chrome_crashpad_handler", "chrome_crashpad_handler", "name:chrome_crashpad_handler",
         "chrome_crashpad_handler"},
        // Its executable unreadable, the kernel's name cut to 15 bytes.
        {std::nullopt, "chrome_crashpad", "name:chrome_crashpad", "chrome_crashpad"},
    };
    for (const auto& [path, name, key, display] : cases) {
        RawProcess helper = proc(10, name, 1);
        helper.executablePath = path;
        const auto groups = ProcessGrouper::group({proc(1, "systemd", 0), helper}, true, self, nullptr, &files);
        const Group* g = findGroup(groups, 10);
        ASSERT_NE(g, nullptr) << path.value_or("-");
        EXPECT_EQ(fields(g->identity), fields({key, std::nullopt, display, {10}, false})) << path.value_or("-");
    }
}

TEST(ProcessGrouper, FilesBesideLoneHelpersAreLookedAtOncePerFolder) {
    ExistingFiles files({"/usr/lib/chromium/chromium"});
    const std::vector<RawProcess> raw = {
        at("/usr/lib/chromium/chrome_crashpad_handler", proc(10, "chrome_crashpad_handler", 1)),
        at("/usr/lib/chromium/chrome_crashpad_handler", proc(11, "chrome_crashpad_handler", 1)),
        at("/opt/example/chrome_crashpad_handler", proc(12, "chrome_crashpad_handler", 1))};
    ProcessGrouper::Memo memo;
    std::vector<Group> out;
    ProcessGrouper::group(raw, true, self, memo, out, &files);
    const int asked = files.asked;
    EXPECT_GT(asked, 0);
    for (int i = 0; i < 3; ++i) ProcessGrouper::group(raw, true, self, memo, out, &files);
    EXPECT_EQ(files.asked, asked);
    EXPECT_EQ(findGroup(out, 11)->identity.pids, (std::vector<std::int32_t>{10, 11}));
    EXPECT_EQ(findGroup(out, 11)->identity.displayName, "Chromium");
    EXPECT_EQ(findGroup(out, 12)->identity.displayName, "chrome_crashpad_handler");
}

TEST(ProcessGrouper, CommandLineToolsGetTheirOwnGroups) {
    const std::vector<RawProcess> raw = {
        app(10, "Terminal", "com.apple.Terminal"), proc(11, "zsh", 10), proc(12, "node", 11),
        app(20, "Visual Studio Code", "code"), proc(21, "node", 20),
        app(30, "Terminal", "org.gnome.Terminal"), proc(31, "bash", 30), proc(32, "Python3", 31),
        proc(33, "python3.11", 20),
        app(40, "node", "org.example.NodeApp"), app(50, "XTerm", "XTerm"), proc(51, "ruby", 50),
    };
    const auto groups = ProcessGrouper::group(raw, true, self);
    // node from a terminal's shell and node from an editor share the key; the first names it.
    EXPECT_EQ(findGroup(groups, 12)->identity,
              (ProcessIdentity{"cli:node", std::nullopt, "Node.js (Terminal)", {12, 21}, false}));
    EXPECT_EQ(findGroup(groups, 32)->identity.groupingKey, "cli:python3");
    EXPECT_EQ(findGroup(groups, 32)->identity.displayName, "Python (Terminal)");
    EXPECT_EQ(findGroup(groups, 33), findGroup(groups, 32));  // a versioned interpreter joins its tool
    EXPECT_EQ(findGroup(groups, 51)->identity.displayName, "Ruby (Terminal)");  // xterm by its window class
    EXPECT_EQ(findGroup(groups, 40)->identity.groupingKey, "org.example.NodeApp");  // a bundle makes it an app
    EXPECT_EQ(findGroup(groups, 20)->identity.pids, (std::vector<std::int32_t>{20}));  // editor not charged
    EXPECT_EQ(identityOf({app(20, "Visual Studio Code", "code"), proc(21, "node", 20)}, 21).displayName, "Node.js");
    // A trailing version is cut before the tool rows are matched; a name that is all version is no tool.
    const std::pair<const char*, const char*> versioned[] = {
        {"php8.2", "cli:php"}, {"python3.11", "cli:python3"}, {"ruby3.1", "cli:ruby"}, {"node18", "cli:node"},
        {"php.", "name:php."}, {"8.2", "name:8.2"}, {"phpx8", "name:phpx8"}};
    for (const auto& [name, key] : versioned) EXPECT_EQ(identityOf({proc(60, name, 0)}, 60).groupingKey, key) << name;
}

TEST(ProcessGrouper, OwnProcessesAreSelfAndCanBeLeftOut) {
    // Self by pid, through the parent, by bundle identifier, charged to that, and by name.
    const std::vector<RawProcess> raw = {
        app(777, "Monitor", std::nullopt), proc(778, "worker", 777), app(800, "Dashboard", "io.velmora.Velmora"),
        proc(801, "Dashboard Helper", 800), proc(900, "velmora-probe", 0), app(50, "Slack", "slack")};
    const auto all = ProcessGrouper::group(raw, true, self);
    for (std::int32_t pid : {777, 778, 800, 801, 900}) EXPECT_TRUE(findGroup(all, pid)->identity.isSelf) << pid;
    EXPECT_FALSE(findGroup(all, 50)->identity.isSelf);
    const auto others = ProcessGrouper::group(raw, false, self);
    ASSERT_EQ(others.size(), 1u);
    EXPECT_EQ(others[0].identity.groupingKey, "slack");
}

TEST(ProcessGrouper, GroupsMergeMembersAndSortLargestFirst) {
    EXPECT_TRUE(ProcessGrouper::group({}, true, self).empty());
    const auto groups = ProcessGrouper::group(
        {app(30, "Slack", "com.tinyspeck.slackmacgap", 1, 100 * MiB),
         RawProcess{12, "Slack Helper", std::nullopt, 50 * MiB, 3 * MiB, 30, false, true},
         proc(5, "Slack Helper (Renderer)", 0, 70 * MiB), proc(60, "small", 0, 1 * MiB), proc(61, "big", 0, 900 * MiB)},
        true, self);
    ASSERT_EQ(groups.size(), 3u);
    EXPECT_EQ(groups[0].identity.groupingKey, "name:big");
    EXPECT_EQ(groups[2].identity.groupingKey, "name:small");
    const Group& slack = groups[1];
    EXPECT_EQ(slack.identity.pids, (std::vector<std::int32_t>{5, 12, 30}));
    EXPECT_EQ(slack.footprintBytes, 220 * MiB);
    EXPECT_EQ(slack.compressedBytes, 3 * MiB);
    EXPECT_TRUE(slack.isForeground);  // a helper was active
    ASSERT_EQ(slack.processDetails.size(), 3u);
    EXPECT_EQ(slack.processDetails[0].pid, 30);  // enumeration order
    EXPECT_EQ(slack.processDetails[2], (ProcessDetail{5, "Slack Helper (Renderer)", 70 * MiB, std::nullopt}));
    EXPECT_FALSE(slack.processDetails[2].toJson().contains("parentPID"));

    // Sums near 2^64 stay at the largest value instead of wrapping round to a small one.
    const auto huge = ProcessGrouper::group({RawProcess{70, "x", std::nullopt, ~0ull - 5, ~0ull - 9, 0, true, false},
                                             RawProcess{71, "x Helper", std::nullopt, 10, 20, 70, false, false}},
                                            true, self);
    ASSERT_EQ(huge.size(), 1u);
    EXPECT_EQ(huge[0].footprintBytes, ~0ull);
    EXPECT_EQ(huge[0].compressedBytes, ~0ull);
}

}  // namespace
// Samples in a row through one memo, each beside a grouping without it. Between samples a process
// gets its desktop id late, one runs exec into a tool, one goes and its pid comes back as another,
// a helper's owner appears, and one pid is listed twice.
TEST(ProcessGrouper, MemoGivesTheResultOfAFreshGroupingAsProcessesChange) {
    struct Step {
        std::vector<RawProcess> raw;
        std::int32_t pid;         // a process to look at
        std::string key;          // its group's key
        std::string displayName;  // its group's name
        std::size_t kept;         // processes the memo keeps afterwards
    };
    const std::vector<Step> steps = {
        {{proc(1, "systemd", 0), proc(20, "editor", 1), proc(21, "Slack Helper", 1), proc(30, "sleep", 1)},
         20, "name:editor", "editor", 4},
        // The editor's window maps: it becomes an app with a desktop id.
        {{proc(1, "systemd", 0), app(20, "Editor", "org.example.Editor"), proc(21, "Slack Helper", 1),
          proc(30, "sleep", 1)},
         20, "org.example.Editor", "Editor", 4},
        // The helper's owner starts; pid 30 goes.
        {{proc(1, "systemd", 0), app(20, "Editor", "org.example.Editor"), proc(21, "Slack Helper", 1),
          app(40, "Slack", "com.tinyspeck.slackmacgap")},
         21, "com.tinyspeck.slackmacgap", "Slack", 4},
        // Pid 30 comes back as a tool started from the editor; the helper runs exec into firefox.
        {{proc(1, "systemd", 0), app(20, "Editor", "org.example.Editor"), proc(21, "firefox", 1),
          app(40, "Slack", "com.tinyspeck.slackmacgap"), proc(30, "Python3", 20)},
         30, "cli:python3", "Python", 5},
        {{proc(1, "systemd", 0), app(20, "Editor", "org.example.Editor"), proc(21, "firefox", 1),
          app(40, "Slack", "com.tinyspeck.slackmacgap"), proc(30, "Python3", 20)},
         21, "family:firefox", "Firefox", 5},
        // One pid listed twice under two names, each grouped by its own.
        {{proc(1, "systemd", 0), proc(50, "node", 1), proc(50, "velmora-helper", 1), proc(51, "renderer", 50)},
         51, "name:renderer", "renderer", 3},
        {{}, 0, "", "", 0},
    };
    ProcessGrouper::Memo memo;
    for (std::size_t i = 0; i < steps.size(); ++i) {
        const Step& step = steps[i];
        const auto remembered = ProcessGrouper::group(step.raw, true, self, &memo);
        EXPECT_EQ(remembered, ProcessGrouper::group(step.raw, true, self)) << "step " << i;
        EXPECT_EQ(ProcessGrouper::group(step.raw, false, self, &memo), ProcessGrouper::group(step.raw, false, self))
            << "step " << i;
        EXPECT_EQ(memo.size(), step.kept) << "step " << i;
        if (step.key.empty()) continue;
        const Group* g = findGroup(remembered, step.pid);
        ASSERT_NE(g, nullptr) << "step " << i;
        EXPECT_EQ(std::tie(g->identity.groupingKey, g->identity.displayName), std::tie(step.key, step.displayName))
            << "step " << i;
    }
}


// Samples in a row written over one list, as the sampler does: a group that loses members, one
// that goes, ranks that swap and a process renamed into another group leave nothing behind.
TEST(ProcessGrouper, GroupsWrittenOverFollowMembersRanksAndNames) {
    const auto summary = [](const std::vector<Group>& groups) {
        std::vector<std::tuple<std::string, std::string, std::vector<std::int32_t>, std::uint64_t, std::size_t>> out;
        for (const auto& g : groups)
            out.emplace_back(g.identity.groupingKey, g.identity.displayName, g.identity.pids, g.footprintBytes / MiB,
                             g.processDetails.size());
        return out;
    };
    using Row = std::tuple<std::string, std::string, std::vector<std::int32_t>, std::uint64_t, std::size_t>;
    struct Step {
        std::vector<RawProcess> raw;
        std::vector<Row> expected;
    };
    const std::vector<Step> steps = {
        {{app(10, "Slack", "com.tinyspeck.slackmacgap", 1, 30 * MiB), proc(11, "Slack Helper", 10, 5 * MiB),
          proc(12, "Slack Helper", 10, 5 * MiB), proc(20, "editor", 1, 20 * MiB), proc(30, "python3", 1, 2 * MiB)},
         {Row{"com.tinyspeck.slackmacgap", "Slack", {10, 11, 12}, 40, 3}, Row{"name:editor", "editor", {20}, 20, 1},
          Row{"cli:python3", "Python", {30}, 2, 1}}},
        // A helper exits, the editor grows past Slack, python runs exec into node.
        {{app(10, "Slack", "com.tinyspeck.slackmacgap", 1, 30 * MiB), proc(12, "Slack Helper", 10, 5 * MiB),
          proc(20, "editor", 1, 50 * MiB), proc(30, "node", 1, 2 * MiB)},
         {Row{"name:editor", "editor", {20}, 50, 1}, Row{"com.tinyspeck.slackmacgap", "Slack", {10, 12}, 35, 2},
          Row{"cli:node", "Node.js", {30}, 2, 1}}},
        // Slack quits; its helper's pid is a plain process now.
        {{proc(12, "sleep", 1, 1 * MiB), proc(20, "editor", 1, 50 * MiB)},
         {Row{"name:editor", "editor", {20}, 50, 1}, Row{"name:sleep", "sleep", {12}, 1, 1}}},
    };
    ProcessGrouper::Memo memo;
    std::vector<Group> kept;
    for (std::size_t i = 0; i < steps.size(); ++i) {
        ProcessGrouper::group(steps[i].raw, true, self, memo, kept);
        EXPECT_EQ(summary(kept), steps[i].expected) << "step " << i;
        EXPECT_EQ(kept, ProcessGrouper::group(steps[i].raw, true, self)) << "step " << i;
    }
}

}  // namespace velmora
