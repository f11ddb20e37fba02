#include <gtest/gtest.h>

#include "engine/sampling/ProcessEnumerator.h"
#include "tests/fakes/FakeSources.h"

using namespace velmora;

namespace {

ProcessReading reading(std::int32_t pid, std::optional<std::string> path, std::optional<std::string> shortName,
                       std::optional<std::int32_t> parent = 1, std::optional<std::uint64_t> footprint = 4096) {
    return ProcessReading{pid, std::move(path), std::move(shortName), parent, footprint};
}

}  // namespace

TEST(ProcessEnumeratorTest, NameFallsBackFromPathToShortNameToPid) {
    struct Case {
        const char* label;
        ProcessReading in;
        std::string name;
    };
    const Case cases[] = {
        {"path wins", reading(10, "/usr/lib/firefox/firefox-bin", "firefox"), "firefox-bin"},
        {"path without folder", reading(11, "bash", "sh"), "bash"},
        {"short name kept whole, no path stripping", reading(12, std::nullopt, "kworker/a/b"), "kworker/a/b"},
        {"neither", reading(4242, std::nullopt, std::nullopt), "pid 4242"},
        {"empty path and name", reading(7, "", ""), "pid 7"},
        {"path ending in a separator", reading(8, "/opt/x/", "x"), "x"},
        {"invalid bytes in path", reading(13, "/bin/a\xff" "b", "ab"), "a\xEF\xBF\xBD" "b"},
        // A 15-byte cut in the middle of "é" must not leave a broken character behind.
        {"short name cut mid-character", reading(14, std::nullopt, std::string("abcdefghijklmn\xC3")),
         "abcdefghijklmn\xEF\xBF\xBD"},
    };
    for (const auto& c : cases) {
        FakeProcessSource source;
        source.processes = {c.in};
        FakeDesktopSession desktop;
        const auto out = ProcessEnumerator::enumerate(source, desktop);
        ASSERT_EQ(out.size(), 1u) << c.label;
        EXPECT_EQ(out[0].name, c.name) << c.label;
    }
}

TEST(ProcessEnumeratorTest, FailedReadsFallBackAndProcessStaysListed) {
    FakeProcessSource source;
    source.processes = {reading(5, "/bin/a", "a", std::nullopt, std::nullopt), reading(6, "/bin/b", "b", 5, 1234)};
    FakeDesktopSession desktop;
    const auto out = ProcessEnumerator::enumerate(source, desktop);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].parentPID, 0);
    EXPECT_EQ(out[0].footprintBytes, 0u);
    EXPECT_EQ(out[1].parentPID, 5);
    EXPECT_EQ(out[1].footprintBytes, 1234u);
    for (const auto& p : out) {
        EXPECT_FALSE(p.compressedBytes.has_value());
        EXPECT_FALSE(p.bundleID.has_value());
        EXPECT_FALSE(p.isApp);
        EXPECT_FALSE(p.isActive);
    }
}

TEST(ProcessEnumeratorTest, KeepsKernelOrderAndSkipsNonPositivePids) {
    FakeProcessSource source;
    source.processes = {reading(30, "/a", "a"), reading(0, "/zero", "z"), reading(2, "/b", "b"),
                        reading(-4, "/neg", "n"), reading(17, "/c", "c")};
    FakeDesktopSession desktop;
    const auto out = ProcessEnumerator::enumerate(source, desktop);
    ASSERT_EQ(out.size(), 3u);
    EXPECT_EQ(out[0].pid, 30);
    EXPECT_EQ(out[1].pid, 2);
    EXPECT_EQ(out[2].pid, 17);
}

TEST(ProcessEnumeratorTest, EmptyProcessListGivesEmptyResult) {
    FakeProcessSource source;
    FakeDesktopSession desktop;
    desktop.apps = {RunningApplication{3, "org.example.App", "App", false, true}};
    EXPECT_TRUE(ProcessEnumerator::enumerate(source, desktop).empty());
    EXPECT_EQ(source.reads, 1);
}

TEST(ProcessEnumeratorTest, DesktopApplicationsMergeByPid) {
    struct Case {
        const char* label;
        RunningApplication app;
        std::string name;
        bool isApp;
    };
    const Case cases[] = {
        {"localized name replaces executable", {100, "org.gnome.TextEditor", "Text Editor", false, true},
         "Text Editor", true},
        {"absent localized name keeps executable", {100, "org.gnome.TextEditor", std::nullopt, false, true},
         "gnome-text-editor", true},
        {"prohibited but with bundle id", {100, "org.example.Agent", std::nullopt, true, false},
         "gnome-text-editor", true},
        {"prohibited without bundle id", {100, std::nullopt, std::nullopt, true, false}, "gnome-text-editor", false},
        {"regular without bundle id", {100, std::nullopt, "Editor", false, false}, "Editor", true},
    };
    for (const auto& c : cases) {
        FakeProcessSource source;
        source.processes = {reading(100, "/usr/bin/gnome-text-editor", "gnome-text-edit"), reading(101, "/bin/x", "x")};
        FakeDesktopSession desktop;
        desktop.apps = {c.app};
        const auto out = ProcessEnumerator::enumerate(source, desktop);
        ASSERT_EQ(out.size(), 2u) << c.label;
        EXPECT_EQ(out[0].name, c.name) << c.label;
        EXPECT_EQ(out[0].isApp, c.isApp) << c.label;
        EXPECT_EQ(out[0].bundleID, c.app.bundleIdentifier) << c.label;
        EXPECT_EQ(out[0].isActive, c.app.isActive) << c.label;
        // A process the desktop does not list stays a plain process.
        EXPECT_EQ(out[1].name, "x") << c.label;
        EXPECT_FALSE(out[1].isApp) << c.label;
        EXPECT_FALSE(out[1].bundleID.has_value()) << c.label;
    }
}

TEST(ProcessEnumeratorTest, LaterDuplicateDesktopApplicationWins) {
    FakeProcessSource source;
    source.processes = {reading(50, "/bin/app", "app")};
    FakeDesktopSession desktop;
    desktop.apps = {RunningApplication{50, "first.desktop.id", "First", false, true},
                    RunningApplication{50, "second.desktop.id", "Second", false, false}};
    const auto out = ProcessEnumerator::enumerate(source, desktop);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].bundleID, "second.desktop.id");
    EXPECT_EQ(out[0].name, "Second");
    EXPECT_FALSE(out[0].isActive);
}
