#include "engine/sampling/ProcessGrouper.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace velmora {
namespace {

using Group = ProcessGrouper::GroupedApp;

constexpr std::uint64_t MiB = 1024 * 1024;
const SelfProcess self{777, std::string("io.velmora.Velmora")};

RawProcess app(std::int32_t pid, std::string name, std::optional<std::string> bundle, std::int32_t parent = 1,
               std::uint64_t footprint = 10 * MiB, bool active = false) {
    return RawProcess{.pid = pid, .name = std::move(name), .bundleID = std::move(bundle), .footprintBytes = footprint,
                      .parentPID = parent, .isApp = true, .isActive = active};
}

RawProcess proc(std::int32_t pid, std::string name, std::int32_t parent = 1, std::uint64_t footprint = 1 * MiB) {
    return RawProcess{.pid = pid, .name = std::move(name), .footprintBytes = footprint, .parentPID = parent};
}

const Group* findGroup(const std::vector<Group>& groups, std::int32_t pid) {
    for (const auto& g : groups) {
        if (std::find(g.identity.pids.begin(), g.identity.pids.end(), pid) != g.identity.pids.end()) return &g;
    }
    return nullptr;
}

// The identity the process `pid` ends up in.
ProcessIdentity identityOf(const std::vector<RawProcess>& raw, std::int32_t pid, bool includeSelf = true) {
    const auto groups = ProcessGrouper::group(raw, includeSelf, self);
    const Group* g = findGroup(groups, pid);
    return g ? g->identity : ProcessIdentity{"<missing>", std::nullopt, "", {}, false};
}

TEST(ProcessGrouper, HelpersAreChargedToTheirBrowserThroughTheParentChain) {
    const std::vector<RawProcess> raw = {
        proc(1, "systemd", 0),
        app(100, "Google Chrome", "com.google.Chrome", 1, 300 * MiB),
        proc(130, "Google Chrome Helper (Renderer)", 100, 200 * MiB),
        proc(120, "Google Chrome Helper (GPU)", 100, 50 * MiB),
    };
    const auto groups = ProcessGrouper::group(raw, true, self);
    const Group* chrome = findGroup(groups, 130);
    ASSERT_NE(chrome, nullptr);
    EXPECT_EQ(chrome->identity.groupingKey, "family:chrome");
    EXPECT_EQ(chrome->identity.displayName, "Google Chrome");
    EXPECT_EQ(chrome->identity.bundleID, "com.google.Chrome");
    EXPECT_EQ(chrome->identity.pids, (std::vector<std::int32_t>{100, 120, 130}));
    EXPECT_EQ(chrome->footprintBytes, 550 * MiB);
    ASSERT_EQ(chrome->processDetails.size(), 3u);
    EXPECT_EQ(chrome->processDetails[1].pid, 130);  // enumeration order, not pid order
    EXPECT_EQ(chrome->processDetails[1].name, "Google Chrome Helper (Renderer)");
    EXPECT_EQ(chrome->processDetails[1].parentPID, 100);
    EXPECT_EQ(groups.front().identity.groupingKey, "family:chrome");  // largest first
}

TEST(ProcessGrouper, LinuxBrowserProcessesReachTheirApplicationThroughIntermediates) {
    // Chrome's renderers hang below a zygote; Firefox content processes below the main process.
    const std::vector<RawProcess> raw = {
        app(200, "Google Chrome", "google-chrome"),
        proc(210, "chrome", 200),
        proc(211, "chrome", 210),
        app(300, "Firefox ESR", "firefox-esr"),
        proc(310, "Isolated Web Co", 300),
        proc(311, "Web Content", 300),
        app(400, "Chromium", "chromium"),
        proc(410, "chromium", 400),
        app(500, "Web", "org.gnome.Epiphany"),
        proc(510, "WebKitWebProces", 500),
    };
    EXPECT_EQ(identityOf(raw, 211).groupingKey, "family:chrome");
    EXPECT_EQ(identityOf(raw, 310).groupingKey, "family:firefox");
    EXPECT_EQ(identityOf(raw, 311).displayName, "Firefox");
    EXPECT_EQ(identityOf(raw, 410).groupingKey, "family:chromium");
    EXPECT_EQ(identityOf(raw, 410).displayName, "Chromium");
    EXPECT_EQ(identityOf(raw, 510).groupingKey, "org.gnome.Epiphany");
    EXPECT_EQ(identityOf(raw, 510).displayName, "Web");
}

// Builds helper 900 whose chain of plain processes reaches the root "Zoom" after `depth` steps,
// next to an unrelated root "Slack".
std::vector<RawProcess> chainOfDepth(int depth, const std::string& helperName) {
    std::vector<RawProcess> raw = {app(50, "Slack", "com.tinyspeck.slackmacgap"), app(60, "Zoom", "us.zoom.xos")};
    std::int32_t parent = 60;
    for (int i = 1; i < depth; ++i) {
        raw.push_back(proc(600 + i, "sh", parent));
        parent = 600 + i;
    }
    raw.push_back(proc(900, helperName, parent));
    return raw;
}

TEST(ProcessGrouper, ParentWalkExaminesSixteenAncestorsThenMatchesByName) {
    EXPECT_EQ(identityOf(chainOfDepth(16, "Slack Helper (GPU)"), 900).groupingKey, "us.zoom.xos");
    EXPECT_EQ(identityOf(chainOfDepth(17, "Slack Helper (GPU)"), 900).groupingKey, "com.tinyspeck.slackmacgap");
    const auto unmatched = identityOf(chainOfDepth(17, "Mystery Helper"), 900);
    EXPECT_EQ(unmatched.groupingKey, "name:Mystery Helper");
    EXPECT_EQ(unmatched.displayName, "Mystery Helper");
    EXPECT_FALSE(unmatched.bundleID.has_value());
}

TEST(ProcessGrouper, NameMatchStripsHelperSuffixesOrTakesARootNamePrefix) {
    const std::vector<RawProcess> raw = {
        app(50, "Slack", "com.tinyspeck.slackmacgap"),
        app(51, "Notion", "notion.id"),
        proc(901, "Notion Web Content", 0),        // base "notion" equals the root's name
        proc(902, "slack-crashpad-handler", 0),    // the root's name is a prefix
        proc(903, "Slacker", 0),                   // any name that begins with a root's name
        proc(904, "Unrelated Helper", 0),
    };
    EXPECT_EQ(identityOf(raw, 901).groupingKey, "notion.id");
    EXPECT_EQ(identityOf(raw, 902).groupingKey, "com.tinyspeck.slackmacgap");
    EXPECT_EQ(identityOf(raw, 903).groupingKey, "com.tinyspeck.slackmacgap");
    EXPECT_EQ(identityOf(raw, 904).groupingKey, "name:Unrelated Helper");
}

TEST(ProcessGrouper, RootWithEmptyNameDoesNotSwallowOrphanHelpers) {
    const std::vector<RawProcess> raw = {
        app(40, "", "org.example.Nameless"),
        proc(901, "Foo Helper", 0),
        proc(902, "bar-daemon", 0),
    };
    EXPECT_EQ(identityOf(raw, 901).groupingKey, "name:Foo Helper");
    EXPECT_EQ(identityOf(raw, 902).groupingKey, "name:bar-daemon");
    EXPECT_EQ(identityOf(raw, 40).groupingKey, "org.example.Nameless");
}

struct WebKitCase {
    const char* label;
    std::vector<RawProcess> roots;
    const char* expectedKey;
};

TEST(ProcessGrouper, OrphanWebKitProcessFallsBackToSafariThenChromeThenDia) {
    const std::vector<WebKitCase> cases = {
        {"safari by bundle", {app(10, "Google Chrome", "com.google.Chrome"), app(11, "Browser", "com.apple.Safari")},
         "family:safari"},
        {"chrome-like", {app(12, "Dia", "company.thebrowser.dia"), app(13, "Google Chrome", "google-chrome")},
         "family:chrome"},
        {"dia by name", {app(14, "Notes", "org.example.Notes"), app(15, "Dia", "company.thebrowser.dia")}, "family:dia"},
        // "dia" inside "media" is no browser: the process keys itself, and its own name is WebKit.
        {"no dia inside a word", {app(16, "Media Player", "org.example.Media")}, "family:safari"},
        {"none", {}, "family:safari"},
    };
    for (const auto& c : cases) {
        auto raw = c.roots;
        raw.push_back(proc(990, "WebKitWebProces", 0));
        EXPECT_EQ(identityOf(raw, 990).groupingKey, c.expectedKey) << c.label;
    }
    // Only names that look like web content take the fallback.
    auto raw = std::vector<RawProcess>{app(11, "Browser", "com.apple.Safari"), proc(991, "indexer", 0)};
    EXPECT_EQ(identityOf(raw, 991).groupingKey, "name:indexer");
}

struct FamilyCase {
    const char* name;
    std::optional<std::string> bundle;
    const char* expectedKey;
    const char* expectedDisplay;
};

TEST(ProcessGrouper, BrowserFamiliesByNameAndBundle) {
    const std::vector<FamilyCase> cases = {
        {"Google Chrome", "com.google.Chrome", "family:chrome", "Google Chrome"},
        {"chrome_crashpad_handler", std::nullopt, "family:chrome", "Google Chrome"},
        {"Chromium", "org.chromium.Chromium", "family:chromium", "Chromium"},
        {"Firefox ESR", "firefox-esr", "family:firefox", "Firefox"},
        {"Brave Web Browser", "brave-browser", "family:brave", "Brave"},
        {"Microsoft Edge", "microsoft-edge", "family:edge", "Microsoft Edge"},
        {"msedge", "microsoft-edge-beta", "family:edge", "Microsoft Edge"},
        {"Dia", "company.thebrowser.dia", "family:dia", "Dia"},
        {"Arc", "company.thebrowser.Browser", "family:arc", "Arc"},
        {"Launcher", "company.thebrowser.browser", "family:arc", "Arc"},
        {"Safari", "com.apple.Safari", "family:safari", "Safari"},
        // Family words inside other words are not browsers.
        {"pipewire-media-session", std::nullopt, "name:pipewire-media-session", "pipewire-media-session"},
        {"Archive Manager", "org.gnome.FileRoller", "org.gnome.FileRoller", "Archive Manager"},
        {"knowledge-sync", std::nullopt, "name:knowledge-sync", "knowledge-sync"},
        {"searchd", std::nullopt, "name:searchd", "searchd"},
        {"Médiathèque", "org.example.mediatheque", "org.example.mediatheque", "Médiathèque"},
    };
    for (const auto& c : cases) {
        std::vector<RawProcess> raw;
        if (c.bundle) raw.push_back(app(10, c.name, c.bundle));
        else raw.push_back(proc(10, c.name, 0));
        const auto identity = identityOf(raw, 10);
        EXPECT_EQ(identity.groupingKey, c.expectedKey) << c.name;
        EXPECT_EQ(identity.displayName, c.expectedDisplay) << c.name;
        EXPECT_EQ(identity.bundleID, c.bundle) << c.name;
    }
}

TEST(ProcessGrouper, CommandLineToolsGetTheirOwnGroups) {
    const std::vector<RawProcess> raw = {
        app(10, "Terminal", "com.apple.Terminal"),
        proc(11, "zsh", 10),
        proc(12, "node", 11),
        app(20, "Visual Studio Code", "code"),
        proc(21, "node", 20),
        app(30, "Terminal", "org.gnome.Terminal"),
        proc(31, "bash", 30),
        proc(32, "Python3", 31),
        proc(33, "python3.11", 20),
        RawProcess{.pid = 40, .name = "node", .bundleID = "org.example.NodeApp", .parentPID = 1, .isApp = true},
    };
    const auto groups = ProcessGrouper::group(raw, true, self);
    // node from a shell in a terminal and node from an editor share the key; the first names it.
    const Group* node = findGroup(groups, 12);
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->identity.groupingKey, "cli:node");
    EXPECT_EQ(node->identity.displayName, "Node.js (Terminal)");
    EXPECT_FALSE(node->identity.bundleID.has_value());
    EXPECT_EQ(node->identity.pids, (std::vector<std::int32_t>{12, 21}));

