#include "engine/detection/NoiseFilter.h"

#include <string>
#include <string_view>
#include <unordered_set>

#include "engine/sampling/DesktopDaemons.h"
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

constexpr std::string_view bundlePrefixes[] = {
    "com.apple.UserNotificationCenter", "com.apple.notificationcenterui", "com.apple.controlcenter",
    "com.apple.loginwindow", "com.apple.dock", "com.apple.Spotlight", "com.apple.VTDecoderXPCService",
    "com.apple.VideoToolbox"};

// Desktop-entry ids of the Linux shells.
constexpr std::string_view linuxBundleIDs[] = {"org.gnome.Shell", "org.kde.plasmashell", "org.freedesktop.IBus.Panel"};

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
    if (isDesktopDaemon(n)) return true;

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
