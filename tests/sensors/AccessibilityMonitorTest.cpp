#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "engine/activity/ActivityEventBus.h"
#include "sensors/AccessibilityMonitor.h"
#include "tests/fakes/FakeAccessibilityTree.h"
#include "tests/fakes/ManualScheduler.h"

using namespace velmora;

namespace {

const RunningApplication kEditor{101, "org.example.Editor", "Editor"};
const RunningApplication kBrowser{202, std::nullopt, "Browser"};
constexpr std::int32_t kSelfPid = 999;

FakeNode window(std::optional<std::string> title, std::vector<FakeNode> children = {}) {
    auto w = fakeNode("AXWindow", std::move(children));
    if (title) w->set("AXTitle", {*title});
    return w;
}

FakeNode withText(FakeNode node, const std::string& attribute, std::string text) {
    node->set(attribute, {std::move(text)});
    return node;
}

FakeNode tabGroup(std::vector<std::string> roles) {
    std::vector<FakeNode> children;
    for (auto& r : roles) children.push_back(fakeNode(r));
    return fakeNode("AXTabGroup", children);
}

struct Rig {
    FakeClock clock;
    ManualScheduler scheduler{clock};
    ActivityEventBus bus;
    FakeAccessibilityTree tree;
    AccessibilityMonitor monitor{bus, scheduler, clock, tree, kSelfPid};
    std::size_t seen = 0;

    // The events published since the last call.
    std::vector<std::string> fresh() {
        std::vector<std::string> out;
        for (; seen < bus.events().size(); ++seen) out.push_back(eventLine(bus.events()[seen]));
        return out;
    }
    std::vector<std::string> pollOnce() {
        monitor.poll();
        return fresh();
    }
};

using Lines = std::vector<std::string>;

}  // namespace

