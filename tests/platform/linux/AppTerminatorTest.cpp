#include <gtest/gtest.h>

#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <memory>

#include "platform/linux/LinuxAppTerminator.h"
#include "platform/linux/ProcfsParsing.h"
#include "tests/engine/settings/StoreFiles.h"
#include "tests/fakes/FakeSources.h"

namespace velmora {
namespace {

// A child that keeps SIGTERM blocked, so a signal stays pending, and when asked tells whether
// one came ('T') or not ('n'), then exits.
class Witness {
public:
    Witness() {
        if (::pipe(ask_) != 0 || ::pipe(answer_) != 0) return;
        sigset_t term, old;
        sigemptyset(&term);
        sigaddset(&term, SIGTERM);
        ::sigprocmask(SIG_BLOCK, &term, &old);  // blocked before the fork: no signal slips past
        pid_ = ::fork();
        if (pid_ == 0) {
            char c = 0;
            sigset_t pending;
            const bool asked = ::read(ask_[0], &c, 1) == 1 && ::sigpending(&pending) == 0;
            const char reply = asked && sigismember(&pending, SIGTERM) ? 'T' : 'n';
            ::_exit(::write(answer_[1], &reply, 1) == 1 ? 0 : 1);
        }
        ::sigprocmask(SIG_SETMASK, &old, nullptr);
    }
    ~Witness() {
        if (pid_ > 0 && !reaped_) ::kill(pid_, SIGKILL), ::waitpid(pid_, nullptr, 0);
        for (int fd : {ask_[0], ask_[1], answer_[0], answer_[1]}) ::close(fd);
    }
    pid_t pid() const { return pid_; }
    // Asks, reaps the child and gives its answer; '?' when it could not say.
    char signalled() {
        char reply = '?';
        if (::write(ask_[1], "?", 1) != 1 || ::read(answer_[0], &reply, 1) != 1) reply = '?';
        ::waitpid(pid_, nullptr, 0);
        reaped_ = true;
        return reply;
    }

private:
    int ask_[2] = {-1, -1}, answer_[2] = {-1, -1};
    pid_t pid_ = -1;
    bool reaped_ = false;
};

std::uint64_t startTimeOf(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    const auto fields = procfs::parseStat(std::string(std::istreambuf_iterator<char>(in), {}));
    return fields ? fields->startTime : 0;
}

// Runs `body` as the first process of a private pid namespace with its own /proc, where pids can
// be handed out again on purpose; gives its exit code, or 100 + the step that could not be set up.
int inPrivatePidNamespace(const std::function<int()>& body) {
    const int status = statusOfChild([&] {
        if (::unshare(CLONE_NEWPID | CLONE_NEWNS) != 0) return 101;
        const pid_t first = ::fork();
        if (first < 0) return 102;
        if (first == 0) {
            if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
                ::mount("proc", "/proc", "proc", MS_NOSUID | MS_NODEV | MS_NOEXEC, nullptr) != 0)
                ::_exit(103);
            ::_exit(body());
        }
        int inner = 0;
        ::waitpid(first, &inner, 0);
        return WIFEXITED(inner) ? WEXITSTATUS(inner) : 104;
    });
    return WIFEXITED(status) ? WEXITSTATUS(status) : 105;
}

// Quit reaches programs only through their windows: neither a process that took over a looked-up
// pid nor the looked-up process itself is ever signalled, even when no window can be asked.
TEST(AppTerminatorTest, NoProcessIsEverSignalled) {
    // Each step reports what it saw as its exit code: 0 is all well.
    const int outcome = inPrivatePidNamespace([] {
        FakeDesktopSession desktop;
        LinuxAppTerminator terminator(desktop, "");  // no display: no window can be asked to close
        auto looked = std::make_unique<Witness>();
        const pid_t pid = looked->pid();
        const std::uint64_t firstStart = startTimeOf(pid);
        desktop.apps = {{pid, std::string("org.example.Editor")}};
        if (!terminator.hasWindow(pid)) return 1;
        if (looked->signalled() != 'n') return 2;  // it exits
        // Another process takes the pid, started on a later clock tick than the first.
        std::unique_ptr<Witness> successor;
        for (int attempt = 0; attempt < 2000 && !successor; ++attempt) {
            std::ofstream("/proc/sys/kernel/ns_last_pid") << pid - 1;
            auto candidate = std::make_unique<Witness>();
            if (candidate->pid() != pid) return 3;
            if (startTimeOf(pid) != firstStart) successor = std::move(candidate);
            else ::usleep(1000);
        }
        if (!successor) return 4;
        if (terminator.closeWindows(pid)) return 5;
        if (successor->signalled() != 'n') return 6;

        // The process that was looked up, still running: with no window to ask, nothing happens.
        Witness asked;
        desktop.apps = {{asked.pid(), std::string("org.example.Editor")}};
        if (!terminator.hasWindow(asked.pid())) return 7;
        if (terminator.closeWindows(asked.pid())) return 8;
        return asked.signalled() == 'n' ? 0 : 9;
    });
    const std::map<int, const char*> meaning = {
        {1, "the first child was not found"}, {3, "the pid was not handed out again"},
        {4, "no later clock tick"}, {5, "terminate reported success for the new process"},
        {6, "the new process got SIGTERM"}, {7, "the looked-up process's window was not seen"},
        {8, "closing reported success without a window"}, {9, "the looked-up process got SIGTERM"}, {101, "no private pid namespace (needs root)"},
        {103, "could not mount a private /proc"},
    };
    EXPECT_EQ(outcome, 0) << (meaning.contains(outcome) ? meaning.at(outcome) : "");
}

}  // namespace
}  // namespace velmora
