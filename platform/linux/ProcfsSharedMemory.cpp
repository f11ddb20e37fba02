// Shared anonymous memory (memfd, shm) that processes map together: each one's share of it.
#include <algorithm>
#include <map>

#include "platform/linux/ProcfsParsing.h"
#include "platform/linux/ProcfsProcessSource.h"

namespace velmora {

namespace {

// Once this much shared memory may have changed hands between processes, the shares read before
// are read again in turn: at least minimumShareReads a pass, and enough that a whole round takes
// at most shareRefreshPeriod passes. Less than that is far below any change the detectors report.
constexpr std::size_t minimumShareReads = 3;
constexpr std::size_t shareRefreshPeriod = 30;

std::uint64_t distance(std::uint64_t a, std::uint64_t b) { return a > b ? a - b : b - a; }

}  // namespace

void ProcfsProcessSource::noteShareMoved(bool shareWasCurrent, std::uint64_t residentBefore, std::uint64_t shareBefore,
                                         std::uint64_t residentAfter, std::uint64_t shareAfter) {
    // A page that only this process maps changes its resident count and its share alike; what
    // the share moved less than the resident count is what the other mappers of the same pages
    // gained or lost together. A share read before the last round began may hold others' moves
    // too: then all of the resident change counts.
    movedShareBytes_ += shareWasCurrent ? distance(residentAfter + shareBefore, residentBefore + shareAfter)
                                        : distance(residentAfter, residentBefore);
}

void ProcfsProcessSource::estimateYoungShares(std::vector<ProcessReading>& out) {
    // A fork first seen maps what it inherited: the memory its family holds. What its family's
    // shares already count, it may map too; the rest of what it maps is only its own, as a
    // database's backend reading a table that a backend gone before brought into the buffers.
    // Taken that way the family never adds up to more than what its members map, and a backend
    // alive half the time leaves the app between its sums instead of at the floor without one.
    std::map<std::int32_t, std::uint64_t> counted;  // family → what its read shares and the forks before count
    for (const std::int32_t pid : copyMembers_) {
        const auto it = entries_.find(pid);
        if (it != entries_.end() && it->second.copyFamily != 0 && !it->second.shmemEstimated)
            counted[it->second.copyFamily] += it->second.shmemBytes;
    }
    for (const std::int32_t pid : copyMembers_) {
        const auto it = entries_.find(pid);
        if (it == entries_.end() || it->second.copyFamily == 0 || !it->second.shmemEstimated) continue;
        Entry& entry = it->second;
        const std::uint64_t resident = entry.rssShmem.value_or(0);
        std::uint64_t& before = counted[entry.copyFamily];
        entry.shmemBytes = resident - std::min(resident, before);
        before += entry.shmemBytes;
        showFootprint(out, pid, entry);
    }
}

void ProcfsProcessSource::rereadShares(std::vector<ProcessReading>& out, std::size_t holders, std::size_t young) {
    if (movedShareBytes_ >= shareDriftBytes) {
        movedShareBytes_ = 0;
        sharesMovedInPass_ = pass_;
        staleShares_ = true;
    }
    // A share read while a fork not yet read maps the same pages (a database's backend) would be
    // low once it goes, and its going unnoticed: the reading waits for a pass without one.
    if (!staleShares_ || young > 0) return;
    // Each read walks a whole address space, and beside a browser some share moves every second:
    // reading every holder then cost more than all the rest of the pass.
    const std::size_t budget = std::max(minimumShareReads, (holders + shareRefreshPeriod - 1) / shareRefreshPeriod);
    char buffer[4096];
    std::size_t reads = 0;
    auto it = entries_.lower_bound(shareCursor_);
    for (std::size_t visited = 0; visited < entries_.size() && reads < budget; ++visited, ++it) {
        if (it == entries_.end()) it = entries_.begin();
        auto& [pid, entry] = *it;
        if (entry.rssShmem.value_or(0) == 0 || entry.shmemReadInPass >= sharesMovedInPass_ || entry.outputIndex >= out.size())
            continue;
        ProcessReading& reading = out[entry.outputIndex];
        if (reading.pid != pid || !reading.footprintBytes) continue;
        ++reads;
        ++shareReads_;
        lastShareWalkPass_ = pass_;
        std::size_t length = 0;
        const ReadOutcome outcome = readOnce(pid, "smaps_rollup", buffer, sizeof buffer, length);
        if (outcome == ReadOutcome::gone) continue;  // its last figure stands; the next pass drops it
        entry.shmemBytes = outcome == ReadOutcome::ok
                               ? procfs::kilobyteField(std::string_view(buffer, length), "Pss_Shmem").value_or(0)
                               : 0;
        entry.shmemReadInPass = pass_;
        entry.shareDoubt = 0;
        reading.footprintBytes = footprintOf(entry);
    }
    // Fewer reads than allowed means the walk went all the way round: nothing is stale any more.
    if (reads < budget) staleShares_ = false;
    shareCursor_ = it == entries_.end() ? 0 : it->first;
}

}  // namespace velmora
