#pragma once
#include <memory>
#include <optional>
#include <string>

#include "platform/AccessibilityPermission.h"

namespace velmora {

// The session's accessibility switch, read from the accessibility bus launcher on the session
// bus (org.a11y.Bus, property org.a11y.Status.IsEnabled). Granted means switched on and the
// launcher answering; reading never starts a launcher, asking does. Calls time out after 250 ms.
// An answer is kept until the bus announces a change (the launcher coming or going, its switch
// flipped), so a steady session is asked once, not at every look.
class A11yBusPermission final : public AccessibilityPermission {
public:
    // The session bus of the environment (DBUS_SESSION_BUS_ADDRESS, else $XDG_RUNTIME_DIR/bus).
    A11yBusPermission();
    // The session bus at `address`; none means never granted.
    explicit A11yBusPermission(std::optional<std::string> address);
    ~A11yBusPermission() override;
    A11yBusPermission(const A11yBusPermission&) = delete;
    A11yBusPermission& operator=(const A11yBusPermission&) = delete;

    bool isGranted() override;
    bool request() override;

    // Where the session bus is, from the environment's values; absent when there is none.
    static std::optional<std::string> sessionBusAddress(const char* busAddress, const char* runtimeDir);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace velmora
