#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/wait.h>
#include <csignal>
#include <unistd.h>

#include <algorithm>
#include <future>
#include <thread>
#include <fstream>
#include <sstream>

#include "platform/linux/ProcfsParsing.h"
#include "platform/linux/ProcfsProcessSource.h"
#include "tests/fakes/ChildProcess.h"

using namespace velmora;
using namespace velmora::procfs;

namespace {

// A stat line with the given name; the other fields are typical values.
std::string statLine(const std::string& comm, int ppid = 1, unsigned long flags = 4194560, unsigned long start = 123456) {
    std::ostringstream s;
    s << "4321 (" << comm << ") S " << ppid << " 4321 4321 0 -1 " << flags
      << " 1000 0 0 0 12 3 0 0 20 0 1 0 " << start << " 123456789 2000 18446744073709551615 1 1 0 0 0 0 0 0 0 0 0 0 17 3 0 0\n";
    return s.str();
}

const ProcessReading* find(const std::vector<ProcessReading>& list, int pid) {
    const auto it = std::find_if(list.begin(), list.end(), [&](const ProcessReading& r) { return r.pid == pid; });
    return it == list.end() ? nullptr : &*it;
}

std::string slurp(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace

TEST(ProcfsParsingTest, StatNameEndsAtTheLastParenthesis) {
    struct Case {
        std::string comm;
    };
    const Case cases[] = {{"bash"}, {"Web Content"}, {"a) b (c) d"}, {"))"}, {""}, {"x y z 1 2 3 4"}};
    for (const auto& c : cases) {
        const auto f = parseStat(statLine(c.comm, 77, 0x00200040, 987654));
        ASSERT_TRUE(f) << c.comm;
        EXPECT_EQ(f->comm, c.comm);
        EXPECT_EQ(f->state, 'S') << c.comm;
        EXPECT_EQ(f->parentPid, 77) << c.comm;
        EXPECT_EQ(f->flags, 0x00200040u) << c.comm;
        EXPECT_NE(f->flags & kernelThreadFlag, 0u) << c.comm;
        EXPECT_EQ(f->startTime, 987654u) << c.comm;
    }
}

TEST(ProcfsParsingTest, MalformedStatIsRejected) {
    const std::string good = statLine("ok");
    const std::string bad[] = {
        "",
        "4321 bash S 1",                       // no parentheses
        "4321 (bash S 1 2 3",                  // no closing parenthesis
        good.substr(0, good.find(" 123456 ")),  // cut before the start time
        "4321 (bash) S x 4321 4321 0 -1 0 1 0 0 0 1 1 0 0 20 0 1 0 5",  // parent is not a number
        "4321 (bash) SS 1 4321 4321 0 -1 0 1 0 0 0 1 1 0 0 20 0 1 0 5",  // state is one letter
    };
    for (const auto& text : bad) EXPECT_FALSE(parseStat(text)) << text;
}

TEST(ProcfsParsingTest, StatmAndAnonymousBytes) {
    const auto f = parseStatm("61234 25000 5000 300 0 40000 0\n");
    ASSERT_TRUE(f);
    EXPECT_EQ(f->size, 61234u);
    EXPECT_EQ(f->resident, 25000u);
    EXPECT_EQ(f->shared, 5000u);
    EXPECT_EQ(f->text, 300u);
    EXPECT_EQ(anonymousBytes(*f, 4096), 20000u * 4096);
    // Shared momentarily above resident must not wrap around to a huge footprint.
    EXPECT_EQ(anonymousBytes(StatmFields{10, 100, 101, 1}, 4096), 0u);
    EXPECT_EQ(anonymousBytes(StatmFields{0, 0, 0, 0}, 4096), 0u);
    for (const char* bad : {"", "1 2", "1 2 x 4 5 6 7", "-1 2 3 4 5 6 7"}) EXPECT_FALSE(parseStatm(bad)) << bad;
}

TEST(ProcfsParsingTest, KilobyteFieldsOfStatusAndMeminfo) {
    const std::string status =
        "Name:\tfirefox\nVmPeak:\t  999 kB\nVmExe:\t     612 kB\nRssAnon:\t  204800 kB\nRssFile:\t 1000 kB\n"
        "VmSwapX:\t 1 kB\nVmSwap:\t    2048 kB\nThreads:\t77\n";
    const auto m = parseStatusMemory(status);
    EXPECT_EQ(m.rssAnon, 204800ull * 1024);
    EXPECT_EQ(m.swap, 2048ull * 1024);
    EXPECT_EQ(m.text, 612ull * 1024);
    EXPECT_EQ(kilobyteField(status, "Threads"), 77u);       // a plain count
    EXPECT_EQ(kilobyteField(status, "Rss"), std::nullopt);  // prefixes of other keys do not match
    EXPECT_EQ(kilobyteField("MemTotal: 12 MB\n", "MemTotal"), std::nullopt);
    EXPECT_EQ(kilobyteField("MemTotal: lots kB\n", "MemTotal"), std::nullopt);
    EXPECT_EQ(kilobyteField("MemTotal: 18446744073709551615 kB\n", "MemTotal"), std::nullopt);
    EXPECT_EQ(kilobyteField("MemTotal:", "MemTotal"), std::nullopt);
    // A zombie's status has no memory lines at all.
    const auto zombie = parseStatusMemory("Name:\tdefunct\nState:\tZ (zombie)\n");
    EXPECT_FALSE(zombie.rssAnon);
    EXPECT_FALSE(zombie.swap);
}

TEST(ProcfsParsingTest, LastPidOfLoadavg) {
    EXPECT_EQ(parseLastPid("0.52 0.58 0.59 2/1203 567890\n"), 567890);
    for (const char* bad : {"", "0.52 0.58 0.59 2/1203", "0.52 0.58 0.59 21203 5\n", "0.52 0.58 0.59 2/1203 x\n"})
        EXPECT_EQ(parseLastPid(bad), std::nullopt) << bad;
}

TEST(ProcfsParsingTest, PidNamesAndDeletedExecutables) {
    EXPECT_EQ(parsePid("1"), 1);
    EXPECT_EQ(parsePid("4194304"), 4194304);
    for (const char* bad : {"", "0", "self", "12a", "-3", "+3", "99999999999"}) EXPECT_FALSE(parsePid(bad)) << bad;
    EXPECT_EQ(stripDeletedSuffix("/usr/bin/app (deleted)"), "/usr/bin/app");
    EXPECT_EQ(stripDeletedSuffix("/usr/bin/app"), "/usr/bin/app");
    EXPECT_EQ(stripDeletedSuffix(" (deleted)"), " (deleted)");
}

TEST(ProcfsProcessSourceTest, ListsThisProcessWithNameParentAndFootprint) {
    ProcfsProcessSource source;
    // Private memory of our own that is surely resident.
    std::vector<char> block(32u << 20, 1);
    const auto list = source.readProcesses();
    const ProcessReading* self = find(list, getpid());
    ASSERT_NE(self, nullptr);
    ASSERT_TRUE(self->executablePath);
    const std::string exe = *self->executablePath;
    EXPECT_NE(exe.find("test_platform_linux"), std::string::npos) << exe;
    EXPECT_EQ(self->shortName, slurp("/proc/self/comm").substr(0, slurp("/proc/self/comm").size() - 1));
    EXPECT_EQ(self->parentPid, getppid());
    ASSERT_TRUE(self->footprintBytes);
    EXPECT_GE(*self->footprintBytes, block.size());
    // Pids are unique and positive.
    std::vector<int> pids;
    for (const auto& r : list) pids.push_back(r.pid);
    std::sort(pids.begin(), pids.end());
    EXPECT_EQ(std::adjacent_find(pids.begin(), pids.end()), pids.end());
    EXPECT_GT(pids.front(), 0);
}

class ProcfsFootprintTest : public ::testing::TestWithParam<ProcfsProcessSource::SwapReading> {};

INSTANTIATE_TEST_SUITE_P(BothFiles, ProcfsFootprintTest,
                         ::testing::Values(ProcfsProcessSource::SwapReading::whenSwapInUse,
                                           ProcfsProcessSource::SwapReading::always));

TEST_P(ProcfsFootprintTest, ChildFootprintFollowsItsMemoryAcrossPasses) {
    ProcfsProcessSource source(GetParam());
    ChildProcess child;
    ASSERT_TRUE(child.running());
    const auto before = source.readProcesses();
    const ProcessReading* first = find(before, child.pid());
    ASSERT_NE(first, nullptr);
    ASSERT_TRUE(first->footprintBytes);
    EXPECT_LT(*first->footprintBytes, 60ull << 20);
    EXPECT_EQ(first->parentPid, getpid());

    ASSERT_TRUE(child.allocate(64));
    const auto grown = source.readProcesses();
    const ProcessReading* big = find(grown, child.pid());
    ASSERT_NE(big, nullptr);
    ASSERT_TRUE(big->footprintBytes);
    EXPECT_GE(*big->footprintBytes, 60ull << 20);

    ASSERT_TRUE(child.release());
    const auto released = source.readProcesses();
    const ProcessReading* small = find(released, child.pid());
    ASSERT_NE(small, nullptr);
    EXPECT_LT(*small->footprintBytes, 60ull << 20);
}

TEST(ProcfsProcessSourceTest, ProcessStartedBetweenPassesAppearsButThreadsDoNot) {
    ProcfsProcessSource source;
    source.readProcesses();
    std::promise<pid_t> tid;
    std::promise<void> done;
    std::thread thread([&] {
        tid.set_value(static_cast<pid_t>(gettid()));
        done.get_future().wait();
    });
    const pid_t threadId = tid.get_future().get();
    ChildProcess child;
    ASSERT_TRUE(child.running());
    const auto list = source.readProcesses();
    EXPECT_NE(find(list, child.pid()), nullptr);
    EXPECT_EQ(find(list, threadId), nullptr);
    EXPECT_NE(find(list, getpid()), nullptr);
    done.set_value();
    thread.join();
}

TEST(ProcfsProcessSourceTest, VanishedProcessIsSkippedAndItsDescriptorClosed) {
    ProcfsProcessSource source;
    ChildProcess child;
    ASSERT_TRUE(child.running());
    ASSERT_NE(find(source.readProcesses(), child.pid()), nullptr);
    const std::size_t kept = source.openDescriptors();
    ASSERT_TRUE(child.exit());
    EXPECT_EQ(find(source.readProcesses(), child.pid()), nullptr);
    EXPECT_LT(source.openDescriptors(), kept);
}

TEST_P(ProcfsFootprintTest, ZombieIsListedWithoutFootprintAndOrphansGetTheirNewParent) {
    // A middle process forks a grandchild and exits; the grandchild is re-parented.
    int info[2];
    int go[2];
    ASSERT_EQ(pipe(info), 0);
    ASSERT_EQ(pipe(go), 0);
    const pid_t middle = fork();
    ASSERT_GE(middle, 0);
    if (middle == 0) {
        close(go[1]);
        const pid_t grandchild = fork();
        if (grandchild == 0) {
            pause();
            _exit(0);
        }
        if (write(info[1], &grandchild, sizeof grandchild) != sizeof grandchild) _exit(1);
        char c;
        (void)!read(go[0], &c, 1);  // returns once the test closes its end
        _exit(0);
    }
    close(info[1]);
    close(go[0]);
    pid_t grandchild = 0;
    ASSERT_EQ(read(info[0], &grandchild, sizeof grandchild), static_cast<ssize_t>(sizeof grandchild));
    close(info[0]);

    ProcfsProcessSource source(GetParam());
    auto list = source.readProcesses();
    const ProcessReading* g = find(list, grandchild);
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g->parentPid, middle);

    // Let the middle process exit; it stays a zombie until reaped.
    close(go[1]);
    std::string state;
    for (int i = 0; i < 2000 && state != "Z"; ++i) {
        usleep(1000);
        const std::string stat = slurp("/proc/" + std::to_string(middle) + "/stat");
        const auto parsed = parseStat(stat);
        state = parsed ? std::string(1, parsed->state) : "";
    }
    ASSERT_EQ(state, "Z");
    list = source.readProcesses();
    const ProcessReading* zombie = find(list, middle);
    ASSERT_NE(zombie, nullptr);
    EXPECT_EQ(zombie->footprintBytes, 0u);
    g = find(list, grandchild);
    ASSERT_NE(g, nullptr);
    const auto truth = parseStat(slurp("/proc/" + std::to_string(grandchild) + "/stat"));
    ASSERT_TRUE(truth);
    EXPECT_NE(truth->parentPid, middle);
    EXPECT_EQ(g->parentPid, truth->parentPid);

    kill(grandchild, SIGKILL);
    waitpid(middle, nullptr, 0);
    if (truth->parentPid == getpid()) waitpid(grandchild, nullptr, 0);
}

TEST(ProcfsProcessSourceTest, KernelThreadsAreLeftOut) {
    std::vector<int> kernelThreads;
    if (DIR* dir = opendir("/proc")) {
        while (const dirent* d = readdir(dir)) {
            const auto pid = parsePid(d->d_name);
            if (!pid) continue;
            const auto stat = parseStat(slurp("/proc/" + std::string(d->d_name) + "/stat"));
            if (stat && (stat->flags & kernelThreadFlag)) kernelThreads.push_back(*pid);
        }
        closedir(dir);
    }
    if (kernelThreads.empty()) GTEST_SKIP() << "no kernel threads visible in this pid namespace";
    ProcfsProcessSource source;
    for (int pass = 0; pass < 2; ++pass) {
        const auto list = source.readProcesses();
        EXPECT_GT(list.size(), 1u);
        for (int pid : kernelThreads) EXPECT_EQ(find(list, pid), nullptr) << pid;
    }
}

TEST(ProcfsProcessSourceTest, NoticesExecOfAKnownProcess) {
    int go[2];
    ASSERT_EQ(pipe(go), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(go[1]);
        char c;
        (void)!read(go[0], &c, 1);
        execl("/bin/sleep", "sleep", "30", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(go[0]);
    ProcfsProcessSource source;
    const auto before = source.readProcesses();
    const ProcessReading* first = find(before, child);
    ASSERT_NE(first, nullptr);
    ASSERT_TRUE(first->executablePath);
    EXPECT_NE(first->executablePath->find("test_platform_linux"), std::string::npos);

    close(go[1]);
    std::string comm;
    for (int i = 0; i < 2000 && comm != "sleep\n"; ++i) {
        usleep(1000);
        comm = slurp("/proc/" + std::to_string(child) + "/comm");
    }
    ASSERT_EQ(comm, "sleep\n");
    const auto after = source.readProcesses();
    const ProcessReading* second = find(after, child);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->shortName, "sleep");
    ASSERT_TRUE(second->executablePath);
    EXPECT_EQ(second->executablePath->substr(second->executablePath->rfind('/')), "/sleep");
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
}
