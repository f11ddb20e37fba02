#include "platform/linux/LinuxStableInstaller.h"

#include <poll.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>
#include <vector>

#include "platform/linux/PosixFileSystem.h"

extern char** environ;

namespace velmora {

namespace fs = std::filesystem;

namespace {

const char* const notLocated = "Could not locate the running application.";
const char* const copyFailed =
    "Could not copy a complete app to ~/.local. Build the app in the build folder first, then try again.";

// Inside a quoted Exec argument " ` $ and \ take a backslash; the string rules then double every
// backslash, and % starts a field code unless doubled.
std::string quotedExecArgument(const std::string& path) {
    std::string out = "\"";
    for (char c : path) {
        switch (c) {
            case '"': case '`': case '$': out += "\\\\"; out += c; break;
            case '\\': out += "\\\\\\\\"; break;
            case '%': out += "%%"; break;
            case '\n': out += "\\n"; break;
            case '\t': out += "\\t"; break;
            case '\r': out += "\\r"; break;
            default: out += c;
        }
    }
    return out + "\"";
}

// What failed and where: "Not a directory: /home/u/.local".
[[noreturn]] void fail(const std::error_code& ec, const fs::path& where) {
    throw LinuxStableInstaller::Error(ec.message() + ": " + where.string());
}

void createFolder(const fs::path& folder) {
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (!ec) return;
    // A file where a folder should be is named itself, not the folder that could not be made below it.
    std::error_code statError;
    for (fs::path p = folder; !p.empty() && p != p.parent_path(); p = p.parent_path())
        if (fs::exists(fs::symlink_status(p, statError))) {
            if (!fs::is_directory(p, statError)) fail(ec, p);
            break;
        }
    fail(ec, folder);
}

bool sameFile(const fs::path& a, const fs::path& b) {
    std::error_code ec;
    return fs::equivalent(a, b, ec);
}

std::error_code lastError() { return {errno, std::generic_category()}; }

// A name beside `to` that the desktop and the file manager pass over until it is renamed.
fs::path besideName(const fs::path& to, const char* kind) {
    return to.parent_path() / ("." + to.filename().string() + kind + std::to_string(::getpid()));
}

// Removes a half-made copy however the copy ends.
struct Leftover {
    fs::path path;
    ~Leftover() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
};

// A failed read names the source, any other failure the place it was going to.
[[noreturn]] void failCopy(const std::error_code& ec, const fs::path& from, const fs::path& to) {
    fail(ec, ::access(from.c_str(), R_OK) != 0 ? from : to);
}

// `from`'s tree into the new folder `temp`, on its way to `to`.
void copyTree(const fs::path& from, const fs::path& temp, const fs::path& to) {
    std::error_code ec;
    fs::create_directory(temp, ec);
    if (ec) fail(ec, to);
    fs::recursive_directory_iterator it(from, ec);
    if (ec) fail(ec, from);
    for (; it != fs::recursive_directory_iterator(); it.increment(ec)) {
        const fs::path relative = it->path().lexically_relative(from);
        if (it->is_directory(ec)) fs::create_directory(temp / relative, ec);
        else fs::copy(it->path(), temp / relative, ec);
        if (ec) failCopy(ec, it->path(), to / relative);
    }
    if (ec) fail(ec, from);  // the walk itself stopped
}

// Copies `from` to a temporary name beside `to` and renames it into place; a folder replaces the
// old one only once the new one is complete. Throws Error naming the path that failed.
void copyIntoPlace(const fs::path& from, const fs::path& to) {
    std::error_code ec;
    const Leftover temp{besideName(to, ".new-")};
    fs::remove_all(temp.path, ec);
    if (fs::is_directory(from, ec)) {
        copyTree(from, temp.path, to);
        const fs::path old = besideName(to, ".old-");
        std::error_code absent;
        const bool hadOld = fs::exists(fs::symlink_status(to, absent));
        if (hadOld) fs::rename(to, old, ec);
        if (ec) fail(ec, to);
        fs::rename(temp.path, to, ec);
        if (ec) {
            std::error_code back;
            if (hadOld) fs::rename(old, to, back);
            fail(ec, to);
        }
        fs::remove_all(old, ec);
        return;
    }
    fs::copy_file(from, temp.path, fs::copy_options::overwrite_existing, ec);
    if (ec) failCopy(ec, from, to);
    const auto wanted = fs::file_size(from, ec);
    if (ec) fail(ec, from);
    const auto copied = fs::file_size(temp.path, ec);
    if (ec) fail(ec, to);
    // Read short without an error (the build still writing it, say): no complete program.
    if (copied != wanted) throw LinuxStableInstaller::Error(copyFailed);
    fs::permissions(temp.path, fs::perms(0755), ec);
    if (ec) fail(ec, to);
    if (::access(temp.path.c_str(), X_OK) != 0) fail(lastError(), to);
    fs::rename(temp.path, to, ec);
    if (ec) fail(ec, to);
}

// True once `pid` has ended (a zombie counts: it holds no files), false when `seconds` pass first.
bool waitForExit(pid_t pid, double seconds) {
    const int fd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    if (fd < 0) {
        if (errno == ESRCH) return true;
        // No process descriptors: look at it every few milliseconds instead.
        while (std::chrono::steady_clock::now() < deadline) {
            if (::getppid() != pid) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }
    bool ended = false;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd p{fd, POLLIN, 0};
        const int r = ::poll(&p, 1, static_cast<int>(std::max<long long>(0, left.count())));
        if (r > 0) ended = true;
        if (r >= 0 || errno != EINTR) break;
    }
    ::close(fd);
    return ended;
}

}  // namespace

bool LinuxStableInstaller::waitForReplacedInstance(double seconds) {
    const char* named = std::getenv(replacedInstanceVariable);
    if (!named) return true;
    const std::string text = named;
    ::unsetenv(replacedInstanceVariable);  // not passed on to what this process starts
    pid_t pid = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), pid);
    // Only the parent that started us: a pid from anywhere else may name an unrelated process by now.
    if (error != std::errc() || end != text.data() + text.size() || pid <= 1 || pid != ::getppid()) return true;
    return waitForExit(pid, seconds);
}

