#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/linux/DesktopEntry.h"
#include "platform/linux/X11DesktopSession.h"
#include "tests/fakes/TempDir.h"

using namespace velmora;
using namespace std::string_literals;

namespace {

const char* const editor =
    "# a comment\n[Desktop Entry]\nType=Application\nName=Text Editor\nName[de]=Texteditor\n"
    "Name[de_AT]=Texteditor (AT)\nName[sr@latin]=Uređivač\nName[fr] = Éditeur\\sde\\stexte\n"
    "StartupWMClass=gnome-text-editor\nNoDisplay=true\n\n"
    "[Desktop Action new-window]\nName=New Window\nStartupWMClass=wrong\n";

void writeFile(const std::string& path, const std::string& text) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path) << text;
}

}  // namespace

TEST(DesktopEntryTest, NameFollowsTheLocaleAndOnlyTheMainGroupCounts) {
    const std::pair<const char*, const char*> cases[] = {
        {"", "Text Editor"},          {"C", "Text Editor"},         {"en_US.UTF-8", "Text Editor"},
        {"de_DE.UTF-8", "Texteditor"}, {"de_AT.UTF-8", "Texteditor (AT)"}, {"sr_RS.UTF-8@latin", "Uređivač"},
        {"fr_FR", "Éditeur de texte"},
    };
    for (const auto& [locale, name] : cases)
        EXPECT_EQ(parseDesktopEntry(editor, locale), (DesktopEntry{"", name, "gnome-text-editor"})) << locale;

    EXPECT_FALSE(parseDesktopEntry("", ""));
    EXPECT_FALSE(parseDesktopEntry("[Desktop Action x]\nName=Only an action\n", ""));
    // Groups before the main one are skipped, lines without '=' ignored, bad bytes replaced.
    EXPECT_EQ(parseDesktopEntry("[Other]\nName=No\n[Desktop Entry]\r\nbroken\nName=A\xff\r\n", ""),
              (DesktopEntry{"", "A\xEF\xBF\xBD", std::nullopt}));
    EXPECT_EQ(parseDesktopEntry("[Desktop Entry]\nName=\nName[de\n", "de_DE"), DesktopEntry{});
}

TEST(DesktopEntryTest, FileIdsFoldersLocaleLaunchedEntriesAndTheIndex) {
    EXPECT_EQ(desktopFileId("kde4/konsole.desktop"), "kde4-konsole");
    EXPECT_FALSE(desktopFileId("readme.txt"));
    EXPECT_FALSE(desktopFileId(".desktop"));
    EXPECT_EQ(applicationFolders("/x/data", "/home/u", "/a:/b/:relative::/a"),
              (std::vector<std::string>{"/x/data/applications", "/a/applications", "/b/applications"}));
    EXPECT_EQ(applicationFolders("relative", "/home/u", nullptr),
              (std::vector<std::string>{"/home/u/.local/share/applications", "/usr/local/share/applications",
                                        "/usr/share/applications"}));
    EXPECT_EQ(messagesLocale("", "de_DE", "en_US"), "de_DE");
    EXPECT_EQ(messagesLocale(nullptr, nullptr, nullptr), "");

    const std::string launched = "PATH=/bin\0GIO_LAUNCHED_DESKTOP_FILE=/usr/share/applications/org.gnome.Terminal"
                                 ".desktop\0GIO_LAUNCHED_DESKTOP_FILE_PID=4242\0"s;
    EXPECT_EQ(launchedDesktopFileId(launched, 4242), "org.gnome.Terminal");
    // A program started from that terminal inherits the variables but is not the terminal.
    EXPECT_EQ(launchedDesktopFileId(launched, 5000), std::nullopt);
    EXPECT_EQ(launchedDesktopFileId("GIO_LAUNCHED_DESKTOP_FILE=/opt/app.desktop"s, 1), "app");
    EXPECT_EQ(launchedDesktopFileId("GIO_LAUNCHED_DESKTOP_FILE=/opt/notes.txt\0"s, 1), std::nullopt);

    // The index: an id in an earlier folder hides later ones, window classes match ignoring case.
    TempDir dir;
    writeFile(dir.file("home/applications/firefox.desktop"), "[Desktop Entry]\nName=My Firefox\n");
    writeFile(dir.file("usr/applications/firefox.desktop"), "[Desktop Entry]\nName=Firefox\nStartupWMClass=firefox\n");
    writeFile(dir.file("usr/applications/kde4/konsole.desktop"), "[Desktop Entry]\nStartupWMClass=Konsole\n");
    writeFile(dir.file("usr/applications/notes.txt"), "[Desktop Entry]\nName=Not an entry\n");
    DesktopEntryIndex index;
    index.load({dir.file("home/applications"), dir.file("usr/applications"), dir.file("missing")}, "");
    ASSERT_NE(index.byId("firefox"), nullptr);
    EXPECT_EQ(index.byId("firefox")->name, "My Firefox");
    EXPECT_EQ(index.byId("notes"), nullptr);
    EXPECT_EQ(index.byWindowClass("firefox"), nullptr);
    ASSERT_NE(index.byWindowClass("konsole"), nullptr);
    EXPECT_EQ(index.byWindowClass("konsole")->id, "kde4-konsole");
    EXPECT_EQ(index.byWindowClass("Unknown"), nullptr);
}

TEST(X11DesktopSessionTest, WindowOwnerIsTheClaimedPidUnlessItIsASandboxedClientsOwn) {
    EXPECT_EQ(windowOwnerPid(500, 0, std::nullopt), 500);
    EXPECT_EQ(windowOwnerPid(0, 900, std::nullopt), 900);
    EXPECT_EQ(windowOwnerPid(0, 0, std::nullopt), 0);
    EXPECT_EQ(windowOwnerPid(2, 31337, 2), 31337);    // Flatpak: pid 2 inside the sandbox
    EXPECT_EQ(windowOwnerPid(500, 900, 900), 500);    // another process drew it for the claimant
    EXPECT_EQ(windowOwnerPid(500, 900, std::nullopt), 500);
    for (const char* name : {"", ":4711", "nohost.invalid:0", "garbage"}) {
        X11DesktopSession session{std::string(name)};
        for (int i = 0; i < 3; ++i) EXPECT_TRUE(session.runningApplications().empty()) << name;
    }
}
