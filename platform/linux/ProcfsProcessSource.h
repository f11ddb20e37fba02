#pragma once
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <map>
#include <set>
#include <utility>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ProcessSource.h"
#include "platform/linux/ProcfsParsing.h"

namespace velmora {

// The name a program was started under (`comm`, the kernel's short name, or `argv0`'s base name)
// when a link of that name leads to `executable` and the executable's own name differs; nothing
// otherwise, or when neither names the program (a script run by its interpreter).
std::optional<std::string> launchNameOf(const std::string& executable, std::string_view comm, std::string_view argv0);

// Every user-space process from /proc, read once a second beside everything else, so each pass
// costs little more than one read of /proc/N/statm per process. The listing, the budget of kept
// descriptors and statm and status are in ProcfsProcessSource.cpp, who a process is in
// ProcfsIdentity.cpp, shares of shared memory in ProcfsSharedMemory.cpp, fork families in
// ProcfsForkFamilies.cpp:
// - /proc is listed only when many pids were handed out since the last pass; otherwise the few
//   new pids are looked at one by one;
// - each process's statm stays open and is re-read with pread; a read that fails tells the
//   process is gone, even when its pid was given to another one;
// - its share of shared anonymous memory is read again only when statm's shared count changes, and
//   then from smaps_rollup (which walks the whole address space) only when status says the resident
//   shared anonymous memory changed, by so much that taking the change as the process's own could
//   put the share 4 MiB or more off; a fork first seen is not walked (a database's backend, living
//   a fraction of a second): its share is taken, unread, as what it maps (status's RssShmem) beyond
//   what its family's shares count already, and it is read at its next pass if it lives on. Whether
//   forks seen together map the same pages (backends reading one table) or each its own (a
//   query's parallel workers, each reading a part) only a walk tells: where that could put the
//   family 16 MiB off, they are walked, as long as such walks took 64 MiB or less of what they
//   map a pass on average; a share also changes when another process maps or unmaps the
//   same pages or exits, which beside a browser happens every second: once 4 MiB of such
//   memory may have changed hands, the other holders' shares are read again in turn, a few a pass
//   and each within 30 passes;
// - anonymous memory that a fork without exec shares copy-on-write is counted once, in proportion
//   (Pss_Anon and SwapPss, as the kernel's proportional sums count it), across a family: a process
//   and those it forked without exec, and theirs (ProcfsForkFamilies.cpp). statm counts such pages
//   whole in every sharer and cannot see a write that ends the sharing, so:
//   - a fork first seen shares all it has but the pages it faulted in since (stat's minor faults):
//     the family adds up without a walk, and a child that lives a pass costs one stat read; one
//     that lives on is walked alone, and its share of what it shares is taken off the others'
//     readings (a server replacing a worker every few seconds); one that may have been forked
//     before or while the family was last walked is walked with the family, as are all of them at
//     the first pass; one whose walk is undone or waits for an exit to be over is taken to share
//     what it has but what it faulted meanwhile, and, when that walk may have counted it, but the
//     share a sibling read holds too;
//   - a member that leaves gives its share of what it shared back at once (as its last walk found
//     it: all it used but the dirty pages only it mapped), and the family is walked once its
//     pages are unmapped (a zombie or gone), unless forks not yet walked live beside it (a
//     forking server's children, whose exits would call for the next walk);
//   - a member sharing 16 MiB or more is walked when it faulted 16 MiB more than it grew (writes
//     that end sharing), beyond twice what its walks found it faults a pass without keeping
//     anything nor ending any sharing (a buffer written and freed for each request), or freed as
//     much of what it shared; what it no longer shares goes to the others at once (they still
//     map it), their first process's first, even when a fork raced the walks, and they are walked
//     once such walks moved 16 MiB in all; the other of a family of two follows at once, unread:
//     both count half of each page they share;
//   - walks that a fork or an exit raced (a pid handed out meanwhile, an exiting member, a family
//     adding up to less than one member holds) are undone and made again next pass;
//   - what is left is read in turn while a member shares anything, no more than 4096 resident
//     pages walked a pass on average and none more than once in 30 passes.
//   What a member shares is taken off the resident count statm gives each pass, and so is what
//   statm counted beyond what its last walk found: the pages of a mapping taken out and not yet
//   unmapped (a worker freeing its copy of a model as it exits); a process that shares nothing
//   costs nothing more;
// - while swap is in use, a process's status (for VmSwap, ten times dearer) is read only when
//   its resident anonymous memory changed, and once in 60 passes;
// - names, parent and executable path are read once per process and again only when its code
//   size changes (an exec), when a process exits (its children get a new parent), and every hour
//   as a safety net; kernel threads and processes without a kept descriptor also after the pid
//   counter went round; its environment once, and again only after an exec into another program;
// - status stays open too while swap is in use, and for a process whose shared count changed
//   since its first read (a busy one: it changes again);
// - at most a share of the open-file limit is kept open, every process's statm first: a status
//   stays open only while room remains for all of them, and is the first closed when room runs
//   out; the rest is opened per read.
class ProcfsProcessSource final : public ProcessSource {
public:
    // How a process's swapped memory is found: read /proc/N/status only while the machine has
    // swap in use (statm does not count swap), or always.
    enum class SwapReading { whenSwapInUse, always };
    // `descriptorBudget`: how many descriptors may be kept open between passes; by default a share
    // of the open-file limit.
    explicit ProcfsProcessSource(SwapReading swapReading = SwapReading::whenSwapInUse,
                                 std::optional<std::size_t> descriptorBudget = std::nullopt);
    ~ProcfsProcessSource() override;
    ProcfsProcessSource(const ProcfsProcessSource&) = delete;
    ProcfsProcessSource& operator=(const ProcfsProcessSource&) = delete;

