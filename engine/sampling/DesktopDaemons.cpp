#include "engine/sampling/DesktopDaemons.h"

namespace velmora {

namespace {

// The kernel cuts a process name to 15 bytes, so a long daemon name may arrive cut short.
constexpr std::size_t kernelNameLength = 15;

// Whole names.
constexpr std::string_view exactNames[] = {
    "xorg", "xwayland", "gnome-shell", "gnome shell", "gnome-session-binary", "gnome-keyring-daemon",
    "gnome-shell-calendar-server", "mutter-x11-frames", "plasmashell", "ksmserver", "kded5", "kded6", "kglobalaccel",
    "kglobalacceld", "xfwm4", "xfce4-panel", "xfdesktop", "xfsettingsd", "pulseaudio", "dbus-daemon", "dbus-broker",
    "dbus-broker-launch", "systemd", "ibus", "dconf-service", "xdg-document-portal", "xdg-permission-store",
    "evolution-source-registry", "evolution-calendar-factory", "evolution-addressbook-factory",
    "evolution-alarm-notify", "localsearch-3", "notification-daemon", "networkmanager", "udisksd", "upowerd",
    "goa-daemon", "polkitd", "wireplumber"};

// Families of daemons, by the start of the name.
constexpr std::string_view prefixes[] = {"xdg-desktop-portal", "gsd-", "ibus-", "at-spi", "systemd-", "gvfsd", "gvfs-",
                                         "kwin_", "pipewire", "tracker-miner", "tracker-extract", "gnome-session-",
                                         "polkit-"};

bool sameNameOrCut(std::string_view name, std::string_view full) {
    if (name == full) return true;
    return name.size() == kernelNameLength && full.size() > kernelNameLength && full.starts_with(name);
}

bool startsWithOrCut(std::string_view name, std::string_view prefix) {
    if (name.starts_with(prefix)) return true;
    return name.size() == kernelNameLength && prefix.size() > kernelNameLength && prefix.starts_with(name);
}

}  // namespace

bool isDesktopDaemon(std::string_view lowerName) {
    for (auto name : exactNames)
        if (sameNameOrCut(lowerName, name)) return true;
    for (auto prefix : prefixes)
        if (startsWithOrCut(lowerName, prefix)) return true;
    return false;
}

}  // namespace velmora