    const auto python = identityOf(raw, 32);
    EXPECT_EQ(python.groupingKey, "cli:python3");
    EXPECT_EQ(python.displayName, "Python (Terminal)");
    const auto versioned = identityOf(raw, 33);
    EXPECT_EQ(versioned.groupingKey, "cli:python3.11");
    EXPECT_EQ(versioned.displayName, "Python");
    // A tool name with a bundle identifier is an ordinary app.
    EXPECT_EQ(identityOf(raw, 40).groupingKey, "org.example.NodeApp");
    // The editor is not charged for the tool it started.
    EXPECT_EQ(findGroup(groups, 20)->identity.pids, (std::vector<std::int32_t>{20}));

    const auto fromEditor = identityOf({app(20, "Visual Studio Code", "code"), proc(21, "node", 20)}, 21);
    EXPECT_EQ(fromEditor.displayName, "Node.js");
}

TEST(ProcessGrouper, TerminalAncestorSearchIsBounded) {
    auto shellChain = [](int depth) {
        std::vector<RawProcess> raw = {app(10, "kitty", "kitty")};
        std::int32_t parent = 10;
        for (int i = 1; i < depth; ++i) {
            raw.push_back(proc(100 + i, "sh", parent));
            parent = 100 + i;
        }
        raw.push_back(proc(500, "cargo", parent));
        return raw;
    };
    EXPECT_EQ(identityOf(shellChain(16), 500).displayName, "Rust (Cargo) (Terminal)");
    EXPECT_EQ(identityOf(shellChain(17), 500).displayName, "Rust (Cargo)");
}

