#include <gtest/gtest.h>

#include "tests/sensors/visual/RingRig.h"

using namespace velmora;

TEST(ScreenshotRingBufferTest, DownscaledSizes) {
    const std::tuple<int, int, PixelSize> cases[] = {
        {3200, 1600, {640, 320}}, {300, 200, {300, 200}}, {640, 700, {585, 640}}, {2000, 1, {640, 1}}, {0, 5, {1, 5}}};
    for (const auto& [w, h, expected] : cases) EXPECT_EQ(downscaledSize(w, h, 640.0), expected) << w << "x" << h;
}

TEST(ScreenshotRingBufferTest, CapturesEverySecondKeepingTheNewestTwenty) {
    RingRig r;
    r.ring.start(false);
    EXPECT_TRUE(r.ring.isCapturing());
    r.scheduler.advance(24.5);  // the capture at start, then one a second: 25 taken
    ASSERT_EQ(r.ring.frameCount(), 20u);
    EXPECT_EQ(r.ring.frames().front().timestamp, Date{5});
    EXPECT_EQ(r.ring.frames().back().timestamp, Date{24});
    const auto& f = r.ring.frames().back();
    EXPECT_EQ(textOf(f.jpegData), "1@640x320");
    EXPECT_EQ(f.windowOwnerName, "Editor");
    EXPECT_EQ(f.windowTitle, std::nullopt);
    EXPECT_EQ(r.capture.qualities.back(), 0.55);
    EXPECT_NE(r.ring.frames()[0].id, r.ring.frames()[1].id);

    r.capture.sizes[1] = {300, 200};
    r.capture.failEncoding = true;
    r.scheduler.advance(1);
    EXPECT_EQ(r.ring.frames().back().timestamp, Date{24});  // a failed encoding adds nothing
    r.capture.failEncoding = false;
    r.scheduler.advance(1);
    EXPECT_EQ(textOf(r.ring.frames().back().jpegData), "1@300x200");

    r.ring.stop();
    EXPECT_EQ(r.ring.frameCount(), 0u);
    EXPECT_FALSE(r.ring.isCapturing());
    EXPECT_EQ(r.scheduler.activeTimers(), 0u);
}

TEST(ScreenshotRingBufferTest, ChoosesTheFrontmostAppsWindowAndNeverAPrivateOne) {
    struct Case {
        const char* label;
        std::int32_t activePid;
        std::optional<std::string> appName;
        std::vector<ListedWindow> windows;
        std::optional<std::uint64_t> captured;
    };
    const Case cases[] = {
        {"lowest layer first, list order within a layer", 42, "Editor",
         {listedWindow(9, 99), listedWindow(2, 42, 3), listedWindow(3, 42, 0), listedWindow(4, 42, 0)}, 3},
        {"hidden windows are skipped", 42, "Editor", {listedWindow(3, 42, 0, {}, false), listedWindow(4, 42, 5)}, 4},
        {"no window of its own", 42, "Editor", {listedWindow(9, 99)}, std::nullopt},
        {"this application", RingRig::selfPid, "Velmora", {listedWindow(5, RingRig::selfPid)}, std::nullopt},
        {"private window title", 42, "Firefox", {listedWindow(6, 42, 0, "Mozilla Firefox Private Browsing")}, std::nullopt},
        {"password manager", 42, "Bitwarden", {listedWindow(6, 42, 0, "Vault")}, std::nullopt},
        {"a Chromium window, which may be incognito", 42, "Chromium", {listedWindow(6, 42, 0, "Plans - Chromium")}, std::nullopt},
        {"a Firefox window that is not private", 42, "Firefox", {listedWindow(7, 42, 0, "Plans \u2014 Mozilla Firefox")}, 7},
        {"no frontmost application", 0, "Editor", {listedWindow(6, 42)}, std::nullopt},
    };
    for (const auto& c : cases) {
        RingRig r;
        r.desktop.apps = {{c.activePid == 0 ? 42 : c.activePid, {}, c.appName, false, c.activePid != 0}};
        r.windows.list = c.windows;
        for (const auto& w : c.windows) r.capture.sizes[w.windowId] = {100, 50};
        r.ring.start(false);
        // Nothing is read from a window that may not be captured.
        EXPECT_EQ(r.capture.captured, c.captured ? std::vector<std::uint64_t>{*c.captured}
                                                 : std::vector<std::uint64_t>{})
            << c.label;
        EXPECT_EQ(r.ring.frameCount(), c.captured ? 1u : 0u) << c.label;
    }
}

TEST(ScreenshotRingBufferTest, FramesAround) {
    RingRig r;
    EXPECT_TRUE(r.ring.framesAround(Date{0}, Date{0}).empty());
    r.clock.set(Date{10});
    r.ring.start(false);
    r.scheduler.advance(1);
    EXPECT_EQ(times(r.ring.framesAround(Date{40}, Date{50})), (std::vector<double>{10, 11}));
    r.scheduler.advance(3);  // frames at 10, 11, 12, 13, 14
    const std::tuple<double, double, std::vector<double>> cases[] = {
        {12, 12, {10, 12, 14}},    // five inside: first, index 2, last
        {12, 11, {10, 12, 13}},    // four inside: index 2 of four
        {17, 30, {14}},            // a frame exactly at start − 3 s
        {0, 8, {10}},              // a frame exactly at end + 2 s
        {17.5, 30, {12, 13, 14}},  // none inside: the newest three
    };
    for (const auto& [start, end, expected] : cases)
        EXPECT_EQ(times(r.ring.framesAround(Date{start}, Date{end})), expected) << start << ".." << end;
}

TEST(ScreenshotRingBufferTest, GrantDecidesCapturingAndItsWithdrawalEmptiesTheRing) {
    RingRig r;
    r.permission.granted = false;
    r.ring.start(false);
    EXPECT_FALSE(r.ring.isCapturing());
    EXPECT_EQ(r.permission.requests, 0);
    r.permission.grantOnRequest = true;
    r.ring.start(true);
    EXPECT_TRUE(r.ring.screenRecordingTrusted());
    EXPECT_TRUE(r.ring.isCapturing());
    r.scheduler.advance(2);
    EXPECT_EQ(r.ring.frameCount(), 3u);

    r.permission.granted = false;  // withdrawn: the next tick stops and empties
    r.scheduler.advance(1);
    EXPECT_FALSE(r.ring.isCapturing());
    EXPECT_FALSE(r.ring.screenRecordingTrusted());
    EXPECT_EQ(r.ring.frameCount(), 0u);
    EXPECT_EQ(r.scheduler.activeTimers(), 0u);

    r.permission.granted = true;
    r.ring.start(false);
    r.ring.setScreenRecordingTrusted(false);  // the application state's refresh does the same
    EXPECT_FALSE(r.ring.isCapturing());
    EXPECT_EQ(r.ring.frameCount(), 0u);
}
