#include <gtest/gtest.h>

#include <fcntl.h>
#include <sched.h>
#include <sys/mman.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <chrono>
#include <cmath>
#include <future>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <thread>

#include "platform/linux/ProcfsParsing.h"
#include "platform/linux/ProcfsProcessSource.h"
#include "tests/fakes/ChildProcess.h"
#include "tests/fakes/TempDir.h"

using namespace velmora;
using namespace velmora::procfs;

namespace {

std::string statLine(const std::string& comm) {
    return "4321 (" + comm + ") S 77 4321 4321 0 -1 2097216 1000 0 0 0 12 3 0 0 20 0 1 0 987654 123456789 2000 "
                             "18446744073709551615 1 1 0 0 0 0 0 0 0 0 0 0 17 3 0 0\n";
}

std::optional<ProcessReading> find(const std::vector<ProcessReading>& list, int pid) {
    const auto it = std::ranges::find(list, pid, &ProcessReading::pid);
    return it == list.end() ? std::nullopt : std::optional(*it);
}

std::string slurp(const std::string& path) {
    std::ifstream in(path);
    return {std::istreambuf_iterator<char>(in), {}};
}

// Descriptors of this process open on files of process `pid`.
std::ptrdiff_t descriptorsInto(pid_t pid) {
    const std::string prefix = "/proc/" + std::to_string(pid) + "/";
    std::error_code error;
    return std::ranges::count_if(std::filesystem::directory_iterator("/proc/self/fd"), [&](const auto& fd) {
        return std::filesystem::read_symlink(fd.path(), error).string().starts_with(prefix);
    });
}

// Names of the files of process `pid` this process holds open, one per descriptor.
std::multiset<std::string> filesKeptOf(pid_t pid) {
    const std::string prefix = "/proc/" + std::to_string(pid) + "/";
    std::multiset<std::string> out;
    std::error_code error;
    for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd")) {
        const std::string target = std::filesystem::read_symlink(fd.path(), error).string();
        if (!error && target.starts_with(prefix)) out.insert(target.substr(prefix.size()));
    }
    return out;
}

// The footprint read the long way, with nothing kept: the kernel's proportional sums of anonymous,
// swapped and shared anonymous memory in smaps_rollup.
std::uint64_t footprintReadWhole(pid_t pid) {
    const std::string rollup = slurp("/proc/" + std::to_string(pid) + "/smaps_rollup");
    return kilobyteField(rollup, "Pss_Anon").value_or(0) + kilobyteField(rollup, "SwapPss").value_or(0) +
           kilobyteField(rollup, "Pss_Shmem").value_or(0);
}

// The source's reading of `pid` equals the footprint read the long way.
bool exactReading(const std::vector<ProcessReading>& list, pid_t pid) {
    const auto reading = find(list, pid);
    return reading && reading->footprintBytes == footprintReadWhole(pid);
}

// A memfd of `bytes`, closed with the test; fd is -1 when it could not be made.
struct SizedMemfd {
    int fd;
    SizedMemfd(const char* name, std::size_t bytes) : fd(memfd_create(name, MFD_CLOEXEC)) {
        if (fd >= 0 && ftruncate(fd, static_cast<off_t>(bytes)) != 0) {
            close(fd);
            fd = -1;
        }
    }
    ~SizedMemfd() {
        if (fd >= 0) close(fd);
    }
    SizedMemfd(const SizedMemfd&) = delete;
    SizedMemfd& operator=(const SizedMemfd&) = delete;
};

template <class Done>
bool waitUntil(Done done) {
    for (int i = 0; i < 2000 && !done(); ++i) usleep(1000);
    return done();
}

// Forks a child that runs `first`, waits until the returned descriptor is closed, then runs `then`.
template <class First, class Then>
std::pair<pid_t, int> forkGated(First first, Then then) {
    int gate[2];
    if (pipe(gate) != 0) return {-1, -1};
    const pid_t pid = fork();
    if (pid == 0) {
        close(gate[1]);
        first();
        char c;
        (void)!read(gate[0], &c, 1);
        then();
        _exit(0);
    }
    close(gate[0]);
    return {pid, gate[1]};
}

// Runs `body` as the first process of a private pid namespace with its own /proc, where a source
// sees the test's own processes and no others: on a busy machine, other programs' shared memory
// would add reads to the counts the tests hold. Failures inside print as they happen, and fail the
// test here too.
void runWithOnlyItsOwnProcesses(const std::function<void()>& body) {
    std::fflush(stdout);  // nothing buffered is printed twice
    const pid_t outer = fork();
    ASSERT_GE(outer, 0) << "could not fork";
    if (outer == 0) {
        if (unshare(CLONE_NEWPID | CLONE_NEWNS) != 0) _exit(101);
        const pid_t first = fork();
        if (first < 0) _exit(102);
        if (first == 0) {
            if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
                mount("proc", "/proc", "proc", MS_NOSUID | MS_NODEV | MS_NOEXEC, nullptr) != 0)
                _exit(103);
            body();
            std::fflush(stdout);
            _exit(::testing::Test::HasFailure() ? 1 : 0);
        }
        int status = 0;
        waitpid(first, &status, 0);
        _exit(WIFEXITED(status) ? WEXITSTATUS(status) : 104);
    }
    int status = 0;
    waitpid(outer, &status, 0);
    const int code = WIFEXITED(status) ? WEXITSTATUS(status) : 105;
    const std::map<int, const char*> meaning = {{1, "failed in its own pid namespace (see above)"},
                                                {101, "no private pid namespace (needs root)"},
                                                {103, "could not mount a private /proc"},
                                                {104, "ended by a signal in its own pid namespace"}};
    EXPECT_EQ(code, 0) << (meaning.contains(code) ? meaning.at(code) : "");
}

// Like fork, but the parent is sent no signal at its exit (exit_signal 0): a process all the same.
template <class Body>
pid_t forkWithoutExitSignal(Body body) {
    const long pid = syscall(SYS_clone, 0L, nullptr, nullptr, nullptr, 0L);
    if (pid == 0) body(), _exit(0);
    return static_cast<pid_t>(pid);
}

// Pid, names, parent and start time of each process listed: with footprints aside, what a source
// listing /proc afresh reads too.
using Identity = std::tuple<std::int32_t, std::optional<std::string>, std::optional<std::string>,
                            std::optional<std::int32_t>, std::optional<std::uint64_t>, std::optional<std::string>,
                            std::optional<std::string>>;
std::vector<Identity> identitiesOf(const std::vector<ProcessReading>& list) {
    std::vector<Identity> out;
    for (const auto& r : list)
        out.emplace_back(r.pid, r.shortName, r.executablePath, r.parentPid, r.startTime, r.launchName,
                         r.launchedDesktopFile);
    return out;
}
std::vector<Identity> freshIdentities() {
    ProcfsProcessSource fresh;
    return identitiesOf(fresh.readProcesses());
}

// Once `pid` runs as `comm`, the source reads it so, and every process as a fresh listing does.
void expectReadAs(ProcfsProcessSource& source, pid_t pid, const std::string& comm) {
    const std::string file = "/proc/" + std::to_string(pid) + "/comm";
    ASSERT_TRUE(waitUntil([&] { return slurp(file) == comm + "\n"; })) << comm;
    const auto list = source.readProcesses();
    ASSERT_TRUE(find(list, pid)) << comm;
    EXPECT_EQ(find(list, pid)->shortName, comm);
    EXPECT_EQ(identitiesOf(list), freshIdentities());
}

// The next pid of this pid namespace will be `pid`.
bool handOutNext(pid_t pid) {
    const int fd = open("/proc/sys/kernel/ns_last_pid", O_WRONLY | O_CLOEXEC);
    const std::string last = std::to_string(pid - 1);
    const bool written = fd >= 0 && write(fd, last.data(), last.size()) == static_cast<ssize_t>(last.size());
    if (fd >= 0) close(fd);
    return written;
}

// Starts a thread that waits until `release` is set; gives its id.
pid_t startThread(std::thread& thread, std::promise<void>& release) {
    std::promise<pid_t> tid;
    auto id = tid.get_future();
    thread = std::thread([tid = std::move(tid), done = release.get_future()]() mutable {
        tid.set_value(static_cast<pid_t>(gettid()));
        done.wait();
    });
    return id.get();
}

}  // namespace

TEST(ProcfsParsingTest, StatNameEndsAtTheLastParenthesisAndMalformedLinesAreRejected) {
    for (const std::string comm : {"bash", "Web Content", "a) b (c) d", "))", "", "x y z 1 2 3 4"}) {
        const auto f = parseStat(statLine(comm));
        ASSERT_TRUE(f) << comm;
        EXPECT_EQ(std::tie(f->comm, f->state, f->parentPid, f->minorFaults, f->startTime),
                  std::tuple(comm, 'S', 77, 1000u, 987654u));
        EXPECT_NE(f->flags & kernelThreadFlag, 0u);
    }
    const std::string good = statLine("ok");
    for (const std::string& bad : {std::string(), std::string("4321 bash S 1"), std::string("4321 (bash S 1 2 3"),
                                  good.substr(0, good.find(" 987654 ")), std::string("4321 (bash) S x 4321"),
                                  std::string(good).replace(good.find(" 1000 "), 6, " 1e3 "),
                                  std::string("4321 (bash) SS 1 4321 4321 0 -1 0 1 0 0 0 1 1 0 0 20 0 1 0 5")})
        EXPECT_FALSE(parseStat(bad)) << bad;
}

