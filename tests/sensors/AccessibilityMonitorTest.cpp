#include <gtest/gtest.h>

#include <functional>

#include "engine/activity/ActivityEventBus.h"
#include "sensors/AccessibilityMonitor.h"
#include "tests/fakes/FakeAccessibilityTree.h"
#include "tests/fakes/ManualScheduler.h"

using namespace velmora;
using Lines = std::vector<std::string>;

namespace {

const RunningApplication kEditor{101, "org.example.Editor", "Editor"};
constexpr std::int32_t kSelfPid = 999;

// An element of `role` with text attributes, e.g. with("AXWindow", {{"AXTitle", "Report"}}).
FakeNode with(std::string role, std::map<std::string, std::string> texts, std::vector<FakeNode> children = {}) {
    auto node = fakeNode(std::move(role), std::move(children));
    for (auto& [name, text] : texts) node->set(name, {text});
    return node;
}
FakeNode window(std::optional<std::string> title, std::vector<FakeNode> children = {}) {
    std::map<std::string, std::string> texts;
    if (title) texts["AXTitle"] = *title;
    return with("AXWindow", texts, std::move(children));
}
FakeNode field(std::string value) { return with("AXTextField", {{"AXValue", std::move(value)}}); }
FakeNode web(std::string url) { return with("AXWebArea", {{"AXURL", std::move(url)}}); }
std::vector<FakeNode> nodes(std::vector<std::string> roles) {
    std::vector<FakeNode> out;
    for (auto& r : roles) out.push_back(fakeNode(r));
    return out;
}
std::vector<FakeNode> after(std::size_t count, FakeNode last) {
    std::vector<FakeNode> out(count, fakeNode("AXGroup"));
    out.push_back(std::move(last));
    return out;
}

struct Rig {
    FakeClock clock;
    ManualScheduler scheduler{clock};
    ActivityEventBus bus;
    FakeAccessibilityTree tree;
    AccessibilityMonitor monitor{bus, scheduler, clock, tree, kSelfPid};
    std::size_t seen = 0;

    Lines fresh() {  // the events published since the last call
        Lines out;
        for (; seen < bus.events().size(); ++seen) out.push_back(eventLine(bus.events()[seen]));
        return out;
    }
    Lines pollOnce() {
        monitor.poll();
        return fresh();
    }
};

}  // namespace

