#include <gtest/gtest.h>

#include <memory>

#include "engine/activity/AppAdapterRegistry.h"
#include "engine/activity/BrowserActivityAdapter.h"
#include "engine/support/Utf8.h"

using namespace velmora;

namespace {

ProcessIdentity app(std::string name, std::optional<std::string> bundleID = std::nullopt) {
    const std::string key = bundleID && !bundleID->empty() ? *bundleID : "name:" + name;
    return ProcessIdentity{key, std::move(bundleID), std::move(name), {100}, false};
}

const ProcessIdentity kChrome = app("Google Chrome", "com.google.Chrome");

ActivityEvent event(ActivityEventKind kind, std::optional<ProcessIdentity> who, std::optional<std::string> title,
                    std::optional<std::string> url = std::nullopt) {
    return ActivityEvent{Uuid::random(), Date{500}, kind, std::move(who), std::move(title), std::move(url),
                         std::nullopt,   std::nullopt};
}

std::vector<std::string> names(const std::vector<StructuredSignal>& signals) {
    std::vector<std::string> out;
    for (const auto& s : signals) out.push_back(s.name);
    return out;
}

}  // namespace

TEST(BrowserAdapterTest, VideoTitleWithoutAddressGivesSiteMediaAndNavigation) {
    const auto e = event(ActivityEventKind::titleChanged, kChrome, "Cats at play - YouTube - Google Chrome");
    const auto signals = BrowserActivityAdapter::signalsForEvent(e, {});
    ASSERT_EQ(signals.size(), 3u);
    EXPECT_EQ(signals[0], (StructuredSignal{"site", "youtube.com", Date{500}, "com.google.Chrome", 8.0}));
    EXPECT_EQ(signals[1], (StructuredSignal{"media_youtube", "Cats at play", Date{500}, "com.google.Chrome", 10.0}));
    EXPECT_EQ(signals[2], (StructuredSignal{"navigation", "Cats at play - YouTube", Date{500}, "com.google.Chrome", 8.0}));
}

TEST(BrowserAdapterTest, SiteComesFromTheAddressHost) {
    struct Case {
        const char* url;
        std::optional<std::string> site;
    };
    const Case cases[] = {
        {"https://www.example.com/path?q=1", "example.com"},
        {"https://mail.www.example.com/", "mail.example.com"},
        {"https://user:pw@www.host.org:8080/x", "host.org"},
        {"http://[::1]:18765/", "::1"},
        {"example.com/no-scheme", std::nullopt},
        {"https:///nohost", std::nullopt},
        {"1ab://host/", std::nullopt},
    };
    for (const auto& c : cases) {
        const auto signals =
            BrowserActivityAdapter::signalsForEvent(event(ActivityEventKind::becameFrontmost, kChrome, "Page", c.url), {});
        std::optional<std::string> site;
        for (const auto& s : signals)
            if (s.name == "site") site = s.detail;
        EXPECT_EQ(site, c.site) << c.url;
    }
}

