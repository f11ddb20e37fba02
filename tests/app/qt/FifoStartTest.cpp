// The built application started on the desktop with FIFOs where its stored files belong: it must
// finish starting, set them aside and end on SIGTERM. Runs under scripts/with-desktop.sh only.
#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "tests/engine/settings/StoreFiles.h"
#include "tests/fakes/TempDir.h"

extern char** environ;

namespace velmora {
namespace {

namespace fs = std::filesystem;

std::string windowsOf(pid_t pid) {
    std::string out;
    if (FILE* f = ::popen(("xdotool search --all --pid " + std::to_string(pid) + " --onlyvisible 2>/dev/null").c_str(), "r")) {
        char buffer[4096];
        while (std::size_t n = std::fread(buffer, 1, sizeof buffer, f)) out.append(buffer, n);
        ::pclose(f);
    }
    return out;
}

TEST(FifoStart, FifosInPlaceOfTheStoredFilesAreSetAsideAndStartUpFinishes) {
    if (!std::getenv("VELMORA_DESKTOP")) GTEST_SKIP() << "runs on the desktop of scripts/with-desktop.sh";
    TempDir dir;
    const std::string stories = dir.file("data/Velmora/stories.json"), defaults = dir.file("config/Velmora/defaults.json");
    for (const auto& path : {stories, defaults}) {
        fs::create_directories(fs::path(path).parent_path());
        ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    }
    std::vector<std::string> env{"XDG_DATA_HOME=" + dir.file("data"), "XDG_CONFIG_HOME=" + dir.file("config"),
                                 "HOME=" + dir.file("config")};
    for (char** e = environ; *e; ++e) env.emplace_back(*e);  // the first of a name wins
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string path = std::string(VELMORA_TEST_PROGRAMS) + "/../../velmora";
    char* argv[] = {path.data(), nullptr};
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, path.c_str(), nullptr, nullptr, argv, envp.data()), 0);

    // Started once a window of its own shows; a start blocked on a FIFO never gets there.
    std::string shown = windowsOf(pid);
    for (int i = 0; i < 120 && shown.empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
        shown = windowsOf(pid);
    }
    EXPECT_FALSE(shown.empty()) << "no window within 30 s: start-up blocked";
    int status = -1;
    ASSERT_EQ(::kill(pid, SIGTERM), 0);
    pid_t ended = ::waitpid(pid, &status, WNOHANG);
    for (int i = 0; i < 40 && ended == 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
        ended = ::waitpid(pid, &status, WNOHANG);
    }
    if (ended == 0) ::kill(pid, SIGKILL), ::waitpid(pid, &status, 0);
    EXPECT_EQ(ended, pid) << "SIGTERM did not end it within 10 s";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "not a clean exit: " << status;

    for (const auto& file : {stories, defaults}) {
        const auto kept = filesStarting(fs::path(file).parent_path().string(), fs::path(file).filename().string() + ".bad-");
        ASSERT_EQ(kept.size(), 1u) << file;
        EXPECT_EQ(fs::symlink_status(kept[0]).type(), fs::file_type::fifo) << kept[0];
        EXPECT_NE(fs::symlink_status(file).type(), fs::file_type::fifo) << file;
    }
}

}  // namespace
}  // namespace velmora
