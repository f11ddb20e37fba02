#include "platform/linux/ProcfsProcessSource.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysinfo.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <utility>

#include "platform/linux/ProcfsParsing.h"

namespace velmora {

namespace {

// Identity and parent are re-read once in this many passes: a safety net for changes no cheaper
// sign reveals (an exec into a program of the same code size, a renamed process). Where no kept
// descriptor would notice a new process under the same pid (kernel threads, processes past the
// descriptor budget), also each time the pid counter goes round, and more often while it cannot
// be read.
constexpr std::uint64_t revalidationPeriod = 3600;
constexpr std::uint64_t unkeptRevalidationPeriod = 120;
// A process's swap is read again at least this often even when nothing hints at a change (a
// program that frees swapped-out memory without touching what is resident).
constexpr std::uint64_t swapRefreshPeriod = 60;
// More new pids than this since the last pass (threads count too): list /proc instead.
constexpr std::int32_t maxProbes = 48;
// /proc is listed whole at least this often anyway.
constexpr std::uint64_t fullListingPeriod = 30;
// Descriptors left for the rest of the application (X connection, files, sockets, pipes).
constexpr rlim_t reservedDescriptors = 512;
// Past this many kept descriptors the saving no longer matters.
constexpr rlim_t maximumKeptDescriptors = 1u << 16;
// Room left beyond the statm of every process known before a status is kept, for the processes
// started before the next pass: without it each new process would close a status.
constexpr std::size_t statusHeadroom = 32;
// A fork started this many clock ticks (a pass) before the first pass is as new as one first seen later.
constexpr std::uint64_t firstPassWindowTicks = 100;

std::uint64_t distance(std::uint64_t a, std::uint64_t b) { return a > b ? a - b : b - a; }

void pidPath(char* out, std::size_t size, std::int32_t pid, const char* leaf) {
    std::snprintf(out, size, "/proc/%d/%s", static_cast<int>(pid), leaf);
}

}  // namespace

ssize_t ProcfsProcessSource::readSmallFile(int dirFd, const char* path, char* buffer, std::size_t size) {
    const int fd = openat(dirFd, path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return -1;
    const ssize_t n = pread(fd, buffer, size, 0);
    close(fd);
    return n;
}

std::optional<procfs::StatFields> ProcfsProcessSource::readStat(int dirFd, const char* path) {
    char buffer[2048];  // 52 numeric fields and a 15-byte name
    const ssize_t n = readSmallFile(dirFd, path, buffer, sizeof buffer);
    if (n <= 0) return std::nullopt;
    return procfs::parseStat(std::string_view(buffer, static_cast<std::size_t>(n)));
}

ProcfsProcessSource::ProcfsProcessSource(SwapReading swapReading, std::optional<std::size_t> descriptorBudget)
    : swapReading_(swapReading) {
    const long page = sysconf(_SC_PAGESIZE);
    if (page > 0) pageSize_ = static_cast<std::uint64_t>(page);
    rlimit limit{};
    if (descriptorBudget) {
        descriptorBudget_ = *descriptorBudget;
    } else if (getrlimit(RLIMIT_NOFILE, &limit) == 0) {
        const rlim_t soft = limit.rlim_cur == RLIM_INFINITY ? maximumKeptDescriptors : limit.rlim_cur;
        descriptorBudget_ = soft > reservedDescriptors
                                ? static_cast<std::size_t>(std::min(soft - reservedDescriptors, maximumKeptDescriptors))
                                : 0;
    }
}

ProcfsProcessSource::~ProcfsProcessSource() {
    for (auto& [pid, entry] : entries_) closeDescriptor(entry);
    if (directory_) closedir(static_cast<DIR*>(directory_));
    if (loadavgFd_ >= 0) close(loadavgFd_);
}

void ProcfsProcessSource::closeDescriptor(int& fd, std::size_t& count) {
    if (fd >= 0) {
        close(fd);
        --count;
    }
    fd = -1;
}

void ProcfsProcessSource::closeDescriptor(Entry& entry) {
    closeDescriptor(entry.statmFd, keptStatm_);
    closeDescriptor(entry.statusFd, keptStatus_);
}

void ProcfsProcessSource::forget(Entry& entry) {
    leaveFamily(entry, 0);
    // A share never read took nothing off the others' readings (what it was taken to hold is what
    // theirs left out), unless one of them was read while it mapped its pages: only then does its
    // going move theirs.
    const bool overlooked = entry.shmemEstimated && lastShareWalkPass_ < entry.createdInPass;
    const std::uint64_t resident = overlooked ? 0 : entry.rssShmem.value_or(0);
    noteShareMoved(resident == 0 || entry.shmemReadInPass >= sharesMovedInPass_, resident,
                   overlooked ? 0 : entry.shmemBytes, 0, 0);
    closeDescriptor(entry);
}

bool ProcfsProcessSource::roomFor(Kept kind) {
    const std::size_t wanted = statmWanted();
    if (kind == Kept::status)
        return keptStatm_ + keptStatus_ < descriptorBudget_ &&
               keptStatus_ + std::max(wanted, keptStatm_) + statusHeadroom < descriptorBudget_;
    if (keptStatm_ + keptStatus_ < descriptorBudget_) return true;
    if (keptStatus_ == 0) return false;
    // A statm left unkept costs a path lookup each pass and the guard against a reused pid; a
    // status, only the open. Enough go at once to leave the headroom again.
    const std::size_t statmRoom = std::max(wanted, keptStatm_ + 1) + statusHeadroom;
    const std::size_t keep = descriptorBudget_ > statmRoom ? std::min(descriptorBudget_ - statmRoom, keptStatus_ - 1) : 0;
    for (auto it = entries_.begin(); it != entries_.end() && keptStatus_ > keep; ++it)
        closeDescriptor(it->second.statusFd, keptStatus_);
    return keptStatm_ + keptStatus_ < descriptorBudget_;
}

ProcfsProcessSource::ReadOutcome ProcfsProcessSource::readKept(std::int32_t pid, Kept kind, int& fd, char* buffer,
                                                                std::size_t size, std::size_t& length) {
    const char* leaf = kind == Kept::statm ? "statm" : "status";
    if (fd < 0 && roomFor(kind)) {
        char path[64];
        pidPath(path, sizeof path, pid, leaf);
        fd = open(path, O_RDONLY | O_CLOEXEC);
        if (fd >= 0) ++(kind == Kept::statm ? keptStatm_ : keptStatus_);
    }
    if (fd < 0) return readOnce(pid, leaf, buffer, size, length);
    const ssize_t n = pread(fd, buffer, size, 0);
    // The descriptor belongs to the process it was opened for: once that one is gone the read
    // fails, whoever holds the pid now.
    if (n < 0) return errno == ESRCH ? ReadOutcome::gone : ReadOutcome::unreadable;
    length = static_cast<std::size_t>(n);
    return ReadOutcome::ok;
}

ProcfsProcessSource::ReadOutcome ProcfsProcessSource::readOnce(std::int32_t pid, const char* leaf, char* buffer,
                                                                std::size_t size, std::size_t& length) {
    char path[64];
    pidPath(path, sizeof path, pid, leaf);
    const ssize_t n = readSmallFile(AT_FDCWD, path, buffer, size);
    if (n < 0) return errno == ENOENT || errno == ESRCH ? ReadOutcome::gone : ReadOutcome::unreadable;
    length = static_cast<std::size_t>(n);
    return ReadOutcome::ok;
}

bool ProcfsProcessSource::swapInUse() const {
    if (swapReading_ == SwapReading::always) return true;
    struct sysinfo info {};
    if (sysinfo(&info) != 0) return true;  // unknown: read swap to be safe
    return info.totalswap > info.freeswap;
}

bool ProcfsProcessSource::initialise(std::int32_t pid, Entry& entry) {
    char path[64];
    pidPath(path, sizeof path, pid, "");
    // Every read goes through the process's own folder, so all of them describe one process even
    // if its pid is handed on meanwhile.
    const int dirFd = open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0) return false;
    const auto stat = readStat(dirFd, "stat");
    // A thread's id opens under /proc too, though the listing hides it. A failure leaves the entry
    // as it was: the process it describes is gone, so its next read fails and it is dropped.
    if (!stat || stat->exitSignal.value_or(0) < 0) {
        close(dirFd);
        return false;
    }
    forget(entry);
    const std::uint64_t created = entry.createdInPass;
    const std::size_t index = entry.outputIndex;
    entry = Entry{};
    entry.createdInPass = created;
    entry.outputIndex = index;
    entry.identityVersion = ++identityVersions_;
    entry.startTime = stat->startTime;
    entry.kernelThread = (stat->flags & procfs::kernelThreadFlag) != 0;
    entry.parentPid = stat->parentPid;
    entry.comm = stat->comm;
    entry.forkedWithoutExec = !entry.kernelThread && (stat->flags & procfs::forkedWithoutExecFlag) != 0;
    entry.minorFaults = stat->minorFaults;
    if (entry.forkedWithoutExec) newForks_.push_back(pid);
    if (!entry.kernelThread) {
        readNames(dirFd, pid, entry);
        if (roomFor(Kept::statm)) {
            entry.statmFd = openat(dirFd, "statm", O_RDONLY | O_CLOEXEC);
            if (entry.statmFd >= 0) ++keptStatm_;
        }
    }
    close(dirFd);
    return true;
}

bool ProcfsProcessSource::refreshIdentity(std::int32_t pid, Entry& entry, bool rereadPath) {
    char path[64];
    pidPath(path, sizeof path, pid, "stat");
    const auto stat = readStat(AT_FDCWD, path);
    // A thread may start within the same clock tick as the process that held its id.
    if (!stat || stat->exitSignal.value_or(0) < 0) return false;
    if (stat->startTime != entry.startTime) return initialise(pid, entry);
    entry.identityVersion = ++identityVersions_;
    entry.parentPid = stat->parentPid;
    // An exec unmaps all it shared before it returns.
    if (entry.forkedWithoutExec && !(stat->flags & procfs::forkedWithoutExecFlag)) {
        entry.forkedWithoutExec = false;
        leaveFamily(entry, 0);
    }
    if (!entry.kernelThread && (rereadPath || stat->comm != entry.comm)) {
        entry.comm = stat->comm;
        pidPath(path, sizeof path, pid, "");
        const int dirFd = open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dirFd < 0) return false;
        readNames(dirFd, pid, entry);
        close(dirFd);
    }
    return true;
}

