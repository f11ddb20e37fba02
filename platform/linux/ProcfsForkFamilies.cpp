// Anonymous memory that a fork without exec shares copy-on-write, counted once across the family.
#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <set>
#include <utility>

#include "platform/linux/ProcfsParsing.h"
#include "platform/linux/ProcfsProcessSource.h"

namespace velmora {

namespace {

// Family members that share pages copy-on-write are read again in turn (a write that ends the
// sharing on one side and is not a fault of a member read, such as a sibling's exit seen late),
// none more often than once in this many passes.
constexpr std::uint64_t copyRefreshPeriod = 30;
// A walk of smaps_rollup costs about 70 ns a resident page (20 ms for 1 GiB, a thousand statm
// reads): the reading in turn walks this many pages a pass on average, so a family of large
// processes is gone round in minutes instead of costing more than all the rest of a pass. Every
// change that can move a reading by much calls for a walk at once instead (a fork that lives, an
// exit, a write or a release of what was shared).
constexpr std::int64_t copyPagesPerPass = 4096;
// What a member's reading may be off before a change of its own calls for a walk at once: a share
// read from what it shared and freed or wrote since, or one moved by its own read. Below an app's
// tolerance, and above what a browser's renderer shares with its zygote (whose drawing frees more
// than that every few seconds).
constexpr std::uint64_t copyDriftBytes = 16u << 20;
// An exiting process keeps its pages mapped a while after it lost its address space (longer under
// load); its family is read once it is a zombie or gone. One that has not got there after this many
// clock ticks (a minute) is stuck, and no longer waited for.
constexpr std::uint64_t exitWaitTicks = 6000;

// A member read first that shares this much more once its family's walks are done saw a fork made
// while they went on.
constexpr std::uint64_t forkedWhileWalkingBytes = 1u << 20;
// A family whose exits are over is read again this many passes after.
constexpr std::uint64_t exitRereadPasses = 2;
// A fork that faulted in less than this is taken to own all it faulted, unread whether it freed some.
constexpr std::uint64_t forkFreedCheckBytes = 1u << 20;
// How long after copying its parent's page tables a fork may take its start time, in clock ticks.
constexpr std::uint64_t forkLagTicks = 50;

std::uint64_t sharedOf(std::uint64_t anonymous, std::uint64_t swap, std::uint64_t copiedAnon, std::uint64_t copiedSwap) {
    return std::min(anonymous, copiedAnon) + std::min(swap, copiedSwap);
}

// What a process maps that others count too: the whole less its proportional share.
std::uint64_t excess(const std::optional<std::uint64_t>& whole, const std::optional<std::uint64_t>& share) {
    return whole && share && *whole > *share ? *whole - *share : 0;
}
std::uint64_t sharedIn(const procfs::RollupMemory& rollup) {
    return excess(rollup.anonymous, rollup.pssAnon) + excess(rollup.swap, rollup.swapPss);
}

}  // namespace

std::uint64_t ProcfsProcessSource::bootTicks() {
    static const long hertz = sysconf(_SC_CLK_TCK);
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    const auto h = static_cast<std::uint64_t>(hertz > 0 ? hertz : 100);
    return static_cast<std::uint64_t>(now.tv_sec) * h + static_cast<std::uint64_t>(now.tv_nsec) * h / 1000000000u;
}

void ProcfsProcessSource::showFootprint(std::vector<ProcessReading>& out, std::int32_t pid, const Entry& entry) {
    if (entry.outputIndex < out.size() && out[entry.outputIndex].pid == pid && out[entry.outputIndex].footprintBytes)
        out[entry.outputIndex].footprintBytes = footprintOf(entry);
}

std::uint64_t ProcfsProcessSource::ownAnonymousOf(const Entry& entry) {
    const std::uint64_t swap = entry.swapBytes.value_or(0);
    return entry.anonymousBytes + swap -
           sharedOf(entry.anonymousBytes, swap, entry.copiedAnonBytes + entry.unmappingAnonBytes, entry.copiedSwapBytes);
}

std::uint64_t ProcfsProcessSource::footprintOf(const Entry& entry) { return ownAnonymousOf(entry) + entry.shmemBytes; }

std::optional<procfs::StatFields> ProcfsProcessSource::readStatOf(std::int32_t pid) {
    char path[32];
    std::snprintf(path, sizeof path, "/proc/%d/stat", static_cast<int>(pid));
    return readStat(AT_FDCWD, path);
}

ProcfsProcessSource::ReadOutcome ProcfsProcessSource::readRollup(std::int32_t pid, procfs::RollupMemory& rollup) {
    char buffer[4096];
    std::size_t length = 0;
    const ReadOutcome outcome = readOnce(pid, "smaps_rollup", buffer, sizeof buffer, length);
    rollup = outcome == ReadOutcome::ok ? procfs::parseRollup(std::string_view(buffer, length)) : procfs::RollupMemory{};
    return outcome;
}

void ProcfsProcessSource::estimateCopies(std::int32_t pid, Entry& entry) const {
    // A fork shares every page it has but those it wrote since, one fault each. Pages it faulted
    // in and unmapped again (a request's buffers, freed before the worker exits) are not its own
    // any more: they are the difference between the most it held and what it holds now.
    std::uint64_t faulted = entry.minorFaults * pageSize_;
    // Mapping shared memory its family holds (a database's buffers, read) faults too, a page or more
    // a fault, and makes none of its own.
    faulted -= std::min(faulted, entry.rssShmem.value_or(0));
    if (faulted >= forkFreedCheckBytes) {
        char buffer[4096];
        std::size_t length = 0;
        if (readOnce(pid, "status", buffer, sizeof buffer, length) == ReadOutcome::ok) {
            const auto status = procfs::parseStatusMemory(std::string_view(buffer, length));
            if (status.resident && status.peakResident && *status.peakResident > *status.resident)
                faulted -= std::min(faulted, *status.peakResident - *status.resident);
        }
    }
    const std::uint64_t own = std::min(entry.anonymousBytes, faulted);
    entry.copiedAnonBytes = entry.anonymousBytes - own;
    entry.copiedSwapBytes = entry.swapBytes.value_or(0);
}

void ProcfsProcessSource::reckonShareOfShared(Entry& entry) const {
    // What it would give back at its exit: its share of the pages others map too. A walk tells it:
    // what it uses beyond the pages only it maps. Unwalked, it is what it uses beyond the pages it
    // faulted in itself; a worker that maps and unmaps a buffer for each request faults far more
    // than it holds, and would give back nothing.
    const std::uint64_t own = ownAnonymousOf(entry);
    if (entry.copiedAnonBytes == 0 && entry.copiedSwapBytes == 0)
        entry.shareOfShared = 0;
    else if (entry.copiesReadInPass)
        entry.shareOfShared = std::min(own, entry.shareAtCopiesRead);
    else
        entry.shareOfShared = own - std::min(own, entry.minorFaults * pageSize_);
}

void ProcfsProcessSource::leaveFamily(Entry& entry, std::int32_t exitingPid) {
    if (entry.copyFamily == 0) return;
    const std::int32_t family = entry.copyFamily;
    const bool estimated = entry.copiesEstimated;
    const bool walked = entry.copiesReadInPass.has_value();
    const bool shared = entry.copiedAnonBytes > 0 || entry.copiedSwapBytes > 0 || entry.copiesUnverified;
    const std::uint64_t share = entry.shareOfShared;
    entry.copyFamily = 0;
    entry.copiedAnonBytes = 0;
    entry.unmappingAnonBytes = 0;
    entry.copiedSwapBytes = 0;
    entry.copiesEstimated = false;
    entry.copiesUnverified = false;
    // A fork that was never read had nothing of its shared pages taken off the others' readings.
    if (estimated || (walked && !shared)) return;
    // Its share of the pages the others map too is theirs now: given back at once, so that the app
    // neither dips nor shows a release that did not happen; a walk once the pages are unmapped then
    // puts each member right.
    if (share > 0) giveBack(family, share);
    exits_.push_back(Exit{exitingPid, entry.startTime, family, bootTicks(), !walked});
}

void ProcfsProcessSource::giveBack(std::int32_t family, std::uint64_t bytes, std::int32_t giver) {
    // First to the process the others were forked from, which holds most of what they share.
    std::vector<Entry*> takers;
    for (const std::int32_t pid : copyMembers_) {
        const auto it = entries_.find(pid);
        if (pid == giver || it == entries_.end() || it->second.copyFamily != family || !it->second.copiesReadInPass)
            continue;
        takers.insert(pid == family ? takers.begin() : takers.end(), &it->second);
    }
    for (Entry* taker : takers) {
        if (bytes == 0) break;
        const std::uint64_t anon = std::min(bytes, taker->copiedAnonBytes);
        taker->copiedAnonBytes -= anon;
        const std::uint64_t swap = std::min(bytes - anon, taker->copiedSwapBytes);
        taker->copiedSwapBytes -= swap;
        bytes -= anon + swap;
        if (anon + swap > 0) taker->copiesUnverified = true;
    }
}

void ProcfsProcessSource::takeShare(std::int32_t family, std::int32_t taker, std::uint64_t bytes,
                                     std::vector<ProcessReading>& out) {
    const auto fork = entries_.find(taker);
    if (fork == entries_.end()) return;
    const std::uint64_t started = fork->second.startTime;
    std::vector<std::pair<std::int32_t, Entry*>> givers;
    for (const std::int32_t pid : copyMembers_) {
        const auto it = entries_.find(pid);
        if (pid == taker || it == entries_.end() || it->second.copyFamily != family || !it->second.copiesReadInPass ||
            it->second.copiesEstimated || it->second.copiesReadAt >= started)
            continue;
        givers.insert(pid == family ? givers.begin() : givers.end(), {pid, &it->second});
    }
    for (auto& [pid, giver] : givers) {
        if (bytes == 0) break;
        const std::uint64_t room = giver->anonymousBytes - std::min(giver->anonymousBytes, giver->copiedAnonBytes);
        const std::uint64_t taken = std::min(bytes, room);
        if (taken == 0) continue;
        giver->copiedAnonBytes += taken;
        giver->copiesUnverified = true;
        bytes -= taken;
        reckonShareOfShared(*giver);
        showFootprint(out, pid, *giver);
    }
}

void ProcfsProcessSource::joinFamilies() {
    if (newForks_.empty()) return;
    // Parents before children, so that a process forked from a fork joins its grandparent's family.
    const auto started = [this](std::int32_t pid) {
        const auto it = entries_.find(pid);
        return it == entries_.end() ? 0 : it->second.startTime;
    };
    std::sort(newForks_.begin(), newForks_.end(),
              [&](std::int32_t a, std::int32_t b) { return std::pair(started(a), a) < std::pair(started(b), b); });
    for (const std::int32_t pid : newForks_) {
        const auto it = entries_.find(pid);
        if (it == entries_.end()) continue;
        Entry& child = it->second;
        // Gone again, exec'd since, or already placed; a parent outside this pid namespace shares
        // nothing that is listed here. One first seen without an address space (a zombie, or
        // exiting) shares nothing either, and a walk of it would find it gone.
        if (!child.forkedWithoutExec || child.copyFamily != 0 || child.parentPid <= 0 || !child.hadMemory) continue;
        std::int32_t family = child.parentPid;
        Entry* parent = nullptr;
        if (const auto p = entries_.find(child.parentPid); p != entries_.end() && !p->second.kernelThread) {
            parent = &p->second;
            if (parent->copyFamily == 0) {
                parent->copyFamily = child.parentPid;
                copyMembers_.insert(child.parentPid);
            }
            family = parent->copyFamily;
        }
        child.copyFamily = family;
        copyMembers_.insert(pid);
        // A fork made since its family was last read took nothing off the readings of the others:
        // while it shares what it has, its own figure is what it wrote since (each page a fault),
        // and the others' stay right without a walk. A short-lived child so costs one stat read.
        // One that may have been forked before or while the others were read (all of them at the
        // first pass) changed what they read, and the family is read again with it. A fork's start
        // time is taken after its page tables are copied: some lag is allowed for.
        const auto walked = familyReadAt_.find(family);
        if (pass_ > 1 && (walked == familyReadAt_.end() || child.startTime > walked->second + forkLagTicks)) {
            child.copiesEstimated = true;
            continue;
        }
        child.copiesDue = true;
        if (parent) parent->copiesDue = true;
        movedFamilies_.push_back(family);
    }
    newForks_.clear();
}

bool ProcfsProcessSource::readCopiesOf(std::int32_t pid, Entry& entry, std::vector<ProcessReading>& out) {
    entry.copiesDue = false;
    const bool alone = std::exchange(entry.takesShare, false);
    const bool lone = std::exchange(entry.walkAlone, false) || alone;
    ++copyReads_;
    walksThisPass_.push_back(WalkUndo{pid, entry.copiedAnonBytes, entry.copiedSwapBytes, entry.anonymousAtCopiesRead,
                                      entry.faultsAtCopiesRead, entry.copiesReadInPass, entry.copiesEstimated,
                                      entry.copiesUnverified});
    // Reads a family's changes call for cost too: the reading in turn waits after a burst of them.
    copyCredit_ -= static_cast<std::int64_t>(std::max<std::uint64_t>(entry.residentPages, 1));
    // The faults before the walk: a write after it is counted against what the walk found.
    if (const auto stat = readStatOf(pid)) entry.minorFaults = stat->minorFaults;
    // Unreadable (another user's process): counted whole, as before there were families.
    procfs::RollupMemory rollup;
    const ReadOutcome outcome = readRollup(pid, rollup);
    // Gone, or exiting since statm was read (an empty text): the others may have been read while
    // it still mapped their pages, or after; what the family read before stands until the next
    // pass sees it leave.
    if (outcome == ReadOutcome::gone || (outcome == ReadOutcome::ok && !rollup.anonymous)) {
        racedFamilies_.insert(entry.copyFamily);
        return false;
    }
    // A member read on its own saw no other read: a fork made meanwhile moved only its share.
    entry.copiesReadAt = bootTicks();
    if (!lone) {
        const auto was = familyReadAt_.find(entry.copyFamily);
        readAtBefore_.try_emplace(entry.copyFamily, was == familyReadAt_.end() ? std::nullopt : std::optional(was->second));
        familyReadAt_[entry.copyFamily] = entry.copiesReadAt;
    }
    const std::uint64_t before = entry.copiedAnonBytes + entry.copiedSwapBytes;
    // What it was taken to share, when its last walk still tells it (no exit nor fork moved it since).
    const std::optional<std::uint64_t> shareBefore = entry.copiesReadInPass && !entry.copiesEstimated && !entry.copiesUnverified
                                                         ? std::optional(entry.shareAtCopiesRead)
                                                         : std::nullopt;
    const std::uint64_t copiedAnon = excess(rollup.anonymous, rollup.pssAnon);
    if (entry.copiesReadInPass && !entry.copiesEstimated && pass_ > *entry.copiesReadInPass) {
        // Faults that left nothing it holds and ended no sharing: what it maps and unmaps again.
        const std::uint64_t faulted = (entry.minorFaults - std::min(entry.minorFaults, entry.faultsAtCopiesRead)) * pageSize_;
        const std::uint64_t grown = entry.anonymousBytes - std::min(entry.anonymousBytes, entry.anonymousAtCopiesRead);
        // A write that ends a page's sharing among n takes 1 - 1/n of a page off what the writer
        // shares, never less than half: twice the drop covers every such write. Taken as churn,
        // a server's writes beside its saving child would hide the next ones.
        const std::uint64_t ended = entry.copiedAnonBytes - std::min(entry.copiedAnonBytes, copiedAnon);
        entry.churnPerPass = (faulted - std::min(faulted, grown + 2 * ended)) / (pass_ - *entry.copiesReadInPass);
    }
    entry.copiesReadInPass = pass_;
    entry.copiesEstimated = false;
    entry.copiesUnverified = false;
    // A mapping taken out (a worker freeing its copy of a model before it exits) leaves the walk at
    // once, but statm counts its pages until each is unmapped: what statm holds beyond what the walk
    // found is on its way out, and is not counted as its own.
    entry.walkedAnonBytes = rollup.anonymous.value_or(entry.anonymousBytes);
    entry.unmappingAnonBytes = entry.anonymousBytes - std::min(entry.anonymousBytes, entry.walkedAnonBytes);
    entry.anonymousAtCopiesRead = entry.anonymousBytes;
    entry.faultsAtCopiesRead = entry.minorFaults;
    entry.copiedAnonBytes = copiedAnon;
    entry.copiedSwapBytes = excess(rollup.swap, rollup.swapPss);
    // Its share of what others map too: all it uses but the dirty pages only it maps (those of
    // shared memory only it maps among them, at most its share of shared memory).
    const std::uint64_t pss = rollup.pssAnon.value_or(0);
    const std::uint64_t privateDirty = rollup.privateDirty.value_or(pss);
    entry.shareAtCopiesRead = pss - std::min(pss, privateDirty - std::min(privateDirty, rollup.pssShmem.value_or(0)));
    reckonShareOfShared(entry);
    if (alone) takes_.push_back(Take{pid, entry.copyFamily, entry.shareOfShared});
    showFootprint(out, pid, entry);
    const std::uint64_t after = entry.copiedAnonBytes + entry.copiedSwapBytes;
    const std::uint64_t change = after > before ? after - before : before - after;
    if (alone) return false;
    if (!lone) {
        familyDrift_.erase(entry.copyFamily);
        return change >= copyDriftBytes;
    }
    // Two alone share the same pages from both sides, each counting half of each: what one shares
    // the other does, and it follows without a walk of its own (a server and its saving child).
    if (const auto [otherPid, other] = soleOtherMember(pid, entry); other) {
        other->copiedAnonBytes = std::min(entry.copiedAnonBytes, other->anonymousBytes);
        other->copiedSwapBytes = std::min(entry.copiedSwapBytes, other->swapBytes.value_or(0));
        other->copiesUnverified = true;
        reckonShareOfShared(*other);
        showFootprint(out, otherPid, *other);
        return false;
    }
    // What it no longer shares (it wrote or freed it) the others still map: their shares of it
    // grow by as much, its first process's first, unless they are read this pass too.
    if (shareBefore && *shareBefore > entry.shareAtCopiesRead)
        gives_.push_back(Take{pid, entry.copyFamily, *shareBefore - entry.shareAtCopiesRead});
    // Read for its own writes or releases: what they moved of the others' shares adds up until the
    // others are read, so that a member writing a little each pass (a server beside its saving
    // child) leaves them off by no more than one step.
    std::uint64_t& drift = familyDrift_[entry.copyFamily];
    drift += change;
    if (drift < copyDriftBytes) return false;
    familyDrift_.erase(entry.copyFamily);
    return true;
}

std::pair<std::int32_t, ProcfsProcessSource::Entry*> ProcfsProcessSource::soleOtherMember(std::int32_t pid, const Entry& entry) {
    // A family whose first process was itself forked without exec may share with a process not listed.
    const auto root = entries_.find(entry.copyFamily);
    if (root == entries_.end() || root->second.forkedWithoutExec) return {0, nullptr};
    std::pair<std::int32_t, Entry*> found{0, nullptr};
    for (const std::int32_t other : copyMembers_) {
        const auto it = entries_.find(other);
        if (other == pid || it == entries_.end() || it->second.copyFamily != entry.copyFamily) continue;
        if (found.second) return {0, nullptr};
        found = {other, &it->second};
    }
    const Entry* other = found.second;
    // Read itself, and whole: a fork unread or an exit under way shares otherwise.
    if (!other || !other->copiesReadInPass || other->copiesEstimated || !other->hadMemory) return {0, nullptr};
    return found;
}

bool ProcfsProcessSource::exitDone(const Exit& exit) {
    if (exit.pid == 0 || bootTicks() >= exit.seenAt + exitWaitTicks) return true;
    const auto it = entries_.find(exit.pid);
    if (it == entries_.end() || it->second.startTime != exit.startTime) return true;
    const auto stat = readStatOf(exit.pid);
    return !stat || stat->startTime != exit.startTime || stat->state == 'Z' || stat->state == 'X';
}

void ProcfsProcessSource::settleExits() {
    // A family is read once all its exits are over: a walk while one is still unmapping finds the
    // others sharing pages that were already given back.
    std::set<std::int32_t>& unsettled = unsettledFamilies_;
    unsettled.clear();
    for (const Exit& exit : exits_)
        if (!exitDone(exit)) unsettled.insert(exit.family);
    for (auto it = exits_.begin(); it != exits_.end();) {
        if (unsettled.contains(it->family)) {
            ++it;
            continue;
        }
        const std::int32_t family = it->family;
        // Read once the pages are unmapped. While forks not yet read live beside them (a forking
        // server's children) a walk would have to read those too, and their exits call for the
        // next: what was given back stands until each member's turn, unless the one that left held
        // pages the others never had taken off theirs.
        bool young = false;
        for (const std::int32_t pid : copyMembers_) {
            const auto e = entries_.find(pid);
            young = young || (e != entries_.end() && e->second.copyFamily == family && e->second.copiesEstimated);
        }
        if (!young || it->owner) {
            movedFamilies_.push_back(family);
            rereadFamilies_[family] = pass_ + exitRereadPasses;
        }
        it = exits_.erase(it);
    }
}

void ProcfsProcessSource::readCopies(std::vector<ProcessReading>& out) {
    joinFamilies();
    settleExits();
    // A process reaped while another program read its memory keeps its pages mapped until that
    // read ends: those still found sharing after its exit are read once more a little later.
    for (auto it = rereadFamilies_.begin(); it != rereadFamilies_.end();) {
        if (it->second > pass_) {
            ++it;
            continue;
        }
        movedFamilies_.push_back(it->first);
        it = rereadFamilies_.erase(it);
    }
    if (copyMembers_.empty()) {
        familyReadAt_.clear();
        familyDrift_.clear();
        return;
    }
    const auto member = [this](std::int32_t pid) -> Entry* {
        const auto it = entries_.find(pid);
        return it != entries_.end() && it->second.copyFamily != 0 ? &it->second : nullptr;
    };
    bool anyDue = !movedFamilies_.empty();
    std::set<std::int32_t> families;
    for (auto it = copyMembers_.begin(); it != copyMembers_.end();) {
        const std::int32_t pid = *it;
        Entry* entry = member(pid);
        if (!entry) {
            it = copyMembers_.erase(it);
            continue;
        }
        families.insert(entry->copyFamily);
        const std::uint64_t swap = entry->swapBytes.value_or(0);
        if (entry->copiesEstimated) {
            if (entry->createdInPass < pass_) {
                // It lived on: read it. What it shares the others were read sharing with one fewer:
                // its share is taken off theirs, without a walk of each (a server that replaces a
                // worker every few seconds). A family whose members were never read is read whole.
                entry->copiesDue = anyDue = true;
                Entry* parent = member(entry->parentPid);
                if (parent && parent->copyFamily == entry->copyFamily && parent->copiesReadInPass &&
                    !parent->copiesEstimated) {
                    entry->takesShare = true;
                } else {
                    if (parent && parent->copyFamily == entry->copyFamily) parent->copiesDue = true;
                    movedFamilies_.push_back(entry->copyFamily);
                }
            } else {
                estimateCopies(pid, *entry);
            }
        } else if (entry->copiesReadInPass && (entry->copiedAnonBytes > 0 || entry->copiedSwapBytes > 0)) {
            const std::uint64_t shared = sharedOf(entry->anonymousBytes, swap, entry->copiedAnonBytes, entry->copiedSwapBytes);
            // Freeing shared pages takes them whole off its resident count but only its share off
            // what it uses: read again before the difference, at most what it shared, shows as a release.
            const std::uint64_t freed = entry->anonymousAtCopiesRead > entry->anonymousBytes
                                            ? entry->anonymousAtCopiesRead - entry->anonymousBytes
                                            : 0;
            if (std::min(freed, entry->copiedAnonBytes) >= copyDriftBytes) entry->copiesDue = entry->walkAlone = anyDue = true;
            // Each write that ends the sharing of a page is a fault of the writer; pages it added
            // fault too, and show as resident growth. Only a member sharing that much can be off by it.
            if (!entry->copiesDue && shared >= copyDriftBytes) {
                if (const auto stat = readStatOf(pid)) {
                    entry->minorFaults = stat->minorFaults;
                    const std::uint64_t faulted =
                        (entry->minorFaults - std::min(entry->minorFaults, entry->faultsAtCopiesRead)) * pageSize_;
                    const std::uint64_t grown = entry->anonymousBytes > entry->anonymousAtCopiesRead
                                                    ? entry->anonymousBytes - entry->anonymousAtCopiesRead
                                                    : 0;
                    // Beyond twice what it usually maps and unmaps again: a worker that writes and
                    // frees a buffer for each request faults as much every second.
                    const std::uint64_t usual = 2 * entry->churnPerPass * (pass_ - *entry->copiesReadInPass);
                    if (faulted > grown && faulted - grown >= copyDriftBytes + usual)
                        entry->copiesDue = entry->walkAlone = anyDue = true;
                }
            }
            reckonShareOfShared(*entry);
        } else {
            entry->shareOfShared = 0;
        }
        showFootprint(out, pid, *entry);
        ++it;
    }
    std::erase_if(familyReadAt_, [&](const auto& f) { return !families.contains(f.first); });
    std::erase_if(familyDrift_, [&](const auto& f) { return !families.contains(f.first); });

    // Reads what is due, then again for the families those reads moved; each member once a pass.
    const auto readDue = [&] {
        while (true) {
            std::sort(movedFamilies_.begin(), movedFamilies_.end());
            movedFamilies_.erase(std::unique(movedFamilies_.begin(), movedFamilies_.end()), movedFamilies_.end());
            const std::vector<std::int32_t> moved = std::exchange(movedFamilies_, {});
            bool anyRead = false;
            for (const std::int32_t pid : copyMembers_) {
                Entry* entry = member(pid);
                // A walk while a member's exit is still unmapping its pages would read the others
                // sharing what it gave back: what is due waits for the exit to be over.
                if (!entry || entry->copiesReadInPass == pass_ || unsettledFamilies_.contains(entry->copyFamily) ||
                    racedFamilies_.contains(entry->copyFamily))
                    continue;
                const bool shares = entry->copiedAnonBytes > 0 || entry->copiedSwapBytes > 0 ||
                                    !entry->copiesReadInPass || entry->copiesUnverified;
                if (!entry->copiesDue && !(shares && std::binary_search(moved.begin(), moved.end(), entry->copyFamily)))
                    continue;
                anyRead = true;
                if (readCopiesOf(pid, *entry, out)) movedFamilies_.push_back(entry->copyFamily);
            }
            if (!anyRead || movedFamilies_.empty()) break;
        }
        movedFamilies_.clear();
    };
    // Most passes nothing is due: the members are not walked again for it.
    if (anyDue) readDue();

    // In turn from where the last pass stopped, as the pages walked allow. What these reads find
    // moved is real memory: the other sharers follow in their turn.
    copyCredit_ = std::min(copyCredit_ + copyPagesPerPass, copyPagesPerPass * std::int64_t{copyRefreshPeriod});
    auto it = copyMembers_.lower_bound(copyCursor_);
    for (std::size_t visited = 0; visited < copyMembers_.size() && copyCredit_ > 0; ++visited, ++it) {
        if (it == copyMembers_.end()) it = copyMembers_.begin();
        Entry* entry = member(*it);
        if (!entry || !entry->copiesReadInPass || unsettledFamilies_.contains(entry->copyFamily) ||
            racedFamilies_.contains(entry->copyFamily) ||
            (entry->copiedAnonBytes == 0 && entry->copiedSwapBytes == 0 && !entry->copiesUnverified) ||
            *entry->copiesReadInPass + copyRefreshPeriod > pass_)
            continue;
        readCopiesOf(*it, *entry, out);
    }
    copyCursor_ = it == copyMembers_.end() ? 0 : *it;
    movedFamilies_.clear();
    undoRacedWalks(out);
    // A fork never read (all of them at the first pass, one forked close to its family's walk),
    // whether its walk was undone or waits for a member's exit to be over, is taken to share what it
    // has but what it faulted, as when first seen: counted whole, a server's new worker counts all
    // it shares with the server again.
    for (const std::int32_t pid : copyMembers_) {
        Entry* entry = member(pid);
        // One estimated before keeps that estimate: its faults since count a worker's request
        // buffers too, and taken as its own they counted it nearly whole.
        if (!entry || entry->copiesReadInPass || entry->copiesEstimated || !entry->forkedWithoutExec ||
            pid == entry->copyFamily)
            continue;
        entry->copiesEstimated = true;
        entry->copiesDue = true;
        estimateCopies(pid, *entry);
        // Forked before its family's last walk ended, it may have been among the sharers that walk
        // counted, which left it its share: about what a sibling read then holds.
        const auto walked = familyReadAt_.find(entry->copyFamily);
        if (walked != familyReadAt_.end() && entry->startTime <= walked->second)
            entry->copiedAnonBytes -= std::min(entry->copiedAnonBytes, siblingShare(pid, *entry));
        reckonShareOfShared(*entry);
        showFootprint(out, pid, *entry);
    }
}

std::uint64_t ProcfsProcessSource::siblingShare(std::int32_t pid, const Entry& entry) const {
    // The forks of one program share what it holds alike (a server's workers): the one read last
    // stands for the others.
    const Entry* latest = nullptr;
    for (const std::int32_t other : copyMembers_) {
        const auto it = entries_.find(other);
        if (other == pid || other == entry.copyFamily || it == entries_.end() || it->second.copyFamily != entry.copyFamily ||
            !it->second.copiesReadInPass || it->second.copiesEstimated || !it->second.forkedWithoutExec)
            continue;
        if (!latest || it->second.copiesReadAt > latest->copiesReadAt) latest = &it->second;
    }
    return latest ? latest->shareAtCopiesRead : 0;
}

void ProcfsProcessSource::undoRacedWalks(std::vector<ProcessReading>& out) {
    std::set<std::int32_t> raced = std::exchange(racedFamilies_, {});
    const std::vector<Take> takes = std::exchange(takes_, {});
    const std::vector<Take> gives = std::exchange(gives_, {});
    const auto readAtBefore = std::exchange(readAtBefore_, {});
    if (walksThisPass_.empty()) return;
    const std::vector<WalkUndo> walks = std::exchange(walksThisPass_, {});
    // A process forked while a family was walked raised the count of the pages it shares (before it
    // has a pid: the page tables are copied first): members read after that took less than those
    // read before, and the app dips. The member read first is read once more: when it shares more
    // now, what was read before stands, and the family is read again with the newcomer. (Sharing
    // that ends while walking, by a write or an exit, only puts the app over for a pass, and an
    // exit found while walking undoes the walks too.)
    // One forked after the listing has a pid by now, and is looked for among the pids handed out
    // since; one still copying is seen by the member read first.
    const auto now = readLastPid();
    constexpr std::int32_t maxLooks = 64;
    const bool looked = now && lastPid_ && *now >= *lastPid_ && *now - *lastPid_ <= maxLooks;
    for (std::int32_t pid = looked ? *lastPid_ + 1 : 1; looked && pid <= *now; ++pid) {
        const auto stat = entries_.contains(pid) ? std::nullopt : readStatOf(pid);
        if (!stat || stat->exitSignal.value_or(0) < 0 || !(stat->flags & procfs::forkedWithoutExecFlag)) continue;
        if (const auto parent = entries_.find(stat->parentPid); parent != entries_.end() && parent->second.copyFamily)
            raced.insert(parent->second.copyFamily);
    }
    // Forks come in bursts: the check is made while a family's new members are still coming.
    struct Walked {
        std::int32_t first = 0;
        int walks = 0;
        bool forking = false;  // a member read this pass is new this pass
    };
    std::map<std::int32_t, Walked> families;
    for (const WalkUndo& walk : walks) {
        const auto it = entries_.find(walk.pid);
        if (it == entries_.end() || it->second.copyFamily == 0) continue;
        if (!looked) raced.insert(it->second.copyFamily);  // too many new pids to look at: anything may have forked
        Walked& family = families.try_emplace(it->second.copyFamily, Walked{walk.pid}).first->second;
        ++family.walks;
        family.forking = family.forking || it->second.createdInPass == pass_;
    }
    // Every page a member maps counts once in the family: its readings cannot add up to less than
    // what any one member holds. Less means its walks saw different forks, whatever they were.
    std::map<std::int32_t, std::pair<std::uint64_t, std::uint64_t>> sumAndLargest;
    for (const std::int32_t pid : copyMembers_) {
        const auto it = entries_.find(pid);
        if (it == entries_.end() || !families.contains(it->second.copyFamily)) continue;
        const Entry& entry = it->second;
        auto& [sum, largest] = sumAndLargest[entry.copyFamily];
        sum += footprintOf(entry) - entry.shmemBytes;
        largest = std::max(largest, entry.anonymousBytes + entry.swapBytes.value_or(0));
    }
    for (const auto& [family, totals] : sumAndLargest)
        if (totals.first + forkedWhileWalkingBytes < totals.second) raced.insert(family);
    for (const auto& [family, walked] : families) {
        if (walked.walks < 2 || !walked.forking || raced.contains(family)) continue;
        const std::int32_t pid = walked.first;
        const Entry& entry = entries_.at(pid);
        ++copyReads_;
        procfs::RollupMemory rollup;
        const ReadOutcome outcome = readRollup(pid, rollup);
        const std::uint64_t now = sharedIn(rollup), then = entry.copiedAnonBytes + entry.copiedSwapBytes;
        if (outcome == ReadOutcome::ok && now >= then + forkedWhileWalkingBytes) raced.insert(family);
    }
    // A member read alone for what it no longer shares found its own change, which a fork made
    // meanwhile barely moves: its walk stands, and what it gave up goes to the others as they
    // stand.
    const auto gave = [&](std::int32_t pid) { return std::ranges::any_of(gives, [&](const Take& g) { return g.pid == pid; }); };
    for (auto walk = walks.rbegin(); walk != walks.rend(); ++walk) {
        const auto it = entries_.find(walk->pid);
        if (it == entries_.end() || !raced.contains(it->second.copyFamily) || gave(walk->pid)) continue;
        Entry& entry = it->second;
        entry.copiedAnonBytes = walk->copiedAnonBytes;
        entry.copiedSwapBytes = walk->copiedSwapBytes;
        entry.anonymousAtCopiesRead = walk->anonymousAtCopiesRead;
        entry.faultsAtCopiesRead = walk->faultsAtCopiesRead;
        entry.copiesReadInPass = walk->copiesReadInPass;
        entry.copiesEstimated = walk->copiesEstimated;
        entry.copiesUnverified = walk->copiesUnverified;
        entry.copiesDue = true;
    }
    // The family stands as its walk before found it: a fork made since took nothing off it.
    for (const auto& [family, before] : readAtBefore) {
        if (!raced.contains(family)) continue;
        if (before)
            familyReadAt_[family] = *before;
        else
            familyReadAt_.erase(family);
    }
    for (const Take& take : takes)
        if (!raced.contains(take.family)) takeShare(take.family, take.pid, take.bytes, out);
    // Others read this pass (and not undone) found what the member gave up already.
    std::set<std::int32_t> given;
    for (const Take& give : gives) {
        if (!raced.contains(give.family) && readAtBefore.contains(give.family)) continue;
        giveBack(give.family, give.bytes, give.pid);
        given.insert(give.family);
    }
    // What the undone walks had found is gone: each member's share is reckoned from what stands
    // (a fork never read is taken to share what it has right after).
    for (const std::int32_t pid : copyMembers_) {
        const auto it = entries_.find(pid);
        if (it == entries_.end() || !(raced.contains(it->second.copyFamily) || given.contains(it->second.copyFamily))) continue;
        Entry& entry = it->second;
        reckonShareOfShared(entry);
        showFootprint(out, pid, entry);
    }
}

}  // namespace velmora
