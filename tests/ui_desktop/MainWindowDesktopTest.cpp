// The main window on the private desktop: pictures of every page state kept in build/artifacts,
// pixel probes of the painted pieces, and the names assistive technology reads back over AT-SPI.
#include <gtest/gtest.h>

#include "tests/fakes/LineChild.h"

#include <atspi/atspi.h>
#include <sys/socket.h>

#include <QColor>
#include <QImage>

#include <chrono>
#include <cmath>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

using velmora::LineChild;

// Every accessible name under the application of `pid`.
std::vector<std::string> accessibleNames(pid_t pid) {
    std::vector<std::string> names;
    AtspiAccessible* desktop = atspi_get_desktop(0);
    const std::function<void(AtspiAccessible*, int)> walk = [&](AtspiAccessible* node, int depth) {
        if (!node || depth > 40) return;
        if (gchar* name = atspi_accessible_get_name(node, nullptr)) {
            if (*name) names.emplace_back(name);
            g_free(name);
        }
        const gint count = atspi_accessible_get_child_count(node, nullptr);
        for (gint i = 0; i < count && i < 400; ++i) {
            AtspiAccessible* child = atspi_accessible_get_child_at_index(node, i, nullptr);
            walk(child, depth + 1);
            if (child) g_object_unref(child);
        }
    };
    const gint apps = atspi_accessible_get_child_count(desktop, nullptr);
    for (gint i = 0; i < apps; ++i) {
        AtspiAccessible* app = atspi_accessible_get_child_at_index(desktop, i, nullptr);
        if (app && static_cast<pid_t>(atspi_accessible_get_process_id(app, nullptr)) == pid) walk(app, 0);
        if (app) g_object_unref(app);
    }
    g_object_unref(desktop);
    return names;
}

bool has(const std::vector<std::string>& names, const std::string& name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

// `names` once they hold `name`, polled for a while: the bridge publishes widgets lazily.
std::vector<std::string> namesWith(pid_t pid, const std::string& name) {
    std::vector<std::string> names;
    for (int i = 0; i < 50; ++i) {
        names = accessibleNames(pid);
        if (has(names, name)) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    return names;
}

int blend(int colour, double alpha, int under) { return static_cast<int>(std::lround(alpha * colour + (1 - alpha) * under)); }

TEST(MainWindowDesktop, PicturesProbesAndAccessibleNames) {
    if (!std::getenv("VELMORA_DESKTOP")) GTEST_SKIP() << "needs scripts/with-desktop.sh";
    ASSERT_NE(std::getenv("DISPLAY"), nullptr);
    const std::string programs = VELMORA_TEST_PROGRAMS;
    const std::string folder = programs.substr(0, programs.rfind("/tests/programs")) + "/artifacts";
    LineChild tour({VELMORA_TEST_PROGRAMS "/main_window_tour", folder});
    ASSERT_GT(tour.pid(), 0);
    int badge[4] = {}, dot[2] = {};
    std::string line;
    while ((line = tour.line()) != "ready") {
        ASSERT_FALSE(line.empty()) << "the tour did not finish";
        std::istringstream in(line);
        std::string word;
        in >> word;
        if (word == "badge") in >> badge[0] >> badge[1] >> badge[2] >> badge[3];
        if (word == "dot") in >> dot[0] >> dot[1];
    }
    for (const char* scene : {"stories", "overview", "measure-idle", "measure-baselining", "measure-recording",
                              "measure-settling", "measure-report"})
        for (const char* size : {"900x560", "1400x900"}) {
            const QImage picture(QString::fromStdString(folder + "/main-" + scene + "-" + size + ".png"));
            EXPECT_EQ(QString("%1x%2").arg(picture.width()).arg(picture.height()).toStdString(), size) << scene;
        }

    // The strip's dot is the palette's green, exactly.
    const QImage stories(QString::fromStdString(folder + "/main-stories-900x560.png"));
    EXPECT_EQ(stories.pixelColor(dot[0], dot[1]).rgb(), QColor::fromRgbF(0.30f, 0.72f, 0.42f).rgb());

    // The "Strong" badge: its fill is 0.22 of the green over the card, its border 0.55 over that.
    const QImage report(QString::fromStdString(folder + "/main-measure-report-1400x900.png"));
    const QColor green = QColor::fromRgbF(0.30f, 0.72f, 0.42f);
    const QColor under = report.pixelColor(badge[0] - 3, badge[1] + badge[3] / 2);
    const QColor fill = report.pixelColor(badge[0] + badge[2] / 2, badge[1] + 2);
    const QColor border = report.pixelColor(badge[0] + badge[2] / 2, badge[1]);
    for (const auto& [channel, c, u, f, b] :
         {std::tuple{"red", green.red(), under.red(), fill.red(), border.red()},
          std::tuple{"green", green.green(), under.green(), fill.green(), border.green()},
          std::tuple{"blue", green.blue(), under.blue(), fill.blue(), border.blue()}}) {
        EXPECT_NEAR(f, blend(c, 0.22, u), 3) << channel;
        EXPECT_NEAR(b, blend(c, 0.55, blend(c, 0.22, u)), 4) << channel;
    }

    // Read back from the running application.
    const std::string sentence = "How sure: Strong. We\u2019re fairly sure this matches what you were doing.";
    auto names = namesWith(tour.pid(), sentence);
    EXPECT_TRUE(has(names, sentence));
    for (const char* step : {"Step 1, Press Start: not done", "Step 2, Do one thing in another app: done",
                             "Step 3, Press Done: done", "Step 4, Read the result: done"})
        EXPECT_TRUE(has(names, step)) << step;
    EXPECT_TRUE(tour.send("show timeline"));
    EXPECT_EQ(tour.line(), "shown");
    const std::string summary = "Computer memory: OK. No overall memory stress right now.";
    names = namesWith(tour.pid(), summary);
    EXPECT_TRUE(has(names, summary));
    bool figures = false;
    for (const auto& n : names) figures |= n.find(" percent used, ") != std::string::npos && n.ends_with(" of 16 GB total");
    EXPECT_TRUE(figures);
}

}  // namespace