TEST(BrowserAdapterTest, CleanTitleStripsOnlyATrailingBrowserName) {
    const std::string hundred(100, 'a');
    const std::string long150(150, 'b');
    struct Case {
        std::string title, expected;
    };
    const Case cases[] = {
        {"Notes - Arc", "Notes"},
        {"Notes - ARC", "Notes"},
        {"Meeting - Archive notes", "Meeting - Archive notes"},
        {"Review - Safari tips - Safari", "Review - Safari tips"},
        {"Docs \u2014 Mozilla Firefox", "Docs"},
        {"Build logs - Chromium", "Build logs"},
        {"Video - YouTube - Google Chrome", "Video - YouTube"},
        {"  Padded  - Brave", "Padded"},
        {hundred, hundred},
        {long150, std::string(97, 'b') + "\u2026"},
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(BrowserActivityAdapter::cleanTitle(c.title), c.expected) << c.title;
}

TEST(BrowserAdapterTest, PrivateWindowsYieldNothingEvenWithAHost) {
    for (const char* title : {"Private Browsing", "PRIVATE BROWSING \u2014 Safari", "Docs \u2014 Private", "Docs - PRIVATE",
                              "New Incognito Tab", "InPrivate - Microsoft Edge"}) {
        const auto e = event(ActivityEventKind::pageNavigated, kChrome, title, "https://www.example.com/");
        EXPECT_TRUE(BrowserActivityAdapter::signalsForEvent(e, {}).empty()) << title;
    }
}

TEST(BrowserAdapterTest, NavigationOnlyForNavigatingKinds) {
    EXPECT_TRUE(BrowserActivityAdapter::signalsForEvent(event(ActivityEventKind::titleChanged, kChrome, std::nullopt), {})
                    .empty());
    EXPECT_TRUE(
        BrowserActivityAdapter::signalsForEvent(event(ActivityEventKind::titleChanged, kChrome, "  ", ""), {}).empty());
    const auto front =
        BrowserActivityAdapter::signalsForEvent(event(ActivityEventKind::becameFrontmost, kChrome, "Song - YouTube"), {});
    EXPECT_EQ(names(front), (std::vector<std::string>{"site", "media_youtube"}));
    const auto watch = BrowserActivityAdapter::signalsForEvent(
        event(ActivityEventKind::windowOpened, kChrome, "Show - Netflix", "https://www.netflix.com/watch/1"), {});
    EXPECT_EQ(names(watch), (std::vector<std::string>{"site", "media_video", "navigation"}));
    EXPECT_EQ(watch[1].detail, "Show - Netflix");
    // An address alone is enough for a navigation.
    const auto addressOnly = BrowserActivityAdapter::signalsForEvent(
        event(ActivityEventKind::pageNavigated, kChrome, std::nullopt, "https://docs.example.org/a"), {});
    EXPECT_EQ(names(addressOnly), (std::vector<std::string>{"site", "navigation"}));
    EXPECT_EQ(addressOnly[1].detail, "");
}

TEST(BrowserAdapterTest, BrowserTestUsesWholeWordsForShortNames) {
    struct Case {
        ProcessIdentity who;
        bool browser;
    };
    const Case cases[] = {
        {app("Arc"), true},
        {app("Microsoft Edge"), true},
        {app("Dia"), true},
        {app("Dia Helper"), true},
        {app("Search Helper"), false},
        {app("Knowledge Base"), false},
        {app("Media Player"), false},
        {app("Research", "com.example.research"), false},
        {app("Games", "com.example.arcade"), false},
        {app("Tool", "com.example.dia.app"), true},
        {app("Chromium", "chromium"), true},
        {app("Web", "org.gnome.Epiphany"), true},
        {app("Vivaldi", "vivaldi-stable"), true},
        {app("Firefox", ""), true},
        {app("Notes", ""), false},
        {app("Anything", "com.vivaldi.Vivaldi"), true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(BrowserActivityAdapter::isBrowser(c.who), c.browser)
            << c.who.displayName << " / " << c.who.bundleID.value_or("-");
    EXPECT_FALSE(BrowserActivityAdapter::isBrowser(std::nullopt));
    // A non-browser's events are not read.
    EXPECT_TRUE(BrowserActivityAdapter::signalsForEvent(
                    event(ActivityEventKind::titleChanged, app("Search Helper"), "Watch later - YouTube"), {})
                    .empty());
}

TEST(BrowserAdapterTest, BrowserFamilyOfIdentities) {
    struct Case {
        ProcessIdentity who;
        std::optional<std::string> family;
    };
    const Case cases[] = {
        {app("Safari Web Content"), "safari"},
        {app("Web Content"), "safari"},
        {app("Graphics and Media"), "safari"},
        {app("Google Chrome Helper (Renderer)"), "chrome"},
        {app("Chromium"), "chromium"},
        {app("x", "com.google.Chrome.beta.helper"), "chrome"},
        {app("x", "COM.APPLE.SAFARI"), "safari"},
        {app("x", "google-chrome-unstable"), "chrome"},
        {app("Web", "org.gnome.Epiphany"), "epiphany"},
        {app("Microsoft Edge", "microsoft-edge"), "edge"},
        {app("Brave Browser", ""), "brave"},
        {app("Arc"), "arc"},
        {app("Research"), std::nullopt},
        {app("Knowledge"), std::nullopt},
        {app("Terminal", "org.gnome.Terminal"), std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(BrowserActivityAdapter::browserFamily(c.who), c.family) << c.who.displayName;
}

TEST(BrowserAdapterTest, SiteFromTitleKeywords) {
    struct Case {
        const char* title;
        std::optional<std::string> host;
    };
    const Case cases[] = {
        {"Inbox (3) - Gmail", "mail.google.com"},
        {"Pull request #12 \u00b7 GitHub", "github.com"},
        {"Home / Twitter", "x.com"},
        {"Home / X.com", "x.com"},
        {"status on mobile.x.com", "x.com"},
        {"Netflix.com - Stranger Things", "netflix.com"},
        {"Shared with you - dropbox.com", std::nullopt},
        {"https://box.company.com", std::nullopt},
        {"r/cpp on Reddit", "reddit.com"},
        {"Untitled", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(BrowserActivityAdapter::siteFromTitle(c.title), c.host) << c.title;
}

TEST(BrowserAdapterTest, EmptyBundleIdentifierIsNotCarried) {
    const auto signals =
        BrowserActivityAdapter::signalsForEvent(event(ActivityEventKind::titleChanged, app("Firefox", ""), "Notes"), {});
    ASSERT_EQ(signals.size(), 1u);
    EXPECT_FALSE(signals[0].bundleID.has_value());
}

TEST(AdapterRegistryTest, SemanticEventsInSignalOrderAndUnknownSignalsDropped) {
    struct Odd final : AppAdapter {
        std::string_view familyName() const override { return "odd"; }
        bool handles(const ActivityEvent&) const override { return true; }
        std::vector<StructuredSignal> signals(const ActivityEvent& e, const SamplingContext&) const override {
            return {{"mystery", "x", e.timestamp, std::nullopt, 1.0}, {"site", "odd.example", e.timestamp, std::nullopt, 8.0}};
        }
    };
    AppAdapterRegistry registry;
    registry.adapters.push_back(std::make_shared<BrowserActivityAdapter>());
    registry.adapters.push_back(std::make_shared<Odd>());

    auto e = event(ActivityEventKind::titleChanged, kChrome, "Clip - YouTube", "https://www.youtube.com/watch?v=1");
    const auto out = registry.semanticEvents(e, {});
    ASSERT_EQ(out.size(), 4u);
    const ActivityEventKind kinds[] = {ActivityEventKind::siteActivity, ActivityEventKind::mediaLikelyPlaying,
                                       ActivityEventKind::pageNavigated, ActivityEventKind::siteActivity};
    const char* labels[] = {"site", "media_youtube", "navigation", "site"};
    for (std::size_t i = 0; i < out.size(); ++i) {
        EXPECT_EQ(out[i].kind, kinds[i]);
        EXPECT_EQ(out[i].semanticLabel, labels[i]);
        EXPECT_EQ(out[i].app, e.app);
        EXPECT_EQ(out[i].windowTitle, e.windowTitle);
        EXPECT_EQ(out[i].urlString, e.urlString);
        EXPECT_NE(out[i].id, e.id);
    }
    EXPECT_EQ(out[0].detail, "youtube.com");
    EXPECT_EQ(out[1].detail, "Clip");
    EXPECT_EQ(out[3].detail, "odd.example");

    EXPECT_FALSE(BrowserActivityAdapter::makeEvent({"Site", "a", Date{}, std::nullopt, 8.0}, e).has_value());
}
