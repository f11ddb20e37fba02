#pragma once
#include <string>

#include "platform/LoginItem.h"

namespace velmora {

// Launch at login as an XDG autostart entry, "velmora.desktop" in the autostart folder
// ($XDG_CONFIG_HOME/autostart, else ~/.config/autostart). An entry the desktop marks hidden or
// disabled counts as off. Approval is never needed.
class XdgLoginItem final : public LoginItem {
public:
    XdgLoginItem(std::string autostartFolder, std::string executable);
    LaunchAtLoginStatus status() const override;
    bool setEnabled(bool enabled) override;
    std::string entryPath() const { return folder_ + "/velmora.desktop"; }

private:
    std::string folder_;
    std::string executable_;
};

}  // namespace velmora
