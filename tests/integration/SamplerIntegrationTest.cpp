#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <thread>

#include "engine/sampling/MemorySampler.h"
#include "platform/linux/LinuxMemorySource.h"
#include "platform/linux/ProcfsProcessSource.h"
#include "platform/linux/X11DesktopSession.h"
#include "tests/fakes/ChildProcess.h"
#include "tests/fakes/FakeClock.h"
#include "tests/fakes/ManualScheduler.h"
#include "tests/fakes/TempDir.h"

using namespace velmora;

namespace {

// `cat` reading a pipe we hold, started through sh and env with the given environment words
// ("$$" is the launched process's own pid): it ends when the pipe closes, even if we crash.
class LaunchedCat {
public:
    explicit LaunchedCat(const std::string& environment) {
        int ends[2];
        if (pipe2(ends, O_CLOEXEC) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, ends[0], 0);
        const std::string command = "exec env " + environment + " cat";
        const char* argv[] = {"sh", "-c", command.c_str(), nullptr};
        if (posix_spawn(&pid_, "/bin/sh", &actions, nullptr, const_cast<char**>(argv), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(ends[0]);
        input_ = ends[1];
    }
    ~LaunchedCat() {
        if (input_ >= 0) close(input_);
        if (pid_ > 0) waitpid(pid_, nullptr, 0);
    }
    pid_t pid() const { return pid_; }
    // Once sh and env have made way for cat.
    bool waitForCat() const {
        const auto exe = "/proc/" + std::to_string(pid_) + "/exe";
        for (int i = 0; i < 500; ++i) {
            std::error_code error;
            if (std::filesystem::read_symlink(exe, error).filename() == "cat") return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }

private:
    pid_t pid_ = -1;
    int input_ = -1;
};

// The sampler over the real kernel, with no display.
struct RealSampling {
    ProcfsProcessSource processes;
    X11DesktopSession desktop{std::string()};
    LinuxMemorySource memory;
    FakeClock clock;
    ManualScheduler scheduler{clock};
    MemorySampler sampler{processes, desktop, memory, scheduler, clock, SelfProcess{getpid(), std::nullopt}};
};

}  // namespace

TEST(SamplerIntegrationTest, ChildAllocationShowsInItsAppAndTheAppForgetsTheChildAfterExit) {
    RealSampling real;
    auto& clock = real.clock;
    auto& sampler = real.sampler;
    ChildProcess child;
    ASSERT_TRUE(child.running());
    // The footprint of the app holding the child; nothing when the child is not listed.
    auto sample = [&]() -> std::optional<std::uint64_t> {
        clock.advance(1);
        sampler.tick();
        for (const auto& app : sampler.appSnapshots()) {
            if (std::ranges::find(app.identity.pids, child.pid()) == app.identity.pids.end()) continue;
            EXPECT_TRUE(app.identity.groupingKey.starts_with("name:memory-hog-")) << app.identity.groupingKey;
            EXPECT_EQ(app.identity.pids, std::vector<std::int32_t>{child.pid()});
            return app.footprintBytes;
        }
        return std::nullopt;
    };

    const auto before = sample();
    ASSERT_TRUE(before);
    ASSERT_TRUE(child.allocate(300));
    EXPECT_GE(sample().value_or(0), *before + (250ull << 20));
    ASSERT_TRUE(sampler.systemSnapshot());
    EXPECT_GT(sampler.systemSnapshot()->totalPhysicalBytes, 0u);
    EXPECT_FALSE(sampler.systemSnapshot()->readFailed);

    ASSERT_TRUE(child.exit());
    EXPECT_FALSE(sample());
}

// Two apps map one 64 MiB region in turn: the app that maps or unmaps it is counted at once, the
// other app's share follows within 30 samples.
TEST(SamplerIntegrationTest, TwoAppsSharingOneRegionAreEachCountedTheirShare) {
    constexpr double MiB = 1 << 20;
    RealSampling real;
    ChildProcess first, second;
    ASSERT_TRUE(first.running() && second.running());
    const int memfd = memfd_create("shared-by-two-apps", MFD_CLOEXEC);
    ASSERT_GE(memfd, 0);
    ASSERT_EQ(ftruncate(memfd, 64 << 20), 0);
    // Each child's app footprint, in MiB.
    auto sample = [&] {
        real.clock.advance(1);
        real.sampler.tick();
        std::pair<double, double> footprints{-1, -1};
        for (const auto& app : real.sampler.appSnapshots()) {
            const auto holds = [&](pid_t pid) { return std::ranges::count(app.identity.pids, pid) > 0; };
            if (holds(first.pid())) footprints.first = double(app.footprintBytes) / MiB;
            if (holds(second.pid())) footprints.second = double(app.footprintBytes) / MiB;
        }
        return footprints;
    };
    // Samples until `done` holds, at most 30 samples in all counting `now`, the one already taken.
    auto within30 = [&](std::pair<double, double> now, const std::function<bool(std::pair<double, double>)>& done) {
        for (int samples = 1; samples < 30 && !done(now); ++samples) now = sample();
        return now;
    };

    const auto base = sample();
    ASSERT_GE(base.first, 0);
    ASSERT_GE(base.second, 0);
    ASSERT_TRUE(first.mapShared(memfd));
    auto now = sample();
    EXPECT_NEAR(now.first - base.first, 64, 1);
    EXPECT_NEAR(now.second - base.second, 0, 1);

    ASSERT_TRUE(second.mapShared(memfd));
    now = sample();
    EXPECT_NEAR(now.second - base.second, 32, 1);
    now = within30(now, [&](auto f) { return std::abs(f.first - base.first - 32) < 1; });
    EXPECT_NEAR(now.first - base.first, 32, 1);
    EXPECT_NEAR(now.second - base.second, 32, 1);

    ASSERT_TRUE(first.release());
    now = sample();
    EXPECT_NEAR(now.first - base.first, 0, 1);
    now = within30(now, [&](auto f) { return std::abs(f.second - base.second - 64) < 1; });
    EXPECT_NEAR(now.second - base.second, 64, 1);
    close(memfd);
}

// A program launched from a desktop entry shows under the entry's id and name from its first
// sample; one that merely inherited the launcher's variables does not.
TEST(SamplerIntegrationTest, LaunchedProgramShowsUnderItsDesktopEntryBeforeItHasAWindow) {
    TempDir data;
    std::filesystem::create_directories(data.file("applications"));
    const std::string entry = data.file("applications/velmora-launch-probe.desktop");
    std::ofstream(entry) << "[Desktop Entry]\nType=Application\nName=Launch Probe\nExec=cat\n";
    const char* oldDirs = std::getenv("XDG_DATA_DIRS");
    const std::optional<std::string> savedDirs = oldDirs ? std::optional<std::string>(oldDirs) : std::nullopt;
    setenv("XDG_DATA_DIRS", data.path().c_str(), 1);

    LaunchedCat launched("GIO_LAUNCHED_DESKTOP_FILE=" + entry + " GIO_LAUNCHED_DESKTOP_FILE_PID=$$");
    ASSERT_GT(launched.pid(), 0);
    LaunchedCat inherited("GIO_LAUNCHED_DESKTOP_FILE=" + entry +
                          " GIO_LAUNCHED_DESKTOP_FILE_PID=" + std::to_string(launched.pid()));
    ASSERT_TRUE(launched.waitForCat());
    ASSERT_TRUE(inherited.waitForCat());

    RealSampling real;
    real.sampler.tick();
    std::map<pid_t, std::pair<std::string, std::string>> shown;
    for (const auto& app : real.sampler.appSnapshots())
        for (const pid_t pid : {launched.pid(), inherited.pid()})
            if (std::ranges::find(app.identity.pids, pid) != app.identity.pids.end())
                shown[pid] = {app.identity.groupingKey, app.identity.displayName};
    if (savedDirs) setenv("XDG_DATA_DIRS", savedDirs->c_str(), 1);
    else unsetenv("XDG_DATA_DIRS");
    EXPECT_EQ(shown, (std::map<pid_t, std::pair<std::string, std::string>>{
                         {launched.pid(), {"velmora-launch-probe", "Launch Probe"}},
                         {inherited.pid(), {"name:cat", "cat"}}}));
}
