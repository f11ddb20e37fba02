#pragma once
#include <optional>
#include <string>
#include <vector>

#include "platform/UrlOpener.h"

namespace velmora {

// Addresses go to the desktop's default handler. The other platform's settings links open the
// matching panel of the desktop's own settings where it has one (GNOME, KDE), else nothing.
class DesktopUrlOpener final : public UrlOpener {
public:
    bool open(const std::string& url) override;

    // The program and arguments that show the panel a settings link names, for the desktops of
    // XDG_CURRENT_DESKTOP (a colon-separated list); none when no listed desktop has that panel.
    static std::optional<std::vector<std::string>> settingsPanelCommand(const std::string& url,
                                                                        const std::string& currentDesktop);
};

}  // namespace velmora
