#include "ui/main/setup/SetupRules.h"

namespace velmora::setup {

Tone messageTone(const std::string& message, const std::string& failurePrefix, Tone success) {
    return message.starts_with(failurePrefix) ? Tone::red : success;
}

SetupView setupView(const SetupInputs& in) {
    SetupView v;
    if (in.temporaryBuild) {
        v.installStatus = {"Temporary build from the build folder \u2014 permissions will keep breaking.",
                           Tone::secondary};
        v.installButton = "Install normal app & reopen";
        v.installProminent = true;
    } else {
        v.installStatus = {"Running from a normal app location", Tone::green};
        v.installButton = "Reinstall/update this copy";
    }
    if (in.lastInstallMessage)
        v.installMessage = StatusLine{*in.lastInstallMessage,
                                      messageTone(*in.lastInstallMessage, "Install failed", Tone::secondary)};

    v.launchAtLoginOn = in.launchAtLogin != LaunchAtLoginStatus::disabled;

    // Any title, the empty one included, means a sensor has read a page.
    v.automationStatus = in.sensorLastTitle
                             ? StatusLine{"Working \u2014 can read page titles", Tone::green}
                             : StatusLine{"Not yet connected \u2014 add the browser extension in step 2", Tone::yellow};
    v.extensionStatus = in.extensionEverConnected
                            ? StatusLine{"Connected \u2014 reading tabs in the background", Tone::green}
                            : StatusLine{"Not connected yet", Tone::yellow};
    v.revealEnabled = in.extensionFolders;
    v.chromeButtonEnabled = in.chromiumBrowserFound;
    if (!in.chromiumBrowserFound)
        v.chromeCaption = "No Chromium-family browser found here: open your browser and type chrome://extensions "
                          "in its address bar.";

    v.watchMemoryOn = in.permissions.memoryMonitoringEnabled;
    v.weeklyDigestOn = in.weeklyDigest;
    v.digestDeniedShown = in.weeklyDigestDenied;
    if (in.lastExportMessage)
        v.exportMessage = StatusLine{*in.lastExportMessage, messageTone(*in.lastExportMessage, "Export failed", Tone::green)};

    // The switches show what the user chose; the request buttons what the system has not granted.
    v.accessibilityOn = in.permissions.accessibilityEnabled;
    v.requestAccessibilityShown = !in.systemPermissions.accessibilityGranted;
    v.screenshotsOn = in.permissions.screenshotsEnabled;
    v.requestScreenCaptureShown = !in.systemPermissions.screenRecordingGranted && !in.wayland;
    if (in.wayland)
        v.screenCaptureNote = "Under Wayland, Velmora can only capture apps that run through XWayland. For full "
                              "screenshots, choose an X11 session (such as \u201CGNOME on Xorg\u201D) at the login "
                              "screen.";
    v.developerModeOn = in.developerMode;
    v.openDeveloperShown = in.developerMode;
    return v;
}

}  // namespace velmora::setup
