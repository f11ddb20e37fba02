// The Setup page offscreen: a redraw changes nothing, each control calls what it should, and the
// openers reach the file manager and the browser.
#include <gtest/gtest.h>

#include "tests/app/AppHarness.h"
#include "tests/fakes/FakeDesktopOpeners.h"
#include "app/qt/AppStateAdapter.h"
#include "ui/main/MainWindow.h"
#include "ui/main/setup/SetupPage.h"

#include <QAccessible>
#include <QCoreApplication>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>

namespace velmora {
namespace {

struct SetupHarness : AppHarness {
    FakeFileRevealer revealer;
    FakeBrowserLauncher launcher;
    std::unique_ptr<SetupPage> page;

    SetupPage& open(std::optional<std::string> resources = std::nullopt) {
        auto deps = dependencies();
        deps.resourceDirectory = std::move(resources);
        state = std::make_unique<AppState>(deps);
        page = std::make_unique<SetupPage>(*state);
        page->setOpeners(revealer, launcher);
        page->resize(700, 1400);
        page->show();  // refreshes the permissions, as coming into view does
        for (auto* arrow : page->findChildren<QToolButton*>()) arrow->click();  // opens More and Advanced
        page->refresh();
        return *page;
    }
    template <class T>
    T* find(const char* name) {
        auto* w = page->findChild<T*>(name);
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    bool shows(const char* name) { return find<QWidget>(name)->isVisibleTo(page.get()); }
};

TEST(SetupPage, ARedrawCallsNoSetter) {
    SetupHarness h;
    h.loginItem.current = LaunchAtLoginStatus::enabled;
    h.defaults.setValue("Velmora.DeveloperMode", true);
    h.open();
    int changes = 0;
    h.state->settings->onChange = [&] { ++changes; };
    const auto stored = h.defaults.values;
    for (int i = 0; i < 3; ++i) h.page->refresh();
    EXPECT_TRUE(h.find<QCheckBox>("launchAtLogin")->isChecked());
    EXPECT_TRUE(h.find<QCheckBox>("developerMode")->isChecked());
    EXPECT_TRUE(h.find<QCheckBox>("watchMemory")->isChecked());
    EXPECT_TRUE(h.loginItem.requests.empty());
    EXPECT_EQ(changes, 0);
    EXPECT_EQ(h.defaults.values, stored);
    EXPECT_TRUE(h.notifier.pending.empty());
}

TEST(SetupPage, SwitchesActOnTheClick) {
    SetupHarness h;
    h.open();
    auto* login = h.find<QCheckBox>("launchAtLogin");
    EXPECT_FALSE(login->isChecked());
    login->click();
    EXPECT_EQ(h.loginItem.requests, std::vector<bool>{true});
    EXPECT_EQ(h.state->launchAtLoginStatus, LaunchAtLoginStatus::enabled);

    auto* watch = h.find<QCheckBox>("watchMemory");
    watch->click();
    EXPECT_FALSE(h.state->settings->permissions().memoryMonitoringEnabled);
    EXPECT_FALSE(PermissionState::fromStored(*h.defaults.value("Velmora.PermissionState")).memoryMonitoringEnabled);
    EXPECT_FALSE(h.state->sampler->isRunning());
    watch->click();
    EXPECT_TRUE(h.state->sampler->isRunning()) << "the switch is applied, not only stored";
    h.find<QCheckBox>("screenshots")->click();
    EXPECT_TRUE(h.state->settings->permissions().screenshotsEnabled);
    EXPECT_FALSE(h.state->settings->permissions().accessibilityEnabled) << "only the clicked switch changes";

    // The digest: on sets the first date and asks once; off asks nothing and keeps the date.
    auto* digest = h.find<QCheckBox>("weeklyDigest");
    digest->click();
    EXPECT_TRUE(h.state->settings->weeklyDigestEnabled());
    ASSERT_TRUE(h.state->settings->lastDigestSentDate());
    EXPECT_EQ(h.state->settings->lastDigestSentDate()->secondsSince2001, h.clock.now().secondsSince2001);
    EXPECT_EQ(h.notifier.pending.size(), 1u);
    h.notifier.pending.front()(false);
    h.page->refresh();
    EXPECT_TRUE(h.shows("digestDenied"));
    digest->click();
    EXPECT_EQ(h.notifier.pending.size(), 1u);
    EXPECT_TRUE(h.state->settings->lastDigestSentDate());
    h.page->refresh();
    EXPECT_TRUE(h.shows("digestDenied")) << "the refusal stays visible with the switch off";

    EXPECT_FALSE(h.shows("openDeveloper"));
    h.find<QCheckBox>("developerMode")->click();
    EXPECT_TRUE(h.state->settings->developerModeEnabled());
    h.page->refresh();
    ASSERT_TRUE(h.shows("openDeveloper"));
    h.find<QPushButton>("openDeveloper")->click();
    EXPECT_EQ(h.state->selectedSidebar, SidebarItem::developer);

    h.find<QPushButton>("showWelcome")->click();
    EXPECT_TRUE(h.state->showFirstRun);
    EXPECT_EQ(h.firstRun.completions, 0) << "nothing is reset or recorded";
}

// Assistive technology toggles a switch without clicking it; that is a user change too. A change
// that comes from elsewhere is only shown, never applied again.
TEST(SetupPage, SwitchesFollowAssistiveTogglesButNotRedraws) {
    SetupHarness h;
    h.open();
    h.state->launchAtLoginStatus = LaunchAtLoginStatus::requiresApproval;
    h.state->settings->setDeveloperModeEnabled(true);
    int changes = 0;
    h.state->settings->onChange = [&] { ++changes; };
    h.page->refresh();
    EXPECT_TRUE(h.find<QCheckBox>("launchAtLogin")->isChecked());
    EXPECT_TRUE(h.find<QCheckBox>("developerMode")->isChecked());
    EXPECT_TRUE(h.loginItem.requests.empty());
    EXPECT_EQ(changes, 0);

    const auto toggle = [&](const char* name) {
        QAccessibleInterface* box = QAccessible::queryAccessibleInterface(h.find<QCheckBox>(name));
        ASSERT_NE(box, nullptr);
        ASSERT_NE(box->actionInterface(), nullptr);
        box->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
        h.page->refresh();
    };
    toggle("developerMode");
    EXPECT_FALSE(h.state->settings->developerModeEnabled());
    EXPECT_FALSE(h.find<QCheckBox>("developerMode")->isChecked());
    toggle("screenshots");
    EXPECT_TRUE(h.state->settings->permissions().screenshotsEnabled);
    EXPECT_TRUE(h.find<QCheckBox>("screenshots")->isChecked());
    EXPECT_EQ(changes, 2);
}

TEST(SetupPage, InstallShowsItsMessageAndHandsOnTheLoginItem) {
    SetupHarness h;
    h.firstRun.temporary = true;
    h.installer.error = "No room left in ~/.local.";
    h.loginItem.current = LaunchAtLoginStatus::enabled;
    h.open();
    EXPECT_FALSE(h.shows("installMessage"));
    EXPECT_EQ(h.find<QPushButton>("install")->text().replace("&&", "&"), "Install normal app & reopen");
    h.find<QPushButton>("install")->click();
    h.page->refresh();
    ASSERT_TRUE(h.shows("installMessage"));
    auto* message = h.find<QLabel>("installMessage");
    EXPECT_EQ(message->text(), "Install failed: No room left in ~/.local.");
    EXPECT_EQ(message->palette().color(QPalette::WindowText), QColor::fromRgbF(0.90f, 0.35f, 0.30f));
    h.installer.error.reset();
    h.find<QPushButton>("install")->click();
    EXPECT_EQ(h.defaults.value("Velmora.LaunchAtLoginAfterInstall"), Json(true));
}

TEST(SetupPage, RequestButtonsFollowTheGrant) {
    SetupHarness h;
    h.accessibility.granted = true;
    h.open();
    EXPECT_FALSE(h.shows("requestAccessibility"));
    EXPECT_FALSE(h.find<QCheckBox>("accessibility")->isChecked());
    if (qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") && qEnvironmentVariable("XDG_SESSION_TYPE") != "wayland") {
        EXPECT_TRUE(h.shows("requestScreenCapture"));
        EXPECT_FALSE(h.shows("screenCaptureNote"));
    }
}

TEST(SetupPage, OpenersRevealFoldersAndStartTheBrowser) {
    SetupHarness h;
    h.open(h.dir.path() + "/res dir");
    h.find<QPushButton>("revealChromium")->click();
    EXPECT_EQ(h.revealer.folders, std::vector<std::string>{h.dir.path() + "/res dir/chromium/"});
    h.find<QPushButton>("revealFirefox")->click();
    EXPECT_EQ(h.revealer.items, std::vector<std::string>{h.dir.path() + "/res dir/firefox/manifest.json"});

    // No Chromium-family browser: the button is off and a caption says how instead.
    EXPECT_FALSE(h.find<QPushButton>("openExtensions")->isEnabled());
    EXPECT_TRUE(h.shows("chromeCaption"));
    h.launcher.browser = "/usr/bin/chromium";
    h.page->setOpeners(h.revealer, h.launcher);
    h.page->refresh();
    EXPECT_FALSE(h.shows("chromeCaption"));
    h.find<QPushButton>("openExtensions")->click();
    EXPECT_EQ(h.launcher.opened, std::vector<std::string>{"chrome://extensions"});
    EXPECT_TRUE(h.urls.opened.empty()) << "never handed to the default handler, which has none for it";

    SetupHarness bare;
    bare.open();  // no resources folder
    EXPECT_FALSE(bare.find<QPushButton>("revealChromium")->isEnabled());
    EXPECT_FALSE(bare.find<QPushButton>("revealFirefox")->isEnabled());
}

// "More" and "Advanced" stay as the user left them while the page is up, and are folded again
// when the user comes back from another page.
TEST(SetupPage, GroupsFoldAgainWhenThePageComesBack) {
    AppHarness h;
    h.make();
    AppStateAdapter adapter(*h.state, h.scheduler);
    MainWindow window(adapter);
    const auto go = [&](SidebarItem item) {
        h.state->selectedSidebar = item;
        h.state->announceChange();
        QCoreApplication::processEvents();
    };
    go(SidebarItem::settings);
    auto* setup = window.page(SidebarItem::settings);
    const auto open = [&](const char* body) { return !setup->findChild<QWidget*>(body)->isHidden(); };
    auto* more = setup->findChild<QToolButton*>("more");
    auto* advanced = setup->findChild<QToolButton*>("advanced");
    ASSERT_TRUE(more && advanced);
    EXPECT_FALSE(open("moreBody"));
    EXPECT_FALSE(open("advancedBody"));

    more->click();
    advanced->click();
    h.state->announceChange();  // a tick while the page is up keeps them open
    QCoreApplication::processEvents();
    EXPECT_TRUE(open("moreBody"));
    EXPECT_TRUE(open("advancedBody"));
    EXPECT_EQ(more->arrowType(), Qt::DownArrow);

    go(SidebarItem::overview);
    go(SidebarItem::settings);
    EXPECT_FALSE(open("moreBody"));
    EXPECT_FALSE(open("advancedBody"));
    EXPECT_EQ(more->arrowType(), Qt::RightArrow);
    EXPECT_EQ(advanced->arrowType(), Qt::RightArrow);
    more->click();  // and the arrow still opens its group
    EXPECT_TRUE(open("moreBody"));
    EXPECT_FALSE(open("advancedBody"));
}

}  // namespace
}  // namespace velmora
