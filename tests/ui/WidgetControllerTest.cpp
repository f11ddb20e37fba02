// The widget panel's sizes, places and collapse timing, its stored preferences and the first-run flags.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/linux/PosixFileSystem.h"
#include "platform/qt/DesktopUrlOpener.h"
#include "tests/fakes/InMemoryDefaults.h"
#include "tests/fakes/ManualScheduler.h"
#include "tests/fakes/TempDir.h"
#include "ui/widget/FloatingWidgetController.h"
#include "ui/windows/FirstRunView.h"

namespace velmora {
namespace {

// Screen 0: 1280×800 with a 30-pixel top panel; screen 1 to its right.
const WidgetScreen mainScreen{{0, 0, 1280, 800}, {0, 30, 1280, 770}};
const WidgetScreen sideScreen{{1280, 0, 1920, 1080}, {1280, 0, 1920, 1080}};

struct FakePanel final : WidgetPanel {
    WidgetRect frame() const override { return rect; }
    void setFrame(const WidgetRect& f, bool a) override {
        rect = f;
        animated.push_back(a);
    }
    void bringToFront() override { ++fronts; }
    void orderOut() override {}
    std::optional<WidgetScreen> screen() const override { return std::nullopt; }
    WidgetRect rect;
    std::vector<bool> animated;
    int fronts = 0;
};

struct FakeWindowing final : WidgetWindowing {
    std::unique_ptr<WidgetPanel> makePanel(const WidgetRect& f, bool floating) override {
        auto p = std::make_unique<FakePanel>();
        p->rect = f;
        last = p.get();
        ++made;
        return p;
    }
    std::vector<WidgetScreen> screens() const override { return all; }
    std::vector<WidgetScreen> all{mainScreen, sideScreen};
    FakePanel* last = nullptr;
    int made = 0;
};

struct Widget {
    FakeClock clock;
    ManualScheduler scheduler{clock};
    InMemoryDefaults defaults;
    FakeWindowing windowing;
    FloatingWidgetController controller{windowing, defaults, scheduler};
    std::vector<bool> reported;

