// Shared anonymous memory (memfd, shm) that processes map together: each one's share of it.
#include <algorithm>
#include <map>
#include <optional>

#include "platform/linux/ProcfsParsing.h"
#include "platform/linux/ProcfsProcessSource.h"

namespace velmora {

namespace {

// Once this much shared memory may have changed hands between processes, the shares read before
// are read again in turn: at least minimumShareReads a pass, and enough that a whole round takes
// at most shareRefreshPeriod passes. Less than that is far below any change the detectors report.
constexpr std::size_t minimumShareReads = 3;
constexpr std::size_t shareRefreshPeriod = 30;
// Forks first seen may map each other's pages or each its own: beyond the first amount in doubt
// they are walked, as long as such walks took no more than the second amount of what they map a
// pass on average, over the last passes. What they may map of the pages their family's read shares
// count is learned from a walk once a share refresh period, beyond the third amount: a database's
// backend maps few of the pages its postmaster does, and taken to map them all, it read low by all
// of them in every second it lived.
constexpr std::uint64_t youngDoubtBytes = 16u << 20;
constexpr std::uint64_t youngWalkBytesPerPass = 64u << 20;
constexpr std::uint64_t youngWalkCreditPasses = 4;
constexpr std::uint64_t youngLearnBytes = 4u << 20;

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
    struct Young {
        std::uint64_t read = 0;     // what the family's read shares count
        std::uint64_t counted = 0;  // that, and what the forks before were given
        YoungDoubt doubt;
        std::vector<std::int32_t> forks;
        std::vector<YoungDoubt> doubts;  // each fork's part of it
    };
    std::map<std::int32_t, Young> families;
    for (const std::int32_t pid : copyMembers_) {
        const auto it = entries_.find(pid);
        if (it != entries_.end() && it->second.copyFamily != 0 && !it->second.shmemEstimated)
            families[it->second.copyFamily].read += it->second.shmemBytes;
    }
    for (auto& [family, young] : families) young.counted = young.read;
    for (const std::int32_t pid : copyMembers_) {
        const auto it = entries_.find(pid);
        if (it == entries_.end() || it->second.copyFamily == 0 || !it->second.shmemEstimated) continue;
        Entry& entry = it->second;
        Young& young = families[entry.copyFamily];
        const std::uint64_t resident = entry.rssShmem.value_or(0);
        const std::uint64_t ofRead = std::min(resident, young.read);
        // One mapping more than twice what the read shares count reads pages of its own, as a
        // backend its table: whether it maps the read ones too is in doubt. One mapping less, as a
        // browser's new tab, is taken to map them.
        const YoungDoubt doubt{resident > 2 * young.read ? ofRead : 0, std::min(resident, young.counted) - ofRead};
        entry.shmemBytes = resident - ofRead - doubt.ofForks;
        young.counted += entry.shmemBytes;
        young.doubt.ofRead += doubt.ofRead;
        young.doubt.ofForks += doubt.ofForks;
        young.forks.push_back(pid);
        young.doubts.push_back(doubt);
    }
    // Walks of such forks may take this many bytes of what they map a pass, on average: a busy
    // database's backends, each mapping a table, would cost more than all the rest of the pass.
    youngWalkCredit_ = std::min<std::int64_t>(youngWalkCredit_ + static_cast<std::int64_t>((pass_ - youngCreditPass_) * youngWalkBytesPerPass),
                                              static_cast<std::int64_t>(youngWalkCreditPasses * youngWalkBytesPerPass));
    youngCreditPass_ = pass_;
    std::erase_if(youngShares_, [&](const auto& learned) {
        const auto root = entries_.find(learned.first);
        return root == entries_.end() || root->second.copyFamily != learned.first;
    });
    for (auto& [family, young] : families) {
        YoungShares& learned = youngShares_[family];
        const bool readLearnedLately = learned.ofReadPass && pass_ - *learned.ofReadPass < shareRefreshPeriod;
        const bool learnRead = young.doubt.ofRead > youngLearnBytes && !readLearnedLately;
        if (youngWalkCredit_ > 0 && (young.doubt.ofForks > youngDoubtBytes || learnRead)) {
            if (const auto found = walkYoungForks(young.read, young.forks, young.doubts)) {
                // Few of them and little in doubt among them: what they held is of the read pages.
                if (found->doubt.ofForks <= youngLearnBytes && found->doubt.ofRead > 0) {
                    learned.ofRead = static_cast<double>(found->beyond) / static_cast<double>(found->doubt.ofRead);
                    learned.ofReadPass = pass_;
                } else if (found->doubt.ofForks > 0) {
                    const double ofRead = learned.ofRead * static_cast<double>(found->doubt.ofRead);
                    learned.ofForks = std::max(0.0, (static_cast<double>(found->beyond) - ofRead) / static_cast<double>(found->doubt.ofForks));
                }
            }
        } else {
            // Unwalked, a family's forks are taken to map the others' pages as much as its last
            // walked ones did: a query's parallel workers each read a part of their own, backends
            // one after another the same table, and both few of their postmaster's pages.
            for (std::size_t i = 0; i < young.forks.size(); ++i) {
                Entry& entry = entries_.at(young.forks[i]);
                const auto beyond = static_cast<std::uint64_t>(learned.ofRead * static_cast<double>(young.doubts[i].ofRead) +
                                                               learned.ofForks * static_cast<double>(young.doubts[i].ofForks));
                entry.shmemBytes = std::min(entry.rssShmem.value_or(0), entry.shmemBytes + beyond);
            }
        }
        for (const std::int32_t pid : young.forks) showFootprint(out, pid, entries_.at(pid));
    }
}

std::optional<ProcfsProcessSource::YoungFound> ProcfsProcessSource::walkYoungForks(std::uint64_t read, const std::vector<std::int32_t>& forks,
                                                                                  const std::vector<YoungDoubt>& doubts) {
    // All of them at once, so what they share among them is counted in proportion.
    std::vector<std::optional<std::uint64_t>> shares;  // nothing for one gone meanwhile
    std::uint64_t walked = 0;
    std::uint64_t lent = 0;  // what the others count of their pages
    std::uint64_t bound = 0;
    YoungFound found;  // the alive ones'
    std::uint64_t alive = 0;
    for (std::size_t i = 0; i < forks.size(); ++i) {
        const std::int32_t pid = forks[i];
        const Entry& entry = entries_.at(pid);
        procfs::RollupMemory rollup;
        ++shareReads_;
        if (readRollup(pid, rollup) != ReadOutcome::ok || !rollup.pssShmem) {
            // A backend lives a tenth of a second: one gone meanwhile has unmapped its pages, and
            // the others' walks count what they map without it.
            shares.emplace_back();
            continue;
        }
        const std::uint64_t resident = entry.rssShmem.value_or(0);
        youngWalkCredit_ -= static_cast<std::int64_t>(resident);
        shares.emplace_back(*rollup.pssShmem);
        ++alive;
        walked += *rollup.pssShmem;
        lent += resident - std::min(resident, *rollup.pssShmem);
        bound += entry.shmemBytes;
        found.doubt.ofRead += doubts[i].ofRead;
        found.doubt.ofForks += doubts[i].ofForks;
    }
    if (alive == 0) return std::nullopt;
    // The read shares were read before these forks mapped their pages: n forks mapping a page
    // only a read one mapped take n/(n+1) of it off that one, and as much off their own shares.
    std::uint64_t stale = std::min(lent, read - read / (alive + 1));
    found.beyond = walked - std::min(walked, bound + stale);
    for (std::size_t i = 0; i < forks.size(); ++i) {
        Entry& entry = entries_.at(forks[i]);
        if (!shares[i]) {
            entry.shmemBytes = 0;
            continue;
        }
        if (walked < bound + stale) continue;  // at the bound
        const std::uint64_t share = *shares[i];
        const std::uint64_t resident = entry.rssShmem.value_or(0);
        const std::uint64_t taken = std::min({stale, share, resident - std::min(resident, share)});
        stale -= taken;
        entry.shmemBytes = share - taken;
    }
    return found;
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