TEST(ProcfsParsingTest, StatExitSignalTellsAThreadAndIsNothingWhenCutShortOrMalformed) {
    const std::string leader = statLine("bash");
    const auto withSignal = [&](const char* signal) { return std::string(leader).replace(leader.rfind(" 17 "), 4, signal); };
    EXPECT_EQ(parseStat(leader).value_or(StatFields{}).exitSignal, 17);
    EXPECT_EQ(parseStat(withSignal(" -1 ")).value_or(StatFields{}).exitSignal, -1);
    for (const std::string& text : {leader.substr(0, leader.find(" 123456789 ")), leader.substr(0, leader.rfind(" 17 ")),
                                    withSignal(" x7 ")}) {
        const auto f = parseStat(text);
        ASSERT_TRUE(f) << text;  // what comes before still counts
        EXPECT_EQ(std::tuple(f->startTime, f->exitSignal), std::tuple(987654u, std::nullopt)) << text;
    }
}

TEST(ProcfsParsingTest, StatmStatusMeminfoAndPidFields) {
    const auto f = parseStatm("61234 25000 5000 300 0 40000 0\n");
    ASSERT_TRUE(f);
    EXPECT_EQ(anonymousBytes(*f, 4096), 20000u * 4096);
    EXPECT_EQ(f->text, 300u);
    // Shared briefly above resident must not wrap around to a huge footprint.
    EXPECT_EQ(anonymousBytes(StatmFields{10, 100, 101, 1}, 4096), 0u);
    for (const char* bad : {"", "1 2", "1 2 x 4 5 6 7", "-1 2 3 4 5 6 7"}) EXPECT_FALSE(parseStatm(bad)) << bad;
    // Digits are taken one by one: a field must end at a blank and fit 64 bits exactly.
    for (const char* bad : {"12x 2 3 4", "1 2 3 4x", "+1 2 3 4", "18446744073709551616 2 3 4", "1 2 3 99999999999999999999"})
        EXPECT_FALSE(parseStatm(bad)) << bad;
    const auto widest = parseStatm("18446744073709551615\t 00000000000000000000007  3 4");
    ASSERT_TRUE(widest);
    EXPECT_EQ(std::tie(widest->size, widest->resident, widest->shared, widest->text),
              std::tuple(18446744073709551615ull, 7ull, 3ull, 4ull));

    const std::string status = "Name:\tfirefox\nVmHWM:\t  300000 kB\nVmRSS:\t  250000 kB\nVmExe:\t 612 kB\n"
                               "RssAnon:\t  204800 kB\nVmSwapX:\t 1 kB\nVmSwap:\t    2048 kB\nThreads:\t77\nNSpid:\t31337\t2\n";
    const auto m = parseStatusMemory(status);
    EXPECT_EQ(m.rssAnon, 204800ull * 1024);
    EXPECT_EQ(std::tie(m.peakResident, m.resident), std::tuple(300000ull * 1024, 250000ull * 1024));
    EXPECT_EQ(m.swap, 2048ull * 1024);  // not VmSwapX
    EXPECT_EQ(kilobyteField(status, "Threads"), 77u);
    EXPECT_EQ(kilobyteField(status, "Rss"), std::nullopt);
    for (const char* bad : {"MemTotal: 1 MB\n", "MemTotal: x kB\n", "MemTotal: 18446744073709551615 kB\n", "MemTotal:"})
        EXPECT_EQ(kilobyteField(bad, "MemTotal"), std::nullopt) << bad;
    EXPECT_FALSE(parseStatusMemory("Name:\tdefunct\nState:\tZ (zombie)\n").swap);
    EXPECT_EQ(innermostPid(status), 2);
    EXPECT_EQ(innermostPid("NSpid:\t4242\n"), 4242);
    for (const char* bad : {"", "NSpid:\n", "NSpid:\t12 x\n", "Pid:\t5\n"}) EXPECT_EQ(innermostPid(bad), std::nullopt);
    EXPECT_EQ(parsePid("4194304"), 4194304);
    for (const char* bad : {"", "0", "self", "12a", "-3", "+3", "99999999999"}) EXPECT_FALSE(parsePid(bad)) << bad;
    EXPECT_EQ(parseLastPid("0.52 0.58 0.59 2/1203 567890\n"), 567890);
    for (const char* bad : {"", "0.52 0.58 0.59 2/1203", "0.52 0.58 0.59 21203 5\n", "0.5 0.5 0.5 2/12 x\n"})
        EXPECT_EQ(parseLastPid(bad), std::nullopt) << bad;
    const std::string rollup = "55d0-7ffd ---p 00000000 00:00 0  [rollup]\nRss:  1708 kB\nPss_Anon:  116 kB\n"
                               "Pss_Shmem:  8 kB\nShared_Dirty:  348 kB\nPrivate_Dirty:  100 kB\nAnonymous:  464 kB\n"
                               "Swap:  64 kB\nSwapPss:  16 kB\n";
    const auto r = parseRollup(rollup);
    EXPECT_EQ(std::tie(r.anonymous, r.pssAnon, r.swap, r.swapPss, r.pssShmem, r.privateDirty),
              std::tuple(464ull * 1024, 116ull * 1024, 64ull * 1024, 16ull * 1024, 8ull * 1024, 100ull * 1024));
    // Cut short, or from a kernel without the proportional fields: what is missing stays missing.
    const auto cut = parseRollup(rollup.substr(0, rollup.find("Pss_Anon:  11")));
    EXPECT_EQ(std::tie(cut.anonymous, cut.pssAnon, cut.swapPss), std::tuple(std::nullopt, std::nullopt, std::nullopt));
    EXPECT_FALSE(parseRollup("Pss_Anon:  x kB\nSwapPss: 1 MB\n").pssAnon || parseRollup("SwapPss: 1 MB\n").swapPss);
    EXPECT_EQ(stripDeletedSuffix("/usr/bin/app (deleted)"), "/usr/bin/app");
    EXPECT_EQ(stripDeletedSuffix(" (deleted)"), " (deleted)");
}

class ProcfsFootprintTest : public ::testing::TestWithParam<ProcfsProcessSource::SwapReading> {};

INSTANTIATE_TEST_SUITE_P(BothFiles, ProcfsFootprintTest,
                         ::testing::Values(ProcfsProcessSource::SwapReading::whenSwapInUse,
                                           ProcfsProcessSource::SwapReading::always));

TEST_P(ProcfsFootprintTest, NewChildFollowsItsMemoryAndIsSkippedOnceGoneWhileKernelThreadsStayOut) {
    const auto kthreadd = parseStat(slurp("/proc/2/stat"));  // the kernel's first thread outside containers
    const bool kernelThread = kthreadd && (kthreadd->flags & kernelThreadFlag);
    ProcfsProcessSource source(GetParam());
    EXPECT_EQ(find(source.readProcesses(), 2).has_value(), !kernelThread);
    // A child and a thread started between passes: the child shows, the thread does not.
    std::promise<pid_t> tid;
    std::promise<void> done;
    std::thread thread([&] {
        tid.set_value(static_cast<pid_t>(gettid()));
        done.get_future().wait();
    });
    const pid_t threadId = tid.get_future().get();
    ChildProcess child;
    ASSERT_TRUE(child.running());
    auto footprint = [&](bool expectListed = true) -> std::uint64_t {
        const auto list = source.readProcesses();
        EXPECT_FALSE(find(list, threadId));
        EXPECT_EQ(find(list, 2).has_value(), !kernelThread);
        const auto r = find(list, child.pid());
        EXPECT_EQ(r.has_value(), expectListed);
        EXPECT_TRUE(!r || r->parentPid == getpid());
        return r ? r->footprintBytes.value_or(0) : 0;
    };
    EXPECT_LT(footprint(), 60ull << 20);
    ASSERT_TRUE(child.allocate(64));
    EXPECT_GE(footprint(), 60ull << 20);
    ASSERT_TRUE(child.release());
    EXPECT_LT(footprint(), 60ull << 20);
    ASSERT_TRUE(child.allocateShared(300));  // shared anonymous memory is the child's too
    EXPECT_GE(footprint(), 250ull << 20);
    ASSERT_TRUE(child.release());
    EXPECT_LT(footprint(), 60ull << 20);
    EXPECT_GT(descriptorsInto(child.pid()), 0);  // kept open between passes
    ASSERT_TRUE(child.exit());
    footprint(false);
    EXPECT_EQ(descriptorsInto(child.pid()), 0);
    done.set_value();
    thread.join();
}

