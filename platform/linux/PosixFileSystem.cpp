#include "platform/linux/PosixFileSystem.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

#include "engine/support/Uuid.h"

namespace velmora {

namespace {

// Temporary files are named ".<file name>.<UUID>.tmp" beside the target.
std::string temporaryName(const std::filesystem::path& target) {
    return "." + target.filename().string() + "." + Uuid::random().toString() + ".tmp";
}

bool isTemporaryOf(const std::string& candidate, const std::string& fileName) {
    const std::string prefix = "." + fileName + ".";
    const std::string suffix = ".tmp";
    return candidate.size() == prefix.size() + 36 + suffix.size() && candidate.compare(0, prefix.size(), prefix) == 0 &&
           candidate.compare(candidate.size() - suffix.size(), suffix.size(), suffix) == 0 &&
           Uuid::parse(std::string_view(candidate).substr(prefix.size(), 36)).has_value();
}

bool writeAll(int fd, const std::string& data) {
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

void syncDirectory(const std::string& dir) {
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

}  // namespace

FileSystem::ReadResult PosixFileSystem::read(const std::string& path) const {
    return readAtMost(path, std::numeric_limits<std::size_t>::max());
}

FileSystem::ReadResult PosixFileSystem::readAtMost(const std::string& path, std::size_t maxBytes) const {
    ReadResult result;
    // Not blocking: a FIFO planted in place of the file would otherwise hold open() until a
    // writer comes, which may be never.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        result.status = errno == ENOENT ? ReadStatus::missing : ReadStatus::failed;
        return result;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {  // a FIFO, folder or device is no stored file
        ::close(fd);
        result.status = ReadStatus::failed;
        return result;
    }
    if (st.st_size > 0 && static_cast<std::uintmax_t>(st.st_size) > maxBytes) {
        ::close(fd);
        result.status = ReadStatus::tooLarge;
        return result;
    }
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            ::close(fd);
            result.status = ReadStatus::failed;
            result.contents.clear();
            return result;
        }
        if (n == 0) break;
        if (static_cast<std::size_t>(n) > maxBytes - result.contents.size()) {  // grew while being read
            ::close(fd);
            result.status = ReadStatus::tooLarge;
            result.contents.clear();
            return result;
        }
        result.contents.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fd);
    result.status = ReadStatus::ok;
    return result;
}

bool PosixFileSystem::writeAtomically(const std::string& path, const std::string& contents) {
    const std::filesystem::path target(path);
    const auto dir = target.parent_path();
    std::error_code ec;
    if (!dir.empty()) std::filesystem::create_directories(dir, ec);
    const std::string temp = (dir / temporaryName(target)).string();
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    const bool ok = writeAll(fd, contents) && ::fsync(fd) == 0;
    if (::close(fd) != 0 || !ok || ::rename(temp.c_str(), path.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    syncDirectory(dir.empty() ? "." : dir.string());
    return true;
}

bool PosixFileSystem::move(const std::string& from, const std::string& to) {
    return ::rename(from.c_str(), to.c_str()) == 0;
}

void PosixFileSystem::removeLeftoverTemporaries(const std::string& path) {
    const std::filesystem::path target(path);
    const auto dir = target.parent_path().empty() ? std::filesystem::path(".") : target.parent_path();
    const std::string name = target.filename().string();
    std::error_code ec;
    for (std::filesystem::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        if (isTemporaryOf(it->path().filename().string(), name)) std::filesystem::remove(it->path(), ec);
    }
}

bool PosixFileSystem::exists(const std::string& path) const {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

}  // namespace velmora
