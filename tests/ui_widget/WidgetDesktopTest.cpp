// The widget panel under a real window manager (VELMORA_DESKTOP, scripts/with-desktop.sh): above
// other windows, on every desktop, never taking the focus, still there when the main window is
// minimised, and closing it through the window manager keeps it for the next start.
#include <gtest/gtest.h>

#include <QColor>
#include <QImage>

#include <X11/Xlib.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <sstream>
#include <string>
#include <thread>

#include "tests/app/qt/DesktopProcess.h"

namespace velmora {
namespace {

// widget_tour, its output read a line at a time.
struct Tour {
    pid_t pid = -1;
    int input = -1, output = -1;
    std::string buffer;
    explicit Tour(const std::string& folder) {
        int in[2], out[2];
        if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) return;
        if ((pid = fork()) == 0) {
            dup2(in[0], STDIN_FILENO);
            dup2(out[1], STDOUT_FILENO);
            dup2(open("/dev/null", O_WRONLY | O_CLOEXEC), STDERR_FILENO);
            setenv("QT_QPA_PLATFORM", "xcb", 1);  // this program's own views run offscreen
            execl(VELMORA_TEST_PROGRAMS "/widget_tour", "widget_tour", folder.c_str(), nullptr);
            _exit(127);
        }
        close(in[0]);
        close(out[1]);
        input = in[1];
        output = out[0];
    }
    ~Tour() {
        if (input >= 0) close(input);
        if (output >= 0) close(output);
        if (pid > 0 && kill(pid, SIGKILL) == 0) waitpid(pid, nullptr, 0);
    }
    std::string line(int seconds = 60) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        while (true) {
            if (auto at = buffer.find('\n'); at != std::string::npos) {
                std::string l = buffer.substr(0, at);
                buffer.erase(0, at + 1);
                return l;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
            if (left.count() <= 0) return "";
            pollfd p{output, POLLIN, 0};
            if (poll(&p, 1, static_cast<int>(left.count())) <= 0) return "";
            char chunk[512];
            const ssize_t n = read(output, chunk, sizeof chunk);
            if (n <= 0) return "";
            buffer.append(chunk, static_cast<std::size_t>(n));
        }
    }
    std::string ask(const std::string& l) {
        EXPECT_EQ(write(input, (l + "\n").data(), l.size() + 1), ssize_t(l.size() + 1));
        return line();
    }
};

std::string activeWindow() {
    const std::string out = run("xprop -root _NET_ACTIVE_WINDOW 2>/dev/null");
    const auto at = out.find('#');
    return at == std::string::npos ? out : out.substr(at + 1);
}

// Asks the window manager to close `window`, as its close button or a keyboard shortcut would.
void askWindowManagerToClose(unsigned long window) {
    Display* d = XOpenDisplay(nullptr);
    ASSERT_NE(d, nullptr);
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = window;
    e.xclient.message_type = XInternAtom(d, "_NET_CLOSE_WINDOW", False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = CurrentTime;
    e.xclient.data.l[1] = 2;  // from a pager or tool
    XSendEvent(d, DefaultRootWindow(d), False, SubstructureRedirectMask | SubstructureNotifyMask, &e);
    XFlush(d);
    XCloseDisplay(d);
}

TEST(WidgetDesktop, AboveEverywhereNeverFocusedAndKeptWhenClosedByTheWindowManager) {
    if (!std::getenv("VELMORA_DESKTOP")) GTEST_SKIP() << "needs scripts/with-desktop.sh";
    ASSERT_EQ(run("xdpyinfo >/dev/null 2>&1 && echo up"), "up\n") << "VELMORA_DESKTOP is set but no display answers";
    const std::string programs = VELMORA_TEST_PROGRAMS;
    const std::string folder = programs.substr(0, programs.rfind("/tests/programs")) + "/artifacts";
    Tour tour(folder);
    ASSERT_GT(tour.pid, 0);
    ASSERT_EQ(tour.line(), "ready");
    // The regular card's picture: the panel 14 pixels in, its top-right corner over a light
    // backdrop. No compositor runs here, so the corner must be cut away, not painted black, and
    // the edge must stand out from the dark desktop on the left.
    const QImage card(QString::fromStdString(folder + "/widget-regular.png"));
    ASSERT_EQ(card.size(), QSize(328, 346));
    const QColor corner = card.pixelColor(14 + 299, 14);
    EXPECT_GT(corner.lightness(), 180) << corner.name().toStdString();
    const QColor desktop = card.pixelColor(4, 173), edge = card.pixelColor(14, 173), inside = card.pixelColor(20, 173);
    EXPECT_GT(edge.lightness(), desktop.lightness() + 25) << edge.name().toStdString();
    EXPECT_GT(edge.lightness(), inside.lightness() + 10) << edge.name().toStdString();

    const std::string panel = tour.ask("panel");
    ASSERT_NE(panel, "0");
    ASSERT_FALSE(panel.empty());
    const std::string id = std::to_string(std::stoul(panel));

    const std::string state = within(5.0, [&] {
        const std::string s = run("xprop -id " + id + " _NET_WM_STATE 2>/dev/null");
        return s.find("_NET_WM_STATE_ABOVE") != std::string::npos ? s : std::string();
    });
    EXPECT_NE(state.find("_NET_WM_STATE_ABOVE"), std::string::npos) << "window " << panel << ": " << state;
    EXPECT_NE(run("xprop -id " + id + " _NET_WM_DESKTOP").find("= 4294967295"), std::string::npos);

    // A click on the card's figures: the window that had the focus keeps it.
    const std::string main = std::to_string(std::stoul(tour.ask("main")));
    run("xdotool windowactivate --sync " + main + " 2>/dev/null");
    const std::string focused = within(5.0, [&] {
        const std::string a = activeWindow();
        return a.find("0x") != std::string::npos && std::stoul(a, nullptr, 16) == std::stoul(main) ? a : std::string();
    });
    ASSERT_FALSE(focused.empty()) << "the stand-in main window never became active: " << activeWindow();
    std::istringstream geometry(run("xdotool getwindowgeometry --shell " + id));
    int x = 0, y = 0;
    for (std::string l; std::getline(geometry, l);) {
        if (l.rfind("X=", 0) == 0) x = std::stoi(l.substr(2));
        if (l.rfind("Y=", 0) == 0) y = std::stoi(l.substr(2));
    }
    run("xdotool mousemove --sync " + std::to_string(x + 60) + " " + std::to_string(y + 80) + " click 1");
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_EQ(activeWindow(), focused);

    // Minimising the main window leaves the panel on the screen.
    EXPECT_EQ(tour.ask("minimise"), "minimised");
    EXPECT_NE(within(5.0, [&] {
                  const std::string s = run("xprop -id " + main + " _NET_WM_STATE 2>/dev/null");
                  return s.find("_NET_WM_STATE_HIDDEN") != std::string::npos ? s : std::string();
              }).find("HIDDEN"),
              std::string::npos);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_NE(run("xwininfo -id " + id).find("Map State: IsViewable"), std::string::npos);
    EXPECT_EQ(tour.ask("state"), "visible 1 wasVisible 1");

    // Closed by the window manager: gone, but remembered as open for the next start.
    askWindowManagerToClose(std::stoul(id));
    const std::string closed = within(5.0, [&] {
        const std::string s = tour.ask("state");
        return s == "visible 0 wasVisible 1" ? s : std::string();
    });
    EXPECT_EQ(closed, "visible 0 wasVisible 1");
}

}  // namespace
}  // namespace velmora
