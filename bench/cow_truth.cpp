// Velmora's footprint of an app beside an independent reading: the kernel's proportional sums
// (Pss_Anon + SwapPss + Pss_Shmem in smaps_rollup) over the same processes, and the forks they
// made since the sample (each takes its share of its parent's pages at once). Also the sum that
// counts every resident anonymous page whole in each process that maps it (RssAnon + VmSwap +
// Pss_Shmem), which is what a fork without exec inflates.
//   cow_truth [--freeze | --window [--span FILE]] [--stop FILE] [--warm SECONDS] SECONDS PID [PID...]
// Samples once a second for SECONDS, as the application does, with the application's detector of
// significant changes; then prints, for the app holding each PID, its last figure beside both sums,
// and over the seconds: the largest gaps above and below the proportional sum, the seconds outside
// 2 % and 16 MiB, the lowest figure beside the sum that second, and the stories the detector told.
// Last the walks of address spaces the samples took and the sampling's own run time.
// --freeze stops each PID's process group (SIGSTOP) for the readings of each second, the sums and
// the sample, and lets it go on after: a program whose processes come and go faster than a sum can
// be read is then measured at one instant, about 20 ms a second.
// --window reads the proportional sums every 100 ms in a thread of its own, over the app's
// processes then (those of the last sample and the forks they made since), and judges each second's
// figure against those read in the 1.5 s before it: a worker replaced by its master moves the sum
// within the second, so one sum read beside the sample can't tell a right figure from a wrong one,
// while a figure near none of a second and a half of them is wrong. Prints the seconds near none
// (within 2 % or 16 MiB of none), the longest run of such seconds, the largest distance to the
// nearest sum, and the seconds whose figure is below each PID's own RssAnon (its resident
// anonymous memory, which its app's sum can never be under). Also the mean figure beside the mean
// of all the sums read: a figure that leaves out a database's short-lived backends now and then
// may still be near some sum most seconds, while its mean is far below the sums'. And each sum
// taken for a figure against the sums read in the 1.5 s before it: how many seconds near none even a
// figure read at the instant of a sum would have, for an app that moves faster than the sums are read;
// and in the very seconds judged, the sums read just before and just after each sample taken for
// its figure against the same window: what the kernel's own reading scores there.
// --span FILE counts only the seconds sampled between the two wall-clock times (seconds since the
// epoch) FILE holds when the run ends, and averages only the sums read between them; it also
// prints how far the sums rose above the last read before the span and how much they moved in it,
// beside the stories told in it: a server's save while it takes writes copies what it shares for
// as long as the save lasts, and a story told of it must be of that size.
// --warm SECONDS samples that long first, unjudged, as the application had been doing beside a
// server that was already running: its detector learns how far the app swings on its own (a
// database's backends come and go) before the seconds judged. Stories told then are printed apart.
// --stop FILE ends the run at the first second FILE exists (at most SECONDS), so that a script
// can end it once what it measures is over.
// With COW_TRUTH_EACH set, a line a second (in window mode with the wall-clock time of the sample).
// Exits non-zero when a last figure is outside 2 % and 16 MiB of the sum; with --window instead
// when fewer than 95 % of the seconds are near a sum, 3 in a row are near none, one is beyond
// 48 MiB and 15 % of the nearest, or one is below the own RssAnon.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "bench/SamplingRig.h"
#include "engine/detection/AppNoiseProfileStore.h"
#include "engine/detection/SignificantChangeDetector.h"
#include "platform/linux/ProcfsParsing.h"
#include "tests/fakes/InMemoryDefaults.h"

using namespace velmora;

namespace {

// A whole /proc file, or what was read of it: a process that ends meanwhile gives nothing.
std::string slurp(const std::string& path) {
    std::string out;
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return out;
    char buffer[4096];
    ssize_t n = 0;
    while ((n = read(fd, buffer, sizeof buffer)) > 0) out.append(buffer, static_cast<std::size_t>(n));
    close(fd);
    return out;
}

std::uint64_t field(const std::string& text, const char* key) { return procfs::kilobyteField(text, key).value_or(0); }

double mib(std::uint64_t bytes) { return static_cast<double>(bytes) / (1 << 20); }

// This thread's run time so far, in nanoseconds, as the scheduler counts it (the first figure of
// its schedstat), brought up to now: a running thread's schedstat is only brought up to date at a
// timer tick or a switch, so read by the thread itself it put the readings made before a sample
// (the sums, milliseconds beside a server of a gibibyte) into the sample, or left a short sample
// out altogether.
std::uint64_t runNanoseconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<std::uint64_t>(ts.tv_sec) * 1'000'000'000u + static_cast<std::uint64_t>(ts.tv_nsec);
}

