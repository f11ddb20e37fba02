// The built application on a real desktop (Xvfb, openbox, the accessibility bus): a window that
// grows becomes a story naming its title, its release a second story, and every story outlives a
// restart. Runs under scripts/with-desktop.sh only, and fails there when the desktop is missing.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
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
    const std::string widget = within(15, [&] {
        return run("xdotool search --all --pid " + std::to_string(velmora->pid) + " --name '^Velmora widget$'");
    });
    ASSERT_FALSE(widget.empty()) << "the widget did not come back";
    const std::string hints = run("xprop -id " + widget.substr(0, widget.find('\n')) +
                                  " _NET_WM_WINDOW_TYPE _NET_WM_DESKTOP WM_HINTS");
    for (const char* want : {"_NET_WM_WINDOW_TYPE_UTILITY", "_NET_WM_DESKTOP(CARDINAL) = 4294967295",
                             "accepts input or input focus: False"})
        EXPECT_NE(hints.find(want), std::string::npos) << want << " in " << hints;

    FILE* editor = ::popen(("exec " + std::string(VELMORA_TEST_PROGRAMS) + "/growing_editor '" + title + "' >/dev/null").c_str(), "w");
    ASSERT_TRUE(editor);
    std::this_thread::sleep_for(std::chrono::seconds(3));  // a few quiet samples first
    std::fputs("grow 600\n", editor);
    std::fflush(editor);
    const auto grew = within(15, [&] { return stories.of("growing_editor", "largeDelta"); });
    ASSERT_EQ(grew.size(), 1u) << "no single growth story within 15 s of the start of growing";
    EXPECT_NE(grew[0].value("explanation", "").find(title), std::string::npos) << grew[0].dump();

    // A release more than two minutes later is a story of its own, not merged into the growth.
    const double grewAt = grew[0].value("timestamp", 0.0);
    within(200, [&] {
        return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count() -
                   978307200.0 > grewAt + 125.0;
    });
    std::fputs("free\n", editor);
    std::fflush(editor);
    EXPECT_EQ(within(30, [&] { return stories.of("growing_editor", "memoryReleased"); }).size(), 1u);
    ::pclose(editor);

    EXPECT_EQ(velmora->stop(), 0);
    const auto before = stories.ids();
    velmora = std::make_unique<Velmora>(dir);
    std::this_thread::sleep_for(std::chrono::seconds(4));  // loaded, sampling, saving again
    EXPECT_EQ(velmora->stop(), 0);
    const auto after = stories.ids();
    EXPECT_GE(before.size(), 2u);
    for (const auto& id : before) EXPECT_TRUE(after.contains(id)) << "story " << id << " lost across a restart";
}

}  // namespace
}  // namespace velmora