    const std::vector<ProcessReading>& readProcesses() override;

    // Descriptors kept open between passes (for tests of the bound).
    std::size_t openDescriptors() const { return keptStatm_ + keptStatus_; }
    // smaps_rollup reads so far, each a walk of a whole address space (for tests and benchmarks of the
    // bound): for shared anonymous memory, and for anonymous memory shared copy-on-write.
    std::uint64_t shareReads() const { return shareReads_; }
    // The last pass's readings, as readProcesses returned them (for benchmarks that tell where a
    // figure went off).
    const std::vector<ProcessReading>& lastReadings() const { return readings_; }
    std::uint64_t copyReads() const { return copyReads_; }

private:
    enum class ReadOutcome { ok, gone, unreadable };
    // Once this much shared memory may have changed hands between processes, the shares read
    // before are read again in turn (ProcfsSharedMemory.cpp); a process's own steps are taken
    // unread until they add up to as much.
    static constexpr std::uint64_t shareDriftBytes = 4u << 20;
    enum class Kept { statm, status };

    struct Entry {
        // What every pass reads first, together at the front: a thousand entries are walked
        // once a second, each from a cold cache.
        int statmFd = -1;
        int statusFd = -1;            // while swap is in use, or once statm's shared count changed
        bool kernelThread = false;
        bool hadMemory = false;       // false once the address space is gone (exiting, zombie)
        std::uint64_t createdInPass = 0;
        std::uint64_t identityVersion = 0;  // new whenever the names, parent or start time may have changed
        std::size_t outputIndex = 0;
        std::uint64_t anonymousBytes = 0;  // resident anonymous memory at the last read
        std::uint64_t textBytes = 0;       // code size; a change means the process ran exec
        std::optional<std::uint64_t> sharedPages;  // statm's shared count when Pss_Shmem was last read
        std::optional<std::uint64_t> rssShmem;     // RssShmem when Pss_Shmem was last read
        std::optional<std::uint64_t> swapBytes;    // VmSwap at the last status read
        std::uint64_t shmemBytes = 0;              // Pss_Shmem: its share of shared anonymous memory
        std::uint64_t shmemReadInPass = 0;         // when Pss_Shmem was last read
        std::uint64_t shareDoubt = 0;              // how far shmemBytes may be from Pss_Shmem: changes taken unread
        bool shmemEstimated = false;               // a fork's first pass: its share taken as none, unread
        // The family whose anonymous pages this process may share copy-on-write: the pid of the
        // process it and its relatives were forked from without exec; 0 when in none.
        std::int32_t copyFamily = 0;
        bool forkedWithoutExec = false;
        bool copiesDue = false;                    // smaps_rollup is read again this pass
        // A fork not read yet: what it shares is taken to be all it has but the pages it faulted in.
        bool copiesEstimated = false;
        bool copiesUnverified = false;  // what it shares was changed by another's exit, not read
        std::optional<std::uint64_t> copiesReadInPass;  // when smaps_rollup last gave what it shares
        std::uint64_t copiedAnonBytes = 0;  // Anonymous − Pss_Anon then: its pages others count too
        std::uint64_t copiedSwapBytes = 0;  // Swap − SwapPss then
        std::uint64_t anonymousAtCopiesRead = 0;  // statm's resident anonymous memory then
        std::uint64_t walkedAnonBytes = 0;        // the walk's own count of it (Anonymous)
        // What statm still counted beyond that: pages of mappings taken out, not yet unmapped
        std::uint64_t unmappingAnonBytes = 0;
        std::uint64_t residentPages = 0;          // statm's resident count: what a walk of it costs
        std::uint64_t minorFaults = 0;            // since it started, at the last read of its stat
        std::uint64_t faultsAtCopiesRead = 0;
        std::uint64_t shareOfShared = 0;          // its share of the pages others map too, as last reckoned
        std::uint64_t shareAtCopiesRead = 0;      // that share as its last walk found it
        // Faults a pass that brought nothing of its own to stay nor ended any sharing, as its walks
        // found: memory it maps and unmaps again (a request's buffer).
        std::uint64_t churnPerPass = 0;
        bool takesShare = false;  // lived on unread: once walked, its share is taken off the others
        bool walkAlone = false;   // due for its own change (a write, a release): the others stand
        std::uint64_t copiesReadAt = 0;  // clock ticks after boot its last walk ended

