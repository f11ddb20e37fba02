// Velmora's footprint of an app beside an independent reading: the kernel's proportional sums
// (Pss_Anon + SwapPss + Pss_Shmem in smaps_rollup) over the same processes. Also the sum that
// counts every resident anonymous page whole in each process that maps it (RssAnon + VmSwap +
// Pss_Shmem), which is what a fork without exec inflates.
//   cow_truth SECONDS PID [PID...]
// Samples once a second for SECONDS, as the application does, then prints one line for the app
// holding each PID, and the walks of address spaces the samples took.
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "bench/SamplingRig.h"
#include "platform/linux/ProcfsParsing.h"

using namespace velmora;

namespace {

std::string slurp(const std::string& path) {
    std::ifstream in(path);
    return {std::istreambuf_iterator<char>(in), {}};
}

std::uint64_t field(const std::string& text, const char* key) { return procfs::kilobyteField(text, key).value_or(0); }

double mib(std::uint64_t bytes) { return static_cast<double>(bytes) / (1 << 20); }

// This thread's run time so far, in nanoseconds, as the scheduler counts it.
std::uint64_t runNanoseconds() {
    std::ifstream in("/proc/thread-self/schedstat");
    std::uint64_t ns = 0;
    in >> ns;
    return ns;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s SECONDS PID [PID...]\n", argv[0]);
        return 2;
    }
    const int seconds = std::atoi(argv[1]);
    Sampling sampling;
    sampling.tick();
    const std::uint64_t afterFirst = runNanoseconds();
    for (int i = 0; i < seconds; ++i) {
        sleep(1);
        sampling.tick();
    }
    bool within = true;
    for (int a = 2; a < argc; ++a) {
        const std::int32_t pid = std::atoi(argv[a]);
        const AppMemorySnapshot* app = nullptr;
        for (const auto& s : sampling.sampler.appSnapshots())
            for (const std::int32_t p : s.identity.pids)
                if (p == pid) app = &s;
        if (!app) {
            std::printf("pid %d: in no app\n", pid);
            within = false;
            continue;
        }
        std::uint64_t proportional = 0, whole = 0;
        for (const std::int32_t p : app->identity.pids) {
            const std::string folder = "/proc/" + std::to_string(p) + "/";
            const std::string rollup = slurp(folder + "smaps_rollup"), status = slurp(folder + "status");
            proportional += field(rollup, "Pss_Anon") + field(rollup, "SwapPss") + field(rollup, "Pss_Shmem");
            whole += field(status, "RssAnon") + field(status, "VmSwap") + field(rollup, "Pss_Shmem");
        }
        const double off = std::fabs(mib(app->footprintBytes) - mib(proportional));
        const bool ok = off <= 16.0 || off <= 0.02 * mib(proportional);
        within = within && ok;
        std::printf("%s (%zu processes): Velmora %.1f MiB, proportional sum %.1f MiB, off %.1f MiB (%.2f %%) %s; "
                    "each page counted whole in every process: %.1f MiB\n",
                    app->identity.displayName.c_str(), app->identity.pids.size(), mib(app->footprintBytes),
                    mib(proportional), off, proportional ? 100.0 * off / mib(proportional) : 0.0,
                    ok ? "within 2 % or 16 MiB" : "OUTSIDE 2 % and 16 MiB", mib(whole));
    }
    std::printf("smaps_rollup walks over %d samples: %llu for shared memory, %llu for copy-on-write\n", seconds + 1,
                static_cast<unsigned long long>(sampling.processes.shareReads()),
                static_cast<unsigned long long>(sampling.processes.copyReads()));
    // The sampling's own run time, from the scheduler, the first sample (every process new) apart.
    std::printf("sampling run time: %.3f ms a sample after the first\n",
                static_cast<double>(runNanoseconds() - afterFirst) / 1e6 / seconds);
    return within ? 0 : 1;
}