    explicit Widget(FloatingWidgetPreferences prefs = {}) {
        prefs.save(defaults);
        controller.onVisibilityChange = [this](bool v) { reported.push_back(v); };
    }
    FakePanel& panel() { return *static_cast<FakePanel*>(controller.panel()); }
};

TEST(WidgetController, SizesAndPlaces) {
    struct Row {
        const char* name;
        FloatingWidgetPreferences prefs;
        std::optional<Json> saved;
        WidgetRect want;
    };
    using P = WidgetPlacement;
    const Row rows[] = {
        {"first show: top-right corner", {}, std::nullopt, {956, 54, 300, 318}},
        {"compact", {.isCompact = true}, std::nullopt, {1026, 54, 230, 130}},
        {"no system memory", {.showSystemMemory = false}, std::nullopt, {956, 54, 300, 260}},
        {"saved frame keeps the size of now", {.isCompact = true}, Json{{"x", 1500}, {"y", 300}, {"width", 9}, {"height", 9}},
         {1500, 300, 230, 130}},
        {"saved on a monitor since removed", {}, Json{{"x", 4000}, {"y", -900}, {"width", 300}, {"height", 318}},
         {2900, 0, 300, 318}},
        {"saved frame unreadable", {}, Json{{"x", "left"}}, {956, 54, 300, 318}},
        {"docked top, auto-collapse", {.placement = P::dockedTop}, std::nullopt, {240, 30, 800, 10}},
        {"docked bottom, expanded", {.placement = P::dockedBottom, .autoCollapseDock = false}, std::nullopt,
         {240, 716, 800, 84}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Widget w(row.prefs);
        if (row.saved) w.defaults.setValue("VelmoraFloatingWidget", *row.saved);
        w.controller.show();
        EXPECT_EQ(w.panel().rect, row.want);
        EXPECT_EQ(w.reported, std::vector<bool>{true});
        EXPECT_TRUE(FloatingWidgetPreferences::load(w.defaults).wasVisible);
    }
}

TEST(WidgetController, CornersAndShowHide) {
    Widget w;
    w.controller.moveToCorner(2);  // closed: opens first, then snaps
    ASSERT_TRUE(w.controller.hasPanel());
    EXPECT_EQ(w.panel().rect, (WidgetRect{24, 458, 300, 318}));
    const std::pair<int, WidgetRect> corners[] = {
        {0, {24, 54, 300, 318}}, {1, {956, 54, 300, 318}}, {3, {956, 458, 300, 318}}};
    for (const auto& [corner, want] : corners) {
        w.controller.moveToCorner(corner);
        EXPECT_EQ(w.panel().rect, want);
    }
    EXPECT_EQ(w.defaults.value("VelmoraFloatingWidget"), (Json{{"x", 956}, {"y", 458}, {"width", 300}, {"height", 318}}));

    const int writes = w.defaults.writes;
    w.controller.show();  // already open: to the front only
    EXPECT_EQ(w.panel().fronts, 2);
    EXPECT_EQ(w.defaults.writes, writes);
    EXPECT_EQ(w.reported, std::vector<bool>{true});

    w.controller.hide();
    EXPECT_FALSE(w.controller.hasPanel());
    EXPECT_FALSE(FloatingWidgetPreferences::load(w.defaults).wasVisible);
    w.controller.show();  // the saved corner comes back
    EXPECT_EQ(w.panel().rect, (WidgetRect{956, 458, 300, 318}));

    // Closed by the window manager: released, reported, and remembered as open for the next start.
    w.panel().onClosedBySystem();
    EXPECT_FALSE(w.controller.hasPanel());
    EXPECT_EQ(w.reported, (std::vector<bool>{true, false, true, false}));
    EXPECT_TRUE(w.controller.wasVisibleAtLastRun());

    Widget docked({.placement = WidgetPlacement::dockedTop});
    docked.controller.moveToCorner(0);
    EXPECT_EQ(docked.panel().rect, (WidgetRect{240, 30, 800, 10}));
}

TEST(WidgetController, DockCollapseTiming) {
    Widget w({.placement = WidgetPlacement::dockedBottom});
    w.controller.show();
    auto& c = w.controller;
    const WidgetRect strip{240, 790, 800, 10}, bar{240, 716, 800, 84};
    EXPECT_EQ(w.panel().rect, strip);
    w.panel().onHoverChange(true);
    EXPECT_EQ(w.panel().rect, bar);
    w.panel().onHoverChange(false);
    w.scheduler.advance(0.4);
    w.panel().onHoverChange(true);  // back within half a second
    w.panel().onHoverChange(false);
    w.scheduler.advance(0.4);
    EXPECT_EQ(w.panel().rect, bar);
    w.scheduler.advance(0.1);
    EXPECT_EQ(w.panel().rect, strip);
    EXPECT_TRUE(c.isDockCollapsed());

    c.setCriticalMemoryOverride(true);
    EXPECT_EQ(w.panel().rect, bar);
    w.panel().onHoverChange(true);
    w.panel().onHoverChange(false);
    w.scheduler.advance(5);
    EXPECT_EQ(w.panel().rect, bar);  // held open
    c.setCriticalMemoryOverride(false);
    w.scheduler.advance(0.5);
    EXPECT_EQ(w.panel().rect, strip);
    EXPECT_EQ(w.panel().animated.back(), true);

    // A new panel starts with the pointer outside and no override, so a leave collapses it again.
    c.setCriticalMemoryOverride(true);
    c.hide();
    c.show();
    EXPECT_FALSE(c.isCriticalMemoryOverride());
    w.panel().onHoverChange(true);
    w.panel().onHoverChange(false);
    c.hide();
    w.scheduler.advance(1);  // the pending collapse went with the panel
    EXPECT_EQ(w.scheduler.activeTimers(), 0u);

    Widget fixed({.placement = WidgetPlacement::dockedTop, .autoCollapseDock = false});
    fixed.controller.show();
    fixed.panel().onHoverChange(false);
    fixed.scheduler.advance(1);
    EXPECT_EQ(fixed.panel().rect, (WidgetRect{240, 30, 800, 84}));

    Widget screenless({.placement = WidgetPlacement::dockedTop});
    screenless.windowing.all.clear();
    screenless.controller.show();
    EXPECT_EQ(screenless.panel().rect, (WidgetRect{0, 0, 800, 10}));
}

TEST(WidgetPreferences, LoadIsWholeOrDefault) {
    const FloatingWidgetPreferences pinned{"family:chromium", true, WidgetPlacement::dockedBottom, false, false, 30, true};
    struct Row {
        const char* name;
        Json stored;
        FloatingWidgetPreferences want;
    };
    Json full = pinned.toJson();
    const auto without = [&](const char* key) {
        Json j = full;
        j.erase(key);
        return j;
    };
    const auto with = [&](const char* key, Json v) {
        Json j = full;
        j[key] = std::move(v);
        return j;
    };
    FloatingWidgetPreferences unpinned = pinned;
    unpinned.pinnedAppKey.reset();
    FloatingWidgetPreferences shortest = pinned, longest = pinned;
    shortest.trendRangeMinutes = 5;
    longest.trendRangeMinutes = 120;
    const Row rows[] = {
        {"round trip", full, pinned},
        {"no wasVisible", without("wasVisible"), {}},
        {"placement in other letters", with("placement", "DockedTop"), {}},
        {"pin null", with("pinnedAppKey", nullptr), unpinned},
        {"negative range", with("trendRangeMinutes", -4), shortest},
        {"huge range", with("trendRangeMinutes", 9000000000LL), longest},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        InMemoryDefaults d;
        d.setValue("Velmora.FloatingWidgetPreferences", row.stored);
        EXPECT_EQ(FloatingWidgetPreferences::load(d), row.want);
    }
    EXPECT_FALSE(unpinned.toJson().contains("pinnedAppKey"));
    EXPECT_EQ(FloatingWidgetPreferences::load(InMemoryDefaults{}), FloatingWidgetPreferences{});
}

TEST(FirstRun, FlagsAndTemporaryBuild) {
    TempDir dir;
    PosixFileSystem files;
    std::filesystem::create_directories(dir.file("build/tests"));
    std::filesystem::create_directories(dir.file("BUILD"));
    ASSERT_TRUE(files.writeAtomically(dir.file("build/CMakeCache.txt"), ""));
    EXPECT_TRUE(isTemporaryBuild(files, dir.file("build/velmora")));
    EXPECT_TRUE(isTemporaryBuild(files, dir.file("build/tests/x")));
    EXPECT_FALSE(isTemporaryBuild(files, dir.file("BUILD/velmora")));
    EXPECT_FALSE(isTemporaryBuild(files, dir.file("velmora")));

    struct Row {
        std::optional<bool> completed, dismissed;
        bool temporary, want;
    };
    const Row rows[] = {
        {std::nullopt, std::nullopt, false, true}, {false, true, true, true},  {true, std::nullopt, false, false},
        {true, false, true, true},                 {true, true, true, false},  {true, std::nullopt, true, true},
    };
    for (const auto& row : rows) {
        InMemoryDefaults d;
        if (row.completed) d.setValue("Velmora.FirstRunCompleted", *row.completed);
        if (row.dismissed) d.setValue("Velmora.StableHintDismissed", *row.dismissed);
        EXPECT_EQ(FirstRunView::shouldShow(d, row.temporary), row.want);
    }
    InMemoryDefaults fromBuild, installed;
    FirstRunView::markCompleted(fromBuild, true);
    FirstRunView::markCompleted(installed, false);
    EXPECT_EQ(fromBuild.values, (std::map<std::string, Json>{{"Velmora.FirstRunCompleted", true}}));
    EXPECT_EQ(installed.values,
              (std::map<std::string, Json>{{"Velmora.FirstRunCompleted", true}, {"Velmora.StableHintDismissed", true}}));
}

TEST(SettingsLinks, OpenTheDesktopsOwnPanel) {
    using Command = std::optional<std::vector<std::string>>;
    const std::string accessibility = "x-apple.systempreferences:com.apple.preference.security?Privacy_Accessibility";
    const std::string capture = "x-apple.systempreferences:com.apple.preference.security?Privacy_ScreenCapture";
    const std::string login = "x-apple.systempreferences:com.apple.LoginItems-Settings.extension";
    const std::tuple<std::string, std::string, Command> rows[] = {
        {accessibility, "ubuntu:GNOME", Command{{"gnome-control-center", "universal-access"}}},
        {accessibility, "KDE", Command{{"systemsettings", "kcm_access"}}},
        {capture, "GNOME", Command{{"gnome-control-center", "privacy"}}},
        {login, "KDE", Command{{"systemsettings", "kcm_autostart"}}},
        {accessibility, "XFCE", std::nullopt},
        {accessibility, "GNOME-Flashback", std::nullopt},
    };
    for (const auto& [url, desktop, want] : rows)
        EXPECT_EQ(DesktopUrlOpener::settingsPanelCommand(url, desktop), want) << url << " on " << desktop;
}

}  // namespace
}  // namespace velmora