// Children whose memory changes step by step, each step read by the source and the long way. Two of
// them share one memfd: when one exits, the other's share doubles though nothing of its own moved,
// which the source reads again within 30 passes; what a process does itself shows at once. The
// children exec'd, so they share no anonymous memory with this busy process.
TEST_P(ProcfsFootprintTest, KeptReadingsEqualAFullReadAsChildrenChangeAndShareMemory) {
    ChildProcess hog;
    ChildProcess firstSharer;
    ChildProcess secondSharer;
    ASSERT_TRUE(hog.running() && firstSharer.running() && secondSharer.running());
    constexpr std::size_t sharedBytes = 32u << 20;
    {
        const SizedMemfd memfd("shared-by-two", sharedBytes);
        ASSERT_GE(memfd.fd, 0);
        ASSERT_TRUE(firstSharer.mapShared(memfd.fd) && secondSharer.mapShared(memfd.fd));
    }
    const pid_t first = firstSharer.pid(), second = secondSharer.pid();

    ProcfsProcessSource source(GetParam());
    struct Step {
        const char* what;
        std::function<bool()> change;
    };
    const std::vector<Step> steps = {
        {"start", [] { return true; }},
        {"64 MiB anonymous", [&] { return hog.allocate(64); }},
        {"48 MiB shared", [&] { return hog.allocateShared(48); }},
        {"16 MiB more anonymous", [&] { return hog.allocate(16); }},
        {"released", [&] { return hog.release(); }},
        {"the other sharer exits", [&] { return secondSharer.exit(); }},
        {"nothing moves", [] { return true; }},
    };
    std::uint64_t firstBefore = 0, firstAfter = 0;
    for (const Step& step : steps) {
        ASSERT_TRUE(step.change()) << step.what;
        auto list = source.readProcesses();
        EXPECT_TRUE(exactReading(list, hog.pid())) << step.what;
        for (int pass = 1;
             pass < 30 && !(exactReading(list, first) && (!find(list, second) || exactReading(list, second))); ++pass)
            list = source.readProcesses();
        for (const pid_t pid : {hog.pid(), first, second}) {
            const auto reading = find(list, pid);
            if (pid == second && !reading) continue;  // gone
            ASSERT_TRUE(reading && reading->footprintBytes) << step.what << ", pid " << pid;
            EXPECT_EQ(*reading->footprintBytes, footprintReadWhole(pid)) << step.what << ", pid " << pid;
        }
        (step.what == std::string("released") ? firstBefore : firstAfter) = *find(list, first)->footprintBytes;
    }
    EXPECT_EQ(firstAfter - firstBefore, 16u << 20);  // from half of the 32 MiB to all of it
}

// Sixteen processes share a memfd while another one maps and unmaps it every pass: each pass reads
// again the one that moved and only a few of the others, and within 30 passes of the last move
// every sharer shows its share again.
TEST_P(ProcfsFootprintTest, SharersOfAMovingRegionAreReadAgainInTurn) {
    runWithOnlyItsOwnProcesses([&] {
        ChildProcess mover;
        ASSERT_TRUE(mover.running());
        constexpr std::size_t sharedBytes = 32u << 20;
        const SizedMemfd memfd("shared-by-many", sharedBytes);
        ASSERT_GE(memfd.fd, 0);
        std::vector<std::unique_ptr<ChildProcess>> sharers;
        for (int i = 0; i < 16; ++i) {
            sharers.push_back(std::make_unique<ChildProcess>());
            ASSERT_TRUE(sharers.back()->mapShared(memfd.fd));
        }

        ProcfsProcessSource source(GetParam());
        source.readProcesses();
        const std::uint64_t readsBefore = source.shareReads();
        for (int pass = 0; pass < 9; ++pass) {  // ends mapped: each sharer's share is then 32 MiB in 17
            ASSERT_TRUE(pass % 2 ? mover.release() : mover.mapShared(memfd.fd));
            const auto list = source.readProcesses();
            EXPECT_TRUE(exactReading(list, mover.pid())) << "pass " << pass;
        }
        // Reading every sharer each pass would take 153 reads.
        EXPECT_LT(source.shareReads() - readsBefore, 9u * 16);

        const auto allExact = [&](const std::vector<ProcessReading>& list) {
            return std::ranges::all_of(sharers, [&](const auto& sharer) { return exactReading(list, sharer->pid()); });
        };
        auto list = source.readProcesses();
        for (int pass = 2; pass < 30 && !allExact(list); ++pass) list = source.readProcesses();
        EXPECT_TRUE(allExact(list));
    });
}

// A process whose shared memory grows a mebibyte at a time, as a tab that draws: the steps are taken
// as its own without a walk of its address space until they add up to 4 MiB, and no reading is ever
// 4 MiB or more from the truth, not even when the pages it maps are another process's too.
TEST_P(ProcfsFootprintTest, SmallSharedStepsAreTakenUnreadUntilTheyAddUp) {
    runWithOnlyItsOwnProcesses([&] {
        constexpr std::size_t sharedBytes = 2u << 20;
        const SizedMemfd memfd("drawn-by-two", sharedBytes);  // the children open it through this process
        ASSERT_GE(memfd.fd, 0);
        ChildProcess drawer;
        ChildProcess other;
        ASSERT_TRUE(drawer.running() && other.running());
        ASSERT_TRUE(other.mapShared(memfd.fd));
        ASSERT_TRUE(drawer.allocateShared(8));
        ProcfsProcessSource source(GetParam());
        auto list = source.readProcesses();
        EXPECT_TRUE(exactReading(list, drawer.pid()));
        EXPECT_TRUE(exactReading(list, other.pid()));

        const auto near = [&](pid_t pid, const std::string& when) {
            const auto reading = find(list, pid);
            ASSERT_TRUE(reading && reading->footprintBytes) << when;
            const std::uint64_t truth = footprintReadWhole(pid);
            const std::uint64_t off =
                std::max(*reading->footprintBytes, truth) - std::min(*reading->footprintBytes, truth);
            EXPECT_LT(off, 4u << 20) << when << ", pid " << pid;
        };
        const std::uint64_t readsBefore = source.shareReads();
        ASSERT_TRUE(drawer.mapShared(memfd.fd));  // 2 MiB taken as the drawer's own, though half is the other's
        list = source.readProcesses();
        near(drawer.pid(), "mapped the other's pages");
        near(other.pid(), "mapped the other's pages");
        for (int step = 1; step <= 10; ++step) {
            ASSERT_TRUE(drawer.allocateShared(1));
            list = source.readProcesses();
            near(drawer.pid(), "step " + std::to_string(step));
            near(other.pid(), "step " + std::to_string(step));
        }
        // 12 MiB of steps: a walk each time 4 MiB of them added up, not one a step.
        EXPECT_LE(source.shareReads() - readsBefore, 3u);
        EXPECT_GE(source.shareReads() - readsBefore, 2u);
        // A large step is read at once.
        ASSERT_TRUE(drawer.allocateShared(64));
        list = source.readProcesses();
        EXPECT_TRUE(exactReading(list, drawer.pid()));
    });
}

// A process forks children without exec that share its 64 MiB copy-on-write: the family's sum is
// the kernel's in the pass the fork is seen, and each reading is from the next pass on, the exit
// counted in the pass it is seen; a write that ends the sharing, which no resident size shows, once each has had its turn
// (none more than once in 30 passes, 16 MiB of resident pages walked a pass). An exec'd process,
// or a family that shares nothing any more, costs no walk of its address space.
TEST_P(ProcfsFootprintTest, MemorySharedCopyOnWriteIsCountedOnceInProportion) {
    runWithOnlyItsOwnProcesses([&] {
        ChildProcess hog;
        ASSERT_TRUE(hog.running() && hog.allocate(64));
        ProcfsProcessSource source(GetParam());
        auto list = source.readProcesses();
        EXPECT_TRUE(exactReading(list, hog.pid()));
        EXPECT_EQ(source.copyReads(), 0u);
        const auto family = [&] {
            std::vector<pid_t> pids{hog.pid()};
            for (const auto& r : list)
                if (r.parentPid == hog.pid()) pids.push_back(r.pid);
            return pids;
        };
        const auto allExact = [&] { return std::ranges::all_of(family(), [&](pid_t pid) { return exactReading(list, pid); }); };
        const auto total = [&] {
            std::uint64_t sum = 0;
            for (const pid_t pid : family()) sum += find(list, pid).value_or(ProcessReading{}).footprintBytes.value_or(0);
            return sum;
        };

        const auto proportional = [&] {
            std::uint64_t sum = 0;
            for (const pid_t pid : family()) sum += footprintReadWhole(pid);
            return sum;
        };
        ASSERT_TRUE(hog.forkChildren(3));
        list = source.readProcesses();
        ASSERT_EQ(family().size(), 4u);
        // Forks seen first share all they have but what they wrote: the app is right without a walk.
        EXPECT_NEAR(double(total()), double(proportional()), 1 << 20);  // the 64 MiB once, not four times
        EXPECT_EQ(source.copyReads(), 0u);
        list = source.readProcesses();  // they lived on: each is read, and the others with them
        EXPECT_TRUE(allExact());
        EXPECT_EQ(source.copyReads(), 4u);

        std::uint64_t reads = source.copyReads();
        for (int pass = 0; pass < 60; ++pass) list = source.readProcesses();
        EXPECT_TRUE(allExact());
        EXPECT_LE(source.copyReads() - reads, 8u);  // at most once in 30 passes, not each every pass

        ASSERT_TRUE(hog.rewrite());  // the hog's own copy now; the children share the old pages
        list = source.readProcesses();
        for (int pass = 1; pass < 60 && !allExact(); ++pass) list = source.readProcesses();
        EXPECT_TRUE(allExact());
        EXPECT_GT(total(), 120u << 20);

        ASSERT_TRUE(hog.endChildren());
        list = source.readProcesses();
        EXPECT_EQ(family().size(), 1u);
        EXPECT_TRUE(exactReading(list, hog.pid()));
        reads = source.copyReads();
        for (int pass = 0; pass < 40; ++pass) list = source.readProcesses();
        EXPECT_EQ(source.copyReads(), reads);
        EXPECT_TRUE(exactReading(list, hog.pid()));
    });
}

