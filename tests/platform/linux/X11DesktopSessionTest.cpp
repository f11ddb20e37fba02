#include <gtest/gtest.h>

// Qt before Xlib, whose macros clash with Qt's names.
#include <QCoreApplication>

#include "tests/fakes/CountingScheduler.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "platform/linux/DesktopEntry.h"
#include "platform/linux/X11DesktopSession.h"
#include "platform/linux/X11WindowList.h"
#include "platform/linux/X11Workspace.h"
#include "tests/fakes/ChildProcess.h"
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

// A private X server for the test; the display name stays empty when Xvfb is not installed.
class VirtualDisplay {
public:
    VirtualDisplay() {
        int fds[2];
        if (access("/usr/bin/Xvfb", X_OK) != 0 || pipe(fds) != 0) return;
        if ((pid_ = fork()) == 0) {
            dup2(open("/dev/null", O_WRONLY), 2);
            execl("/usr/bin/Xvfb", "Xvfb", "-displayfd", std::to_string(fds[1]).c_str(), "-nolisten", "tcp", "-screen",
                  "0", "640x480x24", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        char number[16] = {};
        if (read(fds[0], number, sizeof number - 1) > 0 && number[0] != '\n')
            name_ = ":" + std::string(number, std::strcspn(number, "\n"));
        close(fds[0]);
    }
    ~VirtualDisplay() { stop(); }
    void stop() {
        if (pid_ > 0 && kill(pid_, SIGTERM) == 0) waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }
    const std::string& name() const { return name_; }

private:
    pid_t pid_ = -1;
    std::string name_;
};

void setProperty(Display* d, Window w, const char* property, Atom type, int format, const void* data, int count) {
    XChangeProperty(d, w, XInternAtom(d, property, False), type, format, PropModeReplace,
                    static_cast<const unsigned char*>(data), count);
}

void setCardinal(Display* d, Window w, const char* property, unsigned long value) {
    setProperty(d, w, property, XA_CARDINAL, 32, &value, 1);
}

void setWindows(Display* d, const char* property, std::vector<unsigned long> windows) {
    setProperty(d, DefaultRootWindow(d), property, XA_WINDOW, 32, windows.data(), static_cast<int>(windows.size()));
    XSync(d, False);
}

// The session hears of a list change from the server a moment after it is made: the list, asked
// again for up to two seconds until it is `expected`.
std::vector<RunningApplication> settled(X11DesktopSession& session, const std::vector<RunningApplication>& expected) {
    auto now = session.runningApplications();
    for (int i = 0; i < 200 && now != expected; ++i) {
        ::usleep(10000);
        now = session.runningApplications();
    }
    return now;
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
    EXPECT_EQ(launchedDesktopFileId("GIO_LAUNCHED_DESKTOP_FILE=/opt/app.desktop"s, 1, true), std::nullopt);
    EXPECT_EQ(launchedDesktopFileId(launched, 4242, true), "org.gnome.Terminal");
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
    EXPECT_EQ(windowOwnerPid(2, 31337, 2), 31337);  // Flatpak: pid 2 inside the sandbox
    EXPECT_EQ(windowOwnerPid(500, 900, 900), 500);  // another process drew it for the claimant
    EXPECT_EQ(windowOwnerPid(500, 900, std::nullopt), 500);
    for (const char* name : {"", ":4711", "nohost.invalid:0", "garbage"}) {
        X11DesktopSession session{std::string(name)};
        for (int i = 0; i < 3; ++i) EXPECT_TRUE(session.runningApplications().empty()) << name;
    }
}

TEST(X11DesktopSessionTest, ClientListOwnersNamedByDesktopEntriesAndSurvivingTheServer) {
    VirtualDisplay server;
    if (server.name().empty()) GTEST_SKIP() << "Xvfb is not installed";
    TempDir data;
    writeFile(data.file("home/applications/org.example.Velmora.desktop"),
              "[Desktop Entry]\nName=Velmora Test\nStartupWMClass=VelmoraTest\n");
    writeFile(data.file("system/applications/org.gnome.TextEditor.desktop"),
              "[Desktop Entry]\nName=Text Editor\nNoDisplay=true\n");
    setenv("XDG_DATA_HOME", data.file("home").c_str(), 1);
    setenv("XDG_DATA_DIRS", data.file("system").c_str(), 1);
    setenv("LC_ALL", "C", 1);

    X11DesktopSession session(server.name());
    Display* d = XOpenDisplay(server.name().c_str());
    ASSERT_NE(d, nullptr);
    auto window = [d] { return XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 10, 10, 0, 0, 0); };
    // Our own window, pid by _NET_WM_PID, named through StartupWMClass; a second one without a
    // pid, which the server knows to be ours.
    const Window own = window(), unlabelled = window(), dock = window(), ghost = window();
    setCardinal(d, own, "_NET_WM_PID", static_cast<unsigned long>(getpid()));
    XClassHint hint{const_cast<char*>("velmora-test"), const_cast<char*>("VelmoraTest")};
    XSetClassHint(d, own, &hint);
    // A dock that claims a child's pid, named by its application id.
    ChildProcess child;
    ASSERT_TRUE(child.running());
    setCardinal(d, dock, "_NET_WM_PID", static_cast<unsigned long>(child.pid()));
    setProperty(d, dock, "_GTK_APPLICATION_ID", XInternAtom(d, "UTF8_STRING", False), 8, "org.gnome.TextEditor", 20);
    const unsigned long dockType = XInternAtom(d, "_NET_WM_WINDOW_TYPE_DOCK", False);
    setProperty(d, dock, "_NET_WM_WINDOW_TYPE", XA_ATOM, 32, &dockType, 1);
    // A window of a class no desktop entry knows, claiming a pid that does not exist.
    setCardinal(d, ghost, "_NET_WM_PID", 0x7ffffff0ul);
    setWindows(d, "_NET_CLIENT_LIST", {own, unlabelled, dock, ghost});
    setWindows(d, "_NET_ACTIVE_WINDOW", {dock});

    const RunningApplication ours{getpid(), "org.example.Velmora", "Velmora Test", false, false};
    const RunningApplication dockApp{child.pid(), "org.gnome.TextEditor", "Text Editor", true, true};
    EXPECT_EQ(session.runningApplications(), (std::vector<RunningApplication>{ours, dockApp}));

    // What a process is called is kept for its life: the unlabelled window alone still counts as ours.
    setWindows(d, "_NET_CLIENT_LIST", {unlabelled});
    setWindows(d, "_NET_ACTIVE_WINDOW", {unlabelled});
    const std::vector<RunningApplication> unlabelledOnly{{getpid(), ours.bundleIdentifier, ours.localizedName, false, true}};
    EXPECT_EQ(settled(session, unlabelledOnly), unlabelledOnly);
    // A session meeting that window first learns the pid from the server and has no name for it.
    EXPECT_EQ(X11DesktopSession(server.name()).runningApplications(),
              (std::vector<RunningApplication>{{getpid(), std::nullopt, std::nullopt, false, true}}));

    // A client list naming a destroyed window is an X error, not a crash.
    XDestroyWindow(d, own);
    setWindows(d, "_NET_CLIENT_LIST", {own, unlabelled});
    session.windowListsChanged();  // read at once, though the list's apps stay the same
    EXPECT_EQ(session.runningApplications().size(), 1u);

    XCloseDisplay(d);
    server.stop();
    // The server is gone: empty lists, and the process lives on.
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(session.runningApplications().empty());
    for (const char* name : {"XDG_DATA_HOME", "XDG_DATA_DIRS", "LC_ALL"}) unsetenv(name);
}

TEST(X11DesktopSessionTest, AWindowIdThatANewClientReusesIsReadAgain) {
    VirtualDisplay server;
    ASSERT_FALSE(server.name().empty()) << "Xvfb did not start";
    Display* control = XOpenDisplay(server.name().c_str());
    ASSERT_NE(control, nullptr);
    // A client whose first window claims `owner`; two such clients make the same requests, so the
    // second gets the first's ids once the server has freed them.
    const auto openClient = [&](pid_t owner) {
        Display* d = XOpenDisplay(server.name().c_str());
        const Window w = d ? XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 10, 10, 0, 0, 0) : None;
        if (d) setCardinal(d, w, "_NET_WM_PID", static_cast<unsigned long>(owner)), XSync(d, False);
        return std::pair{d, w};
    };
    ChildProcess closed, opened;
    ASSERT_TRUE(closed.running() && opened.running());
    const auto [first, id] = openClient(closed.pid());
    ASSERT_NE(first, nullptr);
    for (const char* list : {"_NET_CLIENT_LIST", "_NET_CLIENT_LIST_STACKING", "_NET_ACTIVE_WINDOW"})
        setWindows(control, list, {id});

