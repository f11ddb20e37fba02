#pragma once

namespace velmora {

enum class LaunchAtLoginStatus { enabled, disabled, requiresApproval };

// Starting the application when the user logs in (an XDG autostart entry on Linux).
class LoginItem {
public:
    virtual ~LoginItem() = default;
    virtual LaunchAtLoginStatus status() const = 0;
    // True when the registration already matched or the change was made; false when refused.
    virtual bool setEnabled(bool enabled) = 0;
};

}  // namespace velmora
