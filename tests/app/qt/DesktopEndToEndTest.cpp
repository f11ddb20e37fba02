// The built application on a real desktop (Xvfb, openbox, the accessibility bus): a window that
// grows becomes a story naming its title, its release a second story, and every story outlives a
// restart. Runs under scripts/with-desktop.sh only, and fails there when the desktop is missing.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <set>

#include "engine/support/Json.h"
#include "tests/app/qt/DesktopProcess.h"

namespace velmora {
namespace {

const std::string title = "Quarterly report \u2014 Editor";

struct Stories {
    std::string file;
    Json all() const {
        std::ifstream in(file);
        auto parsed = parseJson(std::string(std::istreambuf_iterator<char>(in), {}));
        return parsed && parsed->is_array() ? *parsed : Json::array();
    }
    std::vector<Json> of(const char* key, const char* kind) const {
        std::vector<Json> out;
        for (const auto& s : all())
            if (s.value("kind", "") == kind && s.value("relatedApp", Json::object()).value("groupingKey", "") == key)
                out.push_back(s);
        return out;
    }
    std::optional<Json> byId(const std::string& id) const {
        for (const auto& s : all())
            if (s.value("id", "") == id) return s;
        return std::nullopt;
    }
    std::set<std::string> ids() const {
        std::set<std::string> out;
        for (const auto& s : all()) out.insert(s.value("id", ""));
        return out;
    }
};

TEST(DesktopEndToEnd, AGrowingWindowBecomesAStoryThatOutlivesARestart) {
    if (!std::getenv("VELMORA_DESKTOP")) GTEST_SKIP() << "runs on the desktop of scripts/with-desktop.sh";
    ASSERT_EQ(run("xdpyinfo >/dev/null 2>&1 && echo up"), "up\n") << "VELMORA_DESKTOP is set but no display answers";
    TempDir dir;
    std::filesystem::create_directories(dir.file("config/Velmora"));
    // Welcome done, and the widget open when Velmora last quit, so it comes back at start.
    std::ofstream(dir.file("config/Velmora/defaults.json"))
        << R"({"Velmora.FirstRunCompleted":true,"Velmora.StableHintDismissed":true,)"
           R"("Velmora.FloatingWidgetPreferences":{"isCompact":false,"placement":"floating","autoCollapseDock":true,)"
           R"("showSystemMemory":true,"trendRangeMinutes":15,"wasVisible":true}})";
    const Stories stories{dir.file("data/Velmora/stories.json")};

    auto velmora = std::make_unique<Velmora>(dir);
    ASSERT_GT(velmora->pid, 0);
    const auto widgetOf = [](const Velmora& v) {
        return within(15, [&] { return run("xdotool search --all --pid " + std::to_string(v.pid) + " --name '^Velmora widget$'"); });
    };
    const std::string widget = widgetOf(*velmora);
    ASSERT_FALSE(widget.empty()) << "the widget did not come back";
    const std::string hints = run("xprop -id " + widget.substr(0, widget.find('\n')) +
                                  " _NET_WM_WINDOW_TYPE _NET_WM_DESKTOP WM_HINTS");
    for (const char* want : {"_NET_WM_WINDOW_TYPE_UTILITY", "_NET_WM_DESKTOP(CARDINAL) = 4294967295",
                             "accepts input or input focus: False"})
        EXPECT_NE(hints.find(want), std::string::npos) << want << " in " << hints;

    // The editor is an app of its own name, so that another run of this test on the same machine
    // (whose editor Velmora sees too) is not summed into it.
    const std::string app = "editor" + std::to_string(::getpid());
    std::filesystem::create_symlink(std::string(VELMORA_TEST_PROGRAMS) + "/growing_editor", dir.file(app));
    FILE* editor = ::popen(("exec " + dir.file(app) + " '" + title + "' >/dev/null").c_str(), "w");
    ASSERT_TRUE(editor);
    // Its window up, it runs; then a few quiet samples, so that the growth starts from its resting size.
    ASSERT_FALSE(within(15, [] { return run("xdotool search --onlyvisible --name '^Editor$'"); }).empty())
        << "the editor's window did not show";
    std::this_thread::sleep_for(std::chrono::seconds(3));
    std::fputs("grow 600\n", editor);
    std::fflush(editor);
    const auto grew = within(15, [&] { return stories.of(app.c_str(), "largeDelta"); });
    ASSERT_EQ(grew.size(), 1u) << "no single growth story within 15 s of the start of growing\n" << stories.all().dump();
    EXPECT_NE(grew[0].value("explanation", "").find(title), std::string::npos) << grew[0].dump();

    // A release more than two minutes later is a story of its own, not merged into the growth. On a
    // busy machine the growth can outlast the first confirmation; its rest is then merged into the
    // growth story and moves its date on, so the two minutes count from the story's latest date.
    const std::string grewId = grew[0].value("id", "");
    const auto minutesPassed = [&] {
        const auto story = stories.byId(grewId);
        const double now = std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
        return story && now - 978307200.0 > story->value("timestamp", 0.0) + 125.0;
    };
    ASSERT_TRUE(within(240, minutesPassed)) << "the growth story went, or its date kept moving\n" << stories.all().dump();
    std::fputs("free\n", editor);
    std::fflush(editor);
    const auto released = within(30, [&] { return stories.of(app.c_str(), "memoryReleased"); });
    EXPECT_EQ(released.size(), 1u) << stories.all().dump();
    EXPECT_EQ(stories.of(app.c_str(), "largeDelta").size(), 1u) << "the growth story was merged into the release";
    ::pclose(editor);

    EXPECT_EQ(velmora->stop(), 0);
    const auto before = stories.ids();
    velmora = std::make_unique<Velmora>(dir);
    // Up (its stories loaded before its windows), then a few samples that may save again.
    EXPECT_FALSE(widgetOf(*velmora).empty()) << "the widget did not come back after the restart";
    std::this_thread::sleep_for(std::chrono::seconds(3));
    EXPECT_EQ(velmora->stop(), 0);
    const auto after = stories.ids();
    // Other apps of a busy machine have stories too; these two must be among them.
    EXPECT_TRUE(before.contains(grewId));
    for (const auto& story : released) EXPECT_TRUE(before.contains(story.value("id", "")));
    for (const auto& id : before) EXPECT_TRUE(after.contains(id)) << "story " << id << " lost across a restart";
}

}  // namespace
}  // namespace velmora
