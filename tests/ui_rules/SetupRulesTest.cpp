#include <gtest/gtest.h>

#include "platform/ChromiumBrowsers.h"
#include "ui/main/setup/SetupRules.h"

namespace velmora::setup {
namespace {

TEST(SetupRules, InstallSectionByBuildAndMessage) {
    SetupInputs in;
    in.temporaryBuild = true;
    SetupView v = setupView(in);
    EXPECT_EQ(v.installStatus.text, "Temporary build from the build folder \u2014 permissions will keep breaking.");
    EXPECT_EQ(v.installButton, "Install normal app & reopen");
    EXPECT_TRUE(v.installProminent);
    EXPECT_FALSE(v.installMessage) << "no install tried, no line";

    in.temporaryBuild = false;
    in.lastInstallMessage = "Install failed: Could not locate the running application.";
    v = setupView(in);
    EXPECT_EQ(v.installStatus, (StatusLine{"Running from a normal app location", Tone::green}));
    EXPECT_EQ(v.installButton, "Reinstall/update this copy");
    EXPECT_FALSE(v.installProminent);
    ASSERT_TRUE(v.installMessage);
    EXPECT_EQ(v.installMessage->text, "Install failed: Could not locate the running application.");
    EXPECT_EQ(v.installMessage->tone, Tone::red);
    in.lastInstallMessage = "Launching stable copy from ~/.local\u2026";
    EXPECT_EQ(setupView(in).installMessage->tone, Tone::secondary);
}

TEST(SetupRules, LaunchAtLoginShowsOnUnlessDisabled) {
    SetupInputs in;
    const std::pair<LaunchAtLoginStatus, bool> cases[] = {{LaunchAtLoginStatus::enabled, true},
                                                          {LaunchAtLoginStatus::requiresApproval, true},
                                                          {LaunchAtLoginStatus::disabled, false}};
    for (const auto& [status, on] : cases) {
        in.launchAtLogin = status;
        EXPECT_EQ(setupView(in).launchAtLoginOn, on) << static_cast<int>(status);
    }
}

TEST(SetupRules, BrowserStatusLines) {
    SetupInputs in;
    SetupView v = setupView(in);
    EXPECT_EQ(v.automationStatus, (StatusLine{"Not yet connected \u2014 add the browser extension in step 2", Tone::yellow}));
    EXPECT_EQ(v.extensionStatus, (StatusLine{"Not connected yet", Tone::yellow}));
    EXPECT_FALSE(v.revealEnabled);
    EXPECT_FALSE(v.chromeButtonEnabled);
    ASSERT_TRUE(v.chromeCaption);
    EXPECT_NE(v.chromeCaption->find("chrome://extensions"), std::string::npos);

    in.sensorLastTitle = "";  // an empty title is still a reading
    in.extensionEverConnected = true;
    in.chromiumBrowserFound = true;
    in.extensionFolders = true;
    v = setupView(in);
    EXPECT_EQ(v.automationStatus, (StatusLine{"Working \u2014 can read page titles", Tone::green}));
    EXPECT_EQ(v.extensionStatus, (StatusLine{"Connected \u2014 reading tabs in the background", Tone::green}));
    EXPECT_TRUE(v.revealEnabled);
    EXPECT_TRUE(v.chromeButtonEnabled);
    EXPECT_FALSE(v.chromeCaption);
}

TEST(SetupRules, ExportMessageColours) {
    SetupInputs in;
    EXPECT_FALSE(setupView(in).exportMessage);
    const std::pair<const char*, Tone> cases[] = {
        {"Export failed \u2014 could not encode data.", Tone::red},
        {"Export failed: Permission denied", Tone::red},
        {"Exported to velmora-export.json", Tone::green},
        {"export failed", Tone::green},  // only the exact prefix reports a failure
    };
    for (const auto& [text, tone] : cases) {
        in.lastExportMessage = text;
        const auto line = setupView(in).exportMessage;
        ASSERT_TRUE(line) << text;
        EXPECT_EQ(line->text, text);
        EXPECT_EQ(line->tone, tone) << text;
    }
}

TEST(SetupRules, SwitchesShowTheChoiceButtonsTheGrant) {
    SetupInputs in;
    in.permissions = {false, true, false, true};
    in.systemPermissions = {true, false};
    in.weeklyDigestDenied = true;
    SetupView v = setupView(in);
    EXPECT_FALSE(v.watchMemoryOn);
    EXPECT_TRUE(v.accessibilityOn);
    EXPECT_FALSE(v.requestAccessibilityShown) << "granted: no request";
    EXPECT_FALSE(v.screenshotsOn);
    EXPECT_TRUE(v.requestScreenCaptureShown) << "switch off but not granted: the button shows";
    EXPECT_FALSE(v.screenCaptureNote);
    EXPECT_FALSE(v.weeklyDigestOn);
    EXPECT_TRUE(v.digestDeniedShown) << "the refusal stays visible with the switch off";
    EXPECT_FALSE(v.openDeveloperShown);

    in.permissions = {true, false, true, false};
    in.systemPermissions = {false, true};
    in.developerMode = true;
    in.weeklyDigest = true;
    in.weeklyDigestDenied = false;
    v = setupView(in);
    EXPECT_TRUE(v.watchMemoryOn);
    EXPECT_FALSE(v.accessibilityOn);
    EXPECT_TRUE(v.requestAccessibilityShown);
    EXPECT_TRUE(v.screenshotsOn);
    EXPECT_FALSE(v.requestScreenCaptureShown);
    EXPECT_TRUE(v.weeklyDigestOn);
    EXPECT_FALSE(v.digestDeniedShown);
    EXPECT_TRUE(v.developerModeOn);
    EXPECT_TRUE(v.openDeveloperShown);
}

TEST(SetupRules, WaylandSaysWhatToDoInsteadOfRequesting) {
    SetupInputs in;
    in.wayland = true;
    const SetupView v = setupView(in);
    EXPECT_FALSE(v.requestScreenCaptureShown);
    ASSERT_TRUE(v.screenCaptureNote);
    EXPECT_NE(v.screenCaptureNote->find("X11 session"), std::string::npos);
}

TEST(ChromiumBrowsers, DefaultHandlerFromMimeapps) {
    EXPECT_EQ(defaultHttpsHandler("[Added Associations]\nx-scheme-handler/https=firefox.desktop;\n"
                                  "[Default Applications]\ntext/html=firefox.desktop\n"
                                  " x-scheme-handler/https = brave-browser.desktop;chromium.desktop;\n"),
              "brave-browser.desktop");
    EXPECT_FALSE(defaultHttpsHandler("[Added Associations]\nx-scheme-handler/https=chromium.desktop\n"))
        << "only the defaults section names the default";
    EXPECT_FALSE(defaultHttpsHandler("[Default Applications]\nx-scheme-handler/https=\n"));
    EXPECT_FALSE(defaultHttpsHandler("not an ini file at all \xff\xfe"));
    EXPECT_FALSE(defaultHttpsHandler(""));
}

TEST(ChromiumBrowsers, ProgramForDesktopId) {
    EXPECT_EQ(chromiumProgramForDesktopId("google-chrome.desktop"), "google-chrome");
    EXPECT_EQ(chromiumProgramForDesktopId("vivaldi-stable.desktop"), "vivaldi");
    EXPECT_EQ(chromiumProgramForDesktopId("chromium"), "chromium");
    EXPECT_FALSE(chromiumProgramForDesktopId("firefox.desktop"));
    EXPECT_FALSE(chromiumProgramForDesktopId("google-chrome.desktop.evil"));
    EXPECT_FALSE(chromiumProgramForDesktopId(""));
    EXPECT_EQ(chromiumPrograms().front(), "google-chrome");
}

}  // namespace
}  // namespace velmora::setup
