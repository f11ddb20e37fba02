#include <gtest/gtest.h>

#include <tuple>

#include "engine/activity/ActivityEventBus.h"

using namespace velmora;

namespace {

ProcessIdentity appNamed(std::string name, std::optional<std::string> bundleID = {}, bool isSelf = false) {
    return ProcessIdentity{bundleID.value_or("name:" + name), bundleID, std::move(name), {42}, isSelf};
}

ActivityEvent eventAt(double seconds, std::optional<ProcessIdentity> app = appNamed("Editor"),
                      std::optional<std::string> title = {}) {
    return ActivityEvent{Uuid::random(), Date{seconds}, ActivityEventKind::titleChanged, std::move(app), std::move(title),
                         {}, {}, {}};
}

std::vector<double> stamps(const auto& events) {
    std::vector<double> out;
    for (const auto& e : events) out.push_back(e.timestamp.secondsSince2001);
    return out;
}

}  // namespace

TEST(ActivityEventBusTest, PrivacyGate) {
    const std::tuple<std::optional<ProcessIdentity>, std::optional<std::string>, bool> cases[] = {
        {appNamed("Editor"), "notes.txt", false},              {appNamed("My BaNk Of Somewhere"), {}, true},
        {appNamed("Bankoffice"), {}, false},                   {appNamed("\u212A" "EEPER"), {}, true},  // Kelvin sign
        {appNamed("Fitness", "com.apple.Health"), {}, true},   {appNamed("Fitness", "com.apple.health"), {}, true},
        {appNamed("Fitness", "com.apple.HealthKit"), {}, false}, {appNamed("Health Records", "com.apple.HealthKit"), {}, true},
        {appNamed("Vault", "org.keepassxc.KeePassXC"), {}, true}, {appNamed("Chromium"), "New Tab (INCOGNITO)", true},
        {appNamed("Firefox"), "\xff\xfe Incognito \xc3", true}, {appNamed("Firefox"), "\xff\xfe\xc3", false},
        {appNamed("Velmora", "velmora", true), "Private notes", false}, {appNamed("Password check", {}, true), {}, false},
        {std::nullopt, "Incognito tab", true},                 {std::nullopt, "Report.pdf", false},
    };
    for (const auto& [app, title, sensitive] : cases) {
        const std::string label = (app ? app->displayName : "-") + " / " + title.value_or("-");
        EXPECT_EQ(ActivityEventBus::isSensitive(app, title), sensitive) << label;
        ActivityEventBus bus;
        int calls = 0;
        bus.onEvent = [&](const ActivityEvent&) { ++calls; };
        bus.publish(eventAt(1, app, title));
        bus.publishSilently(eventAt(2, app, title));
        EXPECT_EQ(bus.events().size(), sensitive ? 0u : 2u) << label;
        EXPECT_EQ(calls, sensitive ? 0 : 1) << label;
    }
}

TEST(ActivityEventBusTest, KeepsTheNewestTwoThousand) {
    ActivityEventBus bus;
    for (int i = 0; i < 2000; ++i) bus.publish(eventAt(i));
    EXPECT_EQ(bus.events().size(), 2000u);
    EXPECT_EQ(bus.events().front().timestamp, Date{0});
    bus.publish(eventAt(2000));
    EXPECT_EQ(bus.events().size(), 2000u);
    EXPECT_EQ(bus.events().front().timestamp, Date{1});

    // Republishing the oldest: trimming removes the very element passed in.
    std::optional<ActivityEvent> received;
    bus.onEvent = [&](const ActivityEvent& e) { received = e; };
    const ActivityEvent oldest = bus.events().front();
    bus.publish(bus.events().front());
    EXPECT_EQ(received, oldest);
    EXPECT_EQ(bus.events().back(), oldest);
}

