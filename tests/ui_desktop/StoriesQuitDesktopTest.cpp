// Quitting a real window from the Stories page on the private desktop: the detail's "Quit" asks
// first (plain text, Cancel the default), and the confirmed quit reaches the other program as a
// close request it answers by exiting on its own, never as a signal. A process of the same program
// without a window is never signalled, and a story about it alone offers no Quit. Also the page's
// toolbar button, present only while the page is shown.
#include <gtest/gtest.h>

#include "tests/fakes/LineChild.h"

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace {

using velmora::LineChild;

// The windows the window manager lists for `pid`.
std::string windowsOf(pid_t pid) {
    std::string out;
    if (FILE* f = ::popen(("xdotool search --all --onlyvisible --pid " + std::to_string(pid) + " 2>/dev/null").c_str(), "r")) {
        char buffer[512];
        while (std::size_t n = std::fread(buffer, 1, sizeof buffer, f)) out.append(buffer, n);
        ::pclose(f);
    }
    return out;
}

TEST(StoriesQuitDesktop, QuitAsksFirstThenClosesTheOtherWindowPolitely) {
    if (!std::getenv("VELMORA_DESKTOP")) GTEST_SKIP() << "needs scripts/with-desktop.sh";
    ASSERT_NE(std::getenv("DISPLAY"), nullptr);
    const std::string programs = VELMORA_TEST_PROGRAMS;
    LineChild other({programs + "/polite_window", "Polite Window"});
    ASSERT_GT(other.pid(), 0);
    ASSERT_EQ(other.line(), "shown");
    for (int i = 0; i < 100 && windowsOf(other.pid()).empty(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ASSERT_FALSE(windowsOf(other.pid()).empty()) << "the other window was never managed";
    LineChild namesake({programs + "/polite_window", "--no-window"});
    ASSERT_EQ(namesake.line(), "shown");

    LineChild velmora({programs + "/stories_quit", std::to_string(other.pid()), "Polite Window",
                       std::to_string(namesake.pid())});
    ASSERT_GT(velmora.pid(), 0);
    EXPECT_EQ(velmora.line(), "toolbar 1 0");
    EXPECT_EQ(velmora.line(), "windowless 0");
    EXPECT_EQ(velmora.line(), "selected 1");
    EXPECT_EQ(velmora.line(), "dialog 1 1 Quit Polite Window?");
    EXPECT_EQ(velmora.line(), "cancelled none");
    // Cancel asked nobody: the other program heard nothing and still runs.
    EXPECT_EQ(other.line(1500), "");
    EXPECT_FALSE(other.ended(0));

    EXPECT_TRUE(velmora.send("confirm"));
    EXPECT_EQ(velmora.line(), "message Asked Polite Window to quit.");
    EXPECT_EQ(velmora.line(), "gone 1");
    EXPECT_EQ(other.line(10000), "close");
    ASSERT_TRUE(other.ended(10)) << "the other program did not exit after the close request";
    EXPECT_TRUE(WIFEXITED(other.status()) && WEXITSTATUS(other.status()) == 0)
        << "not a clean exit of its own: status " << other.status();
    EXPECT_EQ(other.line(200), "") << "more than one request reached it";
    EXPECT_EQ(namesake.line(1500), "") << "the windowless namesake was asked too";
    EXPECT_FALSE(namesake.ended(0));

    EXPECT_EQ(velmora.line(), "toolbar-ran measure 1");
    EXPECT_TRUE(velmora.send("done"));
    // Its window, toolbar and page are torn down cleanly too.
    ASSERT_TRUE(velmora.ended(10));
    EXPECT_TRUE(WIFEXITED(velmora.status()) && WEXITSTATUS(velmora.status()) == 0) << "status " << velmora.status();
}

}  // namespace
