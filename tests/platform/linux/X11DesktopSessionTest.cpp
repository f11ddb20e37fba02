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
        char buffer[16] = {};
        std::string number;
        ssize_t n;
        while ((n = read(fds[0], buffer, sizeof buffer)) > 0) {
            number.append(buffer, static_cast<std::size_t>(n));
            if (number.find('\n') != std::string::npos) break;
        }
        close(fds[0]);
        if (!number.empty() && number.find('\n') != std::string::npos)
            name_ = ":" + number.substr(0, number.find('\n'));
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

void setCardinal(Display* d, Window w, const char* property, unsigned long value) {
    XChangeProperty(d, w, XInternAtom(d, property, False), XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(&value), 1);
}

void setText(Display* d, Window w, const char* property, const std::string& value) {
    XChangeProperty(d, w, XInternAtom(d, property, False), XInternAtom(d, "UTF8_STRING", False), 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(value.data()), static_cast<int>(value.size()));
}

void setWindows(Display* d, const char* property, std::vector<Window> windows) {
    std::vector<unsigned long> items(windows.begin(), windows.end());
    XChangeProperty(d, DefaultRootWindow(d), XInternAtom(d, property, False), XA_WINDOW, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(items.data()), static_cast<int>(items.size()));
}

void setClass(Display* d, Window w, const char* name, const char* cls) {
    XClassHint hint{const_cast<char*>(name), const_cast<char*>(cls)};
    XSetClassHint(d, w, &hint);
}

const RunningApplication* appOf(const std::vector<RunningApplication>& apps, int pid) {
    const auto it = std::find_if(apps.begin(), apps.end(), [&](const RunningApplication& a) { return a.pid == pid; });
    return it == apps.end() ? nullptr : &*it;
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
    setClass(d, own, "velmora-test", "VelmoraTest");
    // A second window of ours without _NET_WM_PID: the server knows whose it is.
    const Window unlabelled = XCreateSimpleWindow(d, root, 0, 0, 10, 10, 0, 0, 0);
    // A dock that claims a child's pid, named by its application id.
    ChildProcess child;
    ASSERT_TRUE(child.running());
    const Window dock = XCreateSimpleWindow(d, root, 0, 0, 10, 10, 0, 0, 0);
    setCardinal(d, dock, "_NET_WM_PID", static_cast<unsigned long>(child.pid()));
    setText(d, dock, "_GTK_APPLICATION_ID", "org.gnome.TextEditor");
    Atom dockType = XInternAtom(d, "_NET_WM_WINDOW_TYPE_DOCK", False);
    XChangeProperty(d, dock, XInternAtom(d, "_NET_WM_WINDOW_TYPE", False), XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(&dockType), 1);
    // A window of a class no desktop entry knows, claiming a pid that does not exist.
    const Window ghost = XCreateSimpleWindow(d, root, 0, 0, 10, 10, 0, 0, 0);
    setCardinal(d, ghost, "_NET_WM_PID", 0x7ffffff0ul);
    setWindows(d, "_NET_CLIENT_LIST", {own, unlabelled, dock, ghost});
    setWindows(d, "_NET_ACTIVE_WINDOW", {dock});
    XSync(d, False);

    auto apps = session.runningApplications();
    ASSERT_EQ(apps.size(), 2u);
    const RunningApplication* self = appOf(apps, getpid());
    ASSERT_NE(self, nullptr);
    EXPECT_EQ(self->bundleIdentifier, "org.example.Velmora");
    EXPECT_EQ(self->localizedName, "Velmora Test");
    EXPECT_FALSE(self->activationProhibited);
    EXPECT_FALSE(self->isActive);
    const RunningApplication* editor = appOf(apps, child.pid());
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->bundleIdentifier, "org.gnome.TextEditor");
    EXPECT_EQ(editor->localizedName, "Text Editor");
    EXPECT_TRUE(editor->activationProhibited);
    EXPECT_TRUE(editor->isActive);

    // What a process is called is kept for its life: the unlabelled window alone still counts as ours.
    setWindows(d, "_NET_CLIENT_LIST", {unlabelled});
    setWindows(d, "_NET_ACTIVE_WINDOW", {unlabelled});
    XSync(d, False);
    apps = session.runningApplications();
    ASSERT_EQ(apps.size(), 1u);
    EXPECT_EQ(apps[0].pid, getpid());
    EXPECT_TRUE(apps[0].isActive);
    EXPECT_EQ(apps[0].bundleIdentifier, "org.example.Velmora");

    // A session meeting that window first learns the pid from the server and has no name for it.
    X11DesktopSession fresh(server.name());
    apps = fresh.runningApplications();
    ASSERT_EQ(apps.size(), 1u);
    EXPECT_EQ(apps[0].pid, getpid());
    EXPECT_FALSE(apps[0].bundleIdentifier);
    EXPECT_FALSE(apps[0].localizedName);

    // A client list naming a destroyed window is an X error, not a crash.
    XDestroyWindow(d, own);
    setWindows(d, "_NET_CLIENT_LIST", {own, unlabelled});
    XSync(d, False);
    apps = session.runningApplications();
    EXPECT_NE(appOf(apps, getpid()), nullptr);

    XCloseDisplay(d);
    server.stop();
    // The server is gone: empty lists, and the process lives on.
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(session.runningApplications().empty());
    unsetenv("XDG_DATA_HOME");
    unsetenv("XDG_DATA_DIRS");
    unsetenv("LC_ALL");
}