// The app holding `pid` in the last sample.
const AppMemorySnapshot* appHolding(const MemorySampler& sampler, std::int32_t pid) {
    for (const auto& s : sampler.appSnapshots())
        for (const std::int32_t p : s.identity.pids)
            if (p == pid) return &s;
    return nullptr;
}

// The app's processes now: those of the last sample still there, and the forks they made since,
// which already take their share of what they were forked with (from each thread's children).
std::vector<std::int32_t> processesNow(const std::vector<std::int32_t>& sampled) {
    std::vector<std::int32_t> out = sampled;
    for (std::size_t i = 0; i < out.size(); ++i) {
        const std::string tasks = "/proc/" + std::to_string(out[i]) + "/task";
        DIR* dir = opendir(tasks.c_str());
        if (!dir) continue;
        while (const dirent* d = readdir(dir)) {
            if (!procfs::parsePid(d->d_name)) continue;
            std::string_view rest;
            const std::string children = slurp(tasks + "/" + d->d_name + "/children");
            for (rest = children; !rest.empty();) {
                const auto end = rest.find(' ');
                if (const auto pid = procfs::parsePid(rest.substr(0, end)); pid && !std::ranges::count(out, *pid))
                    out.push_back(*pid);
                rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
            }
        }
        closedir(dir);
    }
    return out;
}

// A process that has let go of its address space but is still unmapping it: the pages it shared
// still count in the others' proportional shares, while its own file reads empty.
bool unmapping(std::int32_t pid) {
    const std::string folder = "/proc/" + std::to_string(pid) + "/";
    const auto stat = procfs::parseStat(slurp(folder + "stat"));
    const auto statm = procfs::parseStatm(slurp(folder + "statm"));
    return stat && statm && statm->size == 0 && stat->state != 'Z' && stat->state != 'X' &&
           !(stat->flags & procfs::kernelThreadFlag);
}

// The kernel's proportional sums, and each page counted whole, over an app's processes now. A sum
// read while one of them is unmapping leaves out its share of what it shared, which it gives back
// within milliseconds; one read while a process forks leaves out the fork, which took its share of
// its parent's pages at once (a master forking its workers anew, far more than the fork holds of
// its own): such a sum is read again, a millisecond later, for at most a tenth of a second.
std::pair<std::uint64_t, std::uint64_t> truthOf(const std::vector<std::int32_t>& pids) {
    std::uint64_t proportional = 0, whole = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        proportional = whole = 0;
        const std::vector<std::int32_t> now = processesNow(pids);
        bool raced = std::ranges::any_of(now, unmapping);
        for (const std::int32_t p : now) {
            const std::string folder = "/proc/" + std::to_string(p) + "/";
            const std::string rollup = slurp(folder + "smaps_rollup"), status = slurp(folder + "status");
            proportional += field(rollup, "Pss_Anon") + field(rollup, "SwapPss") + field(rollup, "Pss_Shmem");
            whole += field(status, "RssAnon") + field(status, "VmSwap") + field(rollup, "Pss_Shmem");
        }
        const std::vector<std::int32_t> after = processesNow(pids);
        raced = raced || std::ranges::any_of(after, unmapping) ||
                std::ranges::any_of(after, [&](std::int32_t p) { return !std::ranges::count(now, p); });
        if (!raced) break;
        usleep(1000);
    }
    return {proportional, whole};
}

// Each of an app's processes: its figure in the last pass beside its own sum read now, what it
// holds whole, and its state.
void printDetail(const Sampling& sampling, const std::vector<std::int32_t>& pids) {
    for (const std::int32_t p : pids) {
        double figure = -1;
        for (const ProcessReading& r : sampling.processes.lastReadings())
            if (r.pid == p && r.footprintBytes) figure = mib(*r.footprintBytes);
        const std::string folder = "/proc/" + std::to_string(p) + "/";
        const std::string rollup = slurp(folder + "smaps_rollup"), status = slurp(folder + "status");
        const auto stat = procfs::parseStat(slurp(folder + "stat"));
        std::printf("    pid %d (%c): figure %.1f MiB, own sum %.1f MiB, RssAnon %.1f MiB, Pss_Shmem %.1f MiB\n", p,
                    stat ? stat->state : '?', figure,
                    mib(field(rollup, "Pss_Anon") + field(rollup, "SwapPss") + field(rollup, "Pss_Shmem")),
                    mib(field(status, "RssAnon")), mib(field(rollup, "Pss_Shmem")));
    }
}

