#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/SystemMemorySource.h"
#include "platform/linux/LinuxMemoryParsing.h"

namespace velmora {

// The machine's memory from /proc/meminfo, zram's statistics, the kernel's stall information
// (/proc/pressure/memory) and the online memory blocks. Every read judges the pressure level, so
// the last level reported is simply the one read last: no watcher thread is needed.
class LinuxMemorySource final : public SystemMemorySource {
public:
    // The files are parameters so tests can point them at files of their own.
    struct Files {
        std::string meminfo = "/proc/meminfo";
        std::string pressure = "/proc/pressure/memory";
        std::string blockDevices = "/sys/block";
        std::string memoryBlocks = "/sys/devices/system/memory";
    };

    LinuxMemorySource();
    explicit LinuxMemorySource(Files files);
    LinuxMemorySource(const LinuxMemorySource&) = delete;
    LinuxMemorySource& operator=(const LinuxMemorySource&) = delete;

    SystemMemoryReading read() override;
    MemoryPressureLevel lastReportedPressure() const override { return classifier_.level(); }
    void startPressureWatcher() override {}

    // Online memory blocks × the block size: the memory installed, which MemTotal undercounts by
    // what the firmware and the kernel keep. Nothing when the folder cannot be read.
    static std::optional<std::uint64_t> onlineMemoryBytes(const std::string& memoryBlocks);

private:
    // Files kept open and re-read from the start; each read reopens a file that failed.
    struct KeptFile {
        std::string path;
        int fd = -1;
        bool read(std::string& out);
        ~KeptFile();
    };

    std::optional<std::uint64_t> zramMemoryUsed();

    Files files_;
    KeptFile meminfo_;
    KeptFile pressure_;
    std::vector<std::unique_ptr<KeptFile>> zramStats_;  // each device's mm_stat, rescanned now and then
    std::string zramBuffer_;
    int readsSinceScan_ = -1;
    std::optional<std::optional<std::uint64_t>> installed_;  // counted once: blocks come and go rarely
    std::string buffer_;
    linuxmem::PressureClassifier classifier_;
};

}  // namespace velmora
