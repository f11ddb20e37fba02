// The sampler tick beside processes that share memory the way a browser's do: a group of children
// each maps and touches one large memfd; one of them maps a new shared region of its own before
// every pass and unmaps the one before (a tab drawing), and every few passes the oldest sharer
// exits and a new one starts. Printed beside a floor measured in the same run (one pread of each
// process's statm), in turn as in sampler_tick, with the number of smaps_rollup reads a pass
// (a pass a second in the application).
#include <benchmark/benchmark.h>

#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "bench/SamplingRig.h"
#include "engine/sampling/MemorySampler.h"
#include "platform/linux/LinuxMemorySource.h"
#include "platform/linux/ProcfsProcessSource.h"
#include "platform/linux/X11DesktopSession.h"

using namespace velmora;

namespace {

constexpr std::size_t MiB = 1u << 20;
constexpr std::size_t sharedBytes = 256 * MiB;
constexpr int sharers = 12;
// One sharer exits and another starts every this many passes.
constexpr int churnPeriod = 5;

void touch(void* p, std::size_t bytes) {
    for (std::size_t at = 0; at < bytes; at += 4096) static_cast<volatile char*>(p)[at] = 1;
}

bool readByte(int fd) {
    char c = 0;
    return read(fd, &c, 1) == 1;
}

// A child that maps and touches the shared memfd, says so on `ready`, then runs `then`. Only
// async-signal-safe calls in the child.
template <class Then>
pid_t forkSharer(int memfd, int ready, Then then) {
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid != 0) return pid;
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(0);
    void* p = mmap(nullptr, sharedBytes, PROT_READ | PROT_WRITE, MAP_SHARED, memfd, 0);
    if (p == MAP_FAILED) _exit(1);
    touch(p, sharedBytes);
    const char c = 1;
    if (write(ready, &c, 1) != 1) _exit(1);
    then();
    _exit(0);
}

// The group and its drawing member, driven a pass at a time.
class SharingGroup {
public:
    SharingGroup() {
        memfd_ = memfd_create("bench-shared", MFD_CLOEXEC);
        if (memfd_ < 0 || ftruncate(memfd_, sharedBytes) != 0 || pipe(ready_) != 0 || pipe(commands_) != 0) return;
        const int commands = commands_[0], ready = ready_[1];
        drawer_ = forkSharer(memfd_, ready_[1], [commands, ready] {
            // Before each pass: unmap the last region, map and touch a new one of another size.
            void* region = nullptr;
            std::size_t bytes = 0, step = 0;
            char c = 0;
            while (read(commands, &c, 1) == 1) {
                if (region) munmap(region, bytes);
                bytes = (4 + 4 * (step++ % 4)) * MiB;
                const int fd = memfd_create("bench-drawing", MFD_CLOEXEC);
                region = fd >= 0 && ftruncate(fd, static_cast<off_t>(bytes)) == 0
                             ? mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0)
                             : MAP_FAILED;
                if (fd >= 0) close(fd);
                if (region == MAP_FAILED) _exit(1);
                touch(region, bytes);
                if (write(ready, &c, 1) != 1) _exit(1);
            }
        });
        if (drawer_ > 0 && readByte(ready_[0]))
            for (int i = 0; i < sharers; ++i) startSharer();
    }
    ~SharingGroup() {
        for (const pid_t pid : members()) kill(pid, SIGKILL);
        for (const pid_t pid : members()) waitpid(pid, nullptr, 0);
        for (const int fd : {memfd_, ready_[0], ready_[1], commands_[0], commands_[1]})
            if (fd >= 0) close(fd);
    }
    bool running() const { return drawer_ > 0 && sharers_.size() == static_cast<std::size_t>(sharers); }

    // What happens between two passes.
    bool step() {
        if (++steps_ % churnPeriod == 0) {
            kill(sharers_.front(), SIGKILL);
            waitpid(sharers_.front(), nullptr, 0);
            sharers_.pop_front();
            if (!startSharer()) return false;
        }
        const char c = 1;
        return write(commands_[1], &c, 1) == 1 && readByte(ready_[0]);
    }

private:
    bool startSharer() {
        const pid_t pid = forkSharer(memfd_, ready_[1], [] {
            for (;;) pause();
        });
        if (pid <= 0 || !readByte(ready_[0])) return false;
        sharers_.push_back(pid);
        return true;
    }
    std::vector<pid_t> members() const {
        std::vector<pid_t> all(sharers_.begin(), sharers_.end());
        if (drawer_ > 0) all.push_back(drawer_);
        return all;
    }

    int memfd_ = -1;
    int ready_[2] = {-1, -1};
    int commands_[2] = {-1, -1};
    pid_t drawer_ = -1;
    std::deque<pid_t> sharers_;
    int steps_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    SharingGroup group;
    if (!group.running()) {
        std::printf("the sharing processes did not start\n");
        return 1;
    }
    Sampling sampling;
    for (int i = 0; i < 10; ++i) {
        if (!group.step()) return 1;
        sampling.tick();
    }

    // Rounds of passes; before each, the group moves; then a tick and a floor pass, which first
    // alternating. The floor's descriptors are opened afresh each round, for the processes now running.
    const char* roundsText = std::getenv("VELMORA_BENCH_ROUNDS");
    const int rounds = roundsText ? std::max(1, std::atoi(roundsText)) : 12;
    constexpr int passes = 20;
    std::vector<double> ratios;
    double floorSum = 0, tickSum = 0;
    const std::uint64_t readsBefore = sampling.processes.shareReads();
    for (int round = 0; round < rounds; ++round) {
        const std::vector<int> fds = openStatms();
        double floorCpu = 0, tickCpu = 0;
        for (int pass = 0; pass < passes; ++pass) {
            if (!group.step()) return 1;
            const auto floorOnce = [&] { floorCpu += timeOf([&] { floorPass(fds); }).first; };
            const auto tickOnce = [&] { tickCpu += timeOf([&] { sampling.tick(); }).first; };
            inTurn(pass, tickOnce, floorOnce);
        }
        closeAll(fds);
        ratios.push_back(tickCpu / floorCpu);
        floorSum += floorCpu / passes;
        tickSum += tickCpu / passes;
    }
    const double reads = static_cast<double>(sampling.processes.shareReads() - readsBefore) / (rounds * passes);
    const auto [lowest, highest] = std::minmax_element(ratios.begin(), ratios.end());
    std::printf("%d processes share a %zu MiB memfd; one maps a new region before every pass, one exits and another "
                "starts every %d passes\n",
                sharers + 1, sharedBytes / MiB, churnPeriod);
    std::printf("%d rounds of %d passes: floor %.0f us, tick %.0f us a pass (processor time)\n", rounds, passes,
                floorSum / rounds * 1e6, tickSum / rounds * 1e6);
    std::printf("tick / floor ratio: %.2f (median of rounds; rounds %.2f to %.2f)\n", median(ratios), *lowest,
                *highest);
    std::printf("smaps_rollup reads: %.2f a pass (a pass a second)\n", reads);
    benchmark::Shutdown();
    return 0;
}
