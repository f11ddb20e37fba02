#pragma once
// The built application started as a process of its own, and small waits for what it does on the
// desktop, for the tests that run under scripts/with-desktop.sh.
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <optional>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

#include "tests/fakes/TempDir.h"

extern char** environ;

namespace velmora {

// What `command` prints on its standard output.
inline std::string run(const std::string& command) {
    std::string out;
    if (FILE* f = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        while (std::size_t n = std::fread(buffer, 1, sizeof buffer, f)) out.append(buffer, n);
        ::pclose(f);
    }
    return out;
}

template <class T>
bool ready(const T& value) {
    if constexpr (std::is_same_v<T, bool>) return value;
    else return !value.empty();
}

// Polls `found` every quarter second for at most `seconds`; its last answer.
template <class F>
auto within(double seconds, F found) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    auto value = found();
    while (!ready(value) && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
        value = found();
    }
    return value;
}

// Velmora with its own folders; SIGTERM ends it, and its exit status is returned. With
// `privateSession`, it also gets a session folder of its own ($XDG_RUNTIME_DIR), so that only
// the instances of this test meet.
struct Velmora {
    explicit Velmora(const TempDir& dir, bool privateSession = false) {
        std::vector<std::string> env{"XDG_DATA_HOME=" + dir.file("data"), "XDG_CONFIG_HOME=" + dir.file("config"),
                                     "HOME=" + dir.file("config")};
        if (privateSession) {
            ::mkdir(dir.file("run").c_str(), 0700);
            env.push_back("XDG_RUNTIME_DIR=" + dir.file("run"));
        }
        for (char** e = environ; *e; ++e) env.emplace_back(*e);  // the first of a name wins
        std::vector<char*> envp;
        for (auto& e : env) envp.push_back(e.data());
        envp.push_back(nullptr);
        std::string path = std::string(VELMORA_TEST_PROGRAMS) + "/../../velmora";
        char* argv[] = {path.data(), nullptr};
        if (posix_spawn(&pid, path.c_str(), nullptr, nullptr, argv, envp.data()) != 0) pid = 0;
    }
    int stop() {
        int status = -1;
        if (pid > 0 && ::kill(pid, SIGTERM) == 0 && ::waitpid(pid, &status, 0) == pid) pid = 0;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    // Its exit status once it ends by itself within `seconds` (-1 for a signal); nullopt while it runs.
    std::optional<int> endsWithin(double seconds) {
        const bool ended = within(seconds, [&] {
            int status = 0;
            if (pid <= 0 || ::waitpid(pid, &status, WNOHANG) != pid) return false;
            pid = 0;
            exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            return true;
        });
        return ended ? std::optional(exitStatus) : std::nullopt;
    }
    bool running() {
        if (pid > 0 && ::waitpid(pid, nullptr, WNOHANG) == pid) pid = 0;
        return pid > 0;
    }
    // The ids of its visible windows called `title` (a regular expression), one a line.
    std::string windows(const std::string& title) const {
        return run("xdotool search --all --onlyvisible --pid " + std::to_string(pid) + " --name '" + title + "' 2>/dev/null");
    }
    ~Velmora() {
        if (pid > 0) ::kill(pid, SIGKILL), ::waitpid(pid, nullptr, 0);
    }
    pid_t pid = 0;
    int exitStatus = -1;
};

}  // namespace velmora
