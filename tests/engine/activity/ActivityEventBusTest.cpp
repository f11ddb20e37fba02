#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "engine/activity/ActivityEventBus.h"

using namespace velmora;

namespace {

ProcessIdentity appNamed(std::string name, std::optional<std::string> bundleID = std::nullopt, bool isSelf = false) {
    return ProcessIdentity{bundleID.value_or("name:" + name), bundleID, std::move(name), {42}, isSelf};
}

ActivityEvent eventAt(double seconds, std::optional<ProcessIdentity> app = appNamed("Editor"),
                      std::optional<std::string> title = std::nullopt,
                      ActivityEventKind kind = ActivityEventKind::titleChanged) {
    ActivityEvent e;
    e.id = Uuid::random();
    e.timestamp = Date{seconds};
    e.kind = kind;
    e.app = std::move(app);
    e.windowTitle = std::move(title);
    return e;
}

std::vector<double> stamps(const std::vector<ActivityEvent>& events) {
    std::vector<double> out;
    for (const auto& e : events) out.push_back(e.timestamp.secondsSince2001);
    return out;
}

}  // namespace

struct PrivacyCase {
    const char* label;
    std::optional<ProcessIdentity> app;
    std::optional<std::string> title;
    bool sensitive;
};

TEST(ActivityEventBusTest, PrivacyGate) {
    const std::vector<PrivacyCase> cases{
        {"plain app, plain title", appNamed("Editor"), "notes.txt", false},
        {"plain app, no title", appNamed("Editor"), std::nullopt, false},
        {"bank name any case", appNamed("My BaNk Of Somewhere"), std::nullopt, true},
        {"bank name upper", appNamed("BANK OF ÅLAND"), "Home", true},
        {"name word needs its space", appNamed("Bankoffice"), std::nullopt, false},
        {"password word in name", appNamed("Passwords and Keys"), std::nullopt, true},
        {"Kelvin sign lowers to k", appNamed("\u212A" "EEPER"), std::nullopt, true},
        {"health identifier capitalised", appNamed("Fitness", "com.apple.Health"), std::nullopt, true},
        {"health identifier lower", appNamed("Fitness", "com.apple.health"), std::nullopt, true},
        {"identifier prefix only", appNamed("Fitness", "com.apple.HealthKit"), std::nullopt, false},
        {"identifier prefix caught by name", appNamed("Health Records", "com.apple.HealthKit"), std::nullopt, true},
        {"identifier is case-sensitive", appNamed("Chat", "com.apple.mobilesms"), std::nullopt, false},
        {"linux password manager id", appNamed("Vault", "org.keepassxc.KeePassXC"), std::nullopt, true},
        {"incognito any case", appNamed("Chromium"), "New Tab - Chromium (INCOGNITO)", true},
        {"inprivate", appNamed("Edge"), "Start - InPrivate", true},
        {"private with dotted capital I", appNamed("Firefox"), "Mozilla Firefox PR\u0130VATE Browsing", true},
        {"invalid UTF-8 around the word", appNamed("Firefox"), "\xff\xfe Incognito \xc3", true},
        {"invalid UTF-8 harmless title", appNamed("Firefox"), "\xff\xfe\xc3", false},
        {"self is never sensitive", appNamed("Velmora", "velmora", true), "Private notes", false},
        {"self beats a sensitive name", appNamed("Password check", std::nullopt, true), std::nullopt, false},
        {"no app, private title", std::nullopt, "Incognito tab", true},
        {"no app, plain title", std::nullopt, "Report.pdf", false},
        {"no app, no title", std::nullopt, std::nullopt, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ActivityEventBus::isSensitive(c.app, c.title), c.sensitive) << c.label;
        if (c.app) {
            EXPECT_EQ(ActivityEventBus::isSensitive(*c.app, c.title), c.sensitive) << c.label;
        }

        ActivityEventBus bus;
        int calls = 0;
        bus.onEvent = [&](const ActivityEvent&) { ++calls; };
        bus.publish(eventAt(1, c.app, c.title));
        EXPECT_EQ(bus.events().size(), c.sensitive ? 0u : 1u) << c.label;
        EXPECT_EQ(calls, c.sensitive ? 0 : 1) << c.label;
        bus.publishSilently(eventAt(2, c.app, c.title));
        EXPECT_EQ(bus.events().size(), c.sensitive ? 0u : 2u) << c.label;
    }
}

TEST(ActivityEventBusTest, KeepsTheNewestTwoThousand) {
    ActivityEventBus bus;
    int changes = 0;
    bus.onChange = [&] { ++changes; };
    for (int i = 0; i < 2000; ++i) bus.publish(eventAt(i));
    ASSERT_EQ(bus.events().size(), 2000u);
    EXPECT_EQ(bus.events().front().timestamp, Date{0});
    EXPECT_EQ(changes, 2000);

    bus.publish(eventAt(2000));
    ASSERT_EQ(bus.events().size(), 2000u);
    EXPECT_EQ(bus.events().front().timestamp, Date{1});
    EXPECT_EQ(bus.events().back().timestamp, Date{2000});

    for (int i = 2001; i < 5000; ++i) bus.publishSilently(eventAt(i));
    ASSERT_EQ(bus.events().size(), 2000u);
    EXPECT_EQ(bus.events().front().timestamp, Date{3000});
    EXPECT_EQ(bus.events().back().timestamp, Date{4999});
    EXPECT_EQ(changes, 5000);
}

