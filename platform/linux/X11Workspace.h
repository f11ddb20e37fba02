#pragma once
#include <memory>
#include <string>

#include "platform/DesktopSession.h"
#include "platform/Scheduler.h"
#include "platform/Workspace.h"

namespace velmora {

// Launch, quit and activation of the desktop's applications, from the root window's
// _NET_CLIENT_LIST and _NET_ACTIVE_WINDOW changes on a connection of its own; the applications
// are named by the desktop session. While anyone observes, the changes are read when the
// connection has news (a short timer drains them where it cannot be watched).
class X11Workspace final : public Workspace {
public:
    static constexpr double drainInterval = 0.25;

    // $DISPLAY; none when it is unset.
    X11Workspace(Scheduler& scheduler, DesktopSession& session);
    // The given display; an empty name means none.
    X11Workspace(Scheduler& scheduler, DesktopSession& session, std::string displayName);
    ~X11Workspace() override;
    X11Workspace(const X11Workspace&) = delete;
    X11Workspace& operator=(const X11Workspace&) = delete;

    std::optional<RunningApplication> frontmostApplication() override;
    ObserverId addObserver(WorkspaceNotification name, Handler handler) override;
    void removeObserver(ObserverId id) override;

private:
    struct Impl;
    std::shared_ptr<Impl> impl_;  // shared with the notifications posted to the main thread
};

}  // namespace velmora
