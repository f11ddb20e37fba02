#include "platform/linux/LinuxMemorySource.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <limits>

#include "engine/support/ByteMath.h"

namespace velmora {

namespace {

// zram devices come and go rarely; the list is refreshed every this many reads.
constexpr int zramRescanPeriod = 60;

// Reads a whole small file into `out`; false when it cannot be opened or read.
bool readWhole(int fd, std::string& out) {
    out.resize(8192);
    std::size_t filled = 0;
    for (;;) {
        const ssize_t n = pread(fd, out.data() + filled, out.size() - filled, static_cast<off_t>(filled));
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        filled += static_cast<std::size_t>(n);
        if (n == 0 || filled < out.size()) break;
        out.resize(out.size() * 2);
    }
    out.resize(filled);
    return true;
}


}  // namespace

bool LinuxMemorySource::KeptFile::read(std::string& out) {
    if (fd < 0) fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    if (readWhole(fd, out)) return true;
    close(fd);
    fd = -1;
    return false;
}

LinuxMemorySource::KeptFile::~KeptFile() {
    if (fd >= 0) close(fd);
}

LinuxMemorySource::LinuxMemorySource() : LinuxMemorySource(Files{}) {}

LinuxMemorySource::LinuxMemorySource(Files files) : files_(std::move(files)) {
    meminfo_.path = files_.meminfo;
    pressure_.path = files_.pressure;
}

std::optional<std::uint64_t> LinuxMemorySource::onlineMemoryBytes(const std::string& memoryBlocks) {
    char text[64];
    const auto readText = [&](const std::string& path) -> std::string_view {
        const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) return {};
        const ssize_t n = ::read(fd, text, sizeof text);
        close(fd);
        return n > 0 ? std::string_view(text, static_cast<std::size_t>(n)) : std::string_view();
    };
    const auto blockSize = linuxmem::parseBlockSize(readText(memoryBlocks + "/block_size_bytes"));
    if (!blockSize) return std::nullopt;
    DIR* dir = opendir(memoryBlocks.c_str());
    if (!dir) return std::nullopt;
    std::uint64_t online = 0;
    while (const dirent* d = readdir(dir)) {
        const std::string_view name = d->d_name;
        if (!name.starts_with("memory") || name.size() == 6 ||
            name.find_first_not_of("0123456789", 6) != std::string_view::npos)
            continue;
        const std::string block = memoryBlocks + "/" + d->d_name;
        // Blocks the kernel cannot take offline may have no "online" file; their state says.
        const std::string_view flag = readText(block + "/online");
        if (flag.starts_with('1') || (flag.empty() && readText(block + "/state").starts_with("online"))) ++online;
    }
    closedir(dir);
    if (online == 0 || online > std::numeric_limits<std::uint64_t>::max() / *blockSize) return std::nullopt;
    return online * *blockSize;
}

std::optional<std::uint64_t> LinuxMemorySource::zramMemoryUsed() {
    if (readsSinceScan_ < 0 || readsSinceScan_ >= zramRescanPeriod) {
        readsSinceScan_ = 0;
        zramStats_.clear();
        if (DIR* dir = opendir(files_.blockDevices.c_str())) {
            while (const dirent* d = readdir(dir))
                if (std::string_view(d->d_name).substr(0, 4) == "zram") {
                    zramStats_.push_back(std::make_unique<KeptFile>());
                    zramStats_.back()->path = files_.blockDevices + "/" + d->d_name + "/mm_stat";
                }
            closedir(dir);
        }
    }
    ++readsSinceScan_;
    std::uint64_t total = 0;
    for (const auto& file : zramStats_) {
        if (!file->read(zramBuffer_)) {
            readsSinceScan_ = -1;  // a device went away: look again next time
            continue;
        }
        total = saturatingAdd(total, linuxmem::parseZramMemoryUsed(zramBuffer_).value_or(0));
    }
    return total;
}

SystemMemoryReading LinuxMemorySource::read() {
    SystemMemoryReading reading;
    linuxmem::PressureInputs inputs;
    if (meminfo_.read(buffer_)) {
        const auto m = linuxmem::parseMeminfo(buffer_);
        if (!installed_) installed_ = onlineMemoryBytes(files_.memoryBlocks);
        // The blocks can only add what the kernel keeps; fewer than MemTotal means a bad count.
        reading.totalPhysicalBytes = m.memTotal && installed_->value_or(0) >= *m.memTotal ? **installed_ : m.memTotal;
        reading.availableBytes = linuxmem::availableBytes(m);
        reading.swapUsedBytes = linuxmem::swapUsedBytes(m);
        reading.compressedBytes = saturatingAdd(m.zswap.value_or(0), zramMemoryUsed().value_or(0));
        inputs.availableBytes = reading.availableBytes;
        inputs.totalBytes = m.memTotal;
    }
    if (pressure_.read(buffer_)) inputs.psi = linuxmem::parsePsi(buffer_);
    reading.pressure = classifier_.update(inputs);
    return reading;
}

}  // namespace velmora
