#pragma once
// The command loop of a memory-holding child process, shared by the forked child and the
// separate memory-hog program it runs. Only async-signal-safe calls (no malloc): a forked child
// of a threaded parent may run it directly.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstddef>

namespace velmora::memoryhog {

inline bool readAll(int fd, void* data, std::size_t size) {
    auto* p = static_cast<char*>(data);
    while (size > 0) {
        const ssize_t n = read(fd, p, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// A socket rather than a pipe, so writing to a dead child fails instead of raising SIGPIPE.
inline bool writeAll(int fd, const void* data, std::size_t size) {
    const auto* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = send(fd, p, size, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// Appends `n` in decimal at `out`; returns the end.
inline char* appendNumber(char* out, unsigned long n) {
    char digits[24];
    int count = 0;
    do digits[count++] = static_cast<char>('0' + n % 10);
    while ((n /= 10) > 0);
    while (count > 0) *out++ = digits[--count];
    return out;
}

// Opens descriptor `fd` of the parent process (a memfd it created) for this process.
inline int openParentDescriptor(std::size_t fd) {
    char path[64] = "/proc/";
    char* end = appendNumber(path + 6, static_cast<unsigned long>(getppid()));
    for (const char* part = "/fd/"; *part; ++part) *end++ = *part;
    *appendNumber(end, fd) = '\0';
    return open(path, O_RDWR | O_CLOEXEC);
}

struct Command {
    char op;
    std::size_t argument;
};

[[noreturn]] inline void childLoop(int fd);

// What the process held when it was forked, as a forked child still maps it.
struct Inherited {
    void* const* regions = nullptr;
    const std::size_t* sizes = nullptr;
    std::size_t count = 0;
};
inline Inherited& inherited() {
    static Inherited held;
    return held;
}

// Children forked without exec, each running the command loop over a socket of its own: they
// share the memory held so far with this process copy-on-write.
struct Forks {
    static constexpr std::size_t max = 16;
    pid_t pids[max];
    int sockets[max];
    std::size_t count = 0;

    bool fork(std::size_t n, int parentSocket, const Inherited& held) {
        bool ok = true;
        for (std::size_t i = 0; i < n && count < max && ok; ++i) {
            int pair[2];
            if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) return false;
            const pid_t pid = ::fork();
            if (pid == 0) {
                prctl(PR_SET_PDEATHSIG, SIGKILL);
                close(parentSocket);
                close(pair[0]);
                for (std::size_t j = 0; j < count; ++j) close(sockets[j]);
                inherited() = held;  // the parent's frame stays on this copy of its stack
                childLoop(pair[1]);
            }
            close(pair[1]);
            char ready = 0;
            ok = pid > 0 && readAll(pair[0], &ready, 1);
            if (!ok) {
                if (pid > 0) kill(pid, SIGKILL), waitpid(pid, nullptr, 0);
                close(pair[0]);
                return false;
            }
            pids[count] = pid;
            sockets[count++] = pair[0];
        }
        return ok;
    }
    // Each child runs `c` and confirms it.
    bool command(Command c) {
        bool ok = true;
        for (std::size_t i = 0; i < count; ++i) {
            char reply = 0;
            ok = writeAll(sockets[i], &c, sizeof c) && readAll(sockets[i], &reply, 1) && reply == 1 && ok;
        }
        return ok;
    }
    // Child i of n runs `op` with i and n for argument (i in the high half), and confirms it.
    bool commandEach(char op) {
        bool ok = true;
        for (std::size_t i = 0; i < count; ++i) {
            const Command c{op, (i << 16) | count};
            char reply = 0;
            ok = writeAll(sockets[i], &c, sizeof c) && readAll(sockets[i], &reply, 1) && reply == 1 && ok;
        }
        return ok;
    }
    // The last child forked runs `c` alone and confirms it.
    bool commandLast(Command c) {
        char reply = 0;
        return count > 0 && writeAll(sockets[count - 1], &c, sizeof c) && readAll(sockets[count - 1], &reply, 1) &&
               reply == 1;
    }
    // The child forked `before` children before the last is told to exit; nothing waits for it.
    bool leave(std::size_t before) {
        if (before >= count) return false;
        const Command x{'x', 0};
        return writeAll(sockets[count - 1 - before], &x, sizeof x);
    }
    // The last child forked exits; it is left a zombie until the others end.
    bool exitLast() {
        if (count == 0) return false;
        const Command x{'x', 0};
        if (!writeAll(sockets[count - 1], &x, sizeof x)) return false;
        siginfo_t info{};
        return waitid(P_PID, static_cast<id_t>(pids[count - 1]), &info, WEXITED | WNOWAIT) == 0;
    }
    // The last child forked exits and is reaped, and another is forked in its place at once, as a
    // server replaces a worker that served its share of requests.
    bool replaceLast(int parentSocket, const Inherited& held) {
        if (count == 0) return false;
        const Command x{'x', 0};
        if (!writeAll(sockets[count - 1], &x, sizeof x)) return false;
        waitpid(pids[count - 1], nullptr, 0);
        close(sockets[--count]);
        return fork(1, parentSocket, held);
    }
    void end() {
        for (std::size_t i = 0; i < count; ++i) {
            kill(pids[i], SIGKILL);
            waitpid(pids[i], nullptr, 0);
            close(sockets[i]);
        }
        count = 0;
    }
};

// Writes the next `bytes` of `regions` again, a page at a time, `*cursor` bytes on from their
// start (or, `fromEnd`, back from their end); false once all are written.
inline bool rewriteNext(void* const* regions, const std::size_t* sizes, std::size_t count, std::size_t bytes,
                        std::size_t* cursor, long page, bool fromEnd) {
    std::size_t total = 0;
    for (std::size_t i = 0; i < count; ++i) total += sizes[i];
    std::size_t written = 0;
    for (; written < bytes && *cursor < total; *cursor += static_cast<std::size_t>(page)) {
        std::size_t at = fromEnd ? total - static_cast<std::size_t>(page) - *cursor : *cursor;
        std::size_t i = 0;
        while (at >= sizes[i]) at -= sizes[i++];
        static_cast<volatile char*>(regions[i])[at] = 3;
        written += static_cast<std::size_t>(page);
    }
    return written == bytes;
}

[[noreturn]] inline void childLoop(int fd) {
    constexpr std::size_t maxRegions = 256;
    void* regions[maxRegions];
    std::size_t sizes[maxRegions];
    std::size_t count = 0;
    Forks forks;
    const char ready = 1;  // tells the parent the child runs (after any exec)
    if (!writeAll(fd, &ready, 1)) _exit(1);
    const long page = sysconf(_SC_PAGESIZE);
    std::size_t rewritten = 0;           // of what it holds
    std::size_t inheritedRewritten = 0;  // of what it was forked with
    Command c{};
    while (readAll(fd, &c, sizeof c)) {
        char reply = 1;
        if (c.op == 'a' || c.op == 's' || c.op == 'f') {
            std::size_t bytes = c.argument << 20;
            void* p = MAP_FAILED;
            if (count < maxRegions && c.op == 'a') {
                p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
            } else if (count < maxRegions && c.op == 'f') {  // all of a memfd the parent holds
                const int memfd = openParentDescriptor(c.argument);
                struct stat st {};
                if (memfd >= 0 && fstat(memfd, &st) == 0 && st.st_size > 0) {
                    bytes = static_cast<std::size_t>(st.st_size);
                    p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, memfd, 0);
                }
                if (memfd >= 0) close(memfd);
            } else if (count < maxRegions) {  // shared memory, as browsers and compositors hold it
                const int memfd = memfd_create("memory-hog", MFD_CLOEXEC);
                if (memfd >= 0 && ftruncate(memfd, static_cast<off_t>(bytes)) == 0)
                    p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, memfd, 0);
                if (memfd >= 0) close(memfd);
            }
            if (p == MAP_FAILED) {
                reply = 0;
            } else {
                // Touch every page with non-zero data so each one is really resident.
                for (std::size_t off = 0; off < bytes; off += static_cast<std::size_t>(page))
                    static_cast<volatile char*>(p)[off] = 1;
                regions[count] = p;
                sizes[count] = bytes;
                ++count;
            }
        } else if (c.op == 'r') {
            for (std::size_t i = 0; i < count; ++i) munmap(regions[i], sizes[i]);  // a memfd goes with its last mapping
            count = 0;
        } else if (c.op == 't') {  // writes every held page again: a copy shared with forks becomes its own
            for (std::size_t i = 0; i < count; ++i)
                for (std::size_t off = 0; off < sizes[i]; off += static_cast<std::size_t>(page))
                    static_cast<volatile char*>(regions[i])[off] = 2;
        } else if (c.op == 'T') {  // the next part of what it holds, written again
            reply = rewriteNext(regions, sizes, count, c.argument << 20, &rewritten, page, false) ? 1 : 0;
        } else if (c.op == 'V') {  // the next part of what it was forked with, from its end, written again
            const Inherited& held = inherited();
            reply = rewriteNext(held.regions, held.sizes, held.count, c.argument << 20, &inheritedRewritten, page, true) ? 1 : 0;
        } else if (c.op == 'W') {  // each forked child writes the next part of what it was forked with
            reply = forks.command(Command{'V', c.argument}) ? 1 : 0;
        } else if (c.op == 'd') {  // out of its page tables but the first part; the memory keeps the pages
            const std::size_t keep = c.argument << 20;
            if (count == 0 || keep > sizes[count - 1] ||
                madvise(static_cast<char*>(regions[count - 1]) + keep, sizes[count - 1] - keep, MADV_DONTNEED) != 0)
                reply = 0;
        } else if (c.op == 'C') {  // maps, touches and unmaps that much four times: a request's buffers
            const std::size_t bytes = c.argument << 20;
            for (int round = 0; round < 4 && reply == 1; ++round) {
                void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
                if (p == MAP_FAILED) {
                    reply = 0;
                    break;
                }
                for (std::size_t off = 0; off < bytes; off += static_cast<std::size_t>(page)) static_cast<volatile char*>(p)[off] = 1;
                munmap(p, bytes);
            }
        } else if (c.op == 'c') {  // the forked child made last serves requests
            reply = forks.commandLast(Command{'C', c.argument}) ? 1 : 0;
        } else if (c.op == 'l') {
            reply = forks.leave(c.argument) ? 1 : 0;
        } else if (c.op == 'k') {
            reply = forks.fork(c.argument, fd, Inherited{regions, sizes, count}) ? 1 : 0;
        } else if (c.op == 'w') {  // each forked child maps and touches memory of its own
            reply = forks.command(Command{'a', c.argument}) ? 1 : 0;
        } else if (c.op == 'i') {  // reads the pages held when forked, but the first MiB given of the last
            const Inherited& held = inherited();
            for (std::size_t i = 0; i < held.count; ++i)
                for (std::size_t off = i + 1 == held.count ? c.argument << 20 : 0; off < held.sizes[i];
                     off += static_cast<std::size_t>(page))
                    (void)static_cast<volatile const char*>(held.regions[i])[off];
        } else if (c.op == 'I') {  // reads its part of what it was forked with: a query's parallel worker
            const Inherited& held = inherited();
            std::size_t total = 0;
            for (std::size_t i = 0; i < held.count; ++i) total += held.sizes[i];
            const std::size_t part = c.argument >> 16, parts = c.argument & 0xffff;
            const std::size_t pages = total / static_cast<std::size_t>(page);
            std::size_t at = 0;
            for (std::size_t i = 0; i < held.count; ++i)
                for (std::size_t off = 0; off < held.sizes[i]; off += static_cast<std::size_t>(page), ++at)
                    if (parts > 0 && at * parts / pages == part) (void)static_cast<volatile const char*>(held.regions[i])[off];
        } else if (c.op == 'O') {  // unmaps what it was forked with, as a worker frees its copy of a model
            const Inherited& held = inherited();
            for (std::size_t i = 0; i < held.count; ++i) munmap(held.regions[i], held.sizes[i]);
        } else if (c.op == 'o') {  // each forked child unmaps what it was forked with
            reply = forks.command(Command{'O', 0}) ? 1 : 0;
        } else if (c.op == 'J') {  // each forked child reads its own part of what it was forked with
            reply = forks.commandEach('I') ? 1 : 0;
        } else if (c.op == 'j') {  // each forked child reads what it was forked with
            reply = forks.command(Command{'i', c.argument}) ? 1 : 0;
        } else if (c.op == 'u') {  // each forked child unmaps what it mapped of its own
            reply = forks.command(Command{'r', 0}) ? 1 : 0;
        } else if (c.op == 'p') {
            reply = forks.replaceLast(fd, Inherited{regions, sizes, count}) ? 1 : 0;
        } else if (c.op == 'z') {
            reply = forks.exitLast() ? 1 : 0;
        } else if (c.op == 'e') {
            forks.end();
        } else if (c.op == 'x') {
            _exit(0);
        }
        if (!writeAll(fd, &reply, 1)) break;
    }
    _exit(0);
}

}  // namespace velmora::memoryhog