std::string velmoraDesktopEntry(const std::string& executable) {
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Velmora\n"
           "Comment=Explains the moments memory jumped\n"
           "Exec=" + quotedExecArgument(executable) + "\n"
           "Icon=utilities-system-monitor\n"
           "Terminal=false\n"
           "Categories=System;Monitor;\n"
           "StartupWMClass=velmora\n";
}

LinuxStableInstaller::LinuxStableInstaller(Locations locations, Scheduler& scheduler,
                                           std::function<void()> quitApplication, double startGraceSeconds)
    : locations_(std::move(locations)), scheduler_(scheduler), quitApplication_(std::move(quitApplication)),
      startGraceSeconds_(startGraceSeconds) {}

std::string LinuxStableInstaller::install() {
    const fs::path source = locations_.executable;
    std::error_code ec;
    if (source.empty() || !source.is_absolute() || !fs::is_regular_file(source, ec)) throw Error(notLocated);
    if (locations_.home.empty() || locations_.home.front() != '/') throw Error(notLocated);
    const fs::path local = fs::path(locations_.home) / ".local";
    const fs::path bin = local / "bin";
    const fs::path share = local / "share" / "velmora";
    const fs::path applications = local / "share" / "applications";
    const fs::path destination = bin / "velmora";
    // The installed copy reinstalls itself too: it is copied to a new name and renamed over, so the
    // running file is never written and the path always names a complete program.
    createFolder(bin);
    createFolder(applications);
    copyIntoPlace(source, destination);
    if (locations_.resources && fs::is_directory(*locations_.resources, ec) &&
        !sameFile(*locations_.resources, share)) {
        createFolder(share.parent_path());
        copyIntoPlace(*locations_.resources, share);
    }
    const fs::path entry = applications / "velmora.desktop";
    PosixFileSystem files;
    // The writer leaves errno as its failing step set it.
    if (!files.writeAtomically(entry.string(), velmoraDesktopEntry(destination.string()))) fail(lastError(), entry);
    return destination.string();
}

std::optional<std::string> LinuxStableInstaller::installAndRelaunch() {
    std::string destination;
    try {
        destination = install();
    } catch (const Error& e) {
        return std::string(e.what());
    }
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
    char* argv[] = {destination.data(), nullptr};
    // The copy waits for this instance to end before it opens the stored files.
    const std::string prefix = std::string(replacedInstanceVariable) + "=";
    std::string replaced = prefix + std::to_string(::getpid());
    std::vector<char*> environment;
    for (char** e = environ; *e; ++e)
        if (std::strncmp(*e, prefix.c_str(), prefix.size()) != 0) environment.push_back(*e);
    environment.push_back(replaced.data());
    environment.push_back(nullptr);
    pid_t pid = 0;
    const int failed = posix_spawn(&pid, destination.c_str(), nullptr, &attributes, argv, environment.data());
    posix_spawnattr_destroy(&attributes);
    if (failed) return std::error_code(failed, std::generic_category()).message() + ": " + destination;
    lastStarted_ = pid;
    // A copy that dies at once (a missing library, say) is no install: this instance stays.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(startGraceSeconds_);
    for (;;) {
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid) return std::string("The copy in ~/.local did not start.");
        if (std::chrono::steady_clock::now() >= deadline) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    scheduler_.post(quitApplication_);
    return std::nullopt;
}

}  // namespace velmora
