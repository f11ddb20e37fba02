#include "engine/detection/NoiseFilter.h"

#include <string>
#include <string_view>
#include <unordered_set>

#include "engine/support/Text.h"
#include "engine/support/Utf8.h"

namespace velmora {

bool NoiseFilter::isSignificantDelta(std::uint64_t delta) const { return delta >= thresholds.significantDeltaBytes(); }

bool NoiseFilter::isSignificantRelative(std::uint64_t delta, std::uint64_t baseline) const {
    if (baseline == 0) return isSignificantDelta(delta);
    return static_cast<double>(delta) / static_cast<double>(baseline) >= 0.1 &&
           delta >= thresholds.significantDeltaBytes() / 2;
}

namespace {

// The kernel cuts a process name to 15 bytes, so a long daemon name may arrive cut short.
constexpr std::size_t kernelNameLength = 15;

const std::unordered_set<std::string_view>& exactNames() {
    static const std::unordered_set<std::string_view> names{
        "usernotificationcenter", "notification center", "control center", "window server", "loginwindow",
        "dock", "finder", "systemuiserver", "spotlight", "siri", "universal control", "airplayuiagent",
        "coreaudiod", "velmora", "chrome-headless-shell", "headless shell", "vtdecoderxpcservice",
        "videotoolbox", "windowmanager",
        // A bare "bird" is the cloud-document daemon; as a fragment it would hide mail apps.
        "bird"};
    return names;
}

constexpr std::string_view fragments[] = {
    "vtdecoder", "xpcservice", "xpc service", "coreservicesuiagent", "secd", "trustd",
    "nsurlsessiond", "cfnetworkagent", "fileprovider", "cloudd", "progressd", "suggestd",
    "knowledge-agent", "biomesyncd", "rapportd", "sharingd", "bluetoothuseragent"};

// Linux desktop plumbing: display servers, shells, sound, message buses, portals, settings and
// input-method daemons. Matched as whole names so that ordinary apps stay visible.
constexpr std::string_view linuxExactNames[] = {
    "xorg", "xwayland", "gnome-shell", "gnome shell", "gnome-session-binary", "gnome-keyring-daemon",
    "gnome-shell-calendar-server", "mutter-x11-frames", "plasmashell", "kwin_x11", "kwin_wayland",
    "kwin_wayland_wrapper", "ksmserver", "kded5", "kded6", "kglobalaccel", "kglobalacceld", "xfwm4",
    "xfce4-panel", "xfdesktop", "xfsettingsd", "pipewire", "pipewire-pulse", "wireplumber", "pulseaudio",
    "dbus-daemon", "dbus-broker", "dbus-broker-launch", "systemd", "ibus", "dconf-service",
    "xdg-document-portal", "xdg-permission-store", "evolution-source-registry", "evolution-calendar-factory",
    "evolution-addressbook-factory", "tracker-miner-fs-3", "tracker-extract-3", "localsearch-3",
    "notification-daemon"};

// Families of daemons, matched at the start of the name up to a separator.
constexpr std::string_view linuxPrefixes[] = {"xdg-desktop-portal", "gsd-", "ibus-", "at-spi", "systemd-", "gvfsd",
                                              "gvfs-"};

constexpr std::string_view bundlePrefixes[] = {
    "com.apple.UserNotificationCenter", "com.apple.notificationcenterui", "com.apple.controlcenter",
    "com.apple.loginwindow", "com.apple.dock", "com.apple.Spotlight", "com.apple.VTDecoderXPCService",
    "com.apple.VideoToolbox"};

// Desktop-entry ids of the Linux shells.
constexpr std::string_view linuxBundleIDs[] = {"org.gnome.Shell", "org.kde.plasmashell", "org.freedesktop.IBus.Panel"};

// `name` is `full`, or `full` as the kernel cuts it short.
bool sameNameOrCut(std::string_view name, std::string_view full) {
    if (name == full) return true;
    return name.size() == kernelNameLength && full.size() > kernelNameLength && full.starts_with(name);
}

bool startsWithOrCut(std::string_view name, std::string_view prefix) {
    if (name.starts_with(prefix)) return true;
    return name.size() == kernelNameLength && prefix.size() > kernelNameLength && prefix.starts_with(name);
}

bool isLinuxPlumbing(std::string_view n) {
    for (auto name : linuxExactNames)
        if (sameNameOrCut(n, name)) return true;
    for (auto prefix : linuxPrefixes)
        if (startsWithOrCut(n, prefix)) return true;
    return false;
}

}  // namespace

bool NoiseFilter::isNoise(const ProcessIdentity& identity) {
    if (identity.isSelf) return true;
    const std::string lowered = utf8::lower(identity.displayName);
    const std::string_view n = lowered;
    if (exactNames().contains(n)) return true;
    for (auto fragment : fragments)
        if (contains(n, fragment)) return true;
    if (contains(n, "web content")) return true;
    if (contains(n, "graphics and media")) return true;
    if (n.ends_with("agent") && contains(n, "apple")) return true;
    if (isLinuxPlumbing(n)) return true;

    if (!identity.bundleID) return false;
    const std::string_view b = *identity.bundleID;
    for (auto prefix : bundlePrefixes)
        if (b.starts_with(prefix)) return true;
    for (auto id : linuxBundleIDs)
        if (b == id) return true;
    if (b.starts_with("com.apple.")) {
        if (contains(b, "Safari") && !contains(b, "WebKit")) return false;
        for (std::string_view part : {"XPC", "Helper", "Agent", "Decoder", "Video"})
            if (contains(b, part)) return true;
    }
    return false;
}

}  // namespace velmora