TEST(ProcessGrouper, ParentCyclesAndSelfParentsEndTheWalk) {
    const std::vector<RawProcess> raw = {
        app(10, "Editor", "org.example.Editor"),
        proc(20, "loop Helper", 21),
        proc(21, "loop Helper", 20),
        proc(30, "own parent Helper", 30),
        proc(40, "node", 40),
    };
    EXPECT_EQ(identityOf(raw, 20).groupingKey, "name:loop Helper");
    EXPECT_EQ(identityOf(raw, 30).groupingKey, "name:own parent Helper");
    EXPECT_EQ(identityOf(raw, 40).displayName, "Node.js");
}

TEST(ProcessGrouper, OwnProcessesAreSelfAndCanBeLeftOut) {
    const std::vector<RawProcess> raw = {
        app(777, "Monitor", std::nullopt),            // self by pid
        proc(778, "worker", 777),                     // charged to self through its parent
        app(800, "Dashboard", "io.velmora.Velmora"),  // self by bundle identifier
        proc(801, "Dashboard Helper", 800),
        proc(900, "velmora-probe", 0),  // self by name
        app(50, "Slack", "com.tinyspeck.slackmacgap"),
    };
    const auto all = ProcessGrouper::group(raw, true, self);
    for (std::int32_t pid : {777, 778, 800, 801, 900}) {
        const Group* g = findGroup(all, pid);
        ASSERT_NE(g, nullptr) << pid;
        EXPECT_TRUE(g->identity.isSelf) << pid;
    }
    EXPECT_FALSE(findGroup(all, 50)->identity.isSelf);

    const auto others = ProcessGrouper::group(raw, false, self);
    ASSERT_EQ(others.size(), 1u);
    EXPECT_EQ(others[0].identity.groupingKey, "com.tinyspeck.slackmacgap");
}

