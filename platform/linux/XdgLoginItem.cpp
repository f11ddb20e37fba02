#include "platform/linux/XdgLoginItem.h"

#include <filesystem>
#include <sstream>

#include "platform/linux/LinuxStableInstaller.h"
#include "platform/linux/PosixFileSystem.h"

namespace velmora {

XdgLoginItem::XdgLoginItem(std::string autostartFolder, std::string executable)
    : folder_(std::move(autostartFolder)), executable_(std::move(executable)) {}

LaunchAtLoginStatus XdgLoginItem::status() const {
    const auto file = PosixFileSystem().read(entryPath());
    if (file.status != FileSystem::ReadStatus::ok) return LaunchAtLoginStatus::disabled;
    std::istringstream lines(file.contents);
    for (std::string line; std::getline(lines, line);) {
        while (!line.empty() && (line.back() == ' ' || line.back() == '\r')) line.pop_back();
        if (line == "Hidden=true" || line == "X-GNOME-Autostart-enabled=false") return LaunchAtLoginStatus::disabled;
    }
    return LaunchAtLoginStatus::enabled;
}

bool XdgLoginItem::setEnabled(bool enabled) {
    const bool on = status() == LaunchAtLoginStatus::enabled;
    if (enabled) {
        // An entry that starts another copy (the build folder's, say) is rewritten for this one.
        const std::string wanted = velmoraDesktopEntry(executable_);
        if (on && PosixFileSystem().read(entryPath()).contents == wanted) return true;
        return PosixFileSystem().writeAtomically(entryPath(), wanted);
    }
    if (!on) return true;
    std::error_code ec;
    std::filesystem::remove(entryPath(), ec);
    return !ec;
}

}  // namespace velmora