    X11DesktopSession session(server.name());
    X11WindowList windows(server.name());
    const auto owners = [&] {
        std::vector<std::pair<std::int32_t, bool>> out;  // pid and frontmost, from both readers
        for (const auto& app : session.runningApplications()) out.emplace_back(app.pid, app.isActive);
        for (const auto& w : windows.windows()) out.emplace_back(w.ownerPid, false);
        return out;
    };
    using Owners = std::vector<std::pair<std::int32_t, bool>>;
    ASSERT_EQ(owners(), (Owners{{closed.pid(), true}, {closed.pid(), false}}));

    // The client closes; the server frees its ids once its window is gone.
    XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });  // asking about a gone window is an error
    XCloseDisplay(first);
    XWindowAttributes attributes;
    for (int i = 0; i < 5000 && XGetWindowAttributes(control, id, &attributes); ++i) ::usleep(1000);
    const auto [second, reused] = openClient(opened.pid());
    ASSERT_NE(second, nullptr);
    ASSERT_EQ(reused, id) << "the server gave the new client other ids";
    // The lists never changed, as when they are read before the window manager catches up.
    EXPECT_EQ(owners(), (Owners{{opened.pid(), true}, {opened.pid(), false}}));
    XCloseDisplay(second);
    XCloseDisplay(control);
}

