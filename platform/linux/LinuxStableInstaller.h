#pragma once
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <sys/types.h>

#include "platform/Scheduler.h"
#include "platform/StableInstaller.h"

namespace velmora {

// The desktop entry that starts Velmora from `executable` (the Exec value quoted as the
// desktop-entry rules require, so any path survives).
std::string velmoraDesktopEntry(const std::string& executable);

// Copies the running executable into ~/.local/bin, its resources into ~/.local/share/velmora and a
// desktop entry into ~/.local/share/applications, each under a temporary name renamed into place.
class LinuxStableInstaller final : public StableInstaller {
public:
    struct Error : std::runtime_error {
        using std::runtime_error::runtime_error;
    };
    struct Locations {
        std::string home;
        std::string executable;  // the running one
        std::optional<std::string> resources;  // folder of the browser extensions, when there is one
    };

    // `quitApplication` runs on the main thread once the copy has started.
    LinuxStableInstaller(Locations locations, Scheduler& scheduler, std::function<void()> quitApplication,
                         double startGraceSeconds = 0.4);

    // The copy started by installAndRelaunch finds the pid of the instance it replaces here.
    static constexpr const char* replacedInstanceVariable = "VELMORA_REPLACES_PID";
    // Run first thing in every start: in a copy that installAndRelaunch started, waits at most
    // `seconds` for the instance that started it to end, so the two never hold the stored files at
    // once. Returns at once in any other start. False only when the time ran out first.
    static bool waitForReplacedInstance(double seconds);

    // Returns the installed executable; throws Error.
    std::string install();
    std::optional<std::string> installAndRelaunch() override;
    pid_t lastStartedPid() const { return lastStarted_; }

private:
    Locations locations_;
    Scheduler& scheduler_;
    std::function<void()> quitApplication_;
    double startGraceSeconds_;
    pid_t lastStarted_ = 0;
};

}  // namespace velmora
