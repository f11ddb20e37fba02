#pragma once
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/SystemMemorySource.h"
#include "platform/linux/LinuxMemoryParsing.h"

namespace velmora {

// The machine's memory from /proc/meminfo, zram's statistics and the kernel's stall
// information (/proc/pressure/memory). The pressure watcher is a small thread that judges the
// level every few seconds on its own, so a level is at hand when a read cannot judge one.
class LinuxMemorySource final : public SystemMemorySource {
public:
    // The files are parameters so tests can point them at files of their own.
    struct Files {
        std::string meminfo = "/proc/meminfo";
        std::string pressure = "/proc/pressure/memory";
        std::string blockDevices = "/sys/block";
    };

    LinuxMemorySource();
    explicit LinuxMemorySource(Files files);
    ~LinuxMemorySource() override;
    LinuxMemorySource(const LinuxMemorySource&) = delete;
    LinuxMemorySource& operator=(const LinuxMemorySource&) = delete;

    SystemMemoryReading read() override;
    MemoryPressureLevel lastReportedPressure() const override { return lastReported_.load(); }
    void startPressureWatcher() override;

    // How often the watcher judges the level.
    static constexpr auto watcherInterval = std::chrono::seconds(2);

private:
    // Files kept open and re-read from the start; each read reopens a file that failed.
    struct KeptFile {
        std::string path;
        int fd = -1;
        bool read(std::string& out);
        ~KeptFile();
    };

    std::optional<std::uint64_t> zramMemoryUsed();
    void watch();

    Files files_;
    KeptFile meminfo_;
    KeptFile pressure_;
    std::vector<std::string> zramStats_;  // mm_stat paths, rescanned now and then
    int readsSinceScan_ = -1;
    std::string buffer_;
    linuxmem::PressureClassifier classifier_;

    std::atomic<MemoryPressureLevel> lastReported_{MemoryPressureLevel::normal};
    std::mutex watcherMutex_;
    std::condition_variable watcherWake_;
    bool stopping_ = false;
    std::thread watcher_;
};

}  // namespace velmora