TEST(ActivityEventBusTest, HandlerSeesTheEventAlreadyStored) {
    ActivityEventBus bus;
    const ActivityEvent sent = eventAt(5);
    std::vector<std::size_t> sizesSeen;
    std::optional<ActivityEvent> received;
    bus.onEvent = [&](const ActivityEvent& e) {
        sizesSeen.push_back(bus.events().size());
        EXPECT_EQ(bus.events().back(), e);
        received = e;
    };
    bus.publish(sent);
    EXPECT_EQ(sizesSeen, std::vector<std::size_t>{1});
    EXPECT_EQ(received, sent);

    bus.publishSilently(eventAt(6));
    EXPECT_EQ(sizesSeen.size(), 1u) << "publishSilently must not call onEvent";
}

TEST(ActivityEventBusTest, HandlerMayPublishAgain) {
    ActivityEventBus bus;
    std::vector<double> handled;
    bus.onEvent = [&](const ActivityEvent& e) {
        handled.push_back(e.timestamp.secondsSince2001);
        const double t = e.timestamp.secondsSince2001;
        if (t < 100) {
            bus.publishSilently(eventAt(t + 1000));  // a derived event
            bus.publish(eventAt(t + 100));           // and one that comes back through onEvent
        }
        // The event handed in stays valid while the list changes under it.
        EXPECT_EQ(e.timestamp.secondsSince2001, t);
    };
    bus.publish(eventAt(1));
    EXPECT_EQ(stamps({bus.events().begin(), bus.events().end()}), (std::vector<double>{1, 1001, 101}));
    EXPECT_EQ(handled, (std::vector<double>{1, 101}));
}

TEST(ActivityEventBusTest, ReentrantPublishingAtTheLimitLosesNothingNew) {
    ActivityEventBus bus;
    for (int i = 0; i < 2000; ++i) bus.publishSilently(eventAt(i));
    bus.onEvent = [&](const ActivityEvent& e) {
        // The triggering event is the one trimming would remove next once enough arrive.
        for (int k = 0; k < 3; ++k) bus.publishSilently(eventAt(e.timestamp.secondsSince2001 + 1 + k));
        EXPECT_EQ(e.timestamp, Date{10000});
    };
    bus.publish(eventAt(10000));
    ASSERT_EQ(bus.events().size(), 2000u);
    const auto& events = bus.events();
    EXPECT_EQ(stamps({events.end() - 4, events.end()}), (std::vector<double>{10000, 10001, 10002, 10003}));
    EXPECT_EQ(events.front().timestamp, Date{4});
}

TEST(ActivityEventBusTest, HandlerMayReplaceItself) {
    ActivityEventBus bus;
    int first = 0, second = 0;
    bus.onEvent = [&](const ActivityEvent&) {
        ++first;
        bus.onEvent = [&](const ActivityEvent&) { ++second; };
    };
    bus.publish(eventAt(1));
    bus.publish(eventAt(2));
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 1);
}

TEST(ActivityEventBusTest, RepublishingAStoredEventAtTheLimit) {
    ActivityEventBus bus;
    for (int i = 0; i < 2000; ++i) bus.publishSilently(eventAt(i));
    std::optional<ActivityEvent> received;
    bus.onEvent = [&](const ActivityEvent& e) { received = e; };
    const ActivityEvent oldest = bus.events().front();
    bus.publish(bus.events().front());  // trimming removes the very element passed in
    ASSERT_TRUE(received);
    EXPECT_EQ(*received, oldest);
    EXPECT_EQ(bus.events().back(), oldest);
}

TEST(ActivityEventBusTest, TimeWindowsIncludeTheirBounds) {
    ActivityEventBus bus;
    for (double t : {10.0, 20.0, 15.0, 30.0, 19.999}) bus.publish(eventAt(t));

    struct Case {
        double start, end;
        std::vector<double> between;
    };
    const std::vector<Case> cases{
        {10, 20, {10, 20, 15, 19.999}},
        {15, 15, {15}},
        {20, 30, {20, 30}},
        {30.0001, 40, {}},
        {20, 10, {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(stamps(bus.eventsBetween(Date{c.start}, Date{c.end})), c.between) << c.start << ".." << c.end;

    EXPECT_EQ(stamps(bus.eventsSince(Date{20})), (std::vector<double>{20, 30}));
    EXPECT_EQ(stamps(bus.eventsSince(Date{0})), (std::vector<double>{10, 20, 15, 30, 19.999}));
    EXPECT_TRUE(bus.eventsSince(Date{30.5}).empty());
}
