// Helper of bench/fd_limit_share.sh, no benchmark of its own: forks `count` processes, each of
// which maps 1 MiB of shared anonymous memory and, once a second, touches all of it or lets it
// go, so that the shared count in each one's statm moves every second, as in a busy program.
// The children are spread over the second; they end with this process (SIGTERM or SIGINT).
//   shared_movers count
#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <charconv>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

constexpr std::size_t regionBytes = 1u << 20;

[[noreturn]] void moveForever(int index, pid_t parent) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(0);
    auto* region = static_cast<volatile char*>(
        mmap(nullptr, regionBytes, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));
    if (region == MAP_FAILED) _exit(1);
    usleep(static_cast<useconds_t>(index * 7919 % 1000) * 1000);
    for (bool touch = true;; touch = !touch) {
        if (touch) {
            for (std::size_t at = 0; at < regionBytes; at += 4096) region[at] = 1;
        } else {
            madvise(const_cast<char*>(region), regionBytes, MADV_DONTNEED);
        }
        sleep(1);
    }
}

}  // namespace

int main(int argc, char** argv) {
    int count = 0;
    const char* text = argc == 2 ? argv[1] : "";
    const auto [end, error] = std::from_chars(text, text + std::strlen(text), count);
    if (error != std::errc() || *end != '\0' || count < 1) {
        std::fprintf(stderr, "usage: shared_movers count\n");
        return 2;
    }
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGTERM);
    sigaddset(&stop, SIGINT);
    sigprocmask(SIG_BLOCK, &stop, nullptr);
    const pid_t self = getpid();
    std::vector<pid_t> children;
    for (int i = 0; i < count; ++i) {
        const pid_t pid = fork();
        if (pid == 0) {
            sigprocmask(SIG_UNBLOCK, &stop, nullptr);
            moveForever(i, self);
        }
        if (pid > 0) children.push_back(pid);
    }
    int signal = 0;
    sigwait(&stop, &signal);
    for (const pid_t pid : children) kill(pid, SIGKILL);
    for (const pid_t pid : children) waitpid(pid, nullptr, 0);
    return 0;
}
