// Who a process is, read from the real /proc.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

#include "engine/sampling/ProcessEnumerator.h"
#include "engine/sampling/ProcessGrouper.h"
#include "platform/linux/ProcfsProcessSource.h"
#include "tests/fakes/FakeSources.h"

namespace velmora {
namespace {

// A sealed memfd holding a copy of `program`; -1 when it cannot be made.
int sealedCopyOf(const char* program, const char* name) {
    const int source = open(program, O_RDONLY | O_CLOEXEC);
    if (source < 0) return -1;
    struct stat st {};
    const int fd = fstat(source, &st) == 0 ? memfd_create(name, MFD_ALLOW_SEALING | MFD_CLOEXEC) : -1;
    off_t offset = 0;
    while (fd >= 0 && offset < st.st_size)
        if (sendfile(fd, source, &offset, static_cast<std::size_t>(st.st_size - offset)) <= 0) break;
    close(source);
    if (fd < 0) return -1;
    if (offset != st.st_size || fcntl(fd, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// The shell run from a sealed memfd, under `argv0`, running `script` and then waiting until its
// input closes. Once started, it has run the script and answered.
class MemfdShell {
public:
    MemfdShell(const char* argv0, const std::string& script) {
        const int memfd = sealedCopyOf("/bin/sh", "sealed-91173221a7ea");
        int ready[2], hold[2];
        if (memfd < 0 || pipe2(ready, O_CLOEXEC) != 0) return;
        if (pipe2(hold, O_CLOEXEC) != 0) return;
        const std::string body = script + "; echo ready; read line";
        pid_ = fork();
        if (pid_ == 0) {
            dup2(hold[0], STDIN_FILENO);
            dup2(ready[1], STDOUT_FILENO);
            char* const argv[] = {const_cast<char*>(argv0), const_cast<char*>("-c"), const_cast<char*>(body.c_str()),
                                  nullptr};
            char* const environment[] = {nullptr};
            fexecve(memfd, argv, environment);
            _exit(127);
        }
        close(memfd);
        close(ready[1]);
        close(hold[0]);
        hold_ = hold[1];
        char answer[6] = {};
        started_ = pid_ > 0 && read(ready[0], answer, 5) == 5 && std::string(answer) == "ready";
        close(ready[0]);
    }
    ~MemfdShell() {
        if (hold_ >= 0) close(hold_);
        if (pid_ > 0) waitpid(pid_, nullptr, 0);
    }
    pid_t pid() const { return pid_; }
    bool started() const { return started_; }

private:
    pid_t pid_ = -1;
    int hold_ = -1;
    bool started_ = false;
};

// A program run from a memfd has no file of its own: its executable link reads
// "/memfd:NAME (deleted)", and the kernel names it after the memfd (or, on older kernels, after the
// descriptor's number). It is named by the name it gave itself, else the one it was started under.
TEST(ProcfsIdentityTest, ProgramRunFromASealedMemfdIsNamedByItsCommandNotByTheMemfd) {
    struct Case {
        const char* argv0;
        std::string script;
        std::string name;
    };
    const Case cases[] = {
        {"/opt/example/sealed-runner", ":", "sealed-runner"},
        {"sealed-runner", "printf busy-worker > /proc/self/comm", "busy-worker"},
    };
    for (const auto& c : cases) {
        const MemfdShell shell(c.argv0, c.script);
        ASSERT_TRUE(shell.started()) << c.name;
        ProcfsProcessSource procfs;
        FakeProcessSource source;
        source.processes = procfs.readProcesses();
        const auto it = std::ranges::find(source.processes, shell.pid(), &ProcessReading::pid);
        ASSERT_NE(it, source.processes.end()) << c.name;
        EXPECT_EQ(it->executablePath, std::nullopt) << c.name;

        FakeDesktopSession desktop;
        const auto groups = ProcessGrouper::group(ProcessEnumerator::enumerate(source, desktop), true,
                                                  SelfProcess{getpid(), std::nullopt});
        const auto group = std::ranges::find_if(groups, [&](const auto& g) {
            return std::ranges::find(g.identity.pids, shell.pid()) != g.identity.pids.end();
        });
        ASSERT_NE(group, groups.end()) << c.name;
        EXPECT_EQ(std::tie(group->identity.groupingKey, group->identity.displayName),
                  std::tuple("name:" + c.name, c.name));
    }
}

}  // namespace
}  // namespace velmora