TEST(AccessibilityMonitorTest, OnePollOfAWindow) {
    const std::string ex = "example.org/path";
    const struct {
        const char* name;
        std::function<FakeNode()> window;
        std::optional<std::string> focusedRole;
        Lines expected;
    } cases[] = {
        {"title only", [] { return window("Report"); }, {}, {"windowOpened|Report|-|-|-"}},
        {"address, every www. removed",
         [] { return with("AXWindow", {{"AXTitle", "S"}, {"AXURL", "https://www.a.www.b.org/x"}}); }, {},
         {"pageNavigated|S|https://www.a.www.b.org/x|a.b.org|url_change", "windowOpened|S|https://www.a.www.b.org/x|-|-"}},
        {"document; its address has no host", [] { return with("AXWindow", {{"AXDocument", "file:///u/notes.txt/"}}); }, {},
         {"documentOpened|-|-|notes.txt|document", "pageNavigated|-|file:///u/notes.txt/|-|url_change"}},
        {"an address that does not parse", [] { return with("AXWindow", {{"AXURL", "http://exa mple.org/"}}); }, {},
         {"pageNavigated|-|http://exa mple.org/|-|url_change"}},
        {"text without a scheme is no window address, the document is",
         [] { return with("AXWindow", {{"AXURL", "example.org"}, {"AXDocument", "https://d.net/x"}}); }, {},
         {"documentOpened|-|-|x|document", "pageNavigated|-|https://d.net/x|d.net|url_change"}},
        {"web area five levels down", [] { return window({}, {fakeChain(4, web("https://a.org/"))}); }, {},
         {"pageNavigated|-|https://a.org/|a.org|url_change"}},
        {"web area six levels down", [] { return window({}, {fakeChain(5, web("https://a.org/"))}); }, {}, {}},
        {"web area as 20th child", [] { return window({}, after(19, web("https://b.org/"))); }, {},
         {"pageNavigated|-|https://b.org/|b.org|url_change"}},
        {"web area as 21st child", [] { return window({}, after(20, web("https://b.org/"))); }, {}, {}},
        {"web area without address, then the text field", [&] { return window({}, {fakeNode("AXWebArea"), field(ex)}); },
         {}, {"pageNavigated|-|example.org/path|-|url_change"}},
        {"text field four levels down", [&] { return window({}, {fakeChain(3, field(ex))}); }, {},
         {"pageNavigated|-|example.org/path|-|url_change"}},
        {"text field five levels down", [] { return window({}, {fakeChain(4, field("x://y"))}); }, {}, {}},
        {"text field: a word", [] { return window({}, {field("hello")}); }, {}, {}},
        {"text field: slash without dot", [] { return window({}, {field("a/b")}); }, {}, {}},
        {"text field: dot without slash", [] { return window({}, {field("a.b")}); }, {}, {}},
        {"three tab buttons",
         [] { return window("T", {fakeNode("AXTabGroup", nodes({"AXRadioButton", "AXImage", "AXButton", "AXRadioButton"}))}); },
         {}, {"windowOpened|T|-|3 tabs visible|-"}},
        {"one tab button", [] { return window("T", {fakeNode("AXTabGroup", nodes({"AXRadioButton", "AXGroup"}))}); }, {},
         {"windowOpened|T|-|-|-"}},
        {"tabs counted past twenty",
         [] { return window("T", {fakeNode("AXTabGroup", nodes(std::vector<std::string>(25, "AXButton")))}); }, {},
         {"windowOpened|T|-|25 tabs visible|-"}},
        {"a sheet", [] { return window("Save"); }, "AXSheet", {"windowOpened|Save|-|-|-", "dialogAppeared|Save|-|AXSheet|-"}},
        {"a dialog without title", [] { return window({}); }, "AXDialog", {"dialogAppeared|-|-|AXDialog|-"}},
    };
    for (const auto& c : cases) {
        Rig rig;
        auto app = rig.tree.show(kEditor, c.window());
        if (c.focusedRole) app->set("AXFocusedUIElement", {AccessibleRef(fakeNode(*c.focusedRole))});
        EXPECT_EQ(rig.pollOnce(), c.expected) << c.name;
    }
}

TEST(AccessibilityMonitorTest, RemembersPerAppAcrossPolls) {
    Rig rig;
    auto draft = with("AXWindow", {{"AXTitle", "Draft"}, {"AXDocument", "file:///d/a.txt"}});
    const Lines draftSeen{"documentOpened|Draft|-|a.txt|document", "pageNavigated|Draft|file:///d/a.txt|-|url_change",
                          "windowOpened|Draft|file:///d/a.txt|-|-"};
    rig.tree.show(kEditor, draft);
    EXPECT_EQ(rig.pollOnce(), draftSeen);
    EXPECT_EQ(rig.pollOnce(), Lines{});
    // Another app, keyed by its name without a desktop id; then back: all of the first is news again.
    rig.tree.show({202, std::nullopt, "Browser"}, window("Home"));
    EXPECT_EQ(rig.pollOnce(), Lines{"windowOpened|Home|-|-|-"});
    EXPECT_EQ(rig.monitor.lastFrontmostKey(), "name:Browser");
    EXPECT_EQ(rig.bus.events().back().app->pids, std::vector<std::int32_t>{202});
    rig.tree.show(kEditor, draft);
    EXPECT_EQ(rig.pollOnce(), draftSeen);
    draft->set("AXTitle", {std::string("Draft 2")});
    EXPECT_EQ(rig.pollOnce(), Lines{"titleChanged|Draft 2|file:///d/a.txt|-|-"});
    EXPECT_EQ(rig.monitor.lastPID(), 101);
}

