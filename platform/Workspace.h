#pragma once
#include <cstdint>
#include <functional>
#include <optional>

#include "platform/DesktopSession.h"

namespace velmora {

enum class WorkspaceNotification {
    didLaunchApplication,     // an application's first top-level window appeared
    didTerminateApplication,  // its last top-level window went, or its process exited
    didActivateApplication,   // it came to own the active window
};

// The running applications of the desktop and the notifications about them.
class Workspace {
public:
    using ObserverId = std::uint64_t;
    // Receives the application concerned; absent when the notification names none usable.
    using Handler = std::function<void(const std::optional<RunningApplication>&)>;

    virtual ~Workspace() = default;
    // The owner of the active window; absent without one or without a display.
    virtual std::optional<RunningApplication> frontmostApplication() = 0;
    // Handlers run on the main thread, never from inside a call into the workspace. Never returns 0.
    virtual ObserverId addObserver(WorkspaceNotification name, Handler handler) = 0;
    // Unknown ids are ignored. A removed handler is not called again.
    virtual void removeObserver(ObserverId id) = 0;
};

}  // namespace velmora