        std::uint64_t startTime = 0;
        std::int32_t parentPid = 0;
        std::string comm;
        std::optional<std::string> executablePath;
        std::optional<std::string> launchName;
        std::optional<std::string> launchedDesktopFile;
        bool environmentRead = false;
        std::optional<std::string> environmentOf;  // the executable whose environment was read
    };

    bool scanAll(std::vector<std::int32_t>& departed);
    void probe(std::int32_t pid);
    std::optional<std::int32_t> readLastPid();
    bool initialise(std::int32_t pid, Entry& entry);
    bool refreshIdentity(std::int32_t pid, Entry& entry, bool rereadPath);
    static void readNames(int dirFd, std::int32_t pid, Entry& entry);
    ReadOutcome readFootprint(std::int32_t pid, Entry& entry, bool swapInUse, std::uint64_t& footprint);
    ReadOutcome readKept(std::int32_t pid, Kept kind, int& fd, char* buffer, std::size_t size, std::size_t& length);
    // Room for one more kept descriptor of `kind`; for a statm, kept status files are closed to make it.
    bool roomFor(Kept kind);
    // Processes that want a statm kept this pass, at most.
    std::size_t statmWanted() const { return previousReadings_ + createdInThisPass_; }
    static ReadOutcome readOnce(std::int32_t pid, const char* leaf, char* buffer, std::size_t size, std::size_t& length);
    // Reads a small /proc file whole; -1 when it cannot be opened or read.
    static ssize_t readSmallFile(int dirFd, const char* path, char* buffer, std::size_t size);
    static std::optional<procfs::StatFields> readStat(int dirFd, const char* path);
    void closeDescriptor(int& fd, std::size_t& count);
    void closeDescriptor(Entry& entry);
    // Before an entry is dropped or taken over by a new process: its pages no longer count.
    void forget(Entry& entry);
    // A process's resident shared memory and its share of it changed: how much the other mappers'
    // shares may have changed together adds to movedShareBytes_.
    void noteShareMoved(bool shareWasCurrent, std::uint64_t residentBefore, std::uint64_t shareBefore,
                        std::uint64_t residentAfter, std::uint64_t shareAfter);
    // `holders`: processes holding shared anonymous memory this pass; `young`: those of them first
    // seen this pass and unread, which would leave the others' shares low when they go.
    void rereadShares(std::vector<ProcessReading>& out, std::size_t holders, std::size_t young);
    // The shares of forks first seen this pass, unread: what they map beyond what their family's
    // shares count.
    void estimateYoungShares(std::vector<ProcessReading>& out);
    // What a fork first seen may map of its family's pages: of those the read shares count, and of
    // those the forks seen with it before were given.
    struct YoungDoubt {
        std::uint64_t ofRead = 0;
        std::uint64_t ofForks = 0;
    };
    struct YoungFound {
        YoungDoubt doubt;         // of the forks found alive
        std::uint64_t beyond = 0;  // what they hold beyond their bound
    };
    // Walks forks of one family first seen together, that may map each other's pages or each its
    // own, and takes their shares as the walks found them (none for one gone meanwhile; at the
    // bound when they hold no more); `read`: what the family's read shares count. Nothing when none
    // was alive.
    std::optional<YoungFound> walkYoungForks(std::uint64_t read, const std::vector<std::int32_t>& forks,
                                             const std::vector<YoungDoubt>& doubts);
    // Resident and swapped anonymous memory but what others count too and what is on its way out.
    static std::uint64_t ownAnonymousOf(const Entry& entry);
    // Private anonymous + swapped + shared anonymous share, with what is shared copy-on-write counted in proportion.
    static std::uint64_t footprintOf(const Entry& entry);
    // Puts `entry`'s footprint into its reading of this pass, when it has one.
    static void showFootprint(std::vector<ProcessReading>& out, std::int32_t pid, const Entry& entry);
    // A process leaves its family, or loses its address space: what it shared moves to the others.
    // `exitingPid`: the pid of a process whose pages may still be mapped (it is exiting); 0 when gone.
    void leaveFamily(Entry& entry, std::int32_t exitingPid);
    // Takes `bytes` off what the family's members but `giver` are taken to share, its first process first.
    void giveBack(std::int32_t family, std::uint64_t bytes, std::int32_t giver = 0);
    // The reverse, for a fork that lived on and was read alone: `bytes` more is taken to be shared
    // by the family's other read members, its first process first.
    // Only members read before the fork started give: a later walk counted it among their sharers.
    void takeShare(std::int32_t family, std::int32_t taker, std::uint64_t bytes, std::vector<ProcessReading>& out);
    // Families whose members' exits are over (their pages unmapped) are read again.
    void settleExits();
    void reckonShareOfShared(Entry& entry) const;
    void estimateCopies(std::int32_t pid, Entry& entry) const;
    static ReadOutcome readRollup(std::int32_t pid, procfs::RollupMemory& rollup);
    static std::optional<procfs::StatFields> readStatOf(std::int32_t pid);
    // Puts the processes forked without exec first seen this pass into their parents' families.
    void joinFamilies();
    // Reads what family members share copy-on-write: those whose family changed, and the others
    // in turn; their readings in `out` follow.
    void readCopies(std::vector<ProcessReading>& out);
    // Reads one member's smaps_rollup; true when what it shares moved enough for its family to be read again.
    bool readCopiesOf(std::int32_t pid, Entry& entry, std::vector<ProcessReading>& out);
    // What a fork of the family of `entry` read last shares of what the others map too; 0 when none was read.
    std::uint64_t siblingShare(std::int32_t pid, const Entry& entry) const;
    // The one other member of the family of `entry` (at `pid`), read and whole; nothing when there are more.
    std::pair<std::int32_t, Entry*> soleOtherMember(std::int32_t pid, const Entry& entry);
    // Takes out the readings whose pid was set to 0, and moves the others' entries with them.
    void dropReadings();
    // Names, parent and start time into the reading at `index`.
    void copyIdentity(std::int32_t pid, const Entry& entry, std::size_t index);
    bool swapInUse() const;
    // Now, in the clock ticks since boot that a process's start time is given in.
    static std::uint64_t bootTicks();

