// The welcome sheet offscreen: its buttons per build, what each stores, and the install message.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/app/AppHarness.h"
#include "ui/windows/FirstRunSheet.h"
#include "ui/windows/FirstRunView.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>

namespace velmora {
namespace {

QStringList buttonNames(const QDialog& sheet) {
    QStringList names;
    for (auto* b : sheet.findChildren<QPushButton*>()) names << b->text().replace("&&", "&");
    return names;
}

TEST(FirstRunSheet, ButtonsStoreTheirFlagsInOrder) {
    struct Row {
        bool temporary;
        bool switchOn;
        const char* press;
        QStringList buttons;
        LaunchAtLoginStatus login;
        int completions, dismissals;
    };
    const Row rows[] = {
        {false, true, "startWatching", {"Start watching"}, LaunchAtLoginStatus::enabled, 1, 0},
        {false, false, "startWatching", {"Start watching"}, LaunchAtLoginStatus::disabled, 1, 0},
        {true, true, "continueAnyway", {"Install & reopen", "Continue anyway"}, LaunchAtLoginStatus::enabled, 1, 1},
        {true, false, "continueAnyway", {"Install & reopen", "Continue anyway"}, LaunchAtLoginStatus::disabled, 1,
         1},
    };
    for (const auto& row : rows) {
        AppHarness h;
        h.firstRun.temporary = row.temporary;
        h.loginItem.current = LaunchAtLoginStatus::enabled;  // the switch off must unregister it
        h.make();
        FirstRunSheet sheet(*h.state);
        EXPECT_EQ(buttonNames(sheet), row.buttons);
        EXPECT_EQ(sheet.findChild<QFrame*>("temporaryBanner") != nullptr, row.temporary);
        auto* toggle = sheet.findChild<QCheckBox*>("launchAtLogin");
        EXPECT_TRUE(toggle->isChecked());
        if (!row.switchOn) toggle->click();
        EXPECT_EQ(h.loginItem.current, LaunchAtLoginStatus::enabled) << "the switch alone stores nothing";
        // The login item is set (and announced) before the first run is recorded.
        int completionsAtLogin = -1;
        h.state->onChange = [&] {
            if (completionsAtLogin < 0) completionsAtLogin = h.firstRun.completions;
        };
        sheet.findChild<QPushButton*>(row.press)->click();
        EXPECT_EQ(h.state->launchAtLoginStatus, row.login) << row.press;
        EXPECT_EQ(completionsAtLogin, 0);
        EXPECT_EQ(h.firstRun.completions, row.completions);
        EXPECT_EQ(h.firstRun.dismissals, row.dismissals);
        EXPECT_EQ(sheet.result(), QDialog::Accepted);
    }
}

TEST(FirstRunSheet, EscapeStoresNothing) {
    AppHarness h;
    h.firstRun.temporary = true;
    h.make();
    FirstRunSheet sheet(*h.state);
    sheet.show();
    QTest::keyClick(&sheet, Qt::Key_Escape);
    EXPECT_EQ(sheet.result(), QDialog::Rejected);
    EXPECT_EQ(h.firstRun.completions, 0);
    EXPECT_EQ(h.firstRun.dismissals, 0);
    EXPECT_EQ(h.loginItem.current, LaunchAtLoginStatus::disabled);
}

TEST(FirstRunSheet, InstallSaysWhyItFailedAndStaysOpen) {
    AppHarness h;
    h.firstRun.temporary = true;
    h.installer.error = "No room left in ~/.local.";
    h.make();
    FirstRunSheet sheet(*h.state);
    sheet.show();
    auto* message = sheet.findChild<QLabel*>("installMessage");
    EXPECT_FALSE(message->isVisible());
    sheet.findChild<QPushButton*>("installAndReopen")->click();
    EXPECT_TRUE(sheet.isVisible());
    EXPECT_TRUE(message->isVisible());
    EXPECT_EQ(message->text(), "Install failed: No room left in ~/.local.");
    EXPECT_EQ(message->palette().color(QPalette::WindowText), QColor::fromRgbF(0.90f, 0.35f, 0.30f));
    EXPECT_EQ(h.firstRun.completions, 0);

    h.installer.error.reset();
    sheet.findChild<QPushButton*>("installAndReopen")->click();
    EXPECT_EQ(message->text(), "Launching stable copy from ~/.local\u2026");
    EXPECT_NE(message->palette().color(QPalette::WindowText), QColor::fromRgbF(0.90f, 0.35f, 0.30f));
    EXPECT_EQ(h.firstRun.completions, 1);  // recorded by the install itself
    EXPECT_EQ(h.firstRun.dismissals, 0);   // the build-folder build keeps its hint
}

// Return gets past the sheet of a build-folder build as "Continue anyway" does; it never installs
// and restarts. Tabbing to the install button and pressing Return still installs.
TEST(FirstRunSheet, ReturnContinuesWithoutInstalling) {
    AppHarness h;
    h.firstRun.temporary = true;
    h.make();
    FirstRunSheet sheet(*h.state);
    sheet.show();
    QTest::keyClick(&sheet, Qt::Key_Return);
    EXPECT_EQ(h.installer.installs, 0);
    EXPECT_EQ(sheet.result(), QDialog::Accepted);
    EXPECT_EQ(h.firstRun.completions, 1);
    EXPECT_EQ(h.firstRun.dismissals, 1);

    FirstRunSheet again(*h.state);
    again.show();
    auto* install = again.findChild<QPushButton*>("installAndReopen");
    install->setFocus();
    QTest::keyClick(install, Qt::Key_Return);
    EXPECT_EQ(h.installer.installs, 1);
}

// The last install message belongs under an install button: the normal sheet has none, so a
// failure from Setup does not follow the user there.
TEST(FirstRunSheet, InstallMessageOnlyWhereAnInstallButtonIs) {
    for (const bool temporary : {false, true}) {
        AppHarness h;
        h.firstRun.temporary = temporary;
        h.make();
        h.state->lastInstallMessage = "Install failed: No room left in ~/.local.";
        FirstRunSheet sheet(*h.state);
        sheet.show();
        bool shown = false;
        for (auto* label : sheet.findChildren<QLabel*>())
            shown = shown || (label->isVisible() && label->text().startsWith("Install failed"));
        EXPECT_EQ(shown, temporary) << "temporary " << temporary;
    }
}

// The switch's "on" is handed to the installed copy, which registers itself at its first start.
TEST(FirstRunSheet, InstallAndReopenKeepsTheLaunchAtLoginChoice) {
    for (const bool on : {true, false}) {
        AppHarness h;
        h.firstRun.temporary = true;
        h.make();
        FirstRunSheet sheet(*h.state);
        if (!on) sheet.findChild<QCheckBox*>("launchAtLogin")->click();
        sheet.findChild<QPushButton*>("installAndReopen")->click();
        EXPECT_EQ(h.defaults.value("Velmora.LaunchAtLoginAfterInstall"), Json(on));
        EXPECT_TRUE(h.loginItem.requests.empty()) << "the build-folder copy registers nothing itself";
        h.make().start();  // the installed copy
        EXPECT_EQ(h.loginItem.requests, std::vector<bool>{on});
    }
}

// A build-folder build whose first run was completed long ago: the sheet is due until the user
// presses "Continue anyway", and then no more.
TEST(FirstRunSheet, ContinueAnywayStopsTheSheetReturningForABuildFolderBuild) {
    TempDir tree;
    PosixFileSystem files;
    std::filesystem::create_directories(tree.file("build/bin"));
    ASSERT_TRUE(files.writeAtomically(tree.file("build/CMakeCache.txt"), ""));
    InMemoryDefaults defaults;
    defaults.setValue("Velmora.FirstRunCompleted", true);
    StoredFirstRunFlags flags(defaults, files, tree.file("build/bin/velmora"));
    ASSERT_TRUE(flags.shouldShow());
    flags.markCompleted();
    EXPECT_TRUE(flags.shouldShow()) << "completing alone keeps the hint in a build-folder build";
    flags.dismissStableHint();
    EXPECT_FALSE(flags.shouldShow());
    EXPECT_EQ(defaults.values, (std::map<std::string, Json>{{"Velmora.FirstRunCompleted", true},
                                                            {"Velmora.StableHintDismissed", true}}));
}

}  // namespace
}  // namespace velmora