// Stops (or lets go on) the process groups of the tracked pids; when stopping, waits until each of
// their processes has stopped or ended, for at most a tenth of a second.
void freeze(const std::vector<std::int32_t>& groups, const std::vector<std::int32_t>& pids, bool stop) {
    for (const std::int32_t group : groups) kill(-group, stop ? SIGSTOP : SIGCONT);
    if (!stop) return;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const bool settled = std::ranges::all_of(processesNow(pids), [&](std::int32_t pid) {
            const auto stat = procfs::parseStat(slurp("/proc/" + std::to_string(pid) + "/stat"));
            return !stat || !std::ranges::count(groups, getpgid(pid)) || std::string_view("TtZX").find(stat->state) != std::string_view::npos;
        });
        if (settled) return;
        usleep(1000);
    }
}

bool within(double off, double truth) { return std::fabs(off) <= 16.0 || std::fabs(off) <= 0.02 * truth; }
// Past this a figure tells a wrong story, whatever the sum did in the second before it.
bool withinLimit(double off, double truth) { return std::fabs(off) <= 48.0 || std::fabs(off) <= 0.15 * truth; }

// The sum of `sums` nearest to `value`. None given: nothing.
std::optional<double> nearestOf(double value, const std::vector<double>& sums) {
    if (sums.empty()) return std::nullopt;
    return *std::ranges::min_element(sums, {}, [&](double sum) { return std::fabs(value - sum); });
}

// Whether a figure of `value` is near the sums read before it: within 2 % or 16 MiB of the nearest.
// One rule for Velmora's figures and for the sums taken as figures, so that the two compare.
bool nearSome(double value, const std::vector<double>& sums) {
    const auto nearest = nearestOf(value, sums);
    return nearest && within(value - *nearest, *nearest);
}

using Instant = std::chrono::steady_clock::time_point;
constexpr auto windowSpan = std::chrono::milliseconds(1500);

// A process's resident anonymous memory (RssAnon in status), MiB; nothing once it is gone.
std::optional<double> residentAnon(std::int32_t pid) {
    const std::string status = slurp("/proc/" + std::to_string(pid) + "/status");
    const auto bytes = procfs::kilobyteField(status, "RssAnon");
    if (!bytes) return std::nullopt;
    return mib(*bytes);
}

double wallClock() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

// The proportional sums of each tracked app read every 100 ms by a thread of its own, over the
// app's processes of the last sample and the forks they made since. Apart from the sampling, whose
// run time is the one counted.
class SumWindow {
public:
    struct Timed {
        double begun, ended;  // wall clock, seconds
        double sum;           // MiB
    };

    explicit SumWindow(std::size_t apps) : pids_(apps), readings_(apps), history_(apps) {}
    ~SumWindow() { stop(); }
    SumWindow(const SumWindow&) = delete;
    SumWindow& operator=(const SumWindow&) = delete;

    void start() { thread_ = std::thread([this] { run(); }); }
    void stop() {
        stopping_ = true;
        if (thread_.joinable()) thread_.join();
    }
    // The processes of `app` in the last sample.
    void follow(std::size_t app, const std::vector<std::int32_t>& pids) {
        const std::lock_guard lock(mutex_);
        pids_[app] = pids;
    }
    // Every sum of `app` read so far, with the wall-clock times it was begun and ended.
    std::vector<Timed> history(std::size_t app) {
        const std::lock_guard lock(mutex_);
        return history_[app];
    }
    // The sums of `app` read wholly within the span before `at`; older ones are let go.
    std::vector<double> before(std::size_t app, Instant at) {
        const std::lock_guard lock(mutex_);
        auto& readings = readings_[app];
        while (!readings.empty() && readings.front().begun < at - 2 * windowSpan) readings.pop_front();
        std::vector<double> out;
        for (const Reading& r : readings)
            if (r.begun >= at - windowSpan && r.ended <= at) out.push_back(r.sum);
        return out;
    }

private:
    struct Reading {
        Instant begun, ended;
        double sum;  // MiB
    };