TEST(ActivityEventBusTest, HandlerRunsAfterStoringAndMayPublishAgain) {
    ActivityEventBus bus;
    std::vector<double> handled;
    bus.onEvent = [&](const ActivityEvent& e) {
        EXPECT_TRUE(!bus.events().empty() && bus.events().back() == e);
        const double t = e.timestamp.secondsSince2001;
        handled.push_back(t);
        if (t < 100) {
            bus.publishSilently(eventAt(t + 1000));
            bus.publish(eventAt(t + 100));
        }
        EXPECT_EQ(e.timestamp.secondsSince2001, t);  // still valid after the list changed under it
    };
    bus.publish(eventAt(1));
    EXPECT_EQ(stamps(bus.events()), (std::vector<double>{1, 1001, 101}));
    EXPECT_EQ(handled, (std::vector<double>{1, 101}));
}

TEST(ActivityEventBusTest, TimeWindowsIncludeTheirBounds) {
    ActivityEventBus bus;
    for (double t : {10.0, 20.0, 15.0, 30.0, 19.999}) bus.publish(eventAt(t));
    const std::tuple<double, double, std::vector<double>> cases[] = {
        {10, 20, {10, 20, 15, 19.999}}, {15, 15, {15}}, {30.0001, 40, {}}, {20, 10, {}}};
    for (const auto& [start, end, between] : cases)
        EXPECT_EQ(stamps(bus.eventsBetween(Date{start}, Date{end})), between) << start;
    EXPECT_EQ(stamps(bus.eventsSince(Date{20})), (std::vector<double>{20, 30}));
}

TEST(ActivityEventBusTest, PrivateWindowsInTheBrowsersCommonLanguages) {
    const std::pair<const char*, bool> cases[] = {
        {"Navigation privée — Mozilla Firefox", true},
        {"Nueva pestaña - Chromium (Incógnito)", true},
        {"NAVEGACIÓN PRIVADA — Mozilla Firefox", true},
        {"Privater Modus — Mozilla Firefox", true},
        {"Neuer Tab - Chromium (Inkognito)", true},
        {"Navigazione anonima — Mozilla Firefox", true},
        {"Nuova scheda - Google Chrome (in incognito)", true},
        {"Navegação privativa — Mozilla Firefox", true},
        {"Nova guia - Google Chrome (anônima)", true},
        {"Приватный просмотр — Mozilla Firefox", true},
        {"Новая вкладка - Chromium (Инкогнито)", true},
        {"プライベートブラウジング — Mozilla Firefox", true},
        {"新しいタブ - Google Chrome (シークレット)", true},
        {"隐私浏览 — Mozilla Firefox", true},
        {"新标签页 - Google Chrome (无痕模式)", true},
        {"新分頁 - Google Chrome (無痕式視窗)", true},
        {"Private equity notes", true},  // the English rule stays as broad as it was
        {"Sociedade Anônima — relatório anual", false},
        {"Navigation — Mozilla Firefox", false},
        {"Новости - Chromium", false},
        {"シークレットガーデン - Wikipedia", false},
        {"Le secret de la navigation - Chromium", false},
    };
    for (const auto& [title, isPrivate] : cases) {
        EXPECT_EQ(ActivityEventBus::isPrivateWindowTitle(title), isPrivate) << title;
        ActivityEventBus bus;
        bus.publish(eventAt(1, appNamed("Firefox"), std::string(title)));
        EXPECT_EQ(bus.events().size(), isPrivate ? 0u : 1u) << title;
    }
}

TEST(ActivityEventBusTest, ChromiumFamilyWindowsCannotShowTheyArePrivate) {
    const std::pair<ProcessIdentity, bool> cases[] = {
        {appNamed("Chromium", "chromium"), true},           {appNamed("Google Chrome", "google-chrome"), true},
        {appNamed("Brave Web Browser", "brave-browser"), true}, {appNamed("Microsoft Edge", "microsoft-edge"), true},
        {appNamed("Vivaldi", "vivaldi-stable"), true},     {appNamed("chromium"), true},
        {appNamed("Firefox ESR", "firefox-esr"), false},   {appNamed("Web", "org.gnome.Epiphany"), false},
        {appNamed("Text Editor", "org.gnome.TextEditor"), false}, {appNamed("Chromium", "chromium", true), false},
    };
    for (const auto& [app, hides] : cases)
        EXPECT_EQ(ActivityEventBus::hidesPrivateWindows(app), hides) << app.displayName;
}
