// The accessibility monitor reading a real Qt window over AT-SPI; run under scripts/with-desktop.sh.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <thread>

#include "engine/activity/ActivityEventBus.h"
#include "platform/linux/A11yBusPermission.h"
#include "platform/linux/AtspiAccessibilityTree.h"
#include "sensors/AccessibilityMonitor.h"
#include "tests/fakes/FakeAccessibilityTree.h"
#include "tests/fakes/ManualScheduler.h"

extern char** environ;

using namespace velmora;
using namespace std::chrono_literals;

namespace {

// The form takes commands on its standard input and quits when that closes.
struct Form {
    pid_t pid = -1;
    int input = -1;
    Form() {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[0], STDIN_FILENO);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
        char path[] = VELMORA_TEST_PROGRAMS "/accessible_form";
        char* argv[] = {path, nullptr};
        if (posix_spawn(&pid, path, &actions, nullptr, argv, environ) != 0) pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(fds[0]);
        input = fds[1];
    }
    ~Form() {
        close(input);
        if (pid > 0 && kill(pid, SIGKILL) == 0) waitpid(pid, nullptr, 0);
    }
    void send(std::string command) { EXPECT_GT(write(input, (command + "\n").data(), command.size() + 1), 0); }
};

// The form is frontmost: tests beside this one move the real focus as they please.
struct FormInFront final : DesktopSession {
    std::int32_t pid;
    explicit FormInFront(std::int32_t p) : pid(p) {}
    std::vector<RunningApplication> runningApplications() override { return {{pid, "accessible_form", "Form", false, true}}; }
};

struct Rig {
    Form form;
    FormInFront session{form.pid};
    A11yBusPermission permission;
    AtspiAccessibilityTree tree{session, permission};
    FakeClock clock;
    ManualScheduler scheduler{clock};
    ActivityEventBus bus;
    AccessibilityMonitor monitor{bus, scheduler, clock, tree, getpid()};
    std::vector<std::string> lines;
    Rig() { bus.onEvent = [this](const ActivityEvent& e) { lines.push_back(eventLine(e)); }; }

    // Polls until `done`, for at most 15 s (the form starts slowly under the sanitizers).
    bool pollUntil(const std::function<bool()>& done, bool poll = true) {
        for (const auto end = std::chrono::steady_clock::now() + 15s; std::chrono::steady_clock::now() < end;
             std::this_thread::sleep_for(100ms)) {
            if (poll) monitor.poll();
            if (done()) return true;
        }
        return false;
    }
    bool saw(const std::string& line) { return std::find(lines.begin(), lines.end(), line) != lines.end(); }
};

}  // namespace

TEST(AccessibilityDesktopTest, PermissionIsTheSessionsAccessibilitySwitch) {
    for (const auto& address : {std::optional<std::string>{}, std::optional<std::string>{"unix:path=/nonexistent/bus"}}) {
        A11yBusPermission permission(address);
        EXPECT_FALSE(permission.isGranted());
        EXPECT_FALSE(permission.request());
    }
    EXPECT_EQ(A11yBusPermission::sessionBusAddress("unix:abstract=x", "/run/user/1"), "unix:abstract=x");
    EXPECT_EQ(A11yBusPermission::sessionBusAddress(nullptr, "/nonexistent"), std::nullopt);
    if (!std::getenv("VELMORA_DESKTOP")) GTEST_SKIP() << "needs scripts/with-desktop.sh";
    A11yBusPermission permission;
    EXPECT_TRUE(permission.isGranted());
    EXPECT_TRUE(permission.request());
}

TEST(AccessibilityDesktopTest, ReadsARealWindowItsDialogAndSurvivesAHang) {
    if (!std::getenv("VELMORA_DESKTOP")) GTEST_SKIP() << "needs scripts/with-desktop.sh";
    Rig rig;
    ASSERT_GT(rig.form.pid, 0);
    // Qt may publish the window before its tabs: wait for the whole form before the first poll.
    ASSERT_TRUE(rig.pollUntil(
        [&] { return rig.monitor.visibleTabSummary(rig.tree.applicationElement(rig.form.pid)) == "3 tabs visible"; },
        false));
    rig.monitor.poll();
    EXPECT_EQ(rig.lines, (std::vector<std::string>{"pageNavigated|Velmora accessible form|example.org/path|-|url_change",
                                                   "windowOpened|Velmora accessible form|example.org/path|3 tabs visible|-"}));
    EXPECT_EQ(rig.bus.events().back().app->pids, std::vector<std::int32_t>{rig.form.pid});

    const std::string dialog = "dialogAppeared|Velmora dialog|-|AXDialog|-";
    rig.form.send("dialog");
    EXPECT_TRUE(rig.pollUntil([&] { return rig.saw(dialog); }));
    EXPECT_TRUE(rig.saw("titleChanged|Velmora dialog|example.org/path|-|-"));
    rig.form.send("close");  // and opened again: reported again
    EXPECT_TRUE(rig.pollUntil([&] { return rig.monitor.lastWindowTitle() == "Velmora accessible form"; }));
    rig.lines.clear();
    rig.form.send("dialog");
    EXPECT_TRUE(rig.pollUntil([&] { return rig.saw(dialog); }));

    // A stopped app: without a short call timeout one read would wait 25 s.
    ASSERT_EQ(kill(rig.form.pid, SIGSTOP), 0);
    const auto published = rig.bus.events().size();
    const auto begin = std::chrono::steady_clock::now();
    for (int i = 0; i < 4; ++i) rig.monitor.poll();
    EXPECT_LT(std::chrono::steady_clock::now() - begin, 3s);
    EXPECT_EQ(rig.bus.events().size(), published);
}
