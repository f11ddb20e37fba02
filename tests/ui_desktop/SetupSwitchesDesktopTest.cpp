// Setup's switches driven over AT-SPI, as a screen reader or switch access does: the "toggle" action
// changes the setting, and the box still reads what the user chose after the page is redrawn.
#include <gtest/gtest.h>

#include "tests/fakes/LineChild.h"

#include <atspi/atspi.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>

namespace {

using velmora::LineChild;

// The first accessible named `name` under the application of `pid` (a reference the caller drops).
AtspiAccessible* findNamed(pid_t pid, const std::string& name) {
    AtspiAccessible* found = nullptr;
    const std::function<void(AtspiAccessible*, int)> walk = [&](AtspiAccessible* node, int depth) {
        if (!node || found || depth > 40) return;
        if (gchar* own = atspi_accessible_get_name(node, nullptr)) {
            if (name == own) found = static_cast<AtspiAccessible*>(g_object_ref(node));
            g_free(own);
        }
        const gint count = atspi_accessible_get_child_count(node, nullptr);
        for (gint i = 0; i < count && i < 400 && !found; ++i) {
            AtspiAccessible* child = atspi_accessible_get_child_at_index(node, i, nullptr);
            walk(child, depth + 1);
            if (child) g_object_unref(child);
        }
    };
    AtspiAccessible* desktop = atspi_get_desktop(0);
    const gint apps = atspi_accessible_get_child_count(desktop, nullptr);
    for (gint i = 0; i < apps && !found; ++i) {
        AtspiAccessible* app = atspi_accessible_get_child_at_index(desktop, i, nullptr);
        if (app && static_cast<pid_t>(atspi_accessible_get_process_id(app, nullptr)) == pid) walk(app, 0);
        if (app) g_object_unref(app);
    }
    g_object_unref(desktop);
    return found;
}

// Runs the node's "toggle" action; false when it has none or the call failed.
bool toggle(AtspiAccessible* node) {
    AtspiAction* action = atspi_accessible_get_action_iface(node);
    if (!action) return false;
    bool done = false;
    const gint count = atspi_action_get_n_actions(action, nullptr);
    for (gint i = 0; i < count && !done; ++i) {
        gchar* name = atspi_action_get_action_name(action, i, nullptr);
        const bool isToggle = name && g_ascii_strcasecmp(name, "toggle") == 0;
        g_free(name);
        if (isToggle) done = atspi_action_do_action(action, i, nullptr);
    }
    g_object_unref(action);
    return done;
}

bool readsChecked(AtspiAccessible* node) {
    AtspiStateSet* states = atspi_accessible_get_state_set(node);
    const bool checked = states && atspi_state_set_contains(states, ATSPI_STATE_CHECKED);
    if (states) g_object_unref(states);
    return checked;
}

// The program's answer once it is `want`, asked again for a while; the last answer otherwise.
std::string stateOnce(LineChild& page, const std::string& want) {
    std::string answer;
    for (int i = 0; i < 25 && (answer = page.ask("state")) != want; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    return answer;
}

TEST(SetupSwitchesDesktop, DeveloperModeFollowsTheAccessibleToggle) {
    if (!std::getenv("VELMORA_DESKTOP")) GTEST_SKIP() << "needs scripts/with-desktop.sh";
    ASSERT_NE(std::getenv("DISPLAY"), nullptr);
    atspi_init();
    LineChild page({VELMORA_TEST_PROGRAMS "/setup_switches"});
    ASSERT_EQ(page.line(), "ready");
    EXPECT_EQ(page.ask("state"), "developer 0 0");

    AtspiAccessible* box = nullptr;
    for (int i = 0; i < 50 && !(box = findNamed(page.pid(), "Developer mode")); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    ASSERT_NE(box, nullptr) << "the switch is not on the accessibility bus";

    ASSERT_TRUE(toggle(box));
    EXPECT_EQ(stateOnce(page, "developer 1 1"), "developer 1 1");
    EXPECT_TRUE(readsChecked(box));

    ASSERT_TRUE(toggle(box));
    EXPECT_EQ(stateOnce(page, "developer 0 0"), "developer 0 0");
    EXPECT_FALSE(readsChecked(box));
    g_object_unref(box);
}

}  // namespace
