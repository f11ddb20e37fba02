// A database server's processes as they use memory, for bench/db_share.sh, which builds it with cc
// as a program named postgres (so that it is grouped as the real server is): a postmaster that
// maps one segment of shared anonymous memory before it forks, 16 MiB of shared structures (a
// process array, lock tables, buffer descriptors), which it writes, followed by the shared
// buffers; a child that prewarms a table into the buffers and exits; four auxiliary children that
// live on, each using a few MiB of the structures and now and then reading a few MiB of the
// buffers (a checkpointer, a background writer); and backends forked without exec, each using
// half of the structures, reading the whole table through the buffers and exiting LIFE_MS after
// its fork (default 100: its start, the client's round trips and the query). As with the real
// server, each backend that maps the structures moves the shares of all who map them.
//   postgres BUFFERS_MIB TABLE_MIB OWN_MIB BACKENDS_A_SECOND [LIFE_MS]
// Prints "ready" once the table is prewarmed. SIGUSR1 stops forking backends and prints how many
// were forked and how long they lived, SIGUSR2 starts again; SIGTERM ends it all.
#define _GNU_SOURCE
#include <signal.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

enum { auxiliaries = 4, slots = 256 };
static const size_t structures_size = 16 << 20;
static unsigned char *structures, *buffers;
static size_t table;
static double life = 0.1;

static double seconds(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec + t.tv_nsec / 1e9;
}

static void child_signals(void) {
    sigset_t all;
    sigfillset(&all);
    sigprocmask(SIG_UNBLOCK, &all, NULL);
    prctl(PR_SET_PDEATHSIG, SIGTERM);
}

// A write to each page of the first `size` bytes of the structures, as taking locks and pinning
// buffers does.
static void use_structures(size_t size, unsigned char mark) {
    for (size_t i = 0; i < size; i += 4096) structures[i] = mark;
}

// Every word of the table, read through the buffers; half of the structures; and some memory of
// its own (its caches).
static void backend(double born) {
    const size_t own = 2 << 20;
    unsigned char *mine = malloc(own);
    memset(mine, 4, own);
    use_structures(structures_size / 2, 1);
    const volatile uint64_t *word = (const uint64_t *)buffers;
    uint64_t sum = 0;
    for (size_t i = 0; i < table / sizeof *word; ++i) sum += word[i];
    const double left = born + life - seconds();
    if (left > 0) usleep((useconds_t)(left * 1e6));
    _exit(sum == 1 ? 3 : 0);  // the sum is used, so the reads stay
}

// Like a checkpointer or a background writer: it uses 1 to 4 MiB of the structures, and every
// few seconds it reads 4 MiB of the buffers, in turn over a 16 MiB slice of its own.
static void auxiliary(int n) {
    const size_t chunk = 4 << 20, slice = 16 << 20;
    use_structures((size_t)(n + 1) << 20, 2);
    for (unsigned round = 0;; ++round) {
        sleep(2 + n);
        const size_t at = (n * slice + (round % 4) * chunk) % (table - chunk + 1);
        volatile unsigned char sum = 0;
        for (size_t i = 0; i < chunk; i += 4096) sum += buffers[at + i];
    }
}

int main(int argc, char **argv) {
    if (argc != 5 && argc != 6) {
        fprintf(stderr, "usage: %s BUFFERS_MIB TABLE_MIB OWN_MIB BACKENDS_A_SECOND [LIFE_MS]\n", argv[0]);
        return 2;
    }
    const size_t size = (size_t)atol(argv[1]) << 20, own = (size_t)atol(argv[3]) << 20;
    table = (size_t)atol(argv[2]) << 20;
    const double rate = atof(argv[4]);
    if (argc == 6) life = atof(argv[5]) / 1000;
    if (table < (4 << 20) || table > size || rate <= 0 || life < 0) {
        fprintf(stderr, "%s: the table (4 MiB or more) must fit in the buffers, and backends come at a positive rate\n",
                argv[0]);
        return 2;
    }
    structures = mmap(NULL, structures_size + size, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (structures == MAP_FAILED) {
        perror("mmap");
        return 1;
    }
    buffers = structures + structures_size;
    use_structures(structures_size, 0);
    unsigned char *mine = malloc(own ? own : 1);
    memset(mine, 3, own);
    sigset_t handled;
    sigemptyset(&handled);
    sigaddset(&handled, SIGCHLD);
    sigaddset(&handled, SIGUSR1);
    sigaddset(&handled, SIGUSR2);
    sigaddset(&handled, SIGTERM);
    sigaddset(&handled, SIGINT);
    sigprocmask(SIG_BLOCK, &handled, NULL);

    pid_t prewarm = fork();
    if (prewarm == 0) {
        child_signals();
        for (size_t i = 0; i < table; ++i) buffers[i] = (unsigned char)(i * 2654435761u >> 24);
        _exit(0);
    }
    waitpid(prewarm, NULL, 0);
    pid_t aux[auxiliaries];
    for (int n = 0; n < auxiliaries; ++n)
        if ((aux[n] = fork()) == 0) {
            child_signals();
            auxiliary(n);
        }
    printf("ready\n");
    fflush(stdout);

    struct { pid_t pid; double born; } living[slots] = {{0, 0}};
    int churning = 1;
    long forked = 0, reaped = 0;
    double lived = 0, longest = 0, next = seconds();
    for (;;) {
        double now = seconds();
        if (churning && now >= next) {
            const pid_t pid = fork();
            if (pid == 0) {
                child_signals();
                backend(now);
            }
            if (pid > 0) {
                ++forked;
                for (int s = 0; s < slots; ++s)
                    if (living[s].pid == 0) {
                        living[s].pid = pid, living[s].born = now;
                        break;
                    }
            }
            next += 1 / rate;
            if (next < now) next = now;  // late (a loaded machine): no burst to catch up
            continue;
        }
        const double pause = churning ? next - now : 1.0;
        struct timespec timeout = {(time_t)pause, (long)((pause - (time_t)pause) * 1e9)};
        siginfo_t info;
        const int sig = sigtimedwait(&handled, &info, &timeout);
        if (sig == SIGCHLD) {
            pid_t pid;
            while ((pid = waitpid(-1, NULL, WNOHANG)) > 0)
                for (int s = 0; s < slots; ++s)
                    if (living[s].pid == pid) {
                        const double life = seconds() - living[s].born;
                        lived += life, ++reaped;
                        if (life > longest) longest = life;
                        living[s].pid = 0;
                    }
        } else if (sig == SIGUSR1 && churning) {
            churning = 0;
            printf("%ld backends forked, %ld reaped, living %.0f ms on average, %.0f ms at most\n", forked, reaped,
                   reaped ? 1000 * lived / reaped : 0.0, 1000 * longest);
            fflush(stdout);
        } else if (sig == SIGUSR2 && !churning) {
            churning = 1;
            next = seconds();
        } else if (sig == SIGTERM || sig == SIGINT) {
            for (int n = 0; n < auxiliaries; ++n) kill(aux[n], SIGTERM);
            while (wait(NULL) > 0) {
            }
            return 0;
        }
    }
}