// A steady list is given again without being rebuilt; each change the server announces must
// still show in the next one.
TEST(X11DesktopSessionTest, ASteadyListFollowsTheActiveWindowAndClientsComingAndGoing) {
    VirtualDisplay server;
    ASSERT_FALSE(server.name().empty()) << "Xvfb did not start";
    Display* d = XOpenDisplay(server.name().c_str());
    ASSERT_NE(d, nullptr);
    ChildProcess editor, viewer;
    ASSERT_TRUE(editor.running() && viewer.running());
    const auto window = [d](pid_t owner) {
        const Window w = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 10, 10, 0, 0, 0);
        setCardinal(d, w, "_NET_WM_PID", static_cast<unsigned long>(owner));
        return w;
    };
    const Window own = window(getpid()), edited = window(editor.pid()), viewed = window(viewer.pid());
    setWindows(d, "_NET_CLIENT_LIST", {own, edited});
    setWindows(d, "_NET_ACTIVE_WINDOW", {own});
    // Unnamed: none of them has a class or a desktop entry.
    const auto app = [](pid_t pid, bool active) { return RunningApplication{pid, std::nullopt, std::nullopt, false, active}; };

    X11DesktopSession session(server.name());
    const std::vector<RunningApplication> first{app(getpid(), true), app(editor.pid(), false)};
    EXPECT_EQ(session.runningApplications(), first);
    EXPECT_EQ(session.runningApplications(), first);

    setWindows(d, "_NET_ACTIVE_WINDOW", {edited});
    const std::vector<RunningApplication> focused{app(getpid(), false), app(editor.pid(), true)};
    EXPECT_EQ(settled(session, focused), focused);
    setWindows(d, "_NET_CLIENT_LIST", {own, edited, viewed});
    const std::vector<RunningApplication> three{app(getpid(), false), app(editor.pid(), true), app(viewer.pid(), false)};
    EXPECT_EQ(settled(session, three), three);
    // Taken off the list without being destroyed, as a window manager does with an unmapped window.
    setWindows(d, "_NET_CLIENT_LIST", {own, viewed});
    setWindows(d, "_NET_ACTIVE_WINDOW", {viewed});
    const std::vector<RunningApplication> swapped{app(getpid(), false), app(viewer.pid(), true)};
    EXPECT_EQ(settled(session, swapped), swapped);
    XCloseDisplay(d);
}

// A window stands for its pid's process only while it is that process's own: one that claims
// another process's pid stays when that process ends, and must not keep it listed.
TEST(X11DesktopSessionTest, AWindowClaimingAnotherProcessStopsCountingWhenThatProcessEnds) {
    VirtualDisplay server;
    ASSERT_FALSE(server.name().empty()) << "Xvfb did not start";
    Display* d = XOpenDisplay(server.name().c_str());
    ASSERT_NE(d, nullptr);
    ChildProcess child;
    ASSERT_TRUE(child.running());
    const Window own = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 10, 10, 0, 0, 0);
    const Window claimed = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 10, 10, 0, 0, 0);
    setCardinal(d, own, "_NET_WM_PID", static_cast<unsigned long>(getpid()));
    setCardinal(d, claimed, "_NET_WM_PID", static_cast<unsigned long>(child.pid()));
    setWindows(d, "_NET_CLIENT_LIST", {own, claimed});

    X11DesktopSession session(server.name());
    const auto pids = [&] {
        std::vector<std::int32_t> out;
        for (const auto& app : session.runningApplications()) out.push_back(app.pid);
        return out;
    };
    const pid_t childPid = child.pid();
    EXPECT_EQ(pids(), (std::vector<std::int32_t>{getpid(), childPid}));
    EXPECT_EQ(pids(), (std::vector<std::int32_t>{getpid(), childPid}));  // from what the first call learnt
    ASSERT_TRUE(child.exit());
    EXPECT_EQ(pids(), (std::vector<std::int32_t>{getpid()}));
    XCloseDisplay(d);
}

// A workspace woken by its connection: when the server goes, the dead connection reads as always
// ready, so the workspace turns to its timer instead of being woken without end.
TEST(X11WorkspaceTest, AServerThatGoesAwayEndsTheWatch) {
    VirtualDisplay server;
    ASSERT_FALSE(server.name().empty()) << "Xvfb did not start";
    int argc = 1;
    char name[] = "test_platform_linux";
    char* argv[] = {name, nullptr};
    QCoreApplication application(argc, argv);
    CountingScheduler scheduler;
    X11DesktopSession session(server.name());
    X11Workspace workspace(scheduler, session, server.name());
    workspace.addObserver(WorkspaceNotification::didLaunchApplication, [](const auto&) {});
    ASSERT_EQ(std::pair(scheduler.watches, scheduler.timers), std::pair(1, 0));

    server.stop();
    for (int i = 0; i < 20; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_EQ(scheduler.timers, 1) << "no timer took over";
    EXPECT_LE(scheduler.wakes, 2) << "woken again and again by a dead connection";
}
