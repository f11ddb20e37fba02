#pragma once
#include <cstddef>
#include <sys/types.h>

namespace velmora {

// A forked child process that holds memory on command (over a socket pair), for tests against the real kernel.
//
//   ChildProcess child;          // forks; the child waits for commands
//   child.allocate(64);          // the child maps and touches 64 MiB more; returns once done
//   child.allocate(64);          // ... and 64 MiB more (steps are driven by the caller)
//   child.release();             // the child unmaps everything it holds
//   child.exit();                // the child exits and is reaped; pid() stays the old pid
//
// The destructor kills and reaps a child still running. The child also dies with its parent.
// Each command returns false when the child did not confirm it (it died or failed to map).
class ChildProcess {
public:
    ChildProcess();
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t pid() const { return pid_; }
    bool running() const { return running_; }

    bool allocate(std::size_t mebibytes);
    // Maps and touches `mebibytes` of shared memory (a memfd) instead.
    bool allocateShared(std::size_t mebibytes);
    // Maps and touches the whole of the memfd this process holds open as `fd`, sharing it.
    bool mapShared(int fd);
    bool release();
    // Forks `count` children without exec that hold nothing of their own yet: they share what
    // the child holds copy-on-write; their parent is pid().
    bool forkChildren(std::size_t count);
    // Each forked child maps and touches `mebibytes` of its own.
    bool childrenAllocate(std::size_t mebibytes);
    // Each forked child unmaps what it mapped of its own (not what it shares).
    bool childrenRelease();
    // Each forked child reads every page the child held when it forked them: a fork maps shared
    // memory (a memfd) only as it reads it, as a database's backend reads its shared buffers.
    // With `skipped`, all but the first that many MiB of the memory mapped last: a backend maps few
    // of the pages its postmaster does.
    bool childrenReadInherited(std::size_t skipped = 0);
    // Each forked child reads its own part of what it was forked with, the first child the first
    // part: a query's parallel workers, each scanning its share of a table.
    bool childrenReadInheritedParts();
    // Each forked child unmaps what it was forked with and lives on, as a worker that frees its
    // copy of a model before it exits.
    bool childrenUnmapInherited();
    // Writes every page it holds again: what forked children shared with it copy-on-write becomes
    // its own, though its resident size stays the same.
    bool rewrite();
    // Writes the next `mebibytes` of what it holds again, going on from where the last such write
    // stopped: that much of what forks share with it becomes its own, a step at a time.
    bool rewriteNext(std::size_t mebibytes);
    // Each forked child writes the next `mebibytes` of what it was forked with, back from its end:
    // its own copy of that much (a child that saves what it shares, and touches each page as it goes).
    bool childrenRewriteNext(std::size_t mebibytes);
    // Takes the pages of the shared memory mapped last out of this process's page tables, but the
    // first `mebibytes`: the memory holds them still, forks made after may map them as they read.
    bool unmapSharedBeyond(std::size_t mebibytes);
    // The forked child made last maps, writes and unmaps `mebibytes` four times, as a worker
    // serving requests does with their buffers.
    bool lastChildServes(std::size_t mebibytes);
    // The forked child made last (or `before` children before it) is told to exit and not waited
    // for: its exit goes on meanwhile.
    bool leaveLastChild(std::size_t before = 0);
    // The forked child made last exits, and stays a zombie until the children are ended.
    bool exitLastChild();
    // The forked child made last exits and is reaped, and a new one is forked in its place.
    bool replaceLastChild();
    // The forked children are killed and reaped.
    bool endChildren();
    // Asks the child to exit and waits until it is reaped.
    bool exit();

private:
    bool command(char op, std::size_t argument);

    pid_t pid_ = -1;
    int socket_ = -1;
    bool running_ = false;
};

}  // namespace velmora
