#include "tests/fakes/ChildProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace velmora {

namespace {

bool readAll(int fd, void* data, std::size_t size) {
    auto* p = static_cast<char*>(data);
    while (size > 0) {
        const ssize_t n = read(fd, p, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// A socket rather than a pipe, so writing to a dead child fails instead of raising SIGPIPE.
bool writeAll(int fd, const void* data, std::size_t size) {
    const auto* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = send(fd, p, size, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

struct Command {
    char op;
    std::size_t argument;
};

// Runs in the forked child: only async-signal-safe calls (no malloc), as the parent may have threads.
[[noreturn]] void childLoop(int fd) {
    constexpr std::size_t maxRegions = 256;
    void* regions[maxRegions];
    std::size_t sizes[maxRegions];
    std::size_t count = 0;
    const long page = sysconf(_SC_PAGESIZE);
    Command c{};
    while (readAll(fd, &c, sizeof c)) {
        char reply = 1;
        if (c.op == 'a') {
            const std::size_t bytes = c.argument << 20;
            void* p = count < maxRegions ? mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0)
                                         : MAP_FAILED;
            if (p == MAP_FAILED) {
                reply = 0;
            } else {
                // Touch every page with non-zero data so each one is really resident.
                for (std::size_t off = 0; off < bytes; off += static_cast<std::size_t>(page))
                    static_cast<volatile char*>(p)[off] = 1;
                regions[count] = p;
                sizes[count] = bytes;
                ++count;
            }
        } else if (c.op == 'r') {
            for (std::size_t i = 0; i < count; ++i) munmap(regions[i], sizes[i]);
            count = 0;
        } else if (c.op == 'x') {
            _exit(0);
        }
        if (!writeAll(fd, &reply, 1)) break;
    }
    _exit(0);
}

}  // namespace

ChildProcess::ChildProcess() {
    int sockets[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sockets) != 0) return;
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent) _exit(1);
        close(sockets[0]);
        childLoop(sockets[1]);
    }
    close(sockets[1]);
    if (pid < 0) {
        close(sockets[0]);
        return;
    }
    pid_ = pid;
    socket_ = sockets[0];
    running_ = true;
}

ChildProcess::~ChildProcess() {
    if (running_) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    if (socket_ >= 0) close(socket_);
}

bool ChildProcess::command(char op, std::size_t argument) {
    if (!running_) return false;
    const Command c{op, argument};
    char reply = 0;
    return writeAll(socket_, &c, sizeof c) && readAll(socket_, &reply, 1) && reply == 1;
}

bool ChildProcess::allocate(std::size_t mebibytes) { return command('a', mebibytes); }

bool ChildProcess::release() { return command('r', 0); }

bool ChildProcess::exit() {
    if (!running_) return false;
    const Command c{'x', 0};
    writeAll(socket_, &c, sizeof c);
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    running_ = false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace velmora