    std::map<std::int32_t, Entry> entries_;  // in pid order, the order of the kernel's list
    std::vector<std::int32_t> listed_;
    std::vector<ProcessReading> readings_;
    std::vector<std::uint64_t> readingVersions_;  // the identity version each reading's names came from
    std::uint64_t identityVersions_ = 0;
    void* directory_ = nullptr;  // DIR* of /proc, kept open and rewound
    int loadavgFd_ = -1;
    std::optional<std::int32_t> lastPid_;  // the last pid handed out, at the previous pass
    std::uint64_t pass_ = 0;
    std::uint64_t firstPassTicks_ = 0;  // when the first pass began
    std::uint64_t pageSize_ = 4096;
    std::size_t keptStatm_ = 0;
    std::size_t keptStatus_ = 0;
    std::size_t descriptorBudget_ = 0;
    std::size_t previousReadings_ = 0;   // processes read in the previous pass
    std::size_t createdInThisPass_ = 0;  // processes new this pass
    std::uint64_t shareReads_ = 0;
    // Shared anonymous memory that may have changed hands between processes since the last round
    // of re-reading began: when a process maps or unmaps pages others map too, or exits, the
    // others' shares change though nothing of their own moved.
    std::uint64_t movedShareBytes_ = 0;
    // Shares read before this pass may be stale; some still are; where the last re-reading stopped.
    std::uint64_t sharesMovedInPass_ = 0;
    bool staleShares_ = false;
    std::uint64_t lastShareWalkPass_ = 0;  // the last pass a share of shared memory was walked
    std::int32_t shareCursor_ = 0;
    // A family member that left while it shared pages with the others.
    struct Exit {
        std::int32_t pid = 0;  // 0 once gone
        std::uint64_t startTime = 0;
        std::int32_t family = 0;
        std::uint64_t seenAt = 0;  // clock ticks after boot
        bool owner = false;  // never read: the others' readings left its pages to it
    };
    bool exitDone(const Exit& exit);
    // What a walk replaced, put back when a fork raced the walks of its family.
    struct WalkUndo {
        std::int32_t pid = 0;
        std::uint64_t copiedAnonBytes = 0;
        std::uint64_t copiedSwapBytes = 0;
        std::uint64_t anonymousAtCopiesRead = 0;
        std::uint64_t faultsAtCopiesRead = 0;
        std::optional<std::uint64_t> copiesReadInPass;
        bool copiesEstimated = false;
        bool copiesUnverified = false;
    };
    void undoRacedWalks(std::vector<ProcessReading>& out);
    std::vector<WalkUndo> walksThisPass_;
    // Forks read alone this pass whose shares the others give up once no race undid the walks.
    struct Take {
        std::int32_t pid = 0;
        std::int32_t family = 0;
        std::uint64_t bytes = 0;
    };
    std::vector<Take> takes_;
    // The reverse: members read alone this pass that share less than their last walk found (they
    // wrote or freed what they shared), whose share the others take on unless they were read too.
    std::vector<Take> gives_;
    std::set<std::int32_t> racedFamilies_;  // a member was found exiting by this pass's walks
    std::vector<Exit> exits_;
    std::set<std::int32_t> unsettledFamilies_;  // families with an exit still unmapping
    std::map<std::int32_t, std::uint64_t> rereadFamilies_;  // family → the pass it is read again after its exits
    std::map<std::int32_t, std::uint64_t> familyReadAt_;  // family → clock ticks after boot its last walk ended
    std::map<std::int32_t, std::optional<std::uint64_t>> readAtBefore_;  // family → that before this pass's walks
    // family → how far the walks of members read for their own changes moved the others' shares
    // since the others were read
    std::map<std::int32_t, std::uint64_t> familyDrift_;
    // What walks of forks first seen together may still take of what they map, and when it was
    // last added to.
    std::int64_t youngWalkCredit_ = 0;
    std::uint64_t youngCreditPass_ = 0;
    // How a family's forks last walked shared: for each byte they may have mapped of the read
    // shares' pages, and of each other's, what they held of their own.
    struct YoungShares {
        double ofRead = 0;
        std::optional<std::uint64_t> ofReadPass;  // when that was learned
        double ofForks = 0;
    };
    std::map<std::int32_t, YoungShares> youngShares_;  // family →
    std::vector<std::int32_t> newForks_;       // first seen this pass, forked without exec
    std::vector<std::int32_t> movedFamilies_;  // families whose sharing changed this pass
    std::set<std::int32_t> copyMembers_;       // pids of family members (some may be gone: checked when walked)
    std::int32_t copyCursor_ = 0;              // where the reading in turn goes on
    std::int64_t copyCredit_ = 0;              // resident pages the reading in turn may walk now
    std::uint64_t copyReads_ = 0;
    SwapReading swapReading_;
};

}  // namespace velmora
