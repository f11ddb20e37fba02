// The stable copy in ~/.local, the autostart entry and polite quitting, on a temporary home.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/linux/LinuxAppTerminator.h"
#include "platform/linux/LinuxStableInstaller.h"
#include "platform/linux/XdgLoginItem.h"
#include "tests/fakes/ChildProcess.h"
#include "tests/fakes/FakeSources.h"
#include "tests/fakes/ManualScheduler.h"
#include "tests/fakes/TempDir.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;

std::string contents(const fs::path& file) {
    std::ifstream in(file);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void write(const fs::path& file, const std::string& text, bool executable = false) {
    fs::create_directories(file.parent_path());
    std::ofstream(file) << text;
    if (executable) fs::permissions(file, fs::perms(0755));
}

struct Install {
    TempDir dir;
    FakeClock clock;
    ManualScheduler scheduler{clock};
    int quits = 0;
    fs::path home = fs::path(dir.path()) / "home";
    fs::path build = fs::path(dir.path()) / "build dir";

    LinuxStableInstaller installer(const std::string& executable, double grace = 5.0) {
        return LinuxStableInstaller({home.string(), executable, (build / "extension").string()}, scheduler,
                                    [this] { ++quits; }, grace);
    }
    std::string error(LinuxStableInstaller i) {
        try {
            i.install();
            return "";
        } catch (const LinuxStableInstaller::Error& e) {
            return e.what();
        }
    }
};

TEST(StableInstall, CopiesIntoLocalOrRefuses) {
    Install t;
    write(t.build / "velmora", "#!/bin/sh\nexit 0\n", true);
    write(t.build / "extension/chromium/manifest.json", "{}");
    write(t.home / ".local/bin/velmora", "old copy", true);
    write(t.home / ".local/share/velmora/firefox/stale.js", "stale");

    EXPECT_EQ(t.installer((t.build / "velmora").string()).install(), (t.home / ".local/bin/velmora").string());
    EXPECT_EQ(contents(t.home / ".local/bin/velmora"), "#!/bin/sh\nexit 0\n");
    EXPECT_EQ(::access((t.home / ".local/bin/velmora").c_str(), X_OK), 0);
    EXPECT_EQ(contents(t.home / ".local/share/velmora/chromium/manifest.json"), "{}");
    EXPECT_FALSE(fs::exists(t.home / ".local/share/velmora/firefox"));
    EXPECT_NE(contents(t.home / ".local/share/applications/velmora.desktop")
                  .find("Exec=\"" + (t.home / ".local/bin/velmora").string() + "\"\n"),
              std::string::npos);
    for (const auto& folder : {".local/bin", ".local/share"})
        for (const auto& entry : fs::directory_iterator(t.home / folder))
            EXPECT_EQ(entry.path().filename().string().find('.'), std::string::npos) << entry.path();

    const std::string notLocated = "Could not locate the running application.";
    EXPECT_EQ(t.error(t.installer("")), notLocated);
    EXPECT_EQ(t.error(t.installer("velmora")), notLocated);
    EXPECT_EQ(t.error(t.installer((t.build / "missing").string())), notLocated);
    // The installed copy reinstalls itself ("Reinstall/update this copy"): through a new name and a
    // rename, leaving the same complete program and no temporary file behind.
    struct stat running {}, installed {};
    ASSERT_EQ(::stat((t.home / ".local/bin/velmora").c_str(), &running), 0);
    EXPECT_EQ(t.error(t.installer((t.home / ".local/bin/velmora").string())), "");
    ASSERT_EQ(::stat((t.home / ".local/bin/velmora").c_str(), &installed), 0);
    EXPECT_NE(installed.st_ino, running.st_ino) << "the running file was written over";
    EXPECT_EQ(contents(t.home / ".local/bin/velmora"), "#!/bin/sh\nexit 0\n");
    EXPECT_EQ(::access((t.home / ".local/bin/velmora").c_str(), X_OK), 0);
    EXPECT_EQ(std::distance(fs::directory_iterator(t.home / ".local/bin"), fs::directory_iterator()), 1);

    // A folder in the way: the old entry stays, no half copy is left behind, and the error says where.
    fs::remove(t.home / ".local/bin/velmora");
    write(t.home / ".local/bin/velmora/keep", "x");
    EXPECT_EQ(t.error(t.installer((t.build / "velmora").string())),
              "Is a directory: " + (t.home / ".local/bin/velmora").string());
    EXPECT_EQ(contents(t.home / ".local/bin/velmora/keep"), "x");
    EXPECT_EQ(std::distance(fs::directory_iterator(t.home / ".local/bin"), fs::directory_iterator()), 1);
}

// Each failure of the file system names the path it happened at, so the user knows what to move.
TEST(StableInstall, FailuresNameTheirPath) {
    Install t;
    write(t.build / "velmora", "#!/bin/sh\nexit 0\n", true);
    write(t.build / "extension/chromium/manifest.json", "{}");
    const auto installFrom = [&](const fs::path& program) { return t.error(t.installer(program.string())); };

    // A file where ~/.local should be: that file is named, not the folder that could not be made.
    write(t.home / ".local", "not a folder");
    EXPECT_EQ(installFrom(t.build / "velmora"), "Not a directory: " + (t.home / ".local").string());
    fs::remove(t.home / ".local");

    // A file where the applications folder should be.
    write(t.home / ".local/share/applications", "x");
    EXPECT_EQ(installFrom(t.build / "velmora"), "Not a directory: " + (t.home / ".local/share/applications").string());
    fs::remove(t.home / ".local/share/applications");

    // A folder where the desktop entry goes.
    fs::create_directories(t.home / ".local/share/applications/velmora.desktop");
    EXPECT_EQ(installFrom(t.build / "velmora"),
              "Is a directory: " + (t.home / ".local/share/applications/velmora.desktop").string());
    fs::remove(t.home / ".local/share/applications/velmora.desktop");

    // Permissions bind only a user other than root.
    if (::geteuid() != 0) {
        // A program nobody may read names the program.
        fs::permissions(t.build / "velmora", fs::perms(0300));
        EXPECT_EQ(installFrom(t.build / "velmora"), "Permission denied: " + (t.build / "velmora").string());
        fs::permissions(t.build / "velmora", fs::perms(0755));
        // Resources that cannot be placed name where they were going; what was there stays.
        write(t.home / ".local/share/velmora/old", "x");
        fs::permissions(t.home / ".local/share", fs::perms(0555));
        const std::string readOnly = installFrom(t.build / "velmora");
        fs::permissions(t.home / ".local/share", fs::perms(0755));
        EXPECT_EQ(readOnly, "Permission denied: " + (t.home / ".local/share/velmora").string());
        EXPECT_EQ(contents(t.home / ".local/share/velmora/old"), "x");
    }
    EXPECT_EQ(installFrom(t.build / "velmora"), "");
}

TEST(StableInstall, QuitsOnlyOnceTheCopyRuns) {
    Install t;
    write(t.build / "velmora", "#!/bin/sh\nexit 3\n", true);
    EXPECT_EQ(t.installer((t.build / "velmora").string()).installAndRelaunch(), "The copy in ~/.local did not start.");
    t.scheduler.runPosted();
    EXPECT_EQ(t.quits, 0);

    write(t.build / "velmora", "#!/bin/sh\nexec sleep 60\n", true);
    auto installer = t.installer((t.build / "velmora").string(), 0.05);
    EXPECT_EQ(installer.installAndRelaunch(), std::nullopt);
    ASSERT_GT(installer.lastStartedPid(), 0);
    ::kill(installer.lastStartedPid(), SIGKILL);
    ::waitpid(installer.lastStartedPid(), nullptr, 0);
    EXPECT_EQ(t.quits, 0);  // posted, not called from inside the action
    t.scheduler.runPosted();
    EXPECT_EQ(t.quits, 1);
}

TEST(StableInstall, TheCopyIsToldWhichInstanceItReplaces) {
    Install t;
    const std::string seen = t.dir.file("seen");
    write(t.build / "velmora", "#!/bin/sh\nenv | grep '^VELMORA_REPLACES_PID=' > '" + seen + ".part'\nmv '" + seen +
                                   ".part' '" + seen + "'\nexec sleep 60\n", true);
    ::setenv(LinuxStableInstaller::replacedInstanceVariable, "77", 1);  // left by an earlier relaunch
    auto installer = t.installer((t.build / "velmora").string(), 0.05);
    const auto result = installer.installAndRelaunch();
    ::unsetenv(LinuxStableInstaller::replacedInstanceVariable);
    ASSERT_EQ(result, std::nullopt);
    for (int i = 0; i < 500 && !fs::exists(seen); ++i) ::usleep(10000);
    ::kill(installer.lastStartedPid(), SIGKILL);
    ::waitpid(installer.lastStartedPid(), nullptr, 0);
    EXPECT_EQ(contents(seen), "VELMORA_REPLACES_PID=" + std::to_string(::getpid()) + "\n");
}

TEST(StableInstall, DesktopEntryQuotesAnyPath) {
    const std::pair<std::string, std::string> rows[] = {
        {"/home/a b/velmora", "Exec=\"/home/a b/velmora\""},
        {"/x/\"q\"/$HOME/`id`", "Exec=\"/x/\\\\\"q\\\\\"/\\\\$HOME/\\\\`id\\\\`\""},
        {"/x/back\\slash/100%", "Exec=\"/x/back\\\\\\\\slash/100%%\""},
        {"/x/new\nline", "Exec=\"/x/new\\nline\""},
    };
    for (const auto& [path, line] : rows) EXPECT_NE(velmoraDesktopEntry(path).find(line + "\n"), std::string::npos) << path;
}

TEST(LaunchAtLogin, AutostartEntry) {
    TempDir dir;
    const fs::path folder = fs::path(dir.path()) / "config/autostart";
    XdgLoginItem item(folder.string(), "/opt/v/velmora");
    EXPECT_EQ(item.status(), LaunchAtLoginStatus::disabled);
    EXPECT_TRUE(item.setEnabled(false));  // nothing registered, nothing to do
    EXPECT_FALSE(fs::exists(folder));
    EXPECT_TRUE(item.setEnabled(true));
    EXPECT_EQ(item.status(), LaunchAtLoginStatus::enabled);
    EXPECT_NE(contents(item.entryPath()).find("Exec=\"/opt/v/velmora\""), std::string::npos);

    // Switched off in the desktop's own settings: off here too, and switching on writes it afresh.
    write(item.entryPath(), contents(item.entryPath()) + "Hidden=true\n");
    EXPECT_EQ(item.status(), LaunchAtLoginStatus::disabled);
    EXPECT_TRUE(item.setEnabled(true));
    EXPECT_EQ(item.status(), LaunchAtLoginStatus::enabled);
    EXPECT_TRUE(item.setEnabled(false));
    EXPECT_FALSE(fs::exists(item.entryPath()));

    // An entry that starts another copy (the build folder's) is taken over by this one.
    XdgLoginItem built(folder.string(), "/home/u/src/build/velmora");
    ASSERT_TRUE(built.setEnabled(true));
    EXPECT_TRUE(item.setEnabled(true));
    EXPECT_NE(contents(item.entryPath()).find("Exec=\"/opt/v/velmora\""), std::string::npos);
    EXPECT_EQ(contents(item.entryPath()).find("/home/u/src/build"), std::string::npos);
    EXPECT_TRUE(item.setEnabled(false));

    // An autostart "folder" that is a file: refused, and reported as refused.
    write(fs::path(dir.path()) / "blocked", "");
    XdgLoginItem blocked(dir.file("blocked"), "/opt/v/velmora");
    EXPECT_FALSE(blocked.setEnabled(true));
    EXPECT_EQ(blocked.status(), LaunchAtLoginStatus::disabled);
}

// Quit only asks windows to close: a process is asked only while it owns one of the session's
// windows, and without a window to ask it is left alone, never signalled instead.
TEST(QuitApp, AsksOnlyWindowOwnersAndNeverSignals) {
    FakeDesktopSession desktop;
    LinuxAppTerminator terminator(desktop, "");  // no display: no window can be asked to close
    ChildProcess child;
    ASSERT_TRUE(child.running());
    EXPECT_FALSE(terminator.hasWindow(child.pid())) << "it owns no window";
    EXPECT_FALSE(terminator.closeWindows(child.pid()));  // never looked up
    desktop.apps = {{child.pid(), std::string("org.example.Editor")}, {child.pid(), std::string("org.example.Editor")},
                    {::getpid(), std::string("org.example.Editor")}};
    EXPECT_FALSE(terminator.hasWindow(::getpid()));
    EXPECT_FALSE(terminator.hasWindow(0));
    ASSERT_TRUE(terminator.hasWindow(child.pid()));
    EXPECT_EQ(terminator.applicationsWithBundleID("org.example.Editor"), std::vector<std::int32_t>{child.pid()});
    EXPECT_EQ(terminator.applicationsWithBundleID("org.example.Other"), std::vector<std::int32_t>{});
    EXPECT_FALSE(terminator.closeWindows(child.pid()));
    EXPECT_TRUE(child.allocate(1)) << "it was signalled";
}

}  // namespace
}  // namespace velmora
