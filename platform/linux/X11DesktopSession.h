#pragma once
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/DesktopSession.h"

namespace velmora {

// The process that owns a window: `claimed` is its _NET_WM_PID (0 when unset), `server` the pid
// the X server has for the window's connection (0 when unknown) and `serverInnermost` that
// process's pid in its own pid namespace. A sandboxed client (Flatpak) claims its pid inside the
// sandbox, which names another process out here; the server's pid wins when it is that client.
int windowOwnerPid(int claimed, int server, std::optional<int> serverInnermost);

// The applications of the X11 session: the owners of the window manager's client list
// (_NET_CLIENT_LIST), named after their desktop entries. Without a display, or once the
// connection breaks, the list is empty; X errors never end the process.
class X11DesktopSession final : public DesktopSession {
public:
    // Connects to $DISPLAY on first use.
    X11DesktopSession();
    // Connects to the given display instead; an empty name means none.
    explicit X11DesktopSession(std::string displayName);
    ~X11DesktopSession() override;
    X11DesktopSession(const X11DesktopSession&) = delete;
    X11DesktopSession& operator=(const X11DesktopSession&) = delete;

    std::vector<RunningApplication> runningApplications() override;
    void windowListsChanged() override;
    // From the desktop entries, with or without a display.
    std::optional<std::string> applicationName(const std::string& bundleIdentifier) override;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace velmora
