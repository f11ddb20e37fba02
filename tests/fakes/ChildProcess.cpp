#include "tests/fakes/ChildProcess.h"

#include "tests/fakes/MemoryHogLoop.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <random>
#include <string>

namespace velmora {

ChildProcess::ChildProcess() {
    // Each child runs the memory-hog program under a name of its own (a hard link removed once the
    // child runs), so it is an app of its own: apart from the test's process and from other children.
    static int made = 0;
    const std::string program = VELMORA_MEMORY_HOG;
    // The pid alone is no unique name: tests in pid namespaces of their own all run as pid 1. A
    // name taken would leave the child a fork of this process, sharing its memory copy-on-write.
    const std::string name = program + "-" + std::to_string(getpid()) + "-" + std::to_string(++made) + "-" +
                             std::to_string(std::random_device{}());
    const bool linked = link(program.c_str(), name.c_str()) == 0;

    int sockets[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sockets) != 0) return;
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent) _exit(1);
        close(sockets[0]);
        if (linked && dup2(sockets[1], 3) == 3 && fcntl(3, F_SETFD, 0) == 0) {
            char* const argv[] = {const_cast<char*>("memory-hog"), const_cast<char*>("3"), nullptr};
            execv(name.c_str(), argv);
        }
        memoryhog::childLoop(sockets[1]);
    }
    close(sockets[1]);
    char ready = 0;
    const bool started = pid > 0 && memoryhog::readAll(sockets[0], &ready, 1);
    if (linked) unlink(name.c_str());
    if (!started) {
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
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
    const memoryhog::Command c{op, argument};
    char reply = 0;
    return memoryhog::writeAll(socket_, &c, sizeof c) && memoryhog::readAll(socket_, &reply, 1) && reply == 1;
}

bool ChildProcess::allocate(std::size_t mebibytes) { return command('a', mebibytes); }

bool ChildProcess::allocateShared(std::size_t mebibytes) { return command('s', mebibytes); }

bool ChildProcess::mapShared(int fd) { return fd >= 0 && command('f', static_cast<std::size_t>(fd)); }

bool ChildProcess::release() { return command('r', 0); }

bool ChildProcess::forkChildren(std::size_t count) { return command('k', count); }

bool ChildProcess::childrenAllocate(std::size_t mebibytes) { return command('w', mebibytes); }

bool ChildProcess::childrenRelease() { return command('u', 0); }

bool ChildProcess::childrenReadInherited(std::size_t skipped) { return command('j', skipped); }
bool ChildProcess::childrenReadInheritedParts() { return command('J', 0); }
bool ChildProcess::childrenUnmapInherited() { return command('o', 0); }

bool ChildProcess::rewrite() { return command('t', 0); }

bool ChildProcess::rewriteNext(std::size_t mebibytes) { return command('T', mebibytes); }

bool ChildProcess::childrenRewriteNext(std::size_t mebibytes) { return command('W', mebibytes); }

bool ChildProcess::unmapSharedBeyond(std::size_t mebibytes) { return command('d', mebibytes); }

bool ChildProcess::leaveLastChild(std::size_t before) { return command('l', before); }

bool ChildProcess::lastChildServes(std::size_t mebibytes) { return command('c', mebibytes); }

bool ChildProcess::exitLastChild() { return command('z', 0); }

bool ChildProcess::replaceLastChild() { return command('p', 0); }

bool ChildProcess::endChildren() { return command('e', 0); }

bool ChildProcess::exit() {
    if (!running_) return false;
    const memoryhog::Command c{'x', 0};
    memoryhog::writeAll(socket_, &c, sizeof c);
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    running_ = false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace velmora
