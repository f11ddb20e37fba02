// The Chromium-family browser launcher over a PATH of stand-in browsers that write down their
// arguments: which browser is chosen, and that the address reaches it as one argument.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/qt/DesktopOpeners.h"
#include "tests/fakes/TempDir.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

namespace velmora {
namespace {

namespace fs = std::filesystem;

// A stand-in browser: writes its name and each argument on a line of its own into `log`.
void standIn(const fs::path& folder, const std::string& name, const fs::path& log) {
    fs::create_directories(folder);
    const fs::path program = folder / name;
    std::ofstream(program) << "#!/bin/sh\nPATH=/usr/bin:/bin\n{ echo " << name << "; for a in \"$@\"; do echo \"$a\"; done; } > '"
                           << log.string() << ".tmp' && mv '" << log.string() << ".tmp' '" << log.string() << "'\n";
    fs::permissions(program, fs::perms(0755));
}

std::string waitForLog(const fs::path& log) {
    QElapsedTimer clock;
    clock.start();
    while (!fs::exists(log) && clock.elapsed() < 20000) QThread::msleep(20);
    std::ifstream in(log);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct Environment {
    Environment(const std::string& path, const std::string& config)
        : path_(qgetenv("PATH")), config_(qgetenv("XDG_CONFIG_HOME")) {
        qputenv("PATH", QByteArray::fromStdString(path));
        qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(config));
    }
    ~Environment() {
        qputenv("PATH", path_);
        if (config_.isEmpty()) qunsetenv("XDG_CONFIG_HOME");
        else qputenv("XDG_CONFIG_HOME", config_);
    }
    QByteArray path_, config_;
};

TEST(ProcessBrowserLauncher, StartsTheDefaultChromiumBrowserWithTheAddressAsOneArgument) {
    TempDir dir;
    const fs::path bin = fs::path(dir.path()) / "bin", config = fs::path(dir.path()) / "config";
    const fs::path log = fs::path(dir.path()) / "started.txt";
    standIn(bin, "chromium", log);
    standIn(bin, "brave-browser", log);
    fs::create_directories(config);
    {
        Environment env(bin.string(), config.string());
        ProcessBrowserLauncher launcher;
        // No default browser named: the first known one found on PATH.
        EXPECT_EQ(launcher.chromiumBrowser(), (bin / "chromium").string());
        std::ofstream(config / "mimeapps.list") << "[Default Applications]\nx-scheme-handler/https=brave-browser.desktop\n";
        EXPECT_EQ(launcher.chromiumBrowser(), (bin / "brave-browser").string());
        // Words a shell would split or run stay one argument.
        ASSERT_TRUE(launcher.openInChromium("chrome://extensions/?id=a b;touch x"));
    }
    EXPECT_EQ(waitForLog(log), "brave-browser\nchrome://extensions/?id=a b;touch x\n");
    EXPECT_FALSE(fs::exists(fs::current_path() / "x"));

    // A default that is no Chromium browser, and none on PATH: nothing to start.
    std::ofstream(config / "mimeapps.list") << "[Default Applications]\nx-scheme-handler/https=firefox.desktop\n";
    Environment empty((fs::path(dir.path()) / "nothing").string(), config.string());
    ProcessBrowserLauncher none;
    EXPECT_FALSE(none.chromiumBrowser());
    EXPECT_FALSE(none.openInChromium("chrome://extensions"));
}

}  // namespace
}  // namespace velmora