TEST(AccessibilityMonitorTest, DialogsAreReportedOncePerOpening) {
    Rig rig;
    auto w = window("Doc");
    auto app = rig.tree.show(kEditor, w);
    const auto focus = [&](const char* role) { app->set("AXFocusedUIElement", {AccessibleRef(fakeNode(role))}); };
    focus("AXSheet");
    EXPECT_EQ(rig.pollOnce(), (Lines{"windowOpened|Doc|-|-|-", "dialogAppeared|Doc|-|AXSheet|-"}));
    EXPECT_EQ(rig.monitor.lastDialogKey(), "101-AXSheet-Doc");
    EXPECT_EQ(rig.pollOnce(), Lines{});
    w->set("AXTitle", {std::string("Other")});
    EXPECT_EQ(rig.pollOnce(), (Lines{"titleChanged|Other|-|-|-", "dialogAppeared|Other|-|AXSheet|-"}));
    focus("AXTextField");  // closed, then the same sheet again
    EXPECT_EQ(rig.pollOnce(), Lines{});
    focus("AXSheet");
    EXPECT_EQ(rig.pollOnce(), Lines{"dialogAppeared|Other|-|AXSheet|-"});
}

TEST(AccessibilityMonitorTest, SelfSensitiveAndUntrustedLeaveNoTrace) {
    const struct {
        const char* name;
        RunningApplication app;
        FakeNode window;
        bool trusted;
        bool readsNothing;
    } cases[] = {
        {"this application", {kSelfPid, "velmora", "Velmora"}, window("Stories"), true, true},
        {"password manager by name", {7, "org.example.Vault", "Password Safe"}, window("V"), true, true},
        {"password manager by id", {7, "com.bitwarden.desktop", "Vault"}, window("V"), true, true},
        {"private window", {8, {}, "Browser"}, window("New Incognito Tab"), true, false},
        {"private address", {8, {}, "Browser"}, with("AXWindow", {{"AXTitle", "S"}, {"AXURL", "https://a.org/inprivate"}}),
         true, false},
        {"private document", {8, {}, "Viewer"}, with("AXWindow", {{"AXDocument", "file:///private/x.pdf"}}), true, false},
        {"not trusted", kEditor, window("Report"), false, true},
    };
    for (const auto& c : cases) {
        Rig rig;
        rig.tree.trusted = c.trusted;
        rig.tree.show(c.app, c.window);
        rig.monitor.start();
        rig.scheduler.advance(2.0);
        EXPECT_EQ(rig.fresh(), Lines{}) << c.name;
        EXPECT_EQ(rig.monitor.lastFrontmostKey(), std::nullopt) << c.name;
        EXPECT_EQ(rig.monitor.lastWindowTitle(), std::nullopt) << c.name;
        EXPECT_EQ(rig.monitor.lastURL(), std::nullopt) << c.name;
        EXPECT_EQ(rig.monitor.lastPID(), 0) << c.name;
        EXPECT_EQ(rig.tree.reads == 0, c.readsNothing) << c.name;
        EXPECT_EQ(rig.scheduler.activeTimers(), c.trusted ? 1u : 0u) << c.name;
    }
}

TEST(AccessibilityMonitorTest, StartPollsAtOnceAndKeepsOneTimer) {
    Rig rig;
    auto w = window("A");
    rig.tree.show(kEditor, w);
    rig.monitor.start();
    rig.monitor.start();
    EXPECT_EQ(rig.scheduler.activeTimers(), 1u);
    EXPECT_EQ(rig.fresh(), Lines{"windowOpened|A|-|-|-"});
    w->set("AXTitle", {std::string("B")});
    rig.scheduler.advance(0.49);
    EXPECT_EQ(rig.fresh(), Lines{});
    rig.scheduler.advance(0.01);
    EXPECT_EQ(rig.fresh(), Lines{"titleChanged|B|-|-|-"});
    EXPECT_EQ(rig.bus.events().back().timestamp, rig.clock.now());
    rig.tree.trusted = false;  // a lost grant stops the reads
    w->set("AXTitle", {std::string("C")});
    rig.scheduler.advance(0.5);
    EXPECT_FALSE(rig.monitor.isTrusted());
    rig.tree.trusted = true;
    rig.monitor.stop();
    rig.scheduler.advance(5.0);
    EXPECT_EQ(rig.fresh(), Lines{});
    EXPECT_EQ(rig.scheduler.activeTimers(), 0u);
}
