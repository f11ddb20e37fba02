#pragma once
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/DesktopSession.h"
#include "platform/ProcessSource.h"
#include "platform/SystemMemorySource.h"

namespace velmora {

class FakeProcessSource final : public ProcessSource {
public:
    const std::vector<ProcessReading>& readProcesses() override {
        ++reads;
        return processes;
    }
    std::vector<ProcessReading> processes;
    int reads = 0;
};

class FakeDesktopSession final : public DesktopSession {
public:
    std::vector<RunningApplication> runningApplications() override { return apps; }
    std::optional<std::string> applicationName(const std::string& bundleIdentifier) override {
        const auto it = names.find(bundleIdentifier);
        return it == names.end() ? std::nullopt : std::optional(it->second);
    }
    std::vector<RunningApplication> apps;
    std::map<std::string, std::string> names;  // desktop-entry names by id
};

class FakeSystemMemorySource final : public SystemMemorySource {
public:
    SystemMemoryReading read() override {
        ++reads;
        return reading;
    }
    MemoryPressureLevel lastReportedPressure() const override { return lastReported; }
    void startPressureWatcher() override { ++watcherStarts; }

    SystemMemoryReading reading{16ull << 30, 8ull << 30, 0, 0, MemoryPressureLevel::normal};
    MemoryPressureLevel lastReported = MemoryPressureLevel::normal;
    int reads = 0;
    int watcherStarts = 0;
};

}  // namespace velmora
