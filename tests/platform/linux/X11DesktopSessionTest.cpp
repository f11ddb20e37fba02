#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/linux/X11DesktopSession.h"
#include "tests/fakes/ChildProcess.h"
#include "tests/fakes/TempDir.h"

using namespace velmora;

namespace {

// A private X server for the test; the display name stays empty when Xvfb is not installed.
class VirtualDisplay {
public:
    VirtualDisplay() {
        int fds[2];
        if (access("/usr/bin/Xvfb", X_OK) != 0 || pipe(fds) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            close(fds[0]);
            const int devnull = open("/dev/null", O_WRONLY);
            dup2(devnull, 2);
            const std::string fd = std::to_string(fds[1]);
            execl("/usr/bin/Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-nolisten", "tcp", "-screen", "0", "640x480x24",
                  static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        std::string number;
        char c;
        while (read(fds[0], &c, 1) == 1) {
            if (c == '\n' && !number.empty()) name_ = ":" + number;
            if (c == '\n') break;
            number += c;
        }
        close(fds[0]);
    }
    ~VirtualDisplay() { stop(); }
    void stop() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
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

void setWindows(Display* d, const char* property, std::vector<Window> windows) {
    std::vector<unsigned long> items(windows.begin(), windows.end());
    setProperty(d, DefaultRootWindow(d), property, XA_WINDOW, 32, items.data(), static_cast<int>(items.size()));
}

std::vector<RunningApplication> byPid(std::vector<RunningApplication> apps) {
    std::sort(apps.begin(), apps.end(), [](const auto& a, const auto& b) { return a.pid < b.pid; });
    return apps;
}

void writeFile(const std::string& path, const std::string& text) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path) << text;
}

}  // namespace

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
    const Window root = DefaultRootWindow(d);
    // Our own window, pid by _NET_WM_PID, named through StartupWMClass.
    const Window own = XCreateSimpleWindow(d, root, 0, 0, 10, 10, 0, 0, 0);
    setCardinal(d, own, "_NET_WM_PID", static_cast<unsigned long>(getpid()));
    XClassHint hint{const_cast<char*>("velmora-test"), const_cast<char*>("VelmoraTest")};
    XSetClassHint(d, own, &hint);
    // A second window of ours without _NET_WM_PID: the server knows whose it is.
    const Window unlabelled = XCreateSimpleWindow(d, root, 0, 0, 10, 10, 0, 0, 0);
    // A dock that claims a child's pid, named by its application id.
    ChildProcess child;
    ASSERT_TRUE(child.running());
    const Window dock = XCreateSimpleWindow(d, root, 0, 0, 10, 10, 0, 0, 0);
    setCardinal(d, dock, "_NET_WM_PID", static_cast<unsigned long>(child.pid()));
    setProperty(d, dock, "_GTK_APPLICATION_ID", XInternAtom(d, "UTF8_STRING", False), 8, "org.gnome.TextEditor", 20);
    const unsigned long dockType = XInternAtom(d, "_NET_WM_WINDOW_TYPE_DOCK", False);
    setProperty(d, dock, "_NET_WM_WINDOW_TYPE", XA_ATOM, 32, &dockType, 1);
    // A window of a class no desktop entry knows, claiming a pid that does not exist.
    const Window ghost = XCreateSimpleWindow(d, root, 0, 0, 10, 10, 0, 0, 0);
    setCardinal(d, ghost, "_NET_WM_PID", 0x7ffffff0ul);
    setWindows(d, "_NET_CLIENT_LIST", {own, unlabelled, dock, ghost});
    setWindows(d, "_NET_ACTIVE_WINDOW", {dock});
    XSync(d, False);

    const RunningApplication ours{getpid(), "org.example.Velmora", "Velmora Test", false, false};
    EXPECT_EQ(byPid(session.runningApplications()),
              byPid({ours, {child.pid(), "org.gnome.TextEditor", "Text Editor", true, true}}));

    // What a process is called is kept for its life: the unlabelled window alone still counts as ours.
    setWindows(d, "_NET_CLIENT_LIST", {unlabelled});
    setWindows(d, "_NET_ACTIVE_WINDOW", {unlabelled});
    XSync(d, False);
    EXPECT_EQ(session.runningApplications(), (std::vector<RunningApplication>{{getpid(), ours.bundleIdentifier,
                                                                              ours.localizedName, false, true}}));
    // A session meeting that window first learns the pid from the server and has no name for it.
    EXPECT_EQ(X11DesktopSession(server.name()).runningApplications(),
              (std::vector<RunningApplication>{{getpid(), std::nullopt, std::nullopt, false, true}}));

    // A client list naming a destroyed window is an X error, not a crash.
    XDestroyWindow(d, own);
    setWindows(d, "_NET_CLIENT_LIST", {own, unlabelled});
    XSync(d, False);
    EXPECT_EQ(session.runningApplications().size(), 1u);

    XCloseDisplay(d);
    server.stop();
    // The server is gone: empty lists, and the process lives on.
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(session.runningApplications().empty());
    unsetenv("XDG_DATA_HOME");
    unsetenv("XDG_DATA_DIRS");
    unsetenv("LC_ALL");
}