// A process frees what it shared with its fork: its resident count drops by all of it, its share by
// half, and the fork's share doubles with nothing of its own moving; both read so in the same pass.
TEST_P(ProcfsFootprintTest, FreeingWhatAForkSharesIsReadAtOnceOnBothSides) {
    runWithOnlyItsOwnProcesses([&] {
        ChildProcess hog;
        ASSERT_TRUE(hog.running() && hog.allocate(64));
        ProcfsProcessSource source(GetParam());
        ASSERT_TRUE(hog.forkChildren(1));
        auto list = source.readProcesses();
        const auto child = std::ranges::find(list, hog.pid(), &ProcessReading::parentPid);
        ASSERT_NE(child, list.end());
        const pid_t fork = child->pid;
        ASSERT_TRUE(hog.release());
        list = source.readProcesses();
        EXPECT_TRUE(exactReading(list, hog.pid()));
        EXPECT_TRUE(exactReading(list, fork));
        EXPECT_GT(find(list, fork).value_or(ProcessReading{}).footprintBytes.value_or(0), 60u << 20);
    });
}

// A forking program's family as the source reads it: the sum of its readings, and the floor no
// true sum can be under while its first process keeps what it holds (every page it maps counts once).
struct FamilyReading {
    std::uint64_t sum = 0;
    std::uint64_t floor = 0;
};
FamilyReading familyOf(const std::vector<ProcessReading>& list, pid_t root) {
    FamilyReading out;
    for (const auto& r : list)
        if (r.pid == root || r.parentPid == root) out.sum += r.footprintBytes.value_or(0);
    const auto statm = parseStatm(slurp("/proc/" + std::to_string(root) + "/statm"));
    if (statm) out.floor = anonymousBytes(*statm, static_cast<std::uint64_t>(sysconf(_SC_PAGESIZE)));
    return out;
}

// The kernel's proportional sums over a forking program and the children the source lists.
std::uint64_t proportionalSum(const std::vector<ProcessReading>& list, pid_t root) {
    std::uint64_t sum = footprintReadWhole(root);
    for (const auto& r : list)
        if (r.parentPid == root) sum += footprintReadWhole(r.pid);
    return sum;
}

// A database stand-in: a parent with 8 MiB of its own and 192 MiB of shared buffers, of which it
// keeps only its 16 MiB of structures in its page tables, read twice by a source of its own.
struct BufferedParent {
    explicit BufferedParent(ProcfsProcessSource::SwapReading swap)
        : started(hog.running() && hog.allocate(8) && hog.allocateShared(192) && hog.unmapSharedBeyond(16)),
          source(swap) {
        source.readProcesses();
        floor = proportionalSum(source.readProcesses(), hog.pid());
    }
    ChildProcess hog;
    const bool started;
    ProcfsProcessSource source;
    std::uint64_t floor = 0;  // its proportional sum with no fork
};

// Workers forked from a large program write memory of their own and are then ended together while
// passes are taken, some during their exit: an exiting process drops its address space before its
// pages are unmapped, so a walk then still finds the parent sharing. No pass puts the app under
// what the parent alone holds, and within 3 passes after the exit the parent reads its proportional
// sum. Also each fork: a walk racing it never dips the app either.
TEST_P(ProcfsFootprintTest, WorkersForkedAndEndedWhilePassesAreTakenNeverDipTheAppAndAreReadOnceGone) {
    runWithOnlyItsOwnProcesses([&] {
        ChildProcess hog;
        ASSERT_TRUE(hog.running() && hog.allocate(256));
        ProcfsProcessSource source(GetParam());
        auto list = source.readProcesses();
        const auto whilePassing = [&](auto command, const char* what) {
            auto done = std::async(std::launch::async, command);
            int passes = 0;
            do {
                list = source.readProcesses();
                const auto family = familyOf(list, hog.pid());
                EXPECT_GE(double(family.sum), double(family.floor) - (16 << 20)) << what << ", pass " << passes;
                ++passes;
            } while (done.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready);
            return done.get();
        };
        for (int round = 0; round < 6; ++round) {
            ASSERT_TRUE(whilePassing([&] { return hog.forkChildren(6); }, "forking"));
            for (int pass = 0; pass < 2; ++pass) list = source.readProcesses();
            ASSERT_TRUE(whilePassing([&] { return hog.childrenAllocate(16); }, "writing"));
            ASSERT_TRUE(whilePassing([&] { return hog.endChildren(); }, "ending"));
            // A tenth of a second apart: a process reaped while another program reads its memory
            // keeps its pages mapped until that read ends.
            for (int pass = 0; pass < 3; ++pass) {
                usleep(100000);
                list = source.readProcesses();
            }
            EXPECT_TRUE(exactReading(list, hog.pid())) << "round " << round;
        }
    });
}

// A process that writes what it shares with its fork is read again within 2 passes, and the fork
// with it, instead of in their turn: each such write is a fault of the writer.
TEST_P(ProcfsFootprintTest, AWriteThatEndsSharingIsReadWithinTwoPasses) {
    runWithOnlyItsOwnProcesses([&] {
        ChildProcess hog;
        ASSERT_TRUE(hog.running() && hog.allocate(64));
        ASSERT_TRUE(hog.forkChildren(1));
        ProcfsProcessSource source(GetParam());
        auto list = source.readProcesses();
        const auto fork = std::ranges::find(list, hog.pid(), &ProcessReading::parentPid);
        ASSERT_NE(fork, list.end());
        const pid_t child = fork->pid;
        // Within a few pages: the hog's stack, shared too, is written as it answers.
        const auto near = [&](pid_t pid) {
            const auto reading = find(list, pid);
            return reading && std::abs(double(reading->footprintBytes.value_or(0)) - double(footprintReadWhole(pid))) < (1 << 20);
        };
        for (int pass = 0; pass < 3; ++pass) list = source.readProcesses();
        ASSERT_TRUE(near(hog.pid()) && near(child));
        const std::uint64_t reads = source.copyReads();
        ASSERT_TRUE(hog.rewrite());  // the hog's own copy of all 64 MiB now, its resident size the same
        for (int pass = 0; pass < 2; ++pass) list = source.readProcesses();
        EXPECT_TRUE(near(hog.pid()));
        EXPECT_TRUE(near(child));
        EXPECT_GT(find(list, child).value_or(ProcessReading{}).footprintBytes.value_or(0), 60u << 20);
        EXPECT_LE(source.copyReads() - reads, 4u);
        for (int pass = 0; pass < 5; ++pass) list = source.readProcesses();
        EXPECT_LE(source.copyReads() - reads, 4u);  // nothing more written: nothing more walked
    });
}

// A forking server's children live a pass each: they are not walked, nor is their parent for them,
// and the app reads its proportional sum at each pass all the same, also when they freed what they
// wrote before the pass (a request's buffers).
TEST_P(ProcfsFootprintTest, ForksThatLiveAPassCostNoWalk) {
    runWithOnlyItsOwnProcesses([&] {
        ChildProcess hog;
        ASSERT_TRUE(hog.running() && hog.allocate(64));
        ProcfsProcessSource source(GetParam());
        auto list = source.readProcesses();
        for (int round = 0; round < 10; ++round) {
            ASSERT_TRUE(hog.forkChildren(3));
            ASSERT_TRUE(hog.childrenAllocate(16));
            if (round % 2 == 1) { ASSERT_TRUE(hog.childrenRelease()); }
            list = source.readProcesses();
            // Within 2 MiB a fork: faults that bring in no page of its own (its code, read again
            // after the fork) count as its own; one fork's 16 MiB left out is far more.
            EXPECT_NEAR(double(familyOf(list, hog.pid()).sum), double(proportionalSum(list, hog.pid())), 6 << 20) << round;
            ASSERT_TRUE(hog.endChildren());
            list = source.readProcesses();
            EXPECT_TRUE(exactReading(list, hog.pid())) << round;
        }
        EXPECT_EQ(source.copyReads(), 0u);
    });
}

