// One accessibility poll of a real accessible window (the test form: a title, an address field,
// three tabs) over AT-SPI, beside a floor measured in the same run: one AT-SPI property read
// (the window's name). Run under scripts/with-desktop.sh, from the build folder that also built
// tests/programs/accessible_form.
#include <benchmark/benchmark.h>

#include <atspi/atspi.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>

#include "bench/BenchSupport.h"
#include "engine/activity/ActivityEventBus.h"
#include "platform/linux/A11yBusPermission.h"
#include "platform/linux/AtspiAccessibilityTree.h"
#include "platform/linux/SystemClock.h"
#include "platform/linux/X11DesktopSession.h"
#include "sensors/AccessibilityMonitor.h"

extern char** environ;

using namespace velmora;

namespace {

// The form in front, whoever holds the real focus.
struct FormInFront final : DesktopSession {
    std::int32_t pid = 0;
    std::vector<RunningApplication> runningApplications() override {
        return {RunningApplication{pid, "accessible_form", "Accessible form", false, true}};
    }
};

pid_t formPid = -1;
AtspiAccessible* formWindow = nullptr;
std::map<std::string, double> formCpuPerIteration;                  // seconds the form spent answering

double processCpuSeconds(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), {});
    const auto close = text.rfind(')');
    if (close == std::string::npos) return 0;
    std::istringstream fields(text.substr(close + 2));
    std::string skip;
    for (int i = 0; i < 11; ++i) fields >> skip;  // state .. cmajflt
    double user = 0, system = 0;
    fields >> user >> system;
    return (user + system) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

void recordFormCpu(const std::string& name, benchmark::State& state, double before) {
    if (state.iterations() > 0)
        formCpuPerIteration[name] = (processCpuSeconds(formPid) - before) / static_cast<double>(state.iterations());
}

void BM_Floor_AtspiPropertyRead(benchmark::State& state) {
    const double before = processCpuSeconds(formPid);
    for (auto _ : state) {
        GError* error = nullptr;
        gchar* name = atspi_accessible_get_name(formWindow, &error);
        if (error) g_clear_error(&error);
        g_free(name);
    }
    recordFormCpu("BM_Floor_AtspiPropertyRead", state, before);
}

template <bool realFrontmost>
void pollBenchmark(benchmark::State& state) {
    FormInFront inFront;
    inFront.pid = formPid;
    X11DesktopSession session;
    A11yBusPermission permission;
    AtspiAccessibilityTree tree(realFrontmost ? static_cast<DesktopSession&>(session) : inFront, permission);
    IdleScheduler scheduler;
    SystemClock clock;
    ActivityEventBus bus;
    // Not this process: the monitor never reads its own application.
    AccessibilityMonitor monitor(bus, scheduler, clock, tree, 0);
    monitor.poll();
    if (!monitor.lastWindowTitle()) state.SkipWithError("the form is not readable (or, with the window list, not in front)");
    const double before = processCpuSeconds(formPid);
    for (auto _ : state) monitor.poll();
    recordFormCpu(realFrontmost ? "BM_AccessibilityPollWithWindowList" : "BM_AccessibilityPoll", state, before);
    state.counters["events"] = static_cast<double>(bus.events().size());
}

void BM_AccessibilityPoll(benchmark::State& state) { pollBenchmark<false>(state); }
// The same with the frontmost app found through the X11 window list, as the application does.
void BM_AccessibilityPollWithWindowList(benchmark::State& state) { pollBenchmark<true>(state); }

BENCHMARK(BM_Floor_AtspiPropertyRead)->Unit(benchmark::kMicrosecond)->MinTime(1.0);
BENCHMARK(BM_AccessibilityPoll)->Unit(benchmark::kMicrosecond)->MinTime(1.0);
BENCHMARK(BM_AccessibilityPollWithWindowList)->Unit(benchmark::kMicrosecond)->MinTime(1.0);

// Starts the form from the build folder and waits until its window is on the accessibility bus.
bool startForm(int& input) {
    const auto bench = std::filesystem::read_symlink("/proc/self/exe").parent_path();
    const std::string path = (bench.parent_path() / "tests/programs/accessible_form").string();
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[0], STDIN_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    char* argv[] = {const_cast<char*>(path.c_str()), nullptr};
    const bool spawned = posix_spawn(&formPid, path.c_str(), &actions, nullptr, argv, environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    close(fds[0]);
    input = fds[1];
    if (!spawned) {
        std::fprintf(stderr, "cannot start %s\n", path.c_str());
        return false;
    }
    A11yBusPermission permission;
    if (!permission.isGranted() || atspi_init() > 1) return false;
    for (int attempt = 0; attempt < 100 && !formWindow; ++attempt) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        AtspiAccessible* desktop = atspi_get_desktop(0);
        const int apps = atspi_accessible_get_child_count(desktop, nullptr);
        for (int i = 0; i < apps && !formWindow; ++i) {
            AtspiAccessible* app = atspi_accessible_get_child_at_index(desktop, i, nullptr);
            if (app && atspi_accessible_get_process_id(app, nullptr) == static_cast<guint>(formPid) &&
                atspi_accessible_get_child_count(app, nullptr) > 0)
                formWindow = atspi_accessible_get_child_at_index(app, 0, nullptr);
            if (app) g_object_unref(app);
        }
        g_object_unref(desktop);
    }
    return formWindow != nullptr;
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    int input = -1;
    const bool ready = startForm(input);
    if (ready) {
        SecondsReporter reporter;
        benchmark::RunSpecifiedBenchmarks(&reporter);
        auto& timePerIteration = reporter.seconds;
        const auto [floorCpu, floorReal] = timePerIteration["BM_Floor_AtspiPropertyRead"];
        for (const char* poll : {"BM_AccessibilityPoll", "BM_AccessibilityPollWithWindowList"}) {
            const auto [pollCpu, pollReal] = timePerIteration[poll];
            if (floorCpu <= 0 || floorReal <= 0 || pollCpu <= 0) continue;
            std::printf("%s / property read: %.1f in processor time, %.1f in wall-clock time\n", poll, pollCpu / floorCpu,
                        pollReal / floorReal);
            std::printf("  CPU share at one poll every %.1f s: %.3f %% here, %.3f %% in the polled app\n",
                        AccessibilityMonitor::pollInterval, 100.0 * pollCpu / AccessibilityMonitor::pollInterval,
                        100.0 * formCpuPerIteration[poll] /
                            AccessibilityMonitor::pollInterval);
        }
    } else {
        std::fprintf(stderr, "the accessible form did not come up: run under scripts/with-desktop.sh\n");
    }
    if (formWindow) g_object_unref(formWindow);
    if (input >= 0) close(input);
    if (formPid > 0) {
        kill(formPid, SIGKILL);
        waitpid(formPid, nullptr, 0);
    }
    benchmark::Shutdown();
    return ready ? 0 : 1;
}