ProcfsProcessSource::ReadOutcome ProcfsProcessSource::readFootprint(std::int32_t pid, Entry& entry, bool swapInUse,
                                                                     std::uint64_t& footprint) {
    char buffer[4096];
    std::size_t length = 0;
    ReadOutcome outcome = readKept(pid, Kept::statm, entry.statmFd, buffer, 256, length);
    if (outcome != ReadOutcome::ok) return outcome;
    const auto statm = procfs::parseStatm(std::string_view(buffer, length));
    if (!statm) return ReadOutcome::unreadable;
    const std::uint64_t anonymous = procfs::anonymousBytes(*statm, pageSize_);
    const bool hasMemory = statm->size != 0;  // a zombie or an exiting process has none left

    // status read this pass, whose text stays in `buffer`.
    bool statusRead = false;
    if (!swapInUse) {
        entry.swapBytes.reset();
    } else if (!hasMemory) {
        entry.swapBytes = 0;
    } else if (!entry.swapBytes || anonymous != entry.anonymousBytes ||
               (pass_ + static_cast<std::uint64_t>(pid)) % swapRefreshPeriod == 0) {
        // Pages go to swap and come back only with a change of resident anonymous memory, so
        // the costly status file is read again only then (and now and then to be safe).
        outcome = readKept(pid, Kept::status, entry.statusFd, buffer, sizeof buffer, length);
        if (outcome == ReadOutcome::gone) return outcome;
        statusRead = outcome == ReadOutcome::ok;
        if (outcome == ReadOutcome::ok) {
            entry.swapBytes = procfs::parseStatusMemory(std::string_view(buffer, length)).swap.value_or(0);
        } else {
            entry.swapBytes.reset();
            return outcome;
        }
    }
    // A fork first seen maps its family's shared memory, whose pages the others' readings hold
    // already: its share is taken as none, unread, and the others' shares as they stand. A database's
    // backend maps a hundred mebibytes of it and lives a fraction of a second: a walk of each cost
    // more than reading every other process. One that lives on is read at its next pass.
    // At the first pass, where every process is first seen, those started within a pass are: a
    // backend counted there and left out after would tell of a release at start-up.
    const bool youngFork = entry.createdInPass == pass_ && entry.forkedWithoutExec &&
                           (pass_ > 1 || entry.startTime + firstPassWindowTicks > firstPassTicks_);
    if (entry.shmemEstimated && !youngFork) {
        entry.shmemEstimated = false;
        entry.sharedPages.reset();
        entry.rssShmem.reset();
        entry.shmemBytes = 0;
    }
    const std::uint64_t residentShmemBefore = entry.rssShmem.value_or(0);
    const std::uint64_t shareBefore = entry.shmemBytes;
    const bool shareWasCurrent = residentShmemBefore == 0 || entry.shmemReadInPass >= sharesMovedInPass_;
    if (!hasMemory || statm->shared == 0) {
        entry.shmemBytes = 0;
        entry.rssShmem = 0;
        entry.sharedPages = statm->shared;
        entry.shmemEstimated = false;
    } else if (entry.sharedPages != statm->shared) {
        // Shared anonymous pages (memfd, shm) count among statm's shared ones, so they can only
        // have changed when that count did; file pages change it far more often, so status (cheap)
        // says first whether there is any, and whether it changed. A process whose count changes
        // after its first read will likely change it again (it is busy): its status stays open.
        if (!statusRead)
            outcome = entry.sharedPages ? readKept(pid, Kept::status, entry.statusFd, buffer, sizeof buffer, length)
                                        : readOnce(pid, "status", buffer, sizeof buffer, length);
        if (outcome == ReadOutcome::gone) return outcome;
        // status is everyone's to read: a read that fails says nothing of the share, which stands
        // and is read again next pass, instead of counting as none until statm's count moves.
        if (outcome == ReadOutcome::ok) {
            const auto resident = procfs::parseStatusMemory(std::string_view(buffer, length)).rssShmem.value_or(0);
            const std::uint64_t residentBefore = entry.rssShmem.value_or(0);
            const std::uint64_t change = distance(resident, residentBefore);
            if (resident == 0) {
                entry.shmemBytes = 0;
                entry.shareDoubt = 0;
            } else if (youngFork) {
                entry.shmemBytes = 0;
                entry.shmemEstimated = true;
            } else if (entry.rssShmem && resident != residentBefore && entry.shareDoubt + change < shareDriftBytes) {
                // A few pages more or less (a browser tab drawing): taken as the process's own, its share
                // moves by at most as much, so the reading stays within the drift of the truth without
                // a walk of the address space; the walk comes once the doubt adds up.
                const std::uint64_t estimate = entry.shmemBytes + resident;
                entry.shmemBytes = std::min(resident, estimate > residentBefore ? estimate - residentBefore : 0);
                entry.shareDoubt += change;
            } else if (entry.rssShmem != resident) {
                ++shareReads_;
                lastShareWalkPass_ = pass_;
                outcome = readOnce(pid, "smaps_rollup", buffer, sizeof buffer, length);
                if (outcome == ReadOutcome::gone) return outcome;
                // Unreadable (another user's process): counted as none until it changes again.
                entry.shmemBytes = outcome == ReadOutcome::ok
                                       ? procfs::kilobyteField(std::string_view(buffer, length), "Pss_Shmem").value_or(0)
                                       : 0;
                entry.shmemReadInPass = pass_;
                entry.shareDoubt = 0;
            }
            entry.rssShmem = resident;
            entry.sharedPages = statm->shared;
        }
    }
    if (entry.rssShmem.value_or(0) != residentShmemBefore && !entry.shmemEstimated)
        noteShareMoved(shareWasCurrent, residentShmemBefore, shareBefore, entry.rssShmem.value_or(0), entry.shmemBytes);
    entry.anonymousBytes = anonymous;
    // Pages on their way out go as they are unmapped; what comes after is new.
    entry.unmappingAnonBytes = std::min(entry.unmappingAnonBytes, anonymous - std::min(anonymous, entry.walkedAnonBytes));
    entry.residentPages = statm->resident;
    footprint = footprintOf(entry);

    if (hasMemory) {
        const std::uint64_t textBytes = statm->text * pageSize_;
        if (entry.hadMemory && textBytes != entry.textBytes) {
            // Without a kept statm the pid may name a thread now, or another process: what was
            // read is not the process known, which must not keep its names for another's memory.
            const std::uint64_t startTime = entry.startTime;
            if (!refreshIdentity(pid, entry, true) || entry.startTime != startTime) return ReadOutcome::gone;
        }
        entry.textBytes = textBytes;
    }
    entry.hadMemory = hasMemory;
    return ReadOutcome::ok;
}

