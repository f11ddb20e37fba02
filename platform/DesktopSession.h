#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace velmora {

// An application of the desktop session (a process that owns a top-level window).
struct RunningApplication {
    std::int32_t pid = 0;
    std::optional<std::string> bundleIdentifier;  // desktop-entry id
    std::optional<std::string> localizedName;     // desktop-entry name
    bool activationProhibited = false;            // a background-only application
    bool isActive = false;                        // owns the active window
    bool operator==(const RunningApplication&) const = default;
};

// The desktop session. With no display every list is empty.
class DesktopSession {
public:
    virtual ~DesktopSession() = default;
    virtual std::vector<RunningApplication> runningApplications() = 0;
    // Someone else heard first that the desktop's window lists changed: the next list reads them
    // afresh rather than waiting for the news to reach this session.
    virtual void windowListsChanged() {}
    // The name of the application with this desktop-file id, for one that has no window yet;
    // nothing when no desktop entry has that id.
    virtual std::optional<std::string> applicationName(const std::string& /*bundleIdentifier*/) { return std::nullopt; }
};

}  // namespace velmora
