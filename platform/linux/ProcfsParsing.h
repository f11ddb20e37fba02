#pragma once
// Pure parsers of /proc texts, kept apart from the reads so they can be fed strings.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace velmora::procfs {

// The fields of /proc/N/stat the process source needs.
struct StatFields {
    std::string comm;  // the short name, at most 15 bytes
    char state = '?';
    std::int32_t parentPid = 0;
    std::uint64_t flags = 0;
    // Faults served without I/O since the process started (a fork starts from zero): each first
    // touch of a page, and each write that ends the sharing of a page copied on write.
    std::uint64_t minorFaults = 0;
    std::uint64_t startTime = 0;  // clock ticks after boot; with the pid it names one process
    // The signal the parent gets at exit: -1 for every thread but the first of a process, so the
    // pid of such a thread (which also opens under /proc) is told from a process's by stat alone.
    // Nothing when the text ends before it.
    std::optional<std::int32_t> exitSignal;
};

// The kernel marks its own threads with this flag.
inline constexpr std::uint64_t kernelThreadFlag = 0x00200000;  // PF_KTHREAD
// A process forked and not exec'd since: it may share anonymous pages copy-on-write with the
// process it was forked from.
inline constexpr std::uint64_t forkedWithoutExecFlag = 0x00000040;  // PF_FORKNOEXEC

// Reads "pid (comm) state ppid ... starttime ...". The short name may hold spaces and ')', so it
// ends at the last ')'. Nothing when the text is cut short or malformed before starttime.
std::optional<StatFields> parseStat(std::string_view text);

// The first fields of /proc/N/statm, in pages.
struct StatmFields {
    std::uint64_t size = 0;
    std::uint64_t resident = 0;
    std::uint64_t shared = 0;
    std::uint64_t text = 0;
};
std::optional<StatmFields> parseStatm(std::string_view text);

// Resident anonymous bytes from statm: resident minus shared pages, never below zero.
std::uint64_t anonymousBytes(const StatmFields& statm, std::uint64_t pageSize);

// The fields of /proc/N/status that stand in for statm when swap is in use (all in bytes).
struct StatusMemory {
    std::optional<std::uint64_t> rssAnon;
    std::optional<std::uint64_t> swap;
    std::optional<std::uint64_t> text;  // VmExe
    std::optional<std::uint64_t> rssShmem;  // resident shared anonymous memory, whoever else maps it
    std::optional<std::uint64_t> resident;      // VmRSS
    std::optional<std::uint64_t> peakResident;  // VmHWM: the most it was resident, as of its last unmap
};
StatusMemory parseStatusMemory(std::string_view text);

// The value of a "Key:   1234 kB" line in bytes; nothing when the key is missing or malformed.
// `key` is given without the colon. Works for /proc/meminfo and /proc/N/status alike.
std::optional<std::uint64_t> kilobyteField(std::string_view text, std::string_view key);

// What /proc/N/smaps_rollup says of a process's anonymous memory (all in bytes). Anonymous pages a
// fork without exec shares copy-on-write count whole in `anonymous` and `swap` of every sharer,
// and in proportion in `pssAnon` and `swapPss`.
struct RollupMemory {
    std::optional<std::uint64_t> anonymous;
    std::optional<std::uint64_t> pssAnon;
    std::optional<std::uint64_t> swap;
    std::optional<std::uint64_t> swapPss;
    std::optional<std::uint64_t> pssShmem;  // its share of shared anonymous memory (memfd, shm)
    // Dirty pages it alone maps: its own anonymous pages, with any shared memory only it maps.
    std::optional<std::uint64_t> privateDirty;
};
RollupMemory parseRollup(std::string_view text);

// The pid a process has in its own, innermost pid namespace (a sandbox's): the last number of
// the "NSpid:" line of /proc/N/status. Nothing when the line is missing or malformed.
std::optional<std::int32_t> innermostPid(std::string_view status);

// A digits-only directory name as a pid; nothing for anything else (".", "self", "12a", overflow).
std::optional<std::int32_t> parsePid(std::string_view name);

// The last pid handed out in this pid namespace: the last field of /proc/loadavg.
std::optional<std::int32_t> parseLastPid(std::string_view loadavg);

// readlink of /proc/N/exe says " (deleted)" after the file was replaced (an upgrade).
std::string stripDeletedSuffix(std::string path);

}  // namespace velmora::procfs
