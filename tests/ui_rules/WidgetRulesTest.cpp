// The widget's figures, texts and "Show" list, and what each settings control stores and does to
// the panel, in simulated time.
#include <gtest/gtest.h>

#include "tests/app/AppHarness.h"
#include "ui/widget/FloatingWidgetController.h"
#include "ui/widget/WidgetRules.h"
#include "ui/widget/WidgetSettings.h"

namespace velmora {
namespace {

const Date now{800000000.0};

AppMemorySnapshot snapshot(const std::string& key, const std::string& name, std::uint64_t bytes, bool self = false) {
    return {.identity = {key, std::nullopt, name, {100}, self}, .footprintBytes = bytes};
}

SystemMemorySnapshot system(std::uint64_t available, std::uint64_t total) {
    return {.availableBytes = available, .totalPhysicalBytes = total};
}

WidgetInput withApp(std::vector<FootprintHistory::Point> history = {}, std::vector<ChartStoryMark> marks = {}) {
    return {snapshot("editor", "Text Editor", 400 * MiB), std::move(history), std::move(marks),
            system(8000 * MiB, 16000 * MiB), now, 15};
}

TEST(WidgetRules, TimeAgoTurnsIntoMinutesAtSixtySeconds) {
    EXPECT_EQ(timeAgoText(now - 59, now), "just now");
    EXPECT_EQ(timeAgoText(now - 59.9, now), "just now");
    EXPECT_EQ(timeAgoText(now - 60, now), "1m ago");
    EXPECT_EQ(timeAgoText(now - 119, now), "1m ago");
    EXPECT_EQ(timeAgoText(now - 900, now), "15m ago");
    EXPECT_EQ(timeAgoText(now - 3599, now), "59m ago");
    EXPECT_EQ(timeAgoText(now + 300, now), "just now");
    EXPECT_EQ(timeAgoText(Date{-1e300}, now), "1000000000000000m ago");  // no overflow
}

TEST(WidgetRules, SpikeColourArrowAndAmount) {
    const auto grew = widgetSpike({{}, now, 380 * std::int64_t(MiB)});
    EXPECT_EQ(grew.tone, WidgetTone::orange);
    EXPECT_FALSE(grew.falling);
    EXPECT_EQ(grew.amount, "+380 MB");
    const auto zero = widgetSpike({{}, now, 0});
    EXPECT_EQ(zero.tone, WidgetTone::orange);
    EXPECT_FALSE(zero.falling);
    EXPECT_EQ(zero.amount, "0 bytes");
    const auto fell = widgetSpike({{}, now, -150 * std::int64_t(MiB)});
    EXPECT_EQ(fell.tone, WidgetTone::green);
    EXPECT_TRUE(fell.falling);
    EXPECT_EQ(fell.amount, "\u2212150 MB");
}

TEST(WidgetRules, CriticalAtFivePercentFreeAndNotAbove) {
    EXPECT_TRUE(isCriticalMemory(system(50, 1000)));
    EXPECT_TRUE(isCriticalMemory(system(0, 1000)));
    EXPECT_FALSE(isCriticalMemory(system(51, 1000)));
    EXPECT_FALSE(isCriticalMemory(system(0, 0)));
    EXPECT_FALSE(isCriticalMemory(std::nullopt));
    auto failed = system(0, 1000);
    failed.readFailed = true;  // its zeros are no reading
    EXPECT_FALSE(isCriticalMemory(failed));

    auto in = withApp();
    in.system = system(45, 1000);
    auto f = widgetFigures(in);
    EXPECT_TRUE(f.isCriticalMemory);
    EXPECT_EQ(f.accent, WidgetTone::red);
    ASSERT_TRUE(f.system);
    EXPECT_EQ(f.system->freePercent, 5);  // 4.5 rounds away from zero
    in.system = system(44, 1000);
    EXPECT_EQ(widgetFigures(in).system->freePercent, 4);
}

TEST(WidgetRules, ZeroTotalHidesTheSystemAndEmptiesTheUsageBar) {
    auto in = withApp();
    in.system = system(0, 0);
    const auto f = widgetFigures(in);
    EXPECT_FALSE(f.system);
    EXPECT_EQ(f.usageFraction, 0);
    EXPECT_FALSE(f.isCriticalMemory);
    in.system = system(8000 * MiB, 1600 * MiB);
    EXPECT_EQ(widgetFigures(in).usageFraction, 0.25);
    in.shownApp->footprintBytes = 99999 * MiB;
    EXPECT_EQ(widgetFigures(in).usageFraction, 1.0);
}

TEST(WidgetRules, TrendKeepsTheWindowAndTakesItsColourFromFirstAndLast) {
    const auto p = [](double ago, std::uint64_t b) { return FootprintHistory::Point{now - ago, b}; };
    auto f = widgetFigures(withApp({p(901, 50), p(900, 100), p(400, 180), p(0, 130)}));
    EXPECT_EQ(f.trendPoints, (std::vector<double>{0, 80, 30}));
    ASSERT_EQ(f.trendDates.size(), 3u);
    EXPECT_EQ(f.trendDates.front(), now - 900);
    EXPECT_EQ(f.trend, WidgetTone::orange);
    EXPECT_EQ(f.accent, WidgetTone::orange);

    f = widgetFigures(withApp({p(100, 300), p(0, 200)}));
    EXPECT_EQ(f.trendPoints, (std::vector<double>{0, -100}));
    EXPECT_EQ(f.trend, WidgetTone::green);
    EXPECT_EQ(f.accent, WidgetTone::green);

    f = widgetFigures(withApp({p(10, 300), p(0, 300)}));
    EXPECT_EQ(f.trend, WidgetTone::orange);
    f = widgetFigures(withApp({p(10, 300)}));
    EXPECT_EQ(f.trendPoints, (std::vector<double>{0}));
    EXPECT_EQ(f.accent, WidgetTone::orange);
    f = widgetFigures(withApp());
    EXPECT_EQ(f.trend, WidgetTone::orange);
    EXPECT_EQ(f.accent, WidgetTone::orange);

    auto none = withApp({p(10, 300), p(0, 100)});
    none.shownApp.reset();
    f = widgetFigures(none);
    EXPECT_TRUE(f.trendPoints.empty());
    EXPECT_EQ(f.accent, WidgetTone::dimmed);
    none.system = system(10, 1000);
    EXPECT_EQ(widgetFigures(none).accent, WidgetTone::red);
}

TEST(WidgetRules, LatestSpikeIsTheNewestMarkInTheWindowFirstOnTies) {
    const Uuid a = Uuid::random(), b = Uuid::random(), c = Uuid::random(), d = Uuid::random();
    const auto f = widgetFigures(withApp({}, {{a, now - 900.001, 10}, {b, now - 900, 20}, {c, now - 30, -5},
                                              {d, now - 30, 7}}));
    ASSERT_EQ(f.trendMarks.size(), 3u);  // the one just before the window start is left out
    EXPECT_EQ(f.trendMarks.front().id, b);
    ASSERT_TRUE(f.latestSpike);
    EXPECT_EQ(f.latestSpike->mark.id, c);
    EXPECT_EQ(f.latestSpike->tone, WidgetTone::green);
    EXPECT_FALSE(widgetFigures(withApp()).latestSpike);
}

TEST(WidgetRules, Texts) {
    EXPECT_EQ(cardTrendTitle(15), "TREND \u00B7 LAST 15 MIN");
    EXPECT_EQ(dockTrendTitle(10), "TREND \u00B7 10M");
    EXPECT_EQ(noSpikeText(5, false), "No significant spikes in the last 5 min");
    EXPECT_EQ(noSpikeText(5, true), "No spikes recently");
    EXPECT_EQ(widgetAppName(std::nullopt), "Velmora");
    EXPECT_EQ(widgetAppName(snapshot("x", "Text Editor", 1)), "Text Editor");
    EXPECT_EQ(widgetDockCaption(std::nullopt), "No app in focus");
    EXPECT_EQ(widgetDockCaption(snapshot("x", "Text Editor", 1)), "Focused app");
    EXPECT_EQ(missingAppNote({.pinnedAppKey = "gone"}), "Pinned app isn't running");
    EXPECT_EQ(missingAppNote({}), "No app in focus");
    const WidgetSystemFigures s{1536 * MiB, 16384 * MiB, 9};
    EXPECT_EQ(cardSystemLine(s), "1.5 GB free of 16 GB");
    EXPECT_EQ(cardSystemPercent(s), "9% free");
    EXPECT_EQ(dockSystemFree(s), "1.5 GB free");
    EXPECT_EQ(dockSystemTotal(s), "of 16 GB \u00B7 9%");
}

TEST(WidgetRules, ShownAppFollowsThePinWhileItRuns) {
    AppHarness h;
    AppState& s = h.make();
    h.desktop.apps = {{100, "firefox", "Firefox", false, false}, {200, "org.gnome.TextEditor", "Text Editor", false, true}};
    h.processes.processes = {{100, "/usr/lib/firefox/firefox", "firefox", 1, 900 * MiB},
                             {200, "/usr/bin/gnome-text-editor", "gnome-text-edit", 1, 300 * MiB}};
    h.memory.reading = {16ull << 30, 8ull << 30, 0, 0, MemoryPressureLevel::normal};
    s.sampler->tick();
    h.clock.advance(1);
    s.sampler->tick();
    const auto front = widgetShownApp(s, {});
    ASSERT_TRUE(front);
    EXPECT_EQ(front->identity.displayName, "Text Editor");
    const auto pinned = widgetShownApp(s, {.pinnedAppKey = "family:firefox"});
    ASSERT_TRUE(pinned);
    EXPECT_EQ(pinned->identity.displayName, "Firefox");
    EXPECT_FALSE(widgetShownApp(s, {.pinnedAppKey = "quit.long.ago"}));

    const auto in = widgetInput(s, {.pinnedAppKey = "family:firefox", .trendRangeMinutes = 5}, h.clock.now());
    EXPECT_EQ(in.history.size(), 2u);
    ASSERT_TRUE(in.system);
    EXPECT_EQ(in.system->totalPhysicalBytes, 16ull << 30);
    EXPECT_EQ(in.trendRangeMinutes, 5);
}

TEST(WidgetRules, ShowListAlwaysHoldsVelmora) {
    std::vector<AppMemorySnapshot> all;
    for (int i = 1; i <= 20; ++i) all.push_back(snapshot("app" + std::to_string(i), "App " + std::to_string(i), 1000 - i, i == 18));
    const std::vector<AppMemorySnapshot> heaviest(all.begin(), all.begin() + 15);
    auto list = widgetShowOptions(heaviest, all, std::nullopt);
    ASSERT_EQ(list.size(), 16u);
    EXPECT_EQ(list[0], (WidgetShowOption{std::nullopt, "Focused app"}));
    EXPECT_EQ(list[14], (WidgetShowOption{"app14", "App 14"}));
    EXPECT_EQ(list[15], (WidgetShowOption{"app18", "Velmora (this app)"}));

    // Already among them: nothing replaced.
    std::vector<AppMemorySnapshot> few(all.begin() + 15, all.end());
    list = widgetShowOptions(few, all, std::nullopt);
    ASSERT_EQ(list.size(), 6u);
    EXPECT_EQ(list[3].label, "Velmora (this app)");

    // A pin the list leaves out: its name while it runs, the note once it has quit.
    list = widgetShowOptions(heaviest, all, "app17");
    ASSERT_EQ(list.size(), 17u);
    EXPECT_EQ(list.back(), (WidgetShowOption{"app17", "App 17"}));
    list = widgetShowOptions(heaviest, all, "gone");
    EXPECT_EQ(list.back(), (WidgetShowOption{"gone", "Pinned app isn't running"}));
    EXPECT_EQ(widgetShowOptions(heaviest, all, "app3").size(), 16u);
}

TEST(WidgetRules, CardFrameKeepsItsTopLeft) {
    const WidgetRect old{700, 40, 300, 318};
    EXPECT_EQ(cardFrameKeepingTopLeft(old, {.isCompact = true}), (WidgetRect{700, 40, 230, 130}));
    EXPECT_EQ(cardFrameKeepingTopLeft(old, {.showSystemMemory = false}), (WidgetRect{700, 40, 300, 260}));
    EXPECT_EQ(cardFrameKeepingTopLeft(old, {.isCompact = true, .showSystemMemory = false}), (WidgetRect{700, 40, 230, 130}));
    EXPECT_EQ(cardFrameKeepingTopLeft(old, {.placement = WidgetPlacement::dockedBottom}), std::nullopt);
}

// The settings over a controller whose panels only remember their frame.
struct Panel final : WidgetPanel {
    WidgetRect frame() const override { return rect; }
    void setFrame(const WidgetRect& f, bool) override { rect = f; }
    void bringToFront() override {}
    void orderOut() override {}
    std::optional<WidgetScreen> screen() const override { return WidgetScreen{{0, 0, 1280, 800}, {0, 30, 1280, 770}}; }
    WidgetRect rect;
};

struct Windowing final : WidgetWindowing {
    std::unique_ptr<WidgetPanel> makePanel(const WidgetRect& f, bool) override {
        auto p = std::make_unique<Panel>();
        p->rect = f;
        ++made;
        return p;
    }
    std::vector<WidgetScreen> screens() const override { return {{{0, 0, 1280, 800}, {0, 30, 1280, 770}}}; }
    int made = 0;
};

struct Settings {
    FakeClock clock{now};
    ManualScheduler scheduler{clock};
    InMemoryDefaults defaults;
    Windowing windowing;
    FloatingWidgetController controller{windowing, defaults, scheduler};
    WidgetSettings settings{defaults, controller, scheduler};
    FloatingWidgetPreferences stored() const { return FloatingWidgetPreferences::load(defaults); }
    WidgetRect frame() const { return controller.panel()->frame(); }
};

TEST(WidgetSettingsTest, ChangesInAWidgetOpenedFromClosedKeepItOpenAtTheNextStart) {
    Settings w;
    w.controller.show();
    ASSERT_TRUE(w.stored().wasVisible);
    w.settings.setTrendRangeMinutes(5);
    EXPECT_EQ(w.stored().trendRangeMinutes, 5);
    w.settings.setPinnedApp("firefox");
    w.settings.setShowSystemMemory(false);
    const auto last = w.settings.setCompact(true);
    EXPECT_EQ(last, w.stored());
    EXPECT_TRUE(w.stored().wasVisible);
    EXPECT_EQ(w.stored().pinnedAppKey, "firefox");
    EXPECT_EQ(w.stored().trendRangeMinutes, 5);
    w.settings.setPinnedApp(std::nullopt);
    EXPECT_FALSE(w.stored().pinnedAppKey);
}

TEST(WidgetSettingsTest, CompactAndSystemSwitchesResizeKeepingTheTopLeft) {
    Settings w;
    w.controller.show();
    w.controller.panel()->setFrame({500, 100, 300, 318}, false);
    w.settings.setShowSystemMemory(false);
    EXPECT_EQ(w.frame(), (WidgetRect{500, 100, 300, 260}));
    w.settings.setShowSystemMemory(true);
    EXPECT_EQ(w.frame(), (WidgetRect{500, 100, 300, 318}));
    w.settings.setCompact(true);
    EXPECT_EQ(w.frame(), (WidgetRect{500, 100, 230, 130}));
    w.settings.setShowSystemMemory(false);
    EXPECT_EQ(w.frame(), (WidgetRect{500, 100, 230, 130}));
    w.settings.setCompact(false);
    EXPECT_EQ(w.frame(), (WidgetRect{500, 100, 300, 260}));
    EXPECT_EQ(w.windowing.made, 1);
}

TEST(WidgetSettingsTest, DockedBarKeepsItsSizeForTheSystemSwitch) {
    Settings w;
    FloatingWidgetPreferences{.placement = WidgetPlacement::dockedTop, .autoCollapseDock = false}.save(w.defaults);
    w.controller.show();
    const WidgetRect bar = w.frame();
    EXPECT_EQ(bar, (WidgetRect{240, 30, 800, 84}));
    w.settings.setShowSystemMemory(false);
    EXPECT_EQ(w.frame(), bar);
}

TEST(WidgetSettingsTest, PlacementRebuildsThePanelInALaterTurn) {
    Settings w;
    w.controller.show();
    w.settings.setPlacement(WidgetPlacement::dockedTop);
    EXPECT_EQ(w.windowing.made, 1);  // the control's panel still exists while its signal runs
    EXPECT_TRUE(w.controller.panel());
    w.scheduler.runPosted();
    EXPECT_EQ(w.windowing.made, 2);
    EXPECT_EQ(w.frame(), (WidgetRect{240, 30, 800, 10}));  // auto-collapse on: the strip
    EXPECT_EQ(w.stored().placement, WidgetPlacement::dockedTop);
    EXPECT_TRUE(w.stored().wasVisible);

    w.settings.setAutoCollapseDock(false);
    w.scheduler.runPosted();
    EXPECT_EQ(w.windowing.made, 3);
    EXPECT_EQ(w.frame(), (WidgetRect{240, 30, 800, 84}));

    // Closed: stored, and nothing opens.
    w.controller.hide();
    w.settings.setPlacement(WidgetPlacement::floating);
    w.scheduler.runPosted();
    EXPECT_EQ(w.windowing.made, 3);
    EXPECT_FALSE(w.controller.panel());
    EXPECT_EQ(w.stored().placement, WidgetPlacement::floating);
}

TEST(WidgetSettingsTest, DockedBarStaysOpenUnderItsSettings) {
    Settings w;
    FloatingWidgetPreferences{.placement = WidgetPlacement::dockedBottom}.save(w.defaults);
    w.controller.show();
    auto& panel = *w.controller.panel();
    panel.onHoverChange(true);
    EXPECT_FALSE(w.controller.isDockCollapsed());
    w.controller.setSettingsOpen(true);
    panel.onHoverChange(false);  // the settings took the pointer
    w.scheduler.advance(5);
    EXPECT_FALSE(w.controller.isDockCollapsed());
    EXPECT_EQ(panel.frame().height, 84);
    w.controller.setSettingsOpen(false);
    w.scheduler.advance(0.49);
    EXPECT_FALSE(w.controller.isDockCollapsed());
    w.scheduler.advance(0.02);
    EXPECT_TRUE(w.controller.isDockCollapsed());
    EXPECT_EQ(panel.frame(), (WidgetRect{240, 790, 800, 10}));
}

}  // namespace
}  // namespace velmora
