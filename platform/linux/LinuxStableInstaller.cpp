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

void createFolder(const fs::path& folder) {
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec) throw LinuxStableInstaller::Error(ec.message());
}

bool sameFile(const fs::path& a, const fs::path& b) {
    std::error_code ec;
    return fs::equivalent(a, b, ec);
}

// Copies `from` to a temporary name beside `to` and renames it into place; a folder replaces the
// old one only once the new one is complete.
bool copyIntoPlace(const fs::path& from, const fs::path& to) {
    std::error_code ec;
    const std::string suffix = std::to_string(::getpid());
    const fs::path temp = to.parent_path() / ("." + to.filename().string() + ".new-" + suffix);
    fs::remove_all(temp, ec);
    if (fs::is_directory(from)) {
        fs::copy(from, temp, fs::copy_options::recursive, ec);
        if (ec) return fs::remove_all(temp, ec), false;
        const fs::path old = to.parent_path() / ("." + to.filename().string() + ".old-" + suffix);
        const bool hadOld = fs::exists(to);
        if (hadOld) fs::rename(to, old, ec);
        if (ec) return fs::remove_all(temp, ec), false;
        fs::rename(temp, to, ec);
        if (ec) {
            if (hadOld) fs::rename(old, to, ec);
            fs::remove_all(temp, ec);
            return false;
        }
        fs::remove_all(old, ec);
        return true;
    }
    std::error_code copyError, sourceError, copiedError, modeError;
    fs::copy_file(from, temp, fs::copy_options::overwrite_existing, copyError);
    const auto wanted = fs::file_size(from, sourceError);
    const bool complete = !copyError && !sourceError && fs::file_size(temp, copiedError) == wanted && !copiedError;
    if (complete) fs::permissions(temp, fs::perms(0755), modeError);
    if (!complete || modeError || ::access(temp.c_str(), X_OK) != 0) return fs::remove(temp, ec), false;
    fs::rename(temp, to, ec);
    if (!ec) return true;
    fs::remove(temp, ec);
    return false;
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
    if (!copyIntoPlace(source, destination)) throw Error(copyFailed);
    if (locations_.resources && fs::is_directory(*locations_.resources, ec) &&
        !sameFile(*locations_.resources, share)) {
        createFolder(share.parent_path());
        if (!copyIntoPlace(*locations_.resources, share)) throw Error(copyFailed);
    }
    PosixFileSystem files;
    if (!files.writeAtomically((applications / "velmora.desktop").string(), velmoraDesktopEntry(destination.string())))
        throw Error(copyFailed);
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
    if (failed) return std::error_code(failed, std::generic_category()).message();
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
