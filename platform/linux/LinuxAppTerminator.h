#pragma once
#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "platform/AppTerminator.h"
#include "platform/DesktopSession.h"

namespace velmora {

// Quits applications the way their close buttons do: each top-level window of the process gets
// the window manager's close request (_NET_CLOSE_WINDOW), and the application may ask to save.
// A process without windows gets SIGTERM. Only processes of this user are asked, only when they
// are still the process that was looked up (same start time), and never this process itself.
class LinuxAppTerminator final : public AppTerminator {
public:
    // An empty display name means no display: every process gets the signal.
    LinuxAppTerminator(DesktopSession& session, std::string displayName);

    std::vector<std::int32_t> applicationsWithBundleID(const std::string& bundleID) override;
    bool isRunningApplication(std::int32_t pid) override;
    bool terminate(std::int32_t pid) override;

private:
    bool remember(std::int32_t pid);
    // Sends the close request to each client window owned by pid; nothing when it has none.
    std::optional<bool> closeWindowsOf(std::int32_t pid);

    DesktopSession& session_;
    std::string displayName_;
    std::map<std::int32_t, std::uint64_t> startTimes_;  // as looked up
};

}  // namespace velmora