// A server's workers write and free a buffer for each request, and are replaced one at a time as
// they end: no pass puts the app off its proportional sum by a worker's share of what they share,
// nor under what the parent holds; the buffers' faults, which end no sharing, cost no walk of each
// worker every pass; a new worker that lives on is read alone.
TEST_P(ProcfsFootprintTest, WorkersThatFreeTheirBuffersAreReplacedWithoutADipNorAWalkEachPass) {
    runWithOnlyItsOwnProcesses([&] {
        ChildProcess hog;
        ASSERT_TRUE(hog.running() && hog.allocate(128) && hog.forkChildren(4));
        ProcfsProcessSource source(GetParam());
        auto list = source.readProcesses();
        for (int pass = 0; pass < 2; ++pass) list = source.readProcesses();
        // A worker forked within half a second of its family's walk may have been forked while it went
        // on, and is read with the family: the workers here are replaced seconds after the first pass.
        usleep(600000);
        const std::uint64_t reads = source.copyReads();
        for (int round = 0; round < 12; ++round) {
            ASSERT_TRUE(hog.childrenAllocate(16) && hog.childrenRelease());  // a request each
            if (round % 3 == 2) { ASSERT_TRUE(hog.replaceLastChild()); }
            list = source.readProcesses();
            const auto family = familyOf(list, hog.pid());
            EXPECT_NEAR(double(family.sum), double(proportionalSum(list, hog.pid())), 6 << 20) << round;
            EXPECT_GE(family.sum, family.floor) << round;
        }
        // A walk of each worker a pass would be 48, and the parent's with them.
        EXPECT_LE(source.copyReads() - reads, 16u);
    });
}

// A database's backends: forks that read the shared memory their parent maps and live a pass each
// cost no walk, of themselves nor of the others whose shares they moved while they lived; the
// family reads its proportional sum in each pass, and the parent its own once they are gone, also
// after backends read at the first pass ended while others had started. One that lives on is read
// at its next pass, with the parent.
TEST_P(ProcfsFootprintTest, ForksReadingSharedMemoryThatLiveAPassCostNoWalk) {
    runWithOnlyItsOwnProcesses([&] {
        ChildProcess hog;
        ASSERT_TRUE(hog.running() && hog.allocate(8) && hog.allocateShared(96));
        ASSERT_TRUE(hog.forkChildren(3) && hog.childrenReadInherited());  // open as the first pass reads
        ProcfsProcessSource source(GetParam());
        auto list = source.readProcesses();
        // Backends started just before the first pass are as new as those seen later, and count
        // there as they do later: what they map beyond the family's shares.
        EXPECT_NEAR(double(familyOf(list, hog.pid()).sum), double(proportionalSum(list, hog.pid())), 6 << 20);
        const std::uint64_t shareReads = source.shareReads();
        for (int round = 0; round < 8; ++round) {
            ASSERT_TRUE(hog.endChildren() && hog.forkChildren(3) && hog.childrenReadInherited());
            list = source.readProcesses();
            // The pass the first backends end in, the parent still holds its share as read beside
            // them: it is read again once no unread backend maps its pages.
            if (round > 0) { EXPECT_NEAR(double(familyOf(list, hog.pid()).sum), double(proportionalSum(list, hog.pid())), 6 << 20) << round; }
            ASSERT_TRUE(hog.endChildren());
            list = source.readProcesses();
            EXPECT_TRUE(exactReading(list, hog.pid())) << round;
        }
        // The parent once, when the backends read with it had gone and no other mapped its pages.
        EXPECT_LE(source.shareReads() - shareReads, 1u);

        ASSERT_TRUE(hog.forkChildren(2) && hog.childrenReadInherited());
        list = source.readProcesses();
        for (int pass = 0; pass < 2; ++pass) list = source.readProcesses();
        std::vector<pid_t> family{hog.pid()};
        for (const auto& r : list)
            if (r.parentPid == hog.pid()) family.push_back(r.pid);
        ASSERT_EQ(family.size(), 3u);
        for (const pid_t pid : family) EXPECT_TRUE(exactReading(list, pid)) << pid;
        ASSERT_TRUE(hog.endChildren());
    });
}

// A snapshot: a fork that copies what it shares while its parent writes beside it (a server's save
// while it takes writes, a child that pickles what it was forked with). Every page either side
// writes is copied, and the family's sum rises by it. Each write is a fault of the writer, which
// calls for a walk of it once it adds up; the other of the two shares what the writer shares, and
// follows unread. Taken for the member's own churn, the writes hid the next ones: the family
// stopped rising while the sums went on.
TEST_P(ProcfsFootprintTest, AForkThatCopiesWhatItSharesWhileItsParentWritesIsFollowedAsItCopies) {
    runWithOnlyItsOwnProcesses([&] {
        ChildProcess hog;
        ASSERT_TRUE(hog.running() && hog.allocate(512));
        ProcfsProcessSource source(GetParam());
        auto list = source.readProcesses();
        ASSERT_TRUE(hog.forkChildren(1));
        for (int pass = 0; pass < 3; ++pass) list = source.readProcesses();  // the fork lived on and was read
        const std::uint64_t start = proportionalSum(list, hog.pid());
        const std::uint64_t reads = source.copyReads();
        for (int round = 0; round < 12; ++round) {
            ASSERT_TRUE(hog.rewriteNext(24));
            if (round % 2 == 1) { ASSERT_TRUE(hog.childrenRewriteNext(12)); }
            list = source.readProcesses();
            const double truth = double(proportionalSum(list, hog.pid()));
            EXPECT_NEAR(double(familyOf(list, hog.pid()).sum), truth, 2 << 20) << "round " << round;
        }
        // 288 MiB written by the parent, 72 by the fork, each a page copied: the sums rose by all of it.
        EXPECT_GT(proportionalSum(list, hog.pid()), start + (340ull << 20));
        EXPECT_LE(source.copyReads() - reads, 14u);  // the writer, about once a round; its other side not
    });
}

// A database's backends map its shared buffers as they read a table no process that lives on maps
// (a backend gone before brought it in): what such a fork maps beyond the shares its family counts
// is its own, unread, and a second one beside it maps nothing the first does not. The family reads
// its proportional sum with backends alive and without, at one round of walks for them.
TEST_P(ProcfsFootprintTest, ForksMappingSharedMemoryNoOneElseMapsCountItUnread) {
    runWithOnlyItsOwnProcesses([&] {
        ChildProcess hog;
        ASSERT_TRUE(hog.running() && hog.allocate(8) && hog.allocateShared(160) && hog.unmapSharedBeyond(16));
        ProcfsProcessSource source(GetParam());
        auto list = source.readProcesses();
        list = source.readProcesses();
        const std::uint64_t floor = proportionalSum(list, hog.pid());
        ASSERT_LT(floor, 40u << 20);  // the hog maps 16 MiB of the 160
        const std::uint64_t shareReads = source.shareReads();
        for (int round = 0; round < 6; ++round) {
            const std::size_t backends = round % 2 ? 2 : 1;
            ASSERT_TRUE(hog.forkChildren(backends) && hog.childrenReadInherited());
            list = source.readProcesses();
            const double truth = double(proportionalSum(list, hog.pid()));
            EXPECT_GT(truth, double(floor + (120u << 20))) << round;
            EXPECT_NEAR(double(familyOf(list, hog.pid()).sum), truth, 8 << 20) << round << ", " << backends << " backends";
            ASSERT_TRUE(hog.endChildren());
            list = source.readProcesses();
            EXPECT_NEAR(double(familyOf(list, hog.pid()).sum), double(proportionalSum(list, hog.pid())), 2 << 20) << round;
        }
        // Two backends seen together may read the same pages or each its own: they are walked, but
        // such walks take no more than 64 MiB of what they map a pass on average: 768 MiB over
        // these 12 passes, with 256 MiB that may wait from before, of the 960 MiB the three rounds
        // of two hold. The first lone one once, to learn how much of its parent's pages it maps.
        EXPECT_LE(source.shareReads() - shareReads, 7u);
    });
}

