#pragma once
// What the Setup page shows, worked out from the application state without any toolkit: which
// rows appear, their texts and their colours. The page only draws the answer.
#include <optional>
#include <string>

#include "engine/settings/PermissionState.h"
#include "platform/LoginItem.h"

namespace velmora::setup {

enum class Tone { primary, secondary, green, yellow, red };

// The Chromium-family browsers the extension is offered for, as Setup and What's new both name them.
inline constexpr const char* extensionBrowsers = "Chrome, Chromium, Edge, Brave, Vivaldi";

struct StatusLine {
    std::string text;
    Tone tone = Tone::secondary;
    bool operator==(const StatusLine&) const = default;
};

struct SetupInputs {
    bool temporaryBuild = false;
    LaunchAtLoginStatus launchAtLogin = LaunchAtLoginStatus::disabled;
    std::optional<std::string> sensorLastTitle;
    bool extensionEverConnected = false;
    PermissionState permissions;
    PermissionStatus systemPermissions;
    bool developerMode = false;
    bool weeklyDigest = false;
    bool weeklyDigestDenied = false;
    std::optional<std::string> lastExportMessage;
    std::optional<std::string> lastInstallMessage;
    bool wayland = false;            // the desktop session is Wayland (Velmora runs through XWayland)
    bool chromiumBrowserFound = false;
    bool extensionFolders = false;   // the application has its extension folders
};

struct SetupView {
    // App install.
    StatusLine installStatus;
    std::string installButton;
    bool installProminent = false;
    std::optional<StatusLine> installMessage;
    // Launch at login.
    bool launchAtLoginOn = false;
    // Steps 1 and 2.
    StatusLine automationStatus;
    StatusLine extensionStatus;
    bool revealEnabled = false;
    bool chromeButtonEnabled = false;
    std::optional<std::string> chromeCaption;  // how to open the page by hand when no browser was found
    // Step 3 and More.
    bool watchMemoryOn = false;
    bool weeklyDigestOn = false;
    bool digestDeniedShown = false;
    std::optional<StatusLine> exportMessage;
    // Advanced.
    bool accessibilityOn = false;
    bool requestAccessibilityShown = false;
    bool screenshotsOn = false;
    bool requestScreenCaptureShown = false;
    std::optional<std::string> screenCaptureNote;
    bool developerModeOn = false;
    bool openDeveloperShown = false;
};

SetupView setupView(const SetupInputs& in);

// The colour of an install or export message: red when it reports a failure.
Tone messageTone(const std::string& message, const std::string& failurePrefix, Tone success);

}  // namespace velmora::setup
