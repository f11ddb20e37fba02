#pragma once
#include <filesystem>
#include <functional>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

#include "platform/linux/PosixFileSystem.h"

namespace velmora {

// The real file system, counting writes; with `refuseMoves` set, moves fail as in a read-only folder.
class RecordingFileSystem final : public FileSystem {
public:
    ReadResult read(const std::string& path) const override { return real.read(path); }
    ReadResult readAtMost(const std::string& path, std::size_t maxBytes) const override { return real.readAtMost(path, maxBytes); }
    bool writeAtomically(const std::string& path, const std::string& contents) override { return ++writes, real.writeAtomically(path, contents); }
    bool move(const std::string& from, const std::string& to) override { return !refuseMoves && real.move(from, to); }
    bool exists(const std::string& path) const override { return real.exists(path); }
    void removeLeftoverTemporaries(const std::string& path) override { real.removeLeftoverTemporaries(path); }

    PosixFileSystem real;
    int writes = 0;
    bool refuseMoves = false;
};

inline std::vector<std::string> filesStarting(const std::string& dir, const std::string& prefix) {
    std::vector<std::string> out;
    for (const auto& e : std::filesystem::directory_iterator(dir))
        if (e.path().filename().string().starts_with(prefix)) out.push_back(e.path().string());
    return out;
}

// Runs `body` in a forked child, which ends by the exit code `body` returns (or by a signal), and
// gives the wait status.
inline int statusOfChild(const std::function<int()>& body) {
    const pid_t child = ::fork();
    if (child < 0) return -1;
    if (child == 0) ::_exit(body());
    int status = 0;
    ::waitpid(child, &status, 0);
    return status;
}

}  // namespace velmora
