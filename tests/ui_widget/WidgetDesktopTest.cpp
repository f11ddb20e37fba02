// The widget panel under a real window manager (VELMORA_DESKTOP, scripts/with-desktop.sh): above
// other windows, on every desktop, never taking the focus, still there when the main window is
// minimised, and closing it through the window manager keeps it for the next start.
#include <gtest/gtest.h>

#include "tests/fakes/LineChild.h"

#include <QColor>
#include <QImage>

#include <X11/Xlib.h>

#include <chrono>
#include <sstream>
#include <string>
#include <thread>

#include "tests/app/qt/DesktopProcess.h"

namespace velmora {
namespace {

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
    // Its own views run offscreen unless told to use the display.
    LineChild tour({VELMORA_TEST_PROGRAMS "/widget_tour", folder}, {{"QT_QPA_PLATFORM", "xcb"}});
    ASSERT_GT(tour.pid(), 0);
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