TEST(ProcessGrouper, GroupsMergeMembersAndSortLargestFirst) {
    const std::vector<RawProcess> raw = {
        app(30, "Slack", "com.tinyspeck.slackmacgap", 1, 100 * MiB),
        RawProcess{.pid = 12, .name = "Slack Helper", .footprintBytes = 50 * MiB, .compressedBytes = 3 * MiB,
                   .parentPID = 30, .isActive = true},
        RawProcess{.pid = 5, .name = "Slack Helper (Renderer)", .footprintBytes = 70 * MiB, .parentPID = 0},
        proc(60, "small", 0, 1 * MiB),
        proc(61, "big", 0, 900 * MiB),
    };
    const auto groups = ProcessGrouper::group(raw, true, self);
    ASSERT_EQ(groups.size(), 3u);
    EXPECT_EQ(groups[0].identity.groupingKey, "name:big");
    EXPECT_EQ(groups[2].identity.groupingKey, "name:small");
    const Group& slack = groups[1];
    EXPECT_EQ(slack.identity.pids, (std::vector<std::int32_t>{5, 12, 30}));
    EXPECT_EQ(slack.footprintBytes, 220 * MiB);
    EXPECT_EQ(slack.compressedBytes, 3 * MiB);
    EXPECT_TRUE(slack.isForeground);  // a helper was active
    ASSERT_EQ(slack.processDetails.size(), 3u);
    EXPECT_EQ(slack.processDetails[0].pid, 30);
    EXPECT_EQ(slack.processDetails[2].pid, 5);
    EXPECT_FALSE(slack.processDetails[2].parentPID.has_value());  // raw parent 0

    // The owner's active flag makes its helpers' group foreground too.
    const auto viaOwner = ProcessGrouper::group(
        {proc(2, "Slack Helper", 3), app(3, "Slack", "com.tinyspeck.slackmacgap", 1, MiB, true)}, true, self);
    ASSERT_EQ(viaOwner.size(), 1u);
    EXPECT_TRUE(viaOwner[0].isForeground);
}

TEST(ProcessGrouper, EmptyInputGivesNoGroups) { EXPECT_TRUE(ProcessGrouper::group({}, true, self).empty()); }

}  // namespace
}  // namespace velmora