bool ProcfsProcessSource::scanAll(std::vector<std::int32_t>& departed) {
    DIR* dir = static_cast<DIR*>(directory_);
    if (dir) {
        rewinddir(dir);
    } else {
        dir = opendir("/proc");
        directory_ = dir;
        if (!dir) return false;
    }
    listed_.clear();
    while (const dirent* d = readdir(dir)) {
        if (d->d_name[0] < '1' || d->d_name[0] > '9') continue;
        if (const auto pid = procfs::parsePid(d->d_name)) listed_.push_back(*pid);
    }
    std::sort(listed_.begin(), listed_.end());
    listed_.erase(std::unique(listed_.begin(), listed_.end()), listed_.end());

    // Both sides are in pid order: walk them together.
    auto cursor = entries_.begin();
    for (const std::int32_t pid : listed_) {
        while (cursor != entries_.end() && cursor->first < pid) {
            departed.push_back(cursor->first);
            forget(cursor->second);
            cursor = entries_.erase(cursor);
        }
        if (cursor != entries_.end() && cursor->first == pid) {
            ++cursor;
            continue;
        }
        Entry entry;
        if (initialise(pid, entry)) {
            entry.createdInPass = pass_;
            createdInThisPass_ += entry.kernelThread ? 0 : 1;
            entries_.emplace_hint(cursor, pid, std::move(entry));
        }
    }
    while (cursor != entries_.end()) {
        departed.push_back(cursor->first);
        forget(cursor->second);
        cursor = entries_.erase(cursor);
    }
    return true;
}