// A query's parallel workers: forks seen together, each reading its own part of shared memory that
// the master keeps only 16 MiB of in its page tables. Taken as backends reading the same pages, the
// three would add up to one part: they are walked, once each, a query every four passes.
TEST_P(ProcfsFootprintTest, ForksReadingEachItsOwnPartOfSharedMemoryAreCountedForAllTheParts) {
    runWithOnlyItsOwnProcesses([&] {
        BufferedParent parent(GetParam());
        ASSERT_TRUE(parent.started);
        ChildProcess& hog = parent.hog;
        ProcfsProcessSource& source = parent.source;
        const std::uint64_t floor = parent.floor;
        const std::uint64_t shareReads = source.shareReads();
        for (int round = 0; round < 5; ++round) {
            ASSERT_TRUE(hog.forkChildren(3) && hog.childrenReadInheritedParts());
            auto list = source.readProcesses();
            const double truth = double(proportionalSum(list, hog.pid()));
            EXPECT_GT(truth, double(floor + (160u << 20))) << round;
            EXPECT_NEAR(double(familyOf(list, hog.pid()).sum), truth, 12 << 20) << "round " << round;
            ASSERT_TRUE(hog.endChildren());
            for (int pass = 0; pass < 3; ++pass) {
                list = source.readProcesses();
                EXPECT_NEAR(double(familyOf(list, hog.pid()).sum), double(proportionalSum(list, hog.pid())), 2 << 20) << round;
            }
        }
        EXPECT_LE(source.shareReads() - shareReads, 15u);
    });
}

// Queries one after another, each the pass after the last: more walks than the budget allows. The
// rounds past it are taken to map each other's pages as much as the last walked one did: all of
// the parts, not one of them. Backends reading the same table one after another, as often, still
// add up to one table.
TEST_P(ProcfsFootprintTest, ForksPastTheWalkBudgetShareAsTheirFamilysLastWalkedOnesDid) {
    runWithOnlyItsOwnProcesses([&] {
        for (const bool parts : {true, false}) {
            BufferedParent parent(GetParam());
            ASSERT_TRUE(parent.started);
            ChildProcess& hog = parent.hog;
            ProcfsProcessSource& source = parent.source;
            const std::uint64_t floor = parent.floor;
            const std::uint64_t shareReads = source.shareReads();
            for (int round = 0; round < 8; ++round) {
                ASSERT_TRUE(hog.forkChildren(parts ? 3 : 2) &&
                            (parts ? hog.childrenReadInheritedParts() : hog.childrenReadInherited()));
                const auto list = source.readProcesses();
                const double truth = double(proportionalSum(list, hog.pid()));
                EXPECT_GT(truth, double(floor + (160u << 20))) << round;
                EXPECT_NEAR(double(familyOf(list, hog.pid()).sum), truth, 12 << 20)
                    << (parts ? "parts" : "one table") << ", round " << round;
                ASSERT_TRUE(hog.endChildren());
            }
            EXPECT_LT(source.shareReads() - shareReads, parts ? 8u * 3 : 8u * 2) << (parts ? "parts" : "one table");
        }
    });
}

// A database's backends one at a time, each reading a table into the shared buffers but none of
// the 16 MiB of structures its postmaster maps. Taken to map them all, each read 16 MiB low in
// every pass it lived: one is walked, and those after it are taken as it shared, unwalked.
TEST_P(ProcfsFootprintTest, ForksMappingNoneOfTheirParentsPagesAreTakenAsTheWalkedOneFound) {
    runWithOnlyItsOwnProcesses([&] {
        BufferedParent parent(GetParam());
        ASSERT_TRUE(parent.started);
        ChildProcess& hog = parent.hog;
        ProcfsProcessSource& source = parent.source;
        const std::uint64_t floor = parent.floor;
        const std::uint64_t shareReads = source.shareReads();
        for (int round = 0; round < 8; ++round) {
            ASSERT_TRUE(hog.forkChildren(1) && hog.childrenReadInherited(16));
            auto list = source.readProcesses();
            const double truth = double(proportionalSum(list, hog.pid()));
            EXPECT_GT(truth, double(floor + (170u << 20))) << round;
            EXPECT_NEAR(double(familyOf(list, hog.pid()).sum), truth, 6 << 20) << "round " << round;
            ASSERT_TRUE(hog.endChildren());
            list = source.readProcesses();
            EXPECT_NEAR(double(familyOf(list, hog.pid()).sum), double(proportionalSum(list, hog.pid())), 2 << 20) << round;
        }
        EXPECT_LE(source.shareReads() - shareReads, 3u);
    });
}

// A worker that frees the copy of a model it was forked with before it exits: the kernel takes the
// mapping out of its address space first, then unmaps the pages, which statm counts until then.
// Read first in a pass, statm still holds pages that a walk later in the same pass finds neither
// mapped nor shared: taken together, the worker counted them as its own. Passes are taken while
// it unmaps 1 GiB; the family reads what the parent holds, which is all of it now, and no more.
// Two such workers at once put it no higher either, and once they are done the family reads its
// proportional sum.
TEST_P(ProcfsFootprintTest, AForkUnmappingWhatItSharesIsNotCountedWithPagesItNoLongerMaps) {
    runWithOnlyItsOwnProcesses([&] {
        ChildProcess hog;
        ASSERT_TRUE(hog.running() && hog.allocate(1024));
        const std::uint64_t pageSize = static_cast<std::uint64_t>(sysconf(_SC_PAGESIZE));
        const auto anonymousOf = [&](pid_t pid) {
            const auto statm = parseStatm(slurp("/proc/" + std::to_string(pid) + "/statm"));
            return statm ? anonymousBytes(*statm, pageSize) : 0;
        };
        int caught = 0;  // passes begun while the worker was unmapping
        for (int round = 0; round < 4 && (caught == 0 || round < 2); ++round) {
            const std::size_t workers = round % 2 ? 2 : 1;
            ASSERT_TRUE(hog.forkChildren(workers));
            // A new source each round, and a pause between passes: the reading in turn of the parent,
            // which comes once in a hundred passes or more, would meet the unmapping at a pass of its
            // own, read while the workers' readings are from before it began.
            ProcfsProcessSource source(GetParam());
            auto list = source.readProcesses();
            for (int pass = 0; pass < 3; ++pass) list = source.readProcesses();  // the fork is walked
            const auto child = std::ranges::find(list, hog.pid(), &ProcessReading::parentPid);
            ASSERT_NE(child, list.end());
            const pid_t fork = child->pid;
            auto done = std::async(std::launch::async, [&] { return hog.childrenUnmapInherited(); });
            int passes = 0;
            do {
                const std::uint64_t before = anonymousOf(fork);
                list = source.readProcesses();
                if (before > (64u << 20) && before < (1000u << 20)) ++caught;
                const auto family = familyOf(list, hog.pid());
                EXPECT_LE(double(family.sum), double(family.floor) + (16 << 20)) << "round " << round << ", pass " << passes;
                // Two still unmapping share the pages left with the parent, as the kernel counts them.
                if (workers == 1) {
                    EXPECT_GE(double(family.sum), double(family.floor) - (16 << 20)) << "round " << round << ", pass " << passes;
                }
                ++passes;
                usleep(2000);
            } while (done.wait_for(std::chrono::seconds(0)) != std::future_status::ready);
            EXPECT_TRUE(done.get());
            for (int pass = 0; pass < 2; ++pass) list = source.readProcesses();
            EXPECT_NEAR(double(familyOf(list, hog.pid()).sum), double(proportionalSum(list, hog.pid())), 16 << 20)
                << "round " << round << ", once done";
            ASSERT_TRUE(hog.endChildren());
            list = source.readProcesses();
        }
        EXPECT_GT(caught, 0);
    });
}

// Workers that free their copies of what their parent holds while pids are handed out faster than
// a pass looks at them (a busy machine): each pass's walks of the family are undone, as a fork may
// have raced them, and the parent stands as read before. The workers' own walks found their own
// change: what they no longer share, their parent now holds alone, and the family keeps its sum.
TEST_P(ProcfsFootprintTest, WorkersFreeingWhatTheyShareGiveItToTheirParentWhenTheFamilysWalksAreUndone) {
    runWithOnlyItsOwnProcesses([&] {
        ChildProcess hog;
        ASSERT_TRUE(hog.running() && hog.allocate(1024) && hog.forkChildren(2));
        ProcfsProcessSource source(GetParam());
        auto list = source.readProcesses();
        for (int pass = 0; pass < 2; ++pass) list = source.readProcesses();
        ASSERT_NEAR(double(familyOf(list, hog.pid()).sum), double(proportionalSum(list, hog.pid())), 16 << 20);
        // Threads take pids too: a few hundred during each pass.
        std::atomic<bool> stop{false};
        std::vector<std::thread> storms;
        for (int i = 0; i < 2; ++i)
            storms.emplace_back([&] {
                while (!stop) std::thread([] {}).join();
            });
        ASSERT_TRUE(hog.childrenUnmapInherited());
        const std::uint64_t walks = source.copyReads();
        for (int pass = 0; pass < 3; ++pass) {
            list = source.readProcesses();
            EXPECT_NEAR(double(familyOf(list, hog.pid()).sum), double(proportionalSum(list, hog.pid())), 16 << 20)
                << "pass " << pass;
        }
        stop = true;
        for (std::thread& storm : storms) storm.join();
        EXPECT_GE(source.copyReads(), walks + 2);  // the workers were walked for what they freed
    });
}

