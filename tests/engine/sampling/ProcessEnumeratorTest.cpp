#include <gtest/gtest.h>

#include "engine/sampling/ProcessEnumerator.h"
#include "tests/fakes/FakeSources.h"

using namespace velmora;

namespace {

ProcessReading reading(std::int32_t pid, std::optional<std::string> path, std::optional<std::string> name,
                       std::optional<std::int32_t> parent = {}, std::optional<std::uint64_t> bytes = {}) {
    return ProcessReading{pid, std::move(path), std::move(name), parent, bytes};
}

RawProcess raw(std::int32_t pid, std::string name, std::optional<std::string> bundle = std::nullopt,
               std::uint64_t bytes = 0, std::int32_t parent = 0, bool isApp = false, bool isActive = false) {
    return RawProcess{pid, std::move(name), std::move(bundle), bytes, std::nullopt, parent, isApp, isActive};
}

// `p` run from `path`.
RawProcess ran(std::string path, RawProcess p) {
    p.executablePath = std::move(path);
    return p;
}

std::vector<RawProcess> enumerate(std::vector<ProcessReading> readings, std::vector<RunningApplication> apps = {}) {
    FakeProcessSource source;
    source.processes = std::move(readings);
    FakeDesktopSession desktop;
    desktop.apps = std::move(apps);
    return ProcessEnumerator::enumerate(source, desktop);
}

}  // namespace

TEST(ProcessEnumeratorTest, NameFallsBackFromPathToShortNameToPid) {
    const std::pair<ProcessReading, std::string> cases[] = {
        {reading(10, "/usr/lib/firefox/firefox-bin", "firefox"), "firefox-bin"},
        {reading(12, std::nullopt, "kworker/a/b"), "kworker/a/b"},  // no path stripping of the short name
        {reading(4242, std::nullopt, std::nullopt), "pid 4242"}, {reading(7, "", ""), "pid 7"},
        {reading(8, "/opt/x/", "x"), "x"},
        {ProcessReading{15, "/usr/bin/redis-check-rdb", "redis-server", {}, {}, {}, "redis-server"}, "redis-server"}, {reading(13, "/bin/a\xff" "b", "ab"), "a\xEF\xBF\xBD" "b"},
        // The kernel's 15-byte cut through "é" must not leave a broken character behind.
        {reading(14, std::nullopt, "abcdefghijklmn\xC3"), "abcdefghijklmn\xEF\xBF\xBD"},
    };
    for (const auto& [in, name] : cases) {
        const auto out = enumerate({in});
        ASSERT_EQ(out.size(), 1u) << name;
        EXPECT_EQ(out[0].name, name);
    }
}

TEST(ProcessEnumeratorTest, FailedReadsFallBackAndNonPositivePidsAreSkipped) {
    const auto out = enumerate({reading(30, "/bin/a", "a"), reading(0, "/zero", "z", 1, 1),
                                reading(2, "/bin/b", "b", 30, 1234), reading(-4, "/neg", "n", 1, 1)});
    EXPECT_EQ(out, (std::vector<RawProcess>{ran("/bin/a", raw(30, "a")), ran("/bin/b", raw(2, "b", std::nullopt, 1234, 30))}));
    EXPECT_TRUE(enumerate({}, {RunningApplication{3, "org.example.App", "App", false, true}}).empty());
}

TEST(ProcessEnumeratorTest, DesktopApplicationsMergeByPidAndTheLaterDuplicateWins) {
    struct Case {
        RunningApplication app;
        std::string name;
        bool isApp;
    };
    const Case cases[] = {
        {{100, "org.gnome.TextEditor", "Text Editor", false, true}, "Text Editor", true},
        {{100, "org.gnome.TextEditor", std::nullopt, false, true}, "gnome-text-editor", true},
        {{100, "org.example.Agent", std::nullopt, true, false}, "gnome-text-editor", true},  // prohibited, bundle
        {{100, std::nullopt, std::nullopt, true, false}, "gnome-text-editor", false},       // prohibited, none
        {{100, std::nullopt, "Editor", false, false}, "Editor", true},
    };
    for (const auto& c : cases) {
        const auto out =
            enumerate({reading(100, "/usr/bin/gnome-text-editor", "gnome-text-edit"), reading(101, "/bin/x", "x")},
                      {RunningApplication{100, "first.id", "First", false, true}, c.app});
        const RawProcess merged =
            ran("/usr/bin/gnome-text-editor", raw(100, c.name, c.app.bundleIdentifier, 0, 0, c.isApp, c.app.isActive));
        EXPECT_EQ(out, (std::vector<RawProcess>{merged, ran("/bin/x", raw(101, "x"))})) << c.name;
    }
}