void ProcfsProcessSource::probe(std::int32_t pid) {
    if (entries_.count(pid)) return;
    Entry entry;
    if (initialise(pid, entry)) {
        entry.createdInPass = pass_;
        createdInThisPass_ += entry.kernelThread ? 0 : 1;
        entries_.emplace(pid, std::move(entry));
    }
}

std::optional<std::int32_t> ProcfsProcessSource::readLastPid() {
    if (loadavgFd_ < 0) loadavgFd_ = open("/proc/loadavg", O_RDONLY | O_CLOEXEC);
    if (loadavgFd_ < 0) return std::nullopt;
    char buffer[128];
    const ssize_t n = pread(loadavgFd_, buffer, sizeof buffer, 0);
    if (n <= 0) return std::nullopt;
    return procfs::parseLastPid(std::string_view(buffer, static_cast<std::size_t>(n)));
}

void ProcfsProcessSource::dropReadings() {
    std::size_t count = 0;
    for (std::size_t i = 0; i < readings_.size(); ++i) {
        if (readings_[i].pid == 0) continue;
        if (count != i) {
            readings_[count] = std::move(readings_[i]);
            readingVersions_[count] = readingVersions_[i];
            if (const auto entry = entries_.find(readings_[count].pid); entry != entries_.end())
                entry->second.outputIndex = count;
        }
        ++count;
    }
    readings_.erase(readings_.begin() + static_cast<std::ptrdiff_t>(count), readings_.end());
    readingVersions_.resize(count);
}