TEST(AccessibilityMonitorTest, OnePollOfAWindow) {
    struct Case {
        const char* name;
        std::function<FakeNode()> window;
        std::optional<std::string> focusedRole;
        Lines expected;
    };
    const Case cases[] = {
        {"title only", [] { return window("Report"); }, {}, {"windowOpened|Report|-|-|-"}},
        {"window address, www. removed everywhere",
         [] { return withText(window("Shop"), "AXURL", "https://www.shop.www.example.org/a"); }, {},
         {"pageNavigated|Shop|https://www.shop.www.example.org/a|shop.example.org|url_change",
          "windowOpened|Shop|https://www.shop.www.example.org/a|-|-"}},
        {"document: its file name, and an address without a host",
         [] { return withText(window("notes"), "AXDocument", "file:///home/u/notes.txt/"); }, {},
         {"documentOpened|notes|-|notes.txt|document", "pageNavigated|notes|file:///home/u/notes.txt/|-|url_change",
          "windowOpened|notes|file:///home/u/notes.txt/|-|-"}},
        {"an address that does not parse has no host",
         [] { return withText(window({}), "AXURL", "http://exa mple.org/"); }, {},
         {"pageNavigated|-|http://exa mple.org/|-|url_change"}},
        {"a URL value, and a text AXURL without a scheme is no address",
         [] {
             auto w = withText(window("W"), "AXURL", "example.org");
             w->set("AXDocument", {AccessibilityValue::Url{"https://docs.example.net/x"}});
             return w;
         },
         {},
         {"documentOpened|W|-|x|document", "pageNavigated|W|https://docs.example.net/x|docs.example.net|url_change",
          "windowOpened|W|https://docs.example.net/x|-|-"}},
        {"web area five levels below the window",
         [] { return window("P", {fakeChain(4, withText(fakeNode("AXWebArea"), "AXURL", "https://a.org/"))}); }, {},
         {"pageNavigated|P|https://a.org/|a.org|url_change", "windowOpened|P|https://a.org/|-|-"}},
        {"web area six levels below is not searched",
         [] { return window("P", {fakeChain(5, withText(fakeNode("AXWebArea"), "AXURL", "https://a.org/"))}); }, {},
         {"windowOpened|P|-|-|-"}},
        {"web area as 20th child",
         [] {
             std::vector<FakeNode> kids(19, fakeNode("AXGroup"));
             kids.push_back(withText(fakeNode("AXWebArea"), "AXURL", "https://b.org/"));
             return window("P", kids);
         },
         {}, {"pageNavigated|P|https://b.org/|b.org|url_change", "windowOpened|P|https://b.org/|-|-"}},
        {"web area as 21st child is not searched",
         [] {
             std::vector<FakeNode> kids(20, fakeNode("AXGroup"));
             kids.push_back(withText(fakeNode("AXWebArea"), "AXURL", "https://b.org/"));
             return window("P", kids);
         },
         {}, {"windowOpened|P|-|-|-"}},
        {"web area without an address falls back to the text field",
         [] {
             return window("P", {fakeNode("AXWebArea"), withText(fakeNode("AXTextField"), "AXValue", "example.org/path")});
         },
         {}, {"pageNavigated|P|example.org/path|-|url_change", "windowOpened|P|example.org/path|-|-"}},
        {"text field four levels below, host and path",
         [] { return window("F", {fakeChain(3, withText(fakeNode("AXTextField"), "AXValue", "example.org/path"))}); }, {},
         {"pageNavigated|F|example.org/path|-|url_change", "windowOpened|F|example.org/path|-|-"}},
        {"text field five levels below is not searched",
         [] { return window("F", {fakeChain(4, withText(fakeNode("AXTextField"), "AXValue", "x://y"))}); }, {},
         {"windowOpened|F|-|-|-"}},
        {"a plain word is no address",
         [] { return window("F", {withText(fakeNode("AXTextField"), "AXValue", "hello")}); }, {},
         {"windowOpened|F|-|-|-"}},
        {"only the first text field counts",
         [] {
             return window("F", {withText(fakeNode("AXTextField"), "AXValue", "a.b"),
                                 withText(fakeNode("AXTextField"), "AXValue", "c.org/d")});
         },
         {}, {"windowOpened|F|-|-|-"}},
        {"three tab buttons", [] { return window("T", {tabGroup({"AXRadioButton", "AXRadioButton", "AXButton"})}); }, {},
         {"windowOpened|T|-|3 tabs visible|-"}},
        {"one tab button and other roles", [] { return window("T", {tabGroup({"AXRadioButton", "AXGroup", "AXImage"})}); },
         {}, {"windowOpened|T|-|-|-"}},
        {"tabs are counted past twenty",
         [] { return window("T", {tabGroup(std::vector<std::string>(25, "AXRadioButton"))}); }, {},
         {"windowOpened|T|-|25 tabs visible|-"}},
        {"a focused sheet", [] { return window("Save"); }, "AXSheet",
         {"windowOpened|Save|-|-|-", "dialogAppeared|Save|-|AXSheet|-"}},
        {"a focused dialog without a title", [] { return window({}); }, "AXDialog", {"dialogAppeared|-|-|AXDialog|-"}},
        {"a focused button is no dialog", [] { return window("B"); }, "AXButton", {"windowOpened|B|-|-|-"}},
    };
    for (const auto& c : cases) {
        Rig rig;
        auto app = rig.tree.show(kEditor, c.window());
        if (c.focusedRole) app->set("AXFocusedUIElement", {AccessibleRef(fakeNode(*c.focusedRole))});
        EXPECT_EQ(rig.pollOnce(), c.expected) << c.name;
    }
    // The slash without a dot and the dot without a slash give no address either.
    for (const char* value : {"a/b", "a.b"}) {
        Rig rig;
        rig.tree.show(kEditor, window({}, {withText(fakeNode("AXTextField"), "AXValue", value)}));
        EXPECT_EQ(rig.pollOnce(), Lines{}) << value;
    }
}

