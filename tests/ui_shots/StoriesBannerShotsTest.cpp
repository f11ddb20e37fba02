// A picture of the Stories page at the window's smallest size, 900x560, while the extension banner
// shows above the filters (a browser story the window title could not pin to a tab, no extension
// yet), a growth story chosen beside it, and scrolled down to the banner; then with the widest
// figures in both cards, the heaviest app named long in Persian, Hebrew, Urdu or Chinese. Saved as
// build/artifacts/stories-banner-*.png for people to look at.
#include <gtest/gtest.h>

// The engine headers come before Qt's: they use words Qt defines as macros (signals).
#include "tests/ui/SeededHistory.h"
#include "tests/ui_shots/Shots.h"

#include <QScrollArea>

namespace velmora {
namespace {

TEST(StoriesBannerShots, StoriesAtTheSmallestSizeUnderTheExtensionBanner) {
    ASSERT_TRUE(qEnvironmentVariableIsSet("VELMORA_DESKTOP")) << "run inside scripts/with-desktop.sh";
    AppHarness h;
    h.make();
    h.addApp(100, "firefox", "Firefox", 2900 * MiB, true);
    h.addApp(101, "gimp", "GIMP", 1800 * MiB, false);
    // 20.51 GB free of 24 GB: "15% used".
    h.memory.reading = {24ull << 30, 21002 * MiB, 0, 0, MemoryPressureLevel::normal};
    for (int i = 0; i < 60; ++i) {
        h.clock.advance(1);
        h.steady.now += 1;
        h.state->sampler->tick();
    }
    const auto story = [&](const std::string& name, const std::string& explanation, std::int64_t delta, double ago) {
        TimelineEvent e;
        e.id = Uuid::random();
        e.timestamp = h.clock.now() - ago;
        e.kind = TimelineEventKind::largeDelta;
        e.title = name + " used more memory";
        e.explanation = explanation;
        for (const auto& app : h.state->sampler->appSnapshots())
            if (app.identity.displayName == name) e.relatedApp = app.identity;
        e.baselineFootprintBytes = 1200 * MiB;
        e.settled = ImpactWindow{delta, 60, {}, 1200 * MiB + static_cast<std::uint64_t>(delta)};
        SystemMemorySnapshot context;
        context.totalPhysicalBytes = 24ull << 30;
        context.availableBytes = 21002 * MiB;
        e.systemContext = context;
        e.primarySource = SensorSource::windowList;
        h.state->timeline->add(e);
        return e.id;
    };
    story("GIMP", "You opened holiday-panorama.xcf in GIMP", 610 * std::int64_t(MiB), 900);
    h.state->selectedEventID = story("Firefox", "You were watching a video in Firefox", 480 * std::int64_t(MiB), 120);
    h.state->lowConfidenceBrowserStoryCount = 1;
    ShotWindow s(h);
    s.turnTo(SidebarItem::timeline);
    auto* banner = s.window.findChild<QWidget*>("nudgeBanner");
    ASSERT_NE(banner, nullptr);
    ASSERT_TRUE(banner->isVisible());
    // What stands above the filters scrolls down, never across: as wide as its view.
    auto* top = s.window.findChild<QScrollArea*>("storiesTop");
    ASSERT_NE(top, nullptr);
    EXPECT_LE(top->widget()->width(), top->viewport()->width());
    EXPECT_TRUE(s.save(artifactFile("stories-banner-900x560")));
    // Scrolled down to the banner: its texts and "Show me how" whole in the column.
    top->ensureWidgetVisible(banner, 0, 0);
    settle();
    EXPECT_TRUE(s.save(artifactFile("stories-banner-scrolled-900x560")));
}

// Free memory has fallen by about 1 GB to 1,023.9 MB and the heaviest app has grown as much to
// 1,023.9 MB: each card holds its trend under its value, and the column stays as wide as its view.
TEST(StoriesBannerShots, TheWidestFiguresUnderTheBannerWithLongNamesInFourScripts) {
    ASSERT_TRUE(qEnvironmentVariableIsSet("VELMORA_DESKTOP")) << "run inside scripts/with-desktop.sh";
    for (const auto& [script, name] : longNamesInFourScripts) {
        SCOPED_TRACE(script);
        AppHarness h;
        h.make();
        tickBesideFirefox(h, name, MiB, 2047 * MiB);
        const std::uint64_t widest = 1023 * MiB + 922 * 1024;  // 1,023.9 MB
        tickBesideFirefox(h, name, widest, widest);
        h.state->lowConfidenceBrowserStoryCount = 1;
        ShotWindow s(h);
        s.turnTo(SidebarItem::timeline);
        ASSERT_TRUE(s.window.findChild<QWidget*>("nudgeBanner")->isVisible());
        auto* top = s.window.findChild<QScrollArea*>("storiesTop");
        ASSERT_NE(top, nullptr);
        EXPECT_LE(top->widget()->width(), top->viewport()->width());
        EXPECT_TRUE(s.save(artifactFile(QString("stories-banner-figures-%1-900x560").arg(script))));
    }
}

}  // namespace
}  // namespace velmora
