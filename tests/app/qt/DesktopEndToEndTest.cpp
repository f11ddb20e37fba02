// The built application on a real desktop (Xvfb, openbox, the accessibility bus): a window that
// grows becomes a story naming its title, its release a second story, and every story outlives a
// restart. Runs only under scripts/with-desktop.sh, and fails there when the desktop is missing.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <thread>

#include "engine/support/Json.h"
#include "tests/fakes/TempDir.h"

extern char** environ;

namespace velmora {
namespace {

using Clock = std::chrono::steady_clock;
const char* const title = "Quarterly report \u2014 Editor";

// A started program with its standard input and output as pipes; killed and reaped at the end.
class Program {
public:
    Program(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnvironment,
            const std::string& logFile = "/dev/null") {
        int in[2], out[2];
        if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], 0);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_addopen(&actions, 2, logFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        std::vector<std::string> env;
        for (char** e = environ; *e; ++e) env.emplace_back(*e);
        env.insert(env.end(), extraEnvironment.begin(), extraEnvironment.end());
        std::vector<char*> args, envp;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        for (const auto& e : env) envp.push_back(const_cast<char*>(e.c_str()));
        args.push_back(nullptr);
        envp.push_back(nullptr);
        if (posix_spawn(&pid_, args[0], &actions, nullptr, args.data(), envp.data()) != 0) pid_ = 0;
        posix_spawn_file_actions_destroy(&actions);
        ::close(in[0]);
        ::close(out[1]);
        input_ = in[1];
        output_ = out[0];
    }
    ~Program() {
        closeInput();
        if (pid_ > 0 && !exited_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (output_ >= 0) ::close(output_);
    }
    pid_t pid() const { return pid_; }
    bool say(const std::string& line) {
        const std::string text = line + "\n";
        return ::write(input_, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    }
    // The next line of output, waiting at most `seconds`.
    std::optional<std::string> hear(double seconds) {
        const auto deadline = Clock::now() + std::chrono::duration<double>(seconds);
        std::string line;
        while (Clock::now() < deadline) {
            pollfd p{output_, POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0) continue;
            char c;
            if (::read(output_, &c, 1) != 1) return std::nullopt;
            if (c == '\n') return line;
            line += c;
        }
        return std::nullopt;
    }
    void closeInput() {
        if (input_ >= 0) ::close(input_);
        input_ = -1;
    }
    // SIGTERM, then the exit status once it ends (none when it did not within `seconds`).
    std::optional<int> terminate(double seconds) {
        ::kill(pid_, SIGTERM);
        const auto deadline = Clock::now() + std::chrono::duration<double>(seconds);
        while (Clock::now() < deadline) {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                exited_ = true;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return std::nullopt;
    }

private:
    pid_t pid_ = 0;
    int input_ = -1, output_ = -1;
    bool exited_ = false;
};

std::string run(const std::string& command) {
    std::string out;
    if (FILE* f = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        while (std::size_t n = std::fread(buffer, 1, sizeof buffer, f)) out.append(buffer, n);
        ::pclose(f);
    }
    return out;
}

Json storiesIn(const std::string& file) {
    std::ifstream in(file);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    auto parsed = parseJson(text);
    return parsed && parsed->is_array() ? *parsed : Json::array();
}

std::vector<Json> storiesOf(const Json& stories, pid_t pid, const char* kind) {
    std::vector<Json> out;
    for (const auto& s : stories) {
        if (s.value("kind", "") != kind || !s.contains("relatedApp")) continue;
        const auto& pids = s["relatedApp"].value("pids", Json::array());
        if (std::find(pids.begin(), pids.end(), Json(pid)) != pids.end()) out.push_back(s);
    }
    return out;
}

// Waits until `found` gives a value, at most `seconds`.
template <class F>
auto within(double seconds, F found) -> decltype(found()) {
    const auto deadline = Clock::now() + std::chrono::duration<double>(seconds);
    for (;;) {
        if (auto value = found()) return value;
        if (Clock::now() >= deadline) return found();
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
    }
}

std::set<std::string> idsIn(const Json& stories) {
    std::set<std::string> ids;
    for (const auto& s : stories) ids.insert(s.value("id", ""));
    return ids;
}

TEST(DesktopEndToEnd, AGrowingWindowBecomesAStoryThatOutlivesARestart) {
    if (!std::getenv("VELMORA_DESKTOP")) GTEST_SKIP() << "runs on the desktop of scripts/with-desktop.sh";
    ASSERT_TRUE(std::getenv("DISPLAY")) << "VELMORA_DESKTOP is set but there is no display";
    ASSERT_NE(run("xdpyinfo >/dev/null 2>&1 && echo up"), "") << "the display does not answer";
    const std::string programs = VELMORA_TEST_PROGRAMS;
    const std::string velmora = programs + "/../../velmora";
    ASSERT_TRUE(std::filesystem::exists(velmora)) << velmora;

    TempDir dir;
    const std::vector<std::string> env{"XDG_DATA_HOME=" + dir.file("data"), "XDG_CONFIG_HOME=" + dir.file("config"),
                                       "HOME=" + dir.file("home")};
    std::filesystem::create_directories(dir.file("config/Velmora"));
    std::filesystem::create_directories(dir.file("home"));
    // Welcome already done, and the widget open when Velmora last quit, so it comes back at start.
    std::ofstream(dir.file("config/Velmora/defaults.json"))
        << R"({"Velmora.FirstRunCompleted":true,"Velmora.StableHintDismissed":true,"Velmora.FloatingWidgetPreferences":{"isCompact":false,)"
           R"("placement":"floating","autoCollapseDock":true,"showSystemMemory":true,"trendRangeMinutes":15,"wasVisible":true}})";
    const std::string storiesFile = dir.file("data/Velmora/stories.json");
    const std::string log = dir.file("velmora.log");

    auto app = std::make_unique<Program>(std::vector<std::string>{velmora}, env, log);
    ASSERT_GT(app->pid(), 0);
    const auto widgetProperties = within(15, [&]() -> std::optional<std::string> {
        const std::string ids = run("xdotool search --all --pid " + std::to_string(app->pid()) + " --name '^Velmora widget$'");
        if (ids.empty()) return std::nullopt;
        return run("xprop -id " + ids.substr(0, ids.find('\n')) + " _NET_WM_WINDOW_TYPE _NET_WM_DESKTOP WM_HINTS");
    });
    ASSERT_TRUE(widgetProperties) << "the widget did not come back";
    EXPECT_NE(widgetProperties->find("_NET_WM_WINDOW_TYPE_UTILITY"), std::string::npos) << *widgetProperties;
    EXPECT_NE(widgetProperties->find("_NET_WM_DESKTOP(CARDINAL) = 4294967295"), std::string::npos) << *widgetProperties;
    EXPECT_NE(widgetProperties->find("accepts input or input focus: False"), std::string::npos) << *widgetProperties;

    Program editor({programs + "/growing_editor", title}, {});
    std::this_thread::sleep_for(std::chrono::seconds(3));  // a few quiet samples first
    ASSERT_TRUE(editor.say("grow 600"));
    ASSERT_EQ(editor.hear(20), "grown");
    const auto grew = within(15, [&]() -> std::optional<Json> {
        auto found = storiesOf(storiesIn(storiesFile), editor.pid(), "largeDelta");
        return found.empty() ? std::nullopt : std::optional<Json>(found.front());
    });
    ASSERT_TRUE(grew) << "no story within 15 s";
    EXPECT_EQ(storiesOf(storiesIn(storiesFile), editor.pid(), "largeDelta").size(), 1u);
    EXPECT_NE(grew->value("explanation", "").find(title), std::string::npos) << grew->dump();

    // A release more than two minutes later is a story of its own, not merged into the growth.
    const double grewAt = grew->value("timestamp", 0.0);
    within(200, [&] {
        const double now = std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
        return now - 978307200.0 > grewAt + 125.0;
    });
    ASSERT_TRUE(editor.say("free"));
    ASSERT_EQ(editor.hear(10), "freed");
    const auto released = within(30, [&] { return !storiesOf(storiesIn(storiesFile), editor.pid(), "memoryReleased").empty(); });
    EXPECT_TRUE(released) << storiesIn(storiesFile).dump();
    editor.closeInput();

    EXPECT_EQ(app->terminate(10), 0);
    const std::set<std::string> before = idsIn(storiesIn(storiesFile));
    ASSERT_GE(before.size(), 2u);
    app = std::make_unique<Program>(std::vector<std::string>{velmora}, env, log);
    std::this_thread::sleep_for(std::chrono::seconds(4));  // loaded, sampling, saving again
    EXPECT_EQ(app->terminate(10), 0);
    const std::set<std::string> after = idsIn(storiesIn(storiesFile));
    for (const auto& id : before) EXPECT_TRUE(after.contains(id)) << "story " << id << " lost across a restart";
}

}  // namespace
}  // namespace velmora