    void run() {
        auto next = std::chrono::steady_clock::now();
        while (!stopping_) {
            for (std::size_t k = 0; k < pids_.size(); ++k) {
                std::vector<std::int32_t> pids;
                {
                    const std::lock_guard lock(mutex_);
                    pids = pids_[k];
                }
                if (pids.empty()) continue;
                const Instant begun = std::chrono::steady_clock::now();
                const double begunWall = wallClock();
                const double sum = mib(truthOf(pids).first);
                const std::lock_guard lock(mutex_);
                readings_[k].push_back(Reading{begun, std::chrono::steady_clock::now(), sum});
                history_[k].push_back(Timed{begunWall, wallClock(), sum});
            }
            // A reading that ran late (a loaded machine) is not made up for with a burst of them.
            next = std::max(next + std::chrono::milliseconds(100), std::chrono::steady_clock::now());
            std::this_thread::sleep_until(next);
        }
    }

    std::mutex mutex_;
    std::vector<std::vector<std::int32_t>> pids_;
    std::vector<std::deque<Reading>> readings_;
    std::vector<std::vector<Timed>> history_;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

// One sample of the app holding a tracked pid, as it was judged when taken.
struct Second {
    int index = 0;    // from 1
    double wall = 0;  // when it was taken
    double figure = 0, truthBefore = 0, truthAfter = 0;  // MiB; the proportional sums read just before and after
    // --window: judged against the sums read in the 1.5 s before (none read: not judged), its
    // distance to the nearest, and the pid's own RssAnon.
    bool judged = false, near = true, beyond = false;
    // The sums read just before and just after the sample, judged as the figure is: what a figure
    // right at either instant would have been told, in the same second.
    bool nearBefore = true, nearAfter = true;
    double error = 0, percent = 0;
    std::optional<double> own;
    std::string offLine;  // printed when near none or below the own RssAnon
};

struct Story {
    int second = 0;  // the seconds sampled before the one that told it
    double wall = -1, mib = 0;
};

// Second by second, for the app holding one pid.
struct Track {
    std::int32_t pid = 0;
    int seconds = 0;
    std::vector<std::int32_t> pids;  // the app's processes in the last sample
    std::pair<std::uint64_t, std::uint64_t> lastTruth;  // both sums, read just after the last sample
    std::vector<Second> history;
    std::vector<Story> stories;
    std::string lastJudgement;
};

// What the seconds counted (all of them, or those of the span) add up to.
struct Tally {
    int seconds = 0, secondsOff = 0;
    // Outside 2 % and 16 MiB of the sums read just before and just after the sample, and of all
    // between them: a fork that lives a tenth of a second moves the sum by its own memory within
    // the time one reading takes.
    int secondsOffBoth = 0;
    double over = 0, under = 0;  // the largest gaps, figure above and below the proportional sum (MiB)
    double lowest = -1, truthAtLowest = 0, figures = 0;
    // --window: the seconds judged, those near none of the sums read in the 1.5 s before, the
    // longest run of them, those with no sum read (not judged), those beyond 48 MiB and 15 %.
    int judged = 0, nearNone = 0, run = 0, longestRun = 0, unread = 0, beyondLimit = 0;
    int beforeNearNone = 0, afterNearNone = 0;
    double largestError = 0, largestErrorPercent = 0;
    int largestErrorSecond = 0;
    // Seconds the figure was below the pid's own RssAnon, and the least it was above it (MiB).
    int belowOwn = 0;
    double ownMargin = 1e18;
    std::vector<std::string> offLines;
};

void add(Tally& t, const Second& s) {
    ++t.seconds;
    t.figures += s.figure;
    t.over = std::max(t.over, s.figure - s.truthAfter);
    t.under = std::max(t.under, s.truthAfter - s.figure);
    if (!within(s.figure - s.truthAfter, s.truthAfter)) ++t.secondsOff;
    const double low = std::min(s.truthAfter, s.truthBefore), high = std::max(s.truthAfter, s.truthBefore);
    if ((s.figure < low && !within(s.figure - low, low)) || (s.figure > high && !within(s.figure - high, high)))
        ++t.secondsOffBoth;
    if (t.lowest < 0 || s.figure < t.lowest) t.lowest = s.figure, t.truthAtLowest = s.truthAfter;
    if (s.own) {
        t.ownMargin = std::min(t.ownMargin, s.figure - *s.own);
        if (s.figure < *s.own) ++t.belowOwn;
    }
    if (!s.offLine.empty()) t.offLines.push_back(s.offLine);
    // Not judged: a run of seconds near none goes on over it.
    if (!s.judged) {
        ++t.unread;
        return;
    }
    ++t.judged;
    if (s.error > t.largestError) t.largestError = s.error, t.largestErrorPercent = s.percent, t.largestErrorSecond = s.index;
    if (s.beyond) ++t.beyondLimit;
    if (!s.nearBefore) ++t.beforeNearNone;
    if (!s.nearAfter) ++t.afterNearNone;
    if (s.near) t.run = 0;
    else ++t.nearNone, t.longestRun = std::max(t.longestRun, ++t.run);
}

// One second's figure against the window's sums and the own RssAnon read just before and just
// after the sample (the lesser of the two: a figure is wrong only below both).
std::string judgeWindow(Second& s, const std::vector<double>& sums, std::optional<double> ownBefore,
                        std::optional<double> ownAfter) {
    s.own = ownBefore && ownAfter ? std::optional(std::min(*ownBefore, *ownAfter)) : ownBefore ? ownBefore : ownAfter;
    const double figure = s.figure;
    char ownText[96] = "";
    if (s.own)
        std::snprintf(ownText, sizeof ownText, "; own RssAnon %.1f MiB%s", *s.own, figure < *s.own ? ", FIGURE BELOW IT" : "");
    char line[320];
    if (sums.empty()) {
        std::snprintf(line, sizeof line, "no sum read in the 1.5 s before%s", ownText);
    } else {
        s.judged = true;
        const double nearest = *nearestOf(figure, sums);
        const auto [low, high] = std::ranges::minmax(sums);
        s.error = std::fabs(figure - nearest);
        s.percent = nearest > 0 ? 100.0 * s.error / nearest : 0.0;
        s.near = nearSome(figure, sums);
        s.nearBefore = nearSome(s.truthBefore, sums);
        s.nearAfter = nearSome(s.truthAfter, sums);
        s.beyond = !withinLimit(figure - nearest, nearest);
        std::snprintf(line, sizeof line, "%zu sums in the 1.5 s before, %.1f to %.1f MiB, nearest %.1f MiB, off %+.1f MiB (%s)%s",
                      sums.size(), low, high, nearest, figure - nearest, s.near ? "near" : "NEAR NONE", ownText);
    }
    if (!s.near || (s.own && figure < *s.own)) {
        char off[400];
        std::snprintf(off, sizeof off, "second %d: figure %.1f MiB, %s", s.index, figure, line);
        s.offLine = off;
    }
    return line;
}

// The two wall-clock times in a span file, the first not after the second.
std::optional<std::pair<double, double>> readSpan(const char* path) {
    std::ifstream in(path);
    double from = 0, to = 0;
    if (!(in >> from >> to) || from > to) return std::nullopt;
    return std::pair(from, to);
}

}  // namespace