void ProcfsProcessSource::copyIdentity(std::int32_t pid, const Entry& entry, std::size_t index) {
    ProcessReading& reading = readings_[index];
    reading.pid = pid;
    reading.executablePath = entry.executablePath;
    reading.shortName = entry.comm;
    reading.parentPid = entry.parentPid;
    reading.startTime = entry.startTime;
    reading.launchName = entry.launchName;
    reading.launchedDesktopFile = entry.launchedDesktopFile;
    readingVersions_[index] = entry.identityVersion;
}

const std::vector<ProcessReading>& ProcfsProcessSource::readProcesses() {
    if (++pass_ == 1) firstPassTicks_ = bootTicks();
    createdInThisPass_ = 0;
    // Processes that exited or lost their address space this pass: their children have a new parent.
    std::vector<std::int32_t> departed;

    // Listing /proc costs about a third of reading every process. Pids are handed out in rising
    // order, so when the last one handed out moved by little since the previous pass, only the
    // new pids need a look; exits show as failed reads below. Read before the listing, so that
    // nothing started during it is missed.
    const auto lastPid = readLastPid();
    // Pids of processes gone since may name new ones now.
    const bool wrapped = lastPid && lastPid_ && *lastPid < *lastPid_;
    const bool listAll = !lastPid || !lastPid_ || wrapped || *lastPid - *lastPid_ > maxProbes ||
                         pass_ % fullListingPeriod == 0;
    if (listAll) {
        if (!scanAll(departed)) {
            lastPid_.reset();
            readings_.clear();
            readingVersions_.clear();
            return readings_;
        }
    } else {
        for (std::int32_t pid = *lastPid_ + 1; pid <= *lastPid; ++pid) probe(pid);
    }
    lastPid_ = lastPid;

    const bool swap = swapInUse();
    // The readings of the previous pass are overwritten in place: in the steady state each slot
    // holds the same process as before, so its names are copied into strings that already fit.
    std::vector<ProcessReading>& out = readings_;
    std::size_t count = 0;
    std::size_t shareHolders = 0;
    std::size_t youngHolders = 0;  // forks first seen this pass that map shared memory, unread
    for (auto it = entries_.begin(); it != entries_.end();) {
        const std::int32_t pid = it->first;
        Entry& entry = it->second;
        const bool fresh = entry.createdInPass == pass_;
        const bool kept = entry.statmFd >= 0;
        const std::uint64_t period = kept || (entry.kernelThread && lastPid) ? revalidationPeriod
                                                                             : unkeptRevalidationPeriod;
        if (!fresh && ((!kept && wrapped) || (pass_ + static_cast<std::uint64_t>(pid)) % period == 0)) {
            const std::uint64_t before = entry.startTime;
            if (!refreshIdentity(pid, entry, false)) {
                departed.push_back(pid);
                forget(entry);
                it = entries_.erase(it);
                continue;
            }
            if (entry.startTime != before) departed.push_back(pid);
        }
        if (entry.kernelThread) {
            ++it;
            continue;
        }

        const bool hadMemory = entry.hadMemory;
        std::uint64_t footprint = 0;
        ReadOutcome outcome = readFootprint(pid, entry, swap, footprint);
        if (outcome == ReadOutcome::gone && !fresh) {
            // The process we knew is gone; the pid may already name a new one.
            departed.push_back(pid);
            if (initialise(pid, entry)) {
                entry.createdInPass = pass_;
                if (entry.kernelThread) {
                    ++it;
                    continue;
                }
                outcome = readFootprint(pid, entry, swap, footprint);
            }
        }
        if (outcome == ReadOutcome::gone) {
            forget(entry);
            it = entries_.erase(it);
            continue;
        }
        if (hadMemory && !entry.hadMemory) {
            departed.push_back(pid);
            leaveFamily(entry, pid);
        }

        if (count == out.size()) {
            out.emplace_back();
            readingVersions_.push_back(0);
        }
        ProcessReading& reading = out[count];
        // Names are copied only when the slot holds others: touching a thousand strings costs
        // more than reading the footprints.
        if (readingVersions_[count] != entry.identityVersion) copyIdentity(pid, entry, count);
        reading.footprintBytes = outcome == ReadOutcome::ok ? std::optional(footprint) : std::nullopt;
        entry.outputIndex = count++;
        if (entry.rssShmem.value_or(0) > 0) ++shareHolders;
        if (entry.shmemEstimated) ++youngHolders;
        ++it;
    }

    out.erase(out.begin() + static_cast<std::ptrdiff_t>(count), out.end());
    readingVersions_.resize(count);

    readCopies(out);
    // Most passes have no such fork: nothing to estimate.
    if (youngHolders > 0) estimateYoungShares(out);
    rereadShares(out, shareHolders, youngHolders);

    if (!departed.empty()) {
        std::sort(departed.begin(), departed.end());
        bool dropped = false;
        for (auto it = entries_.begin(); it != entries_.end();) {
            auto& [pid, entry] = *it;
            if (entry.kernelThread || !std::binary_search(departed.begin(), departed.end(), entry.parentPid)) {
                ++it;
                continue;
            }
            const bool listed = entry.outputIndex < out.size() && out[entry.outputIndex].pid == pid;
            if (!refreshIdentity(pid, entry, false)) {
                // Gone, or its pid names a thread now: its reading goes too.
                if (listed) out[entry.outputIndex].pid = 0;
                dropped = true;
                forget(entry);
                it = entries_.erase(it);
                continue;
            }
            if (listed) copyIdentity(pid, entry, entry.outputIndex);
            ++it;
        }
        if (dropped) dropReadings();
    }
    previousReadings_ = out.size();
    return out;
}

}  // namespace velmora
