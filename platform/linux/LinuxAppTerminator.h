#pragma once
#include <cstdint>
#include <map>
#include <string>

#include "platform/AppTerminator.h"
#include "platform/DesktopSession.h"

namespace velmora {

// Quits applications the way their close buttons do: each top-level window of the process gets
// the window manager's close request (_NET_CLOSE_WINDOW), and the application may ask to save.
// Only owners of the session's windows are asked (a process without one is never touched), only
// processes of this user, only while they are still the process that was looked up (same start
// time), and never this process itself.
class LinuxAppTerminator final : public AppTerminator {
public:
    // An empty display name means no display: nothing can be asked to close.
    LinuxAppTerminator(DesktopSession& session, std::string displayName);

    std::vector<std::int32_t> applicationsWithBundleID(const std::string& bundleID) override;
    bool hasWindow(std::int32_t pid) override;
    bool closeWindows(std::int32_t pid) override;

private:
    bool remember(std::int32_t pid);
    // Sends the close request to each client window owned by pid; false when it has none.
    bool closeWindowsOf(std::int32_t pid);

    DesktopSession& session_;
    std::string displayName_;
    std::map<std::int32_t, std::uint64_t> startTimes_;  // as looked up
};

}  // namespace velmora