int main(int argc, char** argv) {
    const char* program = argv[0];
    bool frozen = false, windowed = false;
    const char *spanFile = nullptr, *stopFile = nullptr;
    int warmSeconds = 0;
    for (; argc > 1 && std::string_view(argv[1]).starts_with("--"); --argc, ++argv) {
        const std::string_view flag = argv[1];
        if (flag == "--freeze") frozen = true;
        else if (flag == "--window") windowed = true;
        else if ((flag == "--span" || flag == "--stop") && argc > 2) {
            (flag == "--span" ? spanFile : stopFile) = argv[2];
            --argc, ++argv;
        } else if (flag == "--warm" && argc > 2 && std::atoi(argv[2]) > 0) {
            warmSeconds = std::atoi(argv[2]);
            --argc, ++argv;
        } else {
            std::fprintf(stderr, "%s: unknown option %s\n", program, argv[1]);
            return 2;
        }
    }
    const auto usage = [&] {
        std::fprintf(stderr, "usage: %s [--freeze | --window [--span FILE]] [--stop FILE] [--warm SECONDS] SECONDS PID [PID...]\n", program);
        return 2;
    };
    // Stopped processes would leave the window's sums all of one instant: nothing to judge by.
    if (argc < 3 || (frozen && windowed) || (spanFile && !windowed)) return usage();
    const int seconds = std::atoi(argv[1]);
    if (seconds <= 0) return usage();
    const bool each = std::getenv("COW_TRUTH_EACH") != nullptr;  // a line a second, to find when a gap opens
    // With it, a second near none of the sums also tells each process's figure beside its own sum.
    const bool detail = std::getenv("COW_TRUTH_DETAIL") != nullptr;
    std::vector<Track> tracks;
    for (int a = 2; a < argc; ++a) {
        const auto pid = procfs::parsePid(argv[a]);
        if (!pid) {
            std::fprintf(stderr, "%s: %s is not a process id\n", program, argv[a]);
            return 2;
        }
        tracks.emplace_back().pid = *pid;
    }
    Sampling sampling;
    std::vector<std::int32_t> groups, tracked;
    for (const Track& t : tracks) {
        tracked.push_back(t.pid);
        if (const pid_t group = getpgid(t.pid); frozen && group > 0 && group != getpgrp()) groups.push_back(group);
    }
    InMemoryDefaults defaults;
    AppNoiseProfileStore noise(defaults);
    std::optional<SignificantChangeDetector> detector;
    sampling.sampler.onTick = [&](const auto& apps, const auto& system) {
        if (!detector) detector.emplace(system.totalPhysicalBytes, noise);
        detector->evaluate(apps, system, sampling.clock.now());
    };
    std::uint64_t sampled = 0;  // the sampling's own run time, the first sample (every process new) apart
    const auto tick = [&](bool counted) {
        const std::uint64_t before = runNanoseconds();
        sampling.tick();
        if (counted) sampled += runNanoseconds() - before;
    };
    tick(false);
    if (each)
        for (const Track& t : tracks)
            if (const AppMemorySnapshot* app = appHolding(sampling.sampler, t.pid))
                std::printf("second 0: %zu processes, figure %.1f MiB, sum %.1f MiB, walks %llu\n", app->identity.pids.size(),
                            mib(app->footprintBytes), mib(truthOf(app->identity.pids).first),
                            static_cast<unsigned long long>(sampling.processes.copyReads()));
    if (warmSeconds > 0) {
        std::vector<double> told;
        detector->onSignificantChange = [&](const SignificantChange& c) {
            for (const Track& t : tracks)
                if (std::ranges::count(c.app.pids, t.pid)) told.push_back(static_cast<double>(c.signedDelta) / (1 << 20));
        };
        for (int w = 0; w < warmSeconds; ++w) {
            sleep(1);
            tick(false);
        }
        std::printf("warming, %d s unjudged: %zu stories", warmSeconds, told.size());
        for (const double delta : told) std::printf(" %+.1f MiB", delta);
        std::printf("\n");
    }
    detector->onSignificantChange = [&](const SignificantChange& c) {
        for (Track& t : tracks)
            if (std::ranges::count(c.app.pids, t.pid))
                t.stories.push_back(Story{t.seconds, -1, static_cast<double>(c.signedDelta) / (1 << 20)});
    };
    SumWindow window(tracks.size());
    for (std::size_t k = 0; k < tracks.size(); ++k)
        if (const AppMemorySnapshot* app = appHolding(sampling.sampler, tracks[k].pid)) {
            tracks[k].pids = app->identity.pids;
            window.follow(k, app->identity.pids);
        }
    if (windowed) window.start();
    int samples = 0;  // after the first
    while (samples < seconds) {
        sleep(1);
        freeze(groups, tracked, true);
        std::vector<double> before;
        std::vector<std::optional<double>> ownBefore;
        for (const Track& t : tracks) {
            before.push_back(mib(truthOf(t.pids).first));
            ownBefore.push_back(windowed ? residentAnon(t.pid) : std::nullopt);
        }
        tick(true);
        ++samples;
        const Instant sampledAt = std::chrono::steady_clock::now();
        const double sampledWall = wallClock();
        for (std::size_t k = 0; k < tracks.size(); ++k) {
            Track& t = tracks[k];
            for (Story& story : t.stories)
                if (story.wall < 0) story.wall = sampledWall;
            const AppMemorySnapshot* app = appHolding(sampling.sampler, t.pid);
            if (!app) continue;
            t.pids = app->identity.pids;
            if (windowed) window.follow(k, t.pids);
            t.lastTruth = truthOf(t.pids);
            Second& s = t.history.emplace_back();
            s.index = ++t.seconds;
            s.wall = sampledWall;
            s.figure = mib(app->footprintBytes);
            s.truthAfter = mib(t.lastTruth.first);
            s.truthBefore = before[k];
            if (windowed) {
                t.lastJudgement = judgeWindow(s, window.before(k, sampledAt), ownBefore[k], residentAnon(t.pid));
                if (each)
                    std::printf("second %d at %.3f: %zu processes, figure %.1f MiB, sum after %.1f MiB (%s); %s\n",
                                t.seconds, sampledWall, t.pids.size(), s.figure, s.truthAfter,
                                within(s.figure - s.truthAfter, s.truthAfter) ? "within" : "OUTSIDE", t.lastJudgement.c_str());
                if (detail && t.lastJudgement.find("NEAR NONE") != std::string::npos) printDetail(sampling, t.pids);
                continue;
            }
            if (each)
                std::printf("second %d: %zu processes, figure %.1f MiB, sum before %.1f after %.1f MiB, walks %llu\n",
                            t.seconds, t.pids.size(), s.figure, before[k], s.truthAfter,
                            static_cast<unsigned long long>(sampling.processes.copyReads()));
        }
        freeze(groups, tracked, false);
        if (each) std::fflush(stdout);
        if (stopFile && access(stopFile, F_OK) == 0) break;
    }
    window.stop();
    // With --span, only the seconds sampled between its two times are counted, and only the sums
    // read wholly between them averaged; the others still print as they are sampled.
    std::optional<std::pair<double, double>> span;
    if (spanFile && !(span = readSpan(spanFile)))
        std::printf("%s gives no span (two wall-clock times, the first not after the second): nothing judged\n", spanFile);
    const auto counted = [&](double wall) { return !spanFile || (span && wall >= span->first && wall <= span->second); };
    bool ok = !spanFile || span.has_value();
    for (std::size_t k = 0; k < tracks.size(); ++k) {
        const Track& t = tracks[k];
        const AppMemorySnapshot* app = appHolding(sampling.sampler, t.pid);
        if (!app) {
            std::printf("pid %d: in no app\n", t.pid);
            ok = false;
            continue;
        }
        Tally tally;
        for (const Second& s : t.history)
            if (counted(s.wall)) add(tally, s);
        std::vector<Story> stories;
        for (const Story& story : t.stories)
            if (counted(story.wall)) stories.push_back(story);
        // The sums read with the last sample (its processes stopped for them, with --freeze).
        const auto [proportional, whole] = t.seconds > 0 ? t.lastTruth : truthOf(app->identity.pids);
        const double off = mib(app->footprintBytes) - mib(proportional);
        const bool last = within(off, mib(proportional));
        ok = ok && (windowed || last);
        std::printf("%s (%zu processes): Velmora %.1f MiB, proportional sum %.1f MiB, off %.1f MiB (%.2f %%) %s; "
                    "each page counted whole in every process: %.1f MiB\n",
                    app->identity.displayName.c_str(), app->identity.pids.size(), mib(app->footprintBytes),
                    mib(proportional), off, proportional ? 100.0 * std::fabs(off) / mib(proportional) : 0.0,
                    last ? "within 2 % or 16 MiB" : "OUTSIDE 2 % and 16 MiB", mib(whole));
        std::printf("  each second: largest gap %.1f MiB over and %.1f MiB under the proportional sum read after the "
                    "sample; %d of %d seconds outside 2 %% and 16 MiB of it, %d outside it, the sum read "
                    "just before and all between; lowest figure %.1f MiB when the sum was %.1f MiB; %zu stories\n",
                    tally.over, tally.under, tally.secondsOff, tally.seconds, tally.secondsOffBoth, tally.lowest,
                    tally.truthAtLowest, stories.size());
        for (const Story& story : stories) std::printf("  a story at second %d: %+.1f MiB\n", story.second, story.mib);
        if (spanFile) std::printf("  every second sampled, the span's and the others: %zu stories\n", t.stories.size());
        if (!windowed) continue;
        std::printf("  window, each second's figure against the sums read every 100 ms in the 1.5 s before it: %d of %d "
                    "seconds near none of them (within 2 %% or 16 MiB of none), %.1f %% near one; longest run of such "
                    "seconds %d; largest distance to the nearest sum %.1f MiB (%.1f %%) at second %d, %d seconds beyond "
                    "48 MiB and 15 %%; %d seconds with no sum read\n",
                    tally.nearNone, tally.judged, tally.judged ? 100.0 * (tally.judged - tally.nearNone) / tally.judged : 0.0,
                    tally.longestRun, tally.largestError, tally.largestErrorPercent, tally.largestErrorSecond,
                    tally.beyondLimit, tally.unread);
        std::printf("  the sums read just before and just after each sample, taken for its figure against the same sums: "
                    "%d and %d of %d seconds near none\n",
                    tally.beforeNearNone, tally.afterNearNone, tally.judged);
        std::printf("  figure below pid %d's own RssAnon: %d seconds (the least it was above it: %.1f MiB)\n", t.pid,
                    tally.belowOwn, tally.ownMargin < 1e17 ? tally.ownMargin : 0.0);
        for (const std::string& line : tally.offLines) std::printf("  %s\n", line.c_str());
        // The means: the sums read wholly within the span, else all read up to the last sample (a
        // sum read after it is beside no figure).
        const std::vector<SumWindow::Timed> history = window.history(k);
        const double lastWall = t.history.empty() ? 0 : t.history.back().wall;
        double sumTotal = 0;
        std::size_t sums = 0;
        std::optional<double> beforeSpan, first, highest, lowest;
        for (const SumWindow::Timed& r : history) {
            if (span && r.ended <= span->first) beforeSpan = r.sum;  // the last read before it
            if (span ? r.begun < span->first || r.ended > span->second : r.ended > lastWall) continue;
            sumTotal += r.sum;
            if (!sums++) first = r.sum;
            highest = std::max(highest.value_or(r.sum), r.sum);
            lowest = std::min(lowest.value_or(r.sum), r.sum);
        }
        const double meanFigure = tally.seconds ? tally.figures / tally.seconds : 0.0, meanSum = sums ? sumTotal / sums : 0.0;
        std::printf("  mean figure %.1f MiB over %d seconds, mean of the %zu sums read every 100 ms %.1f MiB: the figure "
                    "%+.1f %% off it\n",
                    meanFigure, tally.seconds, sums, meanSum, meanSum > 0 ? 100.0 * (meanFigure - meanSum) / meanSum : 0.0);
        // Each sum read as if it were a figure, against the sums read in the 1.5 s before it: the
        // seconds near none that even a figure read at the very instant of a sum would have, where
        // the app moves more than 16 MiB between two readings (a backend scanning its table).
        {
            const double spanSeconds = std::chrono::duration<double>(windowSpan).count();
            std::size_t asFigures = 0, alone = 0;
            for (std::size_t i = 0; i < history.size(); ++i) {
                const SumWindow::Timed& r = history[i];
                if (span ? r.begun < span->first || r.ended > span->second : r.ended > lastWall) continue;
                std::vector<double> before;
                for (std::size_t j = 0; j < i; ++j)
                    if (history[j].begun >= r.begun - spanSeconds && history[j].ended <= r.begun) before.push_back(history[j].sum);
                if (before.empty()) continue;
                ++asFigures;
                if (!nearSome(r.sum, before)) ++alone;
            }
            if (asFigures > 0)
                std::printf("  each sum taken for a figure, against the sums read in the 1.5 s before it: %zu of %zu near none "
                            "(%.1f %%)\n",
                            alone, asFigures, 100.0 * static_cast<double>(alone) / static_cast<double>(asFigures));
        }
        if (span) {
            // What the sums did over the span, from the last read before it: the most they rose above
            // it, and all they moved; beside the stories the detector told in it.
            const double start = beforeSpan.value_or(first.value_or(0.0));
            const double high = std::max(highest.value_or(start), start), low = std::min(lowest.value_or(start), start);
            double growth = 0, largest = 0;
            for (const Story& story : stories) {
                growth = std::max(growth, story.mib);
                largest = std::max(largest, std::fabs(story.mib));
            }
            std::printf("  span %.3f to %.3f: sum before it %.1f MiB%s, highest in it %.1f MiB (a rise of %.1f MiB), "
                        "lowest %.1f MiB (the sums moved %.1f MiB); %zu stories in it, the largest growth %+.1f MiB, "
                        "the largest change %.1f MiB\n",
                        span->first, span->second, start, beforeSpan ? "" : " (none read before it: the first in it)", high,
                        high - start, low, high - low, stories.size(), growth, largest);
        }
        // Judged by the window alone: beside a program whose forks come and go, the sum read after
        // the last sample is one instant of many.
        ok = ok && tally.judged > 0 && 100 * (tally.judged - tally.nearNone) >= 95 * tally.judged && tally.longestRun < 3 &&
             tally.beyondLimit == 0 && tally.belowOwn == 0;
    }
    std::printf("smaps_rollup walks over %d samples: %llu for shared memory, %llu for copy-on-write\n", samples + 1,
                static_cast<unsigned long long>(sampling.processes.shareReads()),
                static_cast<unsigned long long>(sampling.processes.copyReads()));
    std::printf("sampling run time: %.3f ms a sample after the first (%.3f %% of a core)\n",
                static_cast<double>(sampled) / 1e6 / samples, static_cast<double>(sampled) / 1e7 / samples);
    return ok ? 0 : 1;
}