// A process launched from a desktop entry is that app from its first sample on, and stays it when
// its window maps under another id; a new process on the pid starts afresh.
TEST(ProcessEnumeratorTest, LaunchedProcessKeepsItsDesktopIdentityForLife) {
    FakeProcessSource source;
    FakeDesktopSession desktop;
    desktop.names = {{"org.example.Notes", "Notes"}};
    ProcessEnumerator::KnownApplications known;
    const auto launched = [](std::int32_t pid, std::string id, std::uint64_t start) {
        return ProcessReading{pid, "/usr/bin/notes", "notes", 1, 10, start, std::nullopt, std::move(id)};
    };
    const auto notes = [](RawProcess p) { return ran("/usr/bin/notes", std::move(p)); };
    struct Step {
        std::vector<ProcessReading> processes;
        std::vector<RunningApplication> windows;
        std::vector<RawProcess> expected;
    };
    const Step steps[] = {
        {{launched(100, "org.example.Notes", 5), launched(200, "org.example.Missing", 5), reading(101, "/bin/sh", "sh", 100)},
         {},
         {notes(raw(100, "Notes", "org.example.Notes", 10, 1, true)), notes(raw(200, "notes", "org.example.Missing", 10, 1, true)),
          ran("/bin/sh", raw(101, "sh", std::nullopt, 0, 100))}},
        {{launched(100, "org.example.Notes", 5)},
         {RunningApplication{100, "notes-window", "Notes Window", true, true}},
         {notes(raw(100, "Notes", "org.example.Notes", 10, 1, true, true))}},
        {{reading(100, "/usr/bin/notes", "notes", 1, 10)}, {}, {notes(raw(100, "notes", std::nullopt, 10, 1))}},
    };
    for (const auto& step : steps) {
        source.processes = step.processes;
        desktop.apps = step.windows;
        EXPECT_EQ(ProcessEnumerator::enumerate(source, desktop, &known), step.expected);
    }
}

// A sampler keeps one list and writes each sample over it: every field of a slot must be the
// new process's, whatever the slot held before, and what is known must follow the processes.
TEST(ProcessEnumeratorTest, AListWrittenOverFollowsNewProcessesExitsAndNewNames) {
    FakeProcessSource source;
    FakeDesktopSession desktop;
    desktop.names = {{"org.example.Notes", "Notes"}};
    ProcessEnumerator::KnownApplications known;
    const auto launched = [](std::int32_t pid, std::uint64_t start) {
        return ProcessReading{pid, "/usr/bin/notes", "notes", 1, 10, start, std::nullopt, "org.example.Notes"};
    };
    const auto plain = [](std::int32_t pid, std::string path, std::uint64_t start) {
        return ProcessReading{pid, std::move(path), std::nullopt, 1, 20, start};
    };
    struct Step {
        std::vector<ProcessReading> processes;
        std::vector<RunningApplication> windows;
        std::vector<RawProcess> expected;
        std::size_t known;
    };
    const Step steps[] = {
        {{launched(100, 5), plain(101, "/usr/bin/a-rather-long-program-name", 5), plain(102, "/bin/sh", 5)},
         {RunningApplication{102, "org.example.Shell", "Shell", false, true}},
         {ran("/usr/bin/notes", raw(100, "Notes", "org.example.Notes", 10, 1, true)),
          ran("/usr/bin/a-rather-long-program-name", raw(101, "a-rather-long-program-name", std::nullopt, 20, 1)),
          ran("/bin/sh", raw(102, "Shell", "org.example.Shell", 20, 1, true, true))},
         2},
        // Pid 100 is a new process that is no app; 101 runs exec into a short name; 102 exits.
        {{plain(100, "/bin/cat", 9), plain(101, "/bin/ls", 5)},
         {},
         {ran("/bin/cat", raw(100, "cat", std::nullopt, 20, 1)), ran("/bin/ls", raw(101, "ls", std::nullopt, 20, 1))},
         0},
        // Pid 102 comes back as another process, with a window of another app.
        {{plain(100, "/bin/cat", 9), plain(101, "/bin/ls", 5), plain(102, "/usr/bin/gedit", 12)},
         {RunningApplication{102, "org.gnome.gedit", std::nullopt, false, false}},
         {ran("/bin/cat", raw(100, "cat", std::nullopt, 20, 1)), ran("/bin/ls", raw(101, "ls", std::nullopt, 20, 1)),
          ran("/usr/bin/gedit", raw(102, "gedit", "org.gnome.gedit", 20, 1, true))},
         1},
        // A failed read lists nothing and forgets nothing.
        {{}, {}, {}, 1},
        // The gedit window's identity outlives the window.
        {{plain(102, "/usr/bin/gedit", 12)}, {}, {ran("/usr/bin/gedit", raw(102, "gedit", "org.gnome.gedit", 20, 1, true))}, 1},
        // Its executable no longer readable: the slot keeps no path of before.
        {{ProcessReading{102, std::nullopt, "gedit", 1, 20, 12}}, {}, {raw(102, "gedit", "org.gnome.gedit", 20, 1, true)}, 1},
    };
    std::vector<RawProcess> kept;
    for (std::size_t i = 0; i < std::size(steps); ++i) {
        desktop.apps = steps[i].windows;
        source.processes = steps[i].processes;
        ProcessEnumerator::enumerate(source, desktop, &known, kept);
        EXPECT_EQ(kept, steps[i].expected) << "step " << i;
        EXPECT_EQ(known.size(), steps[i].known) << "step " << i;
    }
}
