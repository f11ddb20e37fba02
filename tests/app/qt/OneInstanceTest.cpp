// One Velmora per user session, and Quit, with the built application on the private desktop: a
// second launch shows the running instance's main window and ends with status 0; a socket left by
// a killed instance does not stop the next one; Quit ends the process even with the widget open.
// Runs under scripts/with-desktop.sh only (VELMORA_DESKTOP), and fails there without a desktop.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "engine/support/Json.h"
#include "tests/app/qt/DesktopProcess.h"

namespace velmora {
namespace {

// Welcome done and the widget open when Velmora last quit, so it comes back at start.
void writeDefaults(const TempDir& dir) {
    std::filesystem::create_directories(dir.file("config/Velmora"));
    std::ofstream(dir.file("config/Velmora/defaults.json"))
        << R"({"Velmora.FirstRunCompleted":true,"Velmora.StableHintDismissed":true,)"
           R"("Velmora.FloatingWidgetPreferences":{"isCompact":true,"placement":"floating","autoCollapseDock":true,)"
           R"("showSystemMemory":false,"trendRangeMinutes":15,"wasVisible":true}})";
}

Json defaults(const TempDir& dir) {
    std::ifstream in(dir.file("config/Velmora/defaults.json"));
    return parseJson(std::string(std::istreambuf_iterator<char>(in), {})).value_or(Json());
}

std::string firstLine(const std::string& s) { return s.substr(0, s.find('\n')); }

std::string activeWindow() { return firstLine(run("xdotool getactivewindow 2>/dev/null")); }

bool onDesktop() {
    if (!std::getenv("VELMORA_DESKTOP")) return false;
    return run("xdpyinfo >/dev/null 2>&1 && echo up") == "up\n";
}

// Started with the widget open; its main window and widget on screen.
struct Running {
    explicit Running(const TempDir& dir) : app(dir, true) {}
    bool shown() {
        mainWindow = firstLine(within(20, [&] { return app.windows("(^| — )Velmora$"); }));
        widget = firstLine(within(10, [&] { return app.windows("^Velmora widget$"); }));
        return !mainWindow.empty() && !widget.empty();
    }
    Velmora app;
    std::string mainWindow, widget;
};

TEST(OneInstance, ASecondLaunchShowsTheFirstAndEnds) {
    if (!std::getenv("VELMORA_DESKTOP")) GTEST_SKIP() << "runs on the desktop of scripts/with-desktop.sh";
    ASSERT_TRUE(onDesktop()) << "VELMORA_DESKTOP is set but no display answers";
    TempDir dir;
    writeDefaults(dir);
    Running first(dir);
    ASSERT_TRUE(first.shown()) << "the first instance did not show its main window and widget";

    struct Row {
        const char* name;
        std::string putAway;  // what the user does to the main window first
    };
    const Row rows[] = {
        {"closed while the widget shows", "windowactivate --sync %1 key --clearmodifiers alt+F4"},
        {"minimised", "windowminimize --sync %1"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::string command = row.putAway;
        command.replace(command.find("%1"), 2, first.mainWindow);
        run("xdotool " + command + " >/dev/null 2>&1");
        EXPECT_TRUE(within(5, [&] { return first.app.windows("(^| — )Velmora$").empty(); })) << "the main window stayed";
        EXPECT_TRUE(first.app.running()) << "Velmora ended with its main window";
        EXPECT_FALSE(first.app.windows("^Velmora widget$").empty());

        Velmora second(dir, true);
        ASSERT_GT(second.pid, 0);
        EXPECT_EQ(second.endsWithin(10), std::optional(0)) << "the second launch did not hand over and end";
        // A closed window comes back as a new X window.
        first.mainWindow = firstLine(within(5, [&] { return first.app.windows("(^| — )Velmora$"); }));
        ASSERT_FALSE(first.mainWindow.empty()) << "the main window did not come back";
        EXPECT_EQ(within(5, [&] { return activeWindow() == first.mainWindow; }), true)
            << "active: " << activeWindow() << ", main window: " << first.mainWindow;
        EXPECT_TRUE(first.app.running());
    }

    // Killed, the first leaves its socket behind; the next launch is the one instance all the same,
    // and answers the launch after it.
    ::kill(first.app.pid, SIGKILL);
    EXPECT_EQ(first.app.endsWithin(5), std::optional(-1));
    EXPECT_TRUE(std::filesystem::exists(dir.file("run/velmora.socket")));
    Running next(dir);
    ASSERT_TRUE(next.shown()) << "a stale socket kept the next instance from starting";
    run("xdotool windowminimize --sync " + next.mainWindow + " >/dev/null 2>&1");
    Velmora after(dir, true);
    EXPECT_EQ(after.endsWithin(10), std::optional(0));
    EXPECT_EQ(within(5, [&] { return activeWindow() == next.mainWindow; }), true);
    EXPECT_EQ(next.app.stop(), 0);
}

TEST(OneInstance, QuitEndsVelmoraWithTheWidgetOpen) {
    if (!std::getenv("VELMORA_DESKTOP")) GTEST_SKIP() << "runs on the desktop of scripts/with-desktop.sh";
    ASSERT_TRUE(onDesktop()) << "VELMORA_DESKTOP is set but no display answers";
    TempDir dir;
    writeDefaults(dir);
    Running velmora(dir);
    ASSERT_TRUE(velmora.shown());
    run("xdotool windowactivate --sync " + velmora.mainWindow + " key --clearmodifiers ctrl+q >/dev/null 2>&1");
    EXPECT_EQ(velmora.app.endsWithin(10), std::optional(0)) << "Ctrl+Q left Velmora running";
    // Quitting is not closing the widget: it comes back at the next start.
    const Json stored = defaults(dir);
    const char* prefs = "Velmora.FloatingWidgetPreferences";
    ASSERT_TRUE(stored.is_object() && stored.contains(prefs) && stored[prefs].is_object()) << stored.dump();
    EXPECT_EQ(stored[prefs].value("wasVisible", false), true);
}

}  // namespace
}  // namespace velmora
