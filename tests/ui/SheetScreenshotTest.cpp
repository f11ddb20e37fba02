// Pictures of the sheets for the build artefacts, written only when VELMORA_ARTIFACTS names a folder
// (scripts/checks/sheet-shots.sh sets it).
#include <gtest/gtest.h>

#include "tests/app/AppHarness.h"
#include "ui/windows/FirstRunSheet.h"
#include "ui/windows/InfoSheets.h"

#include <QDir>
#include <QPixmap>

namespace velmora {
namespace {

QString artifactFolder() { return qEnvironmentVariable("VELMORA_ARTIFACTS"); }

void save(QWidget& w, const QString& name) {
    w.show();
    w.adjustSize();
    const QString path = QDir(artifactFolder()).filePath(name);
    EXPECT_TRUE(w.grab().save(path)) << path.toStdString();
}

TEST(SheetScreenshots, FirstRun) {
    if (artifactFolder().isEmpty()) GTEST_SKIP() << "no artefact folder";
    QDir().mkpath(artifactFolder());
    AppHarness h;
    h.firstRun.temporary = true;
    h.installer.error = "Could not locate the running application.";
    h.make();
    FirstRunSheet sheet(*h.state);
    save(sheet, "first-run.png");
    h.state->installToApplications();
    FirstRunSheet failed(*h.state);
    save(failed, "first-run-install-failed.png");
    h.firstRun.temporary = false;
    h.state->lastInstallMessage.reset();
    FirstRunSheet normal(*h.state);
    save(normal, "first-run-installed-copy.png");
}

TEST(SheetScreenshots, HelpAndWhatsNew) {
    if (artifactFolder().isEmpty()) GTEST_SKIP() << "no artefact folder";
    QDir().mkpath(artifactFolder());
    HelpSheet help({"Ctrl+1", "Ctrl+7", "Ctrl+,", "Ctrl+Shift+M", "Ctrl+Shift+W", "Ctrl+Shift+1", "Ctrl+Shift+4"});
    help.show();
    EXPECT_TRUE(help.grab().save(QDir(artifactFolder()).filePath("help.png")));
    // The whole scrolling content as well, past what the sheet shows at once.
    EXPECT_TRUE(help.findChild<QWidget*>("sheetContent")->grab().save(QDir(artifactFolder()).filePath("help-all.png")));
    WhatsNewSheet news;
    news.show();
    EXPECT_TRUE(news.grab().save(QDir(artifactFolder()).filePath("whats-new.png")));
    EXPECT_TRUE(
        news.findChild<QWidget*>("sheetContent")->grab().save(QDir(artifactFolder()).filePath("whats-new-all.png")));
}

}  // namespace
}  // namespace velmora