// A process that let go of its address space at its exit and is not a zombie yet: it still unmaps.
bool unmappingAtExit(pid_t pid) {
    const auto statm = parseStatm(slurp("/proc/" + std::to_string(pid) + "/statm"));
    const auto stat = parseStat(slurp("/proc/" + std::to_string(pid) + "/stat"));
    return statm && stat && statm->size == 0 && stat->state != 'Z' && stat->state != 'X';
}

// Once `leaving`, told to exit, unmaps (or is done), runs `meanwhile` and takes a pass. True when the
// exit went on all through the pass: the family of `root` is then checked against its proportional
// sum, read once the exit is over (while it unmaps, the kernel's sums leave out its share of what it
// still maps), nothing else having moved meanwhile.
bool passCheckedWhileExiting(ProcfsProcessSource& source, pid_t root, pid_t leaving,
                             const std::function<bool()>& meanwhile, int round) {
    EXPECT_TRUE(waitUntil([&] {
        const auto stat = parseStat(slurp("/proc/" + std::to_string(leaving) + "/stat"));
        return unmappingAtExit(leaving) || !stat || stat->state == 'Z';
    }));
    const bool begun = unmappingAtExit(leaving);
    EXPECT_TRUE(meanwhile());
    const auto list = source.readProcesses();
    if (!begun || !unmappingAtExit(leaving)) return false;
    const std::uint64_t figure = familyOf(list, root).sum;
    EXPECT_TRUE(waitUntil([&] { return !unmappingAtExit(leaving); }));
    EXPECT_NEAR(double(figure), double(proportionalSum(list, root)), 16 << 20) << "round " << round;
    return true;
}

// A worker replaced while the one it replaces is still unmapping its pages: the family is not read
// until that exit is over, and the new worker, forked right after its family's walk, was left
// counted whole, as if it held all it shares with its master. It is taken to share what it has
// but what it wrote, as any fork first seen. The worker that leaves holds 2 GiB of its own, which
// keeps its exit going for tens of milliseconds; a pass that did not see it still exiting checks
// nothing, and one of the rounds must.
TEST_P(ProcfsFootprintTest, AWorkerForkedWhileAnotherIsStillUnmappingIsNotCountedWhole) {
    runWithOnlyItsOwnProcesses([&] {
        ChildProcess hog;
        ASSERT_TRUE(hog.running() && hog.allocate(256));
        int seen = 0;
        for (int round = 0; round < 8 && seen < 2; ++round) {
            ASSERT_TRUE(hog.forkChildren(1) && hog.childrenAllocate(2048));
            ProcfsProcessSource source(GetParam());
            auto list = source.readProcesses();  // every member walked
            usleep(30000);                       // the new worker is forked after that walk, not during it
            const auto old = std::ranges::find(list, hog.pid(), &ProcessReading::parentPid);
            ASSERT_NE(old, list.end());
            const pid_t leaving = old->pid;
            ASSERT_TRUE(hog.leaveLastChild());
            if (passCheckedWhileExiting(source, hog.pid(), leaving, [&] { return hog.forkChildren(1); }, round)) ++seen;
            ASSERT_TRUE(hog.endChildren());
        }
        EXPECT_GE(seen, 1) << "no pass saw the worker's exit going on";
    });
}

// A worker that lived a pass unread while another's exit is still going on, having mapped and
// freed a buffer for each request meanwhile: its family is not walked, and it keeps what it was
// first taken to share, neither counted whole nor taking its buffers' faults for pages of its own.
TEST_P(ProcfsFootprintTest, AWorkerLeftUnreadWhileAnotherExitsKeepsWhatItWasTakenToShare) {
    runWithOnlyItsOwnProcesses([&] {
        ChildProcess hog;
        ASSERT_TRUE(hog.running() && hog.allocate(256));
        int seen = 0;
        for (int round = 0; round < 8 && seen < 1; ++round) {
            ASSERT_TRUE(hog.forkChildren(1) && hog.childrenAllocate(2048));
            ProcfsProcessSource source(GetParam());
            auto list = source.readProcesses();  // every member walked
            const auto old = std::ranges::find(list, hog.pid(), &ProcessReading::parentPid);
            ASSERT_NE(old, list.end());
            const pid_t leaving = old->pid;
            usleep(600000);  // a worker forked well after that walk is first taken unread
            ASSERT_TRUE(hog.forkChildren(1));
            list = source.readProcesses();
            ASSERT_TRUE(hog.lastChildServes(16));  // 64 MiB of buffers mapped and freed
            ASSERT_TRUE(hog.leaveLastChild(1));
            if (passCheckedWhileExiting(source, hog.pid(), leaving, [] { return true; }, round)) ++seen;
            ASSERT_TRUE(hog.endChildren());
        }
        EXPECT_GE(seen, 1) << "no pass saw the worker's exit going on";
    });
}

// A fork found a zombie when its family is first read shares nothing, and its walk would find it
// gone: the forks after it are not counted whole for that, nor is the family left unread pass
// after pass while the zombie stays.
TEST_P(ProcfsFootprintTest, AZombieAmongForksFirstSeenLeavesTheFamilyReadInProportion) {
    runWithOnlyItsOwnProcesses([&] {
        ChildProcess hog;
        ASSERT_TRUE(hog.running() && hog.allocate(128));
        ASSERT_TRUE(hog.forkChildren(1) && hog.exitLastChild() && hog.forkChildren(3));
        ProcfsProcessSource source(GetParam());
        auto list = source.readProcesses();
        std::vector<pid_t> family{hog.pid()};
        for (const auto& r : list)
            if (r.parentPid == hog.pid()) family.push_back(r.pid);
        ASSERT_EQ(family.size(), 5u);
        std::uint64_t proportional = 0;
        for (const pid_t pid : family) proportional += footprintReadWhole(pid);
        EXPECT_NEAR(double(familyOf(list, hog.pid()).sum), double(proportional), 2 << 20);  // 128 MiB once, not 4 times
        for (int pass = 0; pass < 2; ++pass) list = source.readProcesses();
        for (const pid_t pid : family) EXPECT_TRUE(exactReading(list, pid)) << pid;
        const std::uint64_t reads = source.copyReads();
        for (int pass = 0; pass < 10; ++pass) list = source.readProcesses();
        EXPECT_EQ(source.copyReads(), reads);  // nothing moved: nothing walked
        for (const pid_t pid : family) EXPECT_TRUE(exactReading(list, pid)) << pid;
    });
}

// Under a small descriptor budget, processes whose shared memory moves keep their status open only
// while the statm of every process fits beside them: processes started later still get a kept
// statm, the statuses closing to make room, and once room returns statuses are kept again.
TEST_P(ProcfsFootprintTest, EveryProcessKeepsItsStatmBeforeAnyStatusIsKept) {
    runWithOnlyItsOwnProcesses([&] {
        using Children = std::vector<std::unique_ptr<ChildProcess>>;
        const auto start = [](Children& children, int count) {
            for (int i = 0; i < count; ++i) children.push_back(std::make_unique<ChildProcess>());
            return std::ranges::all_of(children, [](const auto& c) { return c->running(); });
        };
        const auto moveShared = [](Children& children) {
            return std::ranges::all_of(children, [](const auto& c) { return c->allocateShared(1); });
        };
        const auto keeping = [](const Children& children, const char* file) {
            return std::ranges::count_if(children, [&](const auto& c) { return filesKeptOf(c->pid()).contains(file); });
        };
        ProcfsProcessSource source(GetParam(), 80);
        Children movers;
        ASSERT_TRUE(start(movers, 16));
        source.readProcesses();
        ASSERT_TRUE(moveShared(movers));
        source.readProcesses();
        EXPECT_EQ(keeping(movers, "status"), 16);  // room for all: the busy keep their status

        Children later;
        ASSERT_TRUE(start(later, 48));
        ASSERT_TRUE(moveShared(movers));
        const auto list = source.readProcesses();
        ASSERT_EQ(list.size(), 65u);
        for (const auto& r : list) EXPECT_TRUE(filesKeptOf(r.pid).contains("statm")) << "pid " << r.pid;
        EXPECT_LE(source.openDescriptors(), 80u);
        EXPECT_LT(keeping(movers, "status"), 16);

        later.clear();
        source.readProcesses();
        ASSERT_TRUE(moveShared(movers));
        source.readProcesses();
        EXPECT_EQ(keeping(movers, "status"), 16);
        EXPECT_EQ(keeping(movers, "statm"), 16);
    });
}

