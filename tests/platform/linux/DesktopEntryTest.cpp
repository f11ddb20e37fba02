#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/linux/DesktopEntry.h"
#include "platform/linux/X11DesktopSession.h"
#include "tests/fakes/TempDir.h"

using namespace velmora;

namespace {

const char* const editor =
    "# a comment\n"
    "[Desktop Entry]\n"
    "Type=Application\n"
    "Name=Text Editor\n"
    "Name[de]=Texteditor\n"
    "Name[de_AT]=Texteditor (AT)\n"
    "Name[sr@latin]=Uređivač\n"
    "Name[fr] = Éditeur\\sde\\stexte\n"
    "StartupWMClass=gnome-text-editor\n"
    "NoDisplay=true\n"
    "\n"
    "[Desktop Action new-window]\n"
    "Name=New Window\n"
    "StartupWMClass=wrong\n";

void writeFile(const std::string& path, const std::string& text) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path) << text;
}

}  // namespace

TEST(DesktopEntryTest, NameFollowsTheLocaleAndOnlyTheMainGroupCounts) {
    struct Case {
        const char* locale;
        const char* name;
    };
    const Case cases[] = {
        {"", "Text Editor"},
        {"C", "Text Editor"},
        {"en_US.UTF-8", "Text Editor"},
        {"de_DE.UTF-8", "Texteditor"},
        {"de_AT.UTF-8", "Texteditor (AT)"},
        {"sr_RS.UTF-8@latin", "Uređivač"},
        {"fr_FR", "Éditeur de texte"},
    };
    for (const auto& c : cases) {
        const auto entry = parseDesktopEntry(editor, c.locale);
        ASSERT_TRUE(entry) << c.locale;
        EXPECT_EQ(entry->name, c.name) << c.locale;
        EXPECT_EQ(entry->startupWMClass, "gnome-text-editor") << c.locale;
    }
}

TEST(DesktopEntryTest, MalformedOrForeignFiles) {
    EXPECT_FALSE(parseDesktopEntry("", ""));
    EXPECT_FALSE(parseDesktopEntry("[Desktop Action x]\nName=Only an action\n", ""));
    // Groups before the main one are skipped; lines without '=' are ignored; bad bytes replaced.
    const auto e = parseDesktopEntry("[Other]\nName=No\n[Desktop Entry]\r\nbroken line\nName=A\xff\r\n", "");
    ASSERT_TRUE(e);
    EXPECT_EQ(e->name, "A\xEF\xBF\xBD");
    EXPECT_FALSE(e->startupWMClass);
    const auto unnamed = parseDesktopEntry("[Desktop Entry]\nName=\nName[de\n", "de_DE");
    ASSERT_TRUE(unnamed);
    EXPECT_FALSE(unnamed->name);
}

TEST(DesktopEntryTest, FileIdsFoldersAndLocale) {
    EXPECT_EQ(desktopFileId("org.gnome.TextEditor.desktop"), "org.gnome.TextEditor");
    EXPECT_EQ(desktopFileId("kde4/konsole.desktop"), "kde4-konsole");
    EXPECT_FALSE(desktopFileId("readme.txt"));
    EXPECT_FALSE(desktopFileId(".desktop"));

    EXPECT_EQ(applicationFolders("/x/data", "/home/u", "/a:/b/:relative::/a"),
              (std::vector<std::string>{"/x/data/applications", "/a/applications", "/b/applications"}));
    EXPECT_EQ(applicationFolders(nullptr, "/home/u", nullptr),
              (std::vector<std::string>{"/home/u/.local/share/applications", "/usr/local/share/applications",
                                        "/usr/share/applications"}));
    EXPECT_EQ(applicationFolders("relative", nullptr, ""),
              (std::vector<std::string>{"/usr/local/share/applications", "/usr/share/applications"}));

    EXPECT_EQ(messagesLocale("", "de_DE", "en_US"), "de_DE");
    EXPECT_EQ(messagesLocale("fr_FR", "de_DE", "en_US"), "fr_FR");
    EXPECT_EQ(messagesLocale(nullptr, nullptr, nullptr), "");
}

TEST(DesktopEntryTest, LaunchedDesktopFileCountsOnlyForTheLaunchedProcess) {
    using namespace std::string_literals;
    const std::string launched = "PATH=/bin\0GIO_LAUNCHED_DESKTOP_FILE=/usr/share/applications/org.gnome.Terminal.desktop\0"
                                 "GIO_LAUNCHED_DESKTOP_FILE_PID=4242\0"s;
    EXPECT_EQ(launchedDesktopFileId(launched, 4242), "org.gnome.Terminal");
    // A program started from that terminal inherits the variables but is not the terminal.
    EXPECT_EQ(launchedDesktopFileId(launched, 5000), std::nullopt);
    EXPECT_EQ(launchedDesktopFileId("GIO_LAUNCHED_DESKTOP_FILE=/opt/app.desktop"s, 1), "app");
    EXPECT_EQ(launchedDesktopFileId("HOME=/root\0"s, 1), std::nullopt);
    EXPECT_EQ(launchedDesktopFileId("GIO_LAUNCHED_DESKTOP_FILE=/opt/notes.txt\0"s, 1), std::nullopt);
}

TEST(DesktopEntryTest, IndexPrefersEarlierFoldersAndMatchesWindowClasses) {
    TempDir dir;
    writeFile(dir.file("home/applications/firefox.desktop"), "[Desktop Entry]\nName=My Firefox\n");
    writeFile(dir.file("usr/applications/firefox.desktop"), "[Desktop Entry]\nName=Firefox\nStartupWMClass=firefox\n");
    writeFile(dir.file("usr/applications/kde4/konsole.desktop"), "[Desktop Entry]\nName=Konsole\nStartupWMClass=Konsole\n");
    writeFile(dir.file("usr/applications/hidden.desktop"), "[Desktop Entry]\nName=Hidden\nHidden=true\n");
    writeFile(dir.file("usr/applications/notes.txt"), "[Desktop Entry]\nName=Not an entry\n");
    DesktopEntryIndex index;
    index.load({dir.file("home/applications"), dir.file("usr/applications"), dir.file("missing")}, "");
    ASSERT_NE(index.byId("firefox"), nullptr);
    EXPECT_EQ(index.byId("firefox")->name, "My Firefox");
    ASSERT_NE(index.byId("kde4-konsole"), nullptr);
    ASSERT_NE(index.byId("hidden"), nullptr);
    EXPECT_EQ(index.byId("notes"), nullptr);
    // The hidden earlier file carried no StartupWMClass, so the class is unknown.
    EXPECT_EQ(index.byWindowClass("firefox"), nullptr);
    ASSERT_NE(index.byWindowClass("Konsole"), nullptr);
    EXPECT_EQ(index.byWindowClass("konsole")->id, "kde4-konsole");
    EXPECT_EQ(index.byWindowClass("Unknown"), nullptr);
}

TEST(X11DesktopSessionTest, NoDisplayGivesNoApplications) {
    for (const char* name : {"", ":4711", "nohost.invalid:0", "garbage"}) {
        X11DesktopSession session{std::string(name)};
        for (int i = 0; i < 3; ++i) EXPECT_TRUE(session.runningApplications().empty()) << name;
    }
}