TEST(AccessibilityMonitorTest, RemembersPerAppAcrossPolls) {
    Rig rig;
    auto editorWindow = withText(window("Draft"), "AXDocument", "file:///d/a.txt");
    auto browserWindow = withText(window("Home"), "AXURL", "https://example.org/");
    rig.tree.show(kEditor, editorWindow);
    EXPECT_EQ(rig.pollOnce(), (Lines{"documentOpened|Draft|-|a.txt|document",
                                     "pageNavigated|Draft|file:///d/a.txt|-|url_change",
                                     "windowOpened|Draft|file:///d/a.txt|-|-"}));
    EXPECT_EQ(rig.pollOnce(), Lines{});
    editorWindow->set("AXTitle", {std::string("Draft 2")});
    EXPECT_EQ(rig.pollOnce(), Lines{"titleChanged|Draft 2|file:///d/a.txt|-|-"});
    // An app without a desktop id is keyed by its name.
    rig.tree.show(kBrowser, browserWindow);
    EXPECT_EQ(rig.pollOnce(), (Lines{"pageNavigated|Home|https://example.org/|example.org|url_change",
                                     "windowOpened|Home|https://example.org/|-|-"}));
    EXPECT_EQ(rig.monitor.lastFrontmostKey(), "name:Browser");
    EXPECT_EQ(rig.bus.events().back().app->pids, std::vector<std::int32_t>{202});
    // Back to the editor: everything about it is news again, though nothing changed there.
    rig.tree.show(kEditor, editorWindow);
    EXPECT_EQ(rig.pollOnce(), (Lines{"documentOpened|Draft 2|-|a.txt|document",
                                     "pageNavigated|Draft 2|file:///d/a.txt|-|url_change",
                                     "windowOpened|Draft 2|file:///d/a.txt|-|-"}));
    EXPECT_EQ(rig.monitor.lastPID(), 101);
    // A title that goes away keeps the last one; the address of the window stays what it was.
    editorWindow->attributes.erase("AXTitle");
    EXPECT_EQ(rig.pollOnce(), Lines{});
    EXPECT_EQ(rig.monitor.lastWindowTitle(), "Draft 2");
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
    // Closed, then the same sheet opened again: reported again.
    focus("AXTextField");
    EXPECT_EQ(rig.pollOnce(), Lines{});
    EXPECT_EQ(rig.monitor.lastDialogKey(), std::nullopt);
    focus("AXSheet");
    EXPECT_EQ(rig.pollOnce(), Lines{"dialogAppeared|Other|-|AXSheet|-"});
}

TEST(AccessibilityMonitorTest, SelfSensitiveAndUntrustedLeaveNoTrace) {
    struct Case {
        const char* name;
        RunningApplication app;
        FakeNode window;
        bool trusted;
        bool readsNothing;
    };
    const Case cases[] = {
        {"this application", {kSelfPid, "velmora", "Velmora"}, window("Stories"), true, true},
        {"a password manager by name", {7, "org.example.Vault", "Password Safe"}, window("Vault"), true, true},
        {"a password manager by id", {7, "com.bitwarden.desktop", "Vault"}, window("Vault"), true, true},
        {"a private window", {8, {}, "Browser"}, window("New Incognito Tab"), true, false},
        {"a private address under a plain title", {8, {}, "Browser"},
         withText(window("Search"), "AXURL", "https://example.org/inprivate"), true, false},
        {"a private document", {8, {}, "Viewer"}, withText(window("View"), "AXDocument", "file:///private/x.pdf"), true,
         false},
        {"not trusted", kEditor, window("Report"), false, true},
    };
    for (const auto& c : cases) {
        Rig rig;
        rig.tree.trusted = c.trusted;
        rig.tree.show(c.app, c.window);
        rig.monitor.start();
        rig.scheduler.advance(2.0);
        EXPECT_EQ(rig.bus.events().size(), 0u) << c.name;
        EXPECT_EQ(rig.monitor.lastFrontmostKey(), std::nullopt) << c.name;
        EXPECT_EQ(rig.monitor.lastWindowTitle(), std::nullopt) << c.name;
        EXPECT_EQ(rig.monitor.lastURL(), std::nullopt) << c.name;
        EXPECT_EQ(rig.monitor.lastPID(), 0) << c.name;
        if (c.readsNothing) {
            EXPECT_EQ(rig.tree.reads, 0) << c.name;
        }
        EXPECT_EQ(rig.monitor.isTrusted(), c.trusted) << c.name;
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
    // Losing the grant stops the reads, and a stopped monitor polls no more.
    rig.tree.trusted = false;
    w->set("AXTitle", {std::string("C")});
    rig.scheduler.advance(0.5);
    EXPECT_FALSE(rig.monitor.isTrusted());
    rig.tree.trusted = true;
    rig.monitor.stop();
    rig.scheduler.advance(5.0);
    EXPECT_EQ(rig.fresh(), Lines{});
    EXPECT_EQ(rig.scheduler.activeTimers(), 0u);
}
