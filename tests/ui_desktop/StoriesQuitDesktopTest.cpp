// Quitting a real window from the Stories page on the private desktop: the detail's "Quit" asks
// first (plain text, Cancel the default), and the confirmed quit reaches the other program as a
// close request it answers by exiting on its own, never as a signal. Also the page's toolbar
// button, present only while the page is shown.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace {

// A test program with its input and output on pipes.
struct Child {
    pid_t pid = -1;
    int input = -1, output = -1;
    std::string buffer;
    int status = -1;
    bool reaped = false;
    explicit Child(std::vector<std::string> args) {
        int in[2], out[2];
        if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) return;
        if ((pid = fork()) == 0) {
            dup2(in[0], STDIN_FILENO);
            dup2(out[1], STDOUT_FILENO);
            dup2(open("/dev/null", O_WRONLY | O_CLOEXEC), STDERR_FILENO);
            std::vector<char*> argv;
            for (auto& a : args) argv.push_back(a.data());
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(in[0]);
        close(out[1]);
        input = in[1];
        output = out[0];
    }
    ~Child() {
        if (input >= 0) close(input);
        if (output >= 0) close(output);
        // Cleaning up after a failed test only.
        if (pid > 0 && !reaped && kill(pid, SIGKILL) == 0) waitpid(pid, nullptr, 0);
    }
    // The next line, or "" when none comes within `millis`.
    std::string line(int millis = 30000) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(millis);
        while (true) {
            if (auto at = buffer.find('\n'); at != std::string::npos) {
                std::string l = buffer.substr(0, at);
                buffer.erase(0, at + 1);
                return l;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
            if (left.count() <= 0) return "";
            pollfd p{output, POLLIN, 0};
            if (poll(&p, 1, static_cast<int>(left.count())) <= 0) return "";
            char chunk[512];
            const ssize_t n = read(output, chunk, sizeof chunk);
            if (n <= 0) return "";
            buffer.append(chunk, static_cast<std::size_t>(n));
        }
    }
    void send(const std::string& l) { EXPECT_EQ(write(input, (l + "\n").data(), l.size() + 1), ssize_t(l.size() + 1)); }
    // Whether it ended within `seconds`; its status is then in `status`.
    bool ended(int seconds) {
        for (int i = 0; i < seconds * 10 && !reaped; ++i) {
            if (waitpid(pid, &status, WNOHANG) == pid) reaped = true;
            else std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return reaped;
    }
};

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
    Child other({programs + "/polite_window", "Polite Window"});
    ASSERT_GT(other.pid, 0);
    ASSERT_EQ(other.line(), "shown");
    for (int i = 0; i < 100 && windowsOf(other.pid).empty(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ASSERT_FALSE(windowsOf(other.pid).empty()) << "the other window was never managed";

    Child velmora({programs + "/stories_quit", std::to_string(other.pid), "Polite Window"});
    ASSERT_GT(velmora.pid, 0);
    EXPECT_EQ(velmora.line(), "toolbar 1 0");
    EXPECT_EQ(velmora.line(), "selected 1");
    EXPECT_EQ(velmora.line(), "dialog 1 1 Quit Polite Window?");
    EXPECT_EQ(velmora.line(), "cancelled none");
    // Cancel asked nobody: the other program heard nothing and still runs.
    EXPECT_EQ(other.line(1500), "");
    EXPECT_FALSE(other.ended(0));

    velmora.send("confirm");
    EXPECT_EQ(velmora.line(), "message Asked Polite Window to quit.");
    EXPECT_EQ(velmora.line(), "below 1");
    EXPECT_EQ(other.line(10000), "close");
    ASSERT_TRUE(other.ended(10)) << "the other program did not exit after the close request";
    EXPECT_TRUE(WIFEXITED(other.status) && WEXITSTATUS(other.status) == 0)
        << "not a clean exit of its own: status " << other.status;
    EXPECT_EQ(other.line(200), "") << "more than one request reached it";

    EXPECT_EQ(velmora.line(), "toolbar-ran measure 1");
    velmora.send("done");
    // Its window, toolbar and page are torn down cleanly too.
    ASSERT_TRUE(velmora.ended(10));
    EXPECT_TRUE(WIFEXITED(velmora.status) && WEXITSTATUS(velmora.status) == 0) << "status " << velmora.status;
}

}  // namespace