TEST_P(ProcfsFootprintTest, ZombieHasNoFootprintAndOrphansGetTheirNewParent) {
    const auto [middle, gate] = forkGated([] { if (fork() == 0) for (;;) pause(); }, [] {});
    ASSERT_GT(middle, 0);
    ProcfsProcessSource source(GetParam());
    pid_t grandchild = 0;
    ASSERT_TRUE(waitUntil([&] {
        for (const auto& r : source.readProcesses())
            if (r.parentPid == middle) grandchild = r.pid;
        return grandchild > 0;
    }));
    close(gate);  // the middle process exits and stays a zombie until reaped
    const std::string middleStat = "/proc/" + std::to_string(middle) + "/stat";
    ASSERT_TRUE(waitUntil([&] { return parseStat(slurp(middleStat)).value_or(StatFields{}).state == 'Z'; }));
    const auto list = source.readProcesses();
    const auto truth = parseStat(slurp("/proc/" + std::to_string(grandchild) + "/stat"));
    ASSERT_TRUE(truth && find(list, middle) && find(list, grandchild));
    EXPECT_EQ(find(list, middle)->footprintBytes, 0u);
    EXPECT_NE(truth->parentPid, middle);
    EXPECT_EQ(find(list, grandchild)->parentPid, truth->parentPid);
    kill(grandchild, SIGKILL);
    waitpid(middle, nullptr, 0);
    if (truth->parentPid == getpid()) waitpid(grandchild, nullptr, 0);
}

TEST(ProcfsProcessSourceTest, NoticesExecOfAKnownProcess) {
    const auto [child, gate] = forkGated([] {}, [] { execl("/bin/sleep", "sleep", "9", static_cast<char*>(nullptr)); });
    ASSERT_GT(child, 0);
    ProcfsProcessSource source;
    const auto before = find(source.readProcesses(), child);
    ASSERT_TRUE(before);
    EXPECT_NE(before->executablePath.value_or("").find("test_platform_linux"), std::string::npos);
    close(gate);
    const std::string comm = "/proc/" + std::to_string(child) + "/comm";
    ASSERT_TRUE(waitUntil([&] { return slurp(comm) == "sleep\n"; }));
    const auto after = find(source.readProcesses(), child);
    ASSERT_TRUE(after);
    EXPECT_EQ(after->shortName, "sleep");
    EXPECT_TRUE(after->executablePath.value_or("").ends_with("/sleep"));
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
}

// A program started through a link is named after the link, whether argv[0] holds the link's path or
// only a name found beside the executable; a renamed argv[0] with no such link changes nothing.
TEST(ProcfsProcessSourceTest, ProgramStartedThroughALinkIsNamedAfterIt) {
    TempDir dir;
    const std::string real = dir.path() + "/real-sleeper";
    std::filesystem::copy_file(std::filesystem::canonical("/bin/sleep"), real);
    std::filesystem::permissions(real, std::filesystem::perms::owner_all);
    std::filesystem::create_symlink("real-sleeper", dir.path() + "/napper");
    std::filesystem::create_symlink(real, dir.path() + "/a-rather-long-linked-name");
    const std::string canonical = std::filesystem::canonical(real);
    struct Row { std::string file, argv0; std::optional<std::string> name; };
    const Row rows[] = {{dir.path() + "/a-rather-long-linked-name", dir.path() + "/a-rather-long-linked-name",
                         "a-rather-long-linked-name"},
                        {dir.path() + "/napper", "napper", "napper"},
                        {real, "napper", std::nullopt},
                        {real, "snooze", std::nullopt}};
    for (const auto& r : rows) {
        const auto [child, gate] = forkGated([] {}, [&] {
            execl(r.file.c_str(), r.argv0.c_str(), "9", static_cast<char*>(nullptr));
        });
        ASSERT_GT(child, 0);
        close(gate);
        const std::string cmdline = "/proc/" + std::to_string(child) + "/cmdline";  // set last by exec
        ASSERT_TRUE(waitUntil([&] { return slurp(cmdline).starts_with(r.argv0 + '\0' + "9"); }));
        ProcfsProcessSource source;
        const auto reading = find(source.readProcesses(), child);
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
        ASSERT_TRUE(reading) << r.argv0;
        EXPECT_EQ(std::tuple(reading->launchName, reading->executablePath, reading->startTime.has_value()),
                  std::tuple(r.name, std::optional(canonical), true)) << r.file << " as " << r.argv0;
    }
    EXPECT_EQ(launchNameOf("/usr/bin/php8.2", "php", "php"), std::nullopt);  // no such link here
}

// Pids handed out between passes are looked at one by one: a thread is no process, and a child is
// one even when its exit signals nothing. Each reads as a fresh listing reads it, also after a
// child's second thread ran exec and the process went on under its pid as another program.
TEST(ProcfsProcessSourceTest, NewPidsBetweenPassesAreProcessesOnlyWhenTheyAreOne) {
    runWithOnlyItsOwnProcesses([] {
        ProcfsProcessSource source;
        source.readProcesses();
        std::thread thread;
        std::promise<void> release;
        const pid_t threadId = startThread(thread, release);
        int gate[2];
        ASSERT_EQ(pipe(gate), 0);
        const pid_t silent = forkWithoutExitSignal([&] {
            close(gate[1]);
            char c;
            (void)!read(gate[0], &c, 1);
        });
        close(gate[0]);
        const auto [execer, execGate] = forkGated([] {}, [] {
            std::thread([] { execl("/bin/sleep", "sleep", "9", static_cast<char*>(nullptr)); }).join();
        });
        ASSERT_GT(silent, 0);
        ASSERT_GT(execer, 0);
        const auto list = source.readProcesses();
        EXPECT_FALSE(find(list, threadId));
        EXPECT_TRUE(find(list, silent));
        EXPECT_TRUE(find(list, execer));
        EXPECT_EQ(identitiesOf(list), freshIdentities());

        close(execGate);
        expectReadAs(source, execer, "sleep");

        kill(execer, SIGKILL);  // it holds the silent child's gate open too
        waitpid(execer, nullptr, 0);
        close(gate[1]);
        waitpid(silent, nullptr, __WALL);
        release.set_value();
        thread.join();
    });
}

// The pid of a process that exited, handed on at once (through ns_last_pid): to a thread it names no
// process any more; to a new process it reads as that one.
TEST(ProcfsProcessSourceTest, PidOfAnExitedProcessReadsAsWhatHoldsItNow) {
    runWithOnlyItsOwnProcesses([] {
        ProcfsProcessSource source;
        for (const bool toThread : {true, false}) {
            const auto [old, gate] = forkGated([] {}, [] {});
            ASSERT_GT(old, 0);
            ASSERT_TRUE(find(source.readProcesses(), old));
            close(gate);
            waitpid(old, nullptr, 0);
            ASSERT_TRUE(handOutNext(old)) << "ns_last_pid is not writable";
            if (toThread) {
                std::thread thread;
                std::promise<void> release;
                EXPECT_EQ(startThread(thread, release), old);
                const auto list = source.readProcesses();
                EXPECT_FALSE(find(list, old));
                EXPECT_EQ(identitiesOf(list), freshIdentities());
                release.set_value();
                thread.join();
            } else {
                const auto [next, nextGate] = forkGated([] { prctl(PR_SET_NAME, "successor"); }, [] {});
                EXPECT_EQ(next, old);
                expectReadAs(source, next, "successor");
                close(nextGate);
                waitpid(next, nullptr, 0);
            }
        }
    });
}

// With no descriptor kept, a pid handed on to a thread names no process from the first pass after:
// neither when what is read there differs in code size from the program known (a sleep that
// exited), nor when only its parent's leaving calls for a look (a child of the same program).
TEST(ProcfsProcessSourceTest, PidHandedToAThreadLosesItsIdentityAtOnceWithNothingKept) {
    runWithOnlyItsOwnProcesses([] {
        ProcfsProcessSource source(ProcfsProcessSource::SwapReading::whenSwapInUse, 0);
        const auto handToAThread = [&](pid_t pid) {
            ASSERT_TRUE(handOutNext(pid)) << "ns_last_pid is not writable";
            std::thread thread;
            std::promise<void> release;
            EXPECT_EQ(startThread(thread, release), pid);
            const auto list = source.readProcesses();
            EXPECT_FALSE(find(list, pid));
            EXPECT_EQ(identitiesOf(list), freshIdentities());
            release.set_value();
            thread.join();
        };

        const auto [sleeper, gate] = forkGated([] {}, [] { execl("/bin/sleep", "sleep", "60", static_cast<char*>(nullptr)); });
        ASSERT_GT(sleeper, 0);
        close(gate);
        expectReadAs(source, sleeper, "sleep");
        kill(sleeper, SIGKILL);
        waitpid(sleeper, nullptr, 0);
        handToAThread(sleeper);

        int report[2];
        ASSERT_EQ(pipe(report), 0);
        const auto [parent, parentGate] = forkGated([&] {
            const pid_t child = fork();
            if (child == 0) for (;;) pause();
            (void)!write(report[1], &child, sizeof child);
        }, [] {});
        ASSERT_GT(parent, 0);
        close(report[1]);
        pid_t child = -1;
        ASSERT_EQ(read(report[0], &child, sizeof child), static_cast<ssize_t>(sizeof child));
        close(report[0]);
        const auto before = find(source.readProcesses(), child);
        ASSERT_TRUE(before && before->parentPid == parent);
        close(parentGate);
        waitpid(parent, nullptr, 0);  // the child is this process's now, the first of its pid namespace
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
        handToAThread(child);
    });
}
