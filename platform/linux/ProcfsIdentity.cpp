// Who a process is: its executable, the name it was started under, the desktop entry it was
// launched from.
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/linux/DesktopEntry.h"
#include "platform/linux/ProcfsParsing.h"
#include "platform/linux/ProcfsProcessSource.h"

namespace velmora {

namespace {

std::optional<std::string> readExecutablePath(int dirFd, const char* path) {
    char buffer[4096];
    const ssize_t n = readlinkat(dirFd, path, buffer, sizeof buffer);
    if (n <= 0 || static_cast<std::size_t>(n) >= sizeof buffer) return std::nullopt;
    return procfs::stripDeletedSuffix(std::string(buffer, static_cast<std::size_t>(n)));
}

// A program run from a memfd (a sealed copy of itself, as some runtimes start) has no file: its
// link reads "/memfd:NAME (deleted)", which names the memfd, not the program.
bool isMemfd(std::string_view link) { return link.starts_with("/memfd:"); }

// A name the kernel gave a program run from a descriptor: "memfd:NAME" cut to 15 bytes, or on
// older kernels the descriptor's number. A name the program gave itself is none of these.
bool namesDescriptor(std::string_view name) {
    return name.starts_with("memfd:") || name.find_first_not_of("0123456789") == std::string_view::npos;
}

std::string_view baseName(std::string_view path) {
    const auto slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

// `link` is a symbolic link that ends at `target`.
bool linksTo(const std::string& link, const std::string& target) {
    struct stat st {};
    if (lstat(link.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return false;
    char resolved[PATH_MAX];
    return realpath(link.c_str(), resolved) && target == resolved;
}

// An environment larger than this is not searched.
constexpr std::size_t maxEnvironmentBytes = 1 << 20;

// The desktop entry a launcher started this very process from. Another user's environment is
// none of our business, so only the user's own processes are read.
std::optional<std::string> readLaunchedDesktopFile(int dirFd, std::int32_t pid) {
    static const uid_t user = geteuid();
    struct stat st {};
    if (fstat(dirFd, &st) != 0 || st.st_uid != user) return std::nullopt;
    const int fd = openat(dirFd, "environ", O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    std::string environment;
    char buffer[16384];
    ssize_t n = 0;
    while (environment.size() <= maxEnvironmentBytes && (n = read(fd, buffer, sizeof buffer)) > 0)
        environment.append(buffer, static_cast<std::size_t>(n));
    close(fd);
    if (n < 0 || environment.size() > maxEnvironmentBytes) return std::nullopt;
    return launchedDesktopFileId(environment, pid, true);
}

// `name` is the executable's own name, or its first 15 bytes as the kernel cuts comm.
bool isOwnName(std::string_view executable, std::string_view name) {
    const std::string_view own = baseName(executable);
    return name == own || (name.size() == 15 && own.starts_with(name));
}

// No other name is looked for: comm is the executable's own, or there is none.
bool namedAsExecutable(std::string_view executable, std::string_view comm) {
    return comm.empty() || isOwnName(executable, comm);
}

// Where programs are started from by name.
constexpr std::string_view programFolders[] = {"/usr/local/bin", "/usr/bin", "/bin", "/usr/local/sbin", "/usr/sbin", "/sbin"};

}  // namespace

std::optional<std::string> launchNameOf(const std::string& executable, std::string_view comm, std::string_view argv0) {
    if (namedAsExecutable(executable, comm)) return std::nullopt;
    const std::string_view own = baseName(executable);
    if (argv0.starts_with('/') && linksTo(std::string(argv0), executable)) return std::string(baseName(argv0));
    const std::string folder = executable.substr(0, executable.size() - own.size());
    for (const std::string_view name : {baseName(argv0), comm}) {
        if (name.empty() || isOwnName(executable, name) || name == "." || name == "..") continue;
        if (linksTo(folder + std::string(name), executable)) return std::string(name);
        for (const std::string_view dir : programFolders)
            if (linksTo(std::string(dir).append("/").append(name), executable)) return std::string(name);
    }
    return std::nullopt;
}

// Executable path, the name the program was started under and the desktop entry it was launched
// from; comm must be read already.
void ProcfsProcessSource::readNames(int dirFd, std::int32_t pid, Entry& entry) {
    entry.executablePath = readExecutablePath(dirFd, "exe");
    const bool ranFromMemfd = entry.executablePath && isMemfd(*entry.executablePath);
    if (ranFromMemfd) entry.executablePath.reset();
    entry.launchName.reset();
    if (!entry.environmentRead || entry.environmentOf != entry.executablePath) {
        entry.launchedDesktopFile = readLaunchedDesktopFile(dirFd, pid);
        entry.environmentRead = true;
        entry.environmentOf = entry.executablePath;
    }
    // Most programs run under their own name: then cmdline is not needed.
    const bool commNamesMemfd = ranFromMemfd && namesDescriptor(entry.comm);
    if (!commNamesMemfd && (!entry.executablePath || namedAsExecutable(*entry.executablePath, entry.comm))) return;
    char buffer[4096];
    const ssize_t n = readSmallFile(dirFd, "cmdline", buffer, sizeof buffer);
    const std::string_view cmdline(buffer, n > 0 ? static_cast<std::size_t>(n) : 0);
    const std::string_view argv0 = cmdline.substr(0, cmdline.find('\0'));
    if (commNamesMemfd) {
        // Only the name it was started under tells what the program is.
        const std::string_view name = baseName(argv0);
        if (!name.empty() && !namesDescriptor(name) && name != "." && name != "..") entry.launchName = std::string(name);
        return;
    }
    entry.launchName = launchNameOf(*entry.executablePath, entry.comm, argv0);
}

}  // namespace velmora
