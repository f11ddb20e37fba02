#include <gtest/gtest.h>

#include "engine/activity/AppAdapterRegistry.h"
#include "engine/activity/BrowserActivityAdapter.h"
#include "engine/sampling/ProcessGrouper.h"
#include "engine/stories/Phrasing.h"

using namespace velmora;

namespace {

using Kind = ActivityEventKind;

ProcessIdentity app(std::string name, std::optional<std::string> bundleID = std::nullopt) {
    return ProcessIdentity{bundleID && !bundleID->empty() ? *bundleID : "name:" + name, bundleID, name, {100}, false};
}

const ProcessIdentity kChrome = app("Google Chrome", "com.google.Chrome");

ActivityEvent event(Kind kind, std::optional<std::string> title, std::optional<std::string> url = std::nullopt,
                    std::optional<ProcessIdentity> who = kChrome) {
    return ActivityEvent{Uuid::random(), Date{500}, kind, std::move(who), std::move(title), std::move(url), {}, {}};
}

std::vector<StructuredSignal> signalsOf(const ActivityEvent& e) { return BrowserActivityAdapter::signalsForEvent(e, {}); }

std::string summary(const std::vector<StructuredSignal>& signals) {
    std::string out;
    for (const auto& s : signals) out += s.name + "=" + s.detail.value_or("-") + "@" + std::to_string(int(s.weight)) + ";";
    return out;
}

}  // namespace

TEST(BrowserAdapterTest, SignalsByKindTitleAndAddress) {
    const std::string example = "https://www.example.com/";
    const auto page = [](const char* url) { return event(Kind::becameFrontmost, "Page", url); };
    const auto nav = [&](const char* title) { return event(Kind::pageNavigated, title, example); };
    const std::pair<ActivityEvent, std::string> cases[] = {
        {event(Kind::titleChanged, "Cats at play - YouTube - Google Chrome"),
         "site=youtube.com@8;media_youtube=Cats at play@10;navigation=Cats at play - YouTube@8;"},
        {page("https://www.example.com/path?q=1"), "site=example.com@8;"}, {page("example.com/no-scheme"), ""},
        {page("https://mail.www.example.com/"), "site=mail.example.com@8;"},
        {page("https://user:pw@www.host.org:8080/x"), "site=host.org@8;"},
        {event(Kind::windowOpened, "Show - Netflix", "https://www.netflix.com/watch/1"),
         "site=netflix.com@8;media_video=Show - Netflix@9;navigation=Show - Netflix@8;"},
        {event(Kind::pageNavigated, std::nullopt, "https://docs.example.org/a"), "site=docs.example.org@8;navigation=@8;"},
        {event(Kind::titleChanged, "  ", ""), ""}, {nav("PRIVATE BROWSING \u2014 Safari"), ""},
        {nav("Docs \u2014 Private"), ""}, {nav("New Incognito Tab"), ""},
        {nav("Navigation privée \u2014 Mozilla Firefox"), ""}, {nav("新标签页 - Chromium (无痕模式)"), ""},
        {event(Kind::titleChanged, "Watch later - YouTube", std::nullopt, app("Search Helper")), ""},
    };
    for (const auto& [e, expected] : cases)
        EXPECT_EQ(summary(signalsOf(e)), expected) << e.windowTitle.value_or("-") << " " << e.urlString.value_or("-");
    // The event's time goes along; an empty bundle identifier is left out.
    EXPECT_EQ(signalsOf(event(Kind::titleChanged, "Notes")),
              (std::vector<StructuredSignal>{{"navigation", "Notes", Date{500}, "com.google.Chrome", 8.0}}));
    EXPECT_EQ(signalsOf(event(Kind::titleChanged, "Notes", std::nullopt, app("Firefox", ""))),
              (std::vector<StructuredSignal>{{"navigation", "Notes", Date{500}, std::nullopt, 8.0}}));
}

TEST(BrowserAdapterTest, CleanTitleStripsOnlyATrailingBrowserName) {
    const std::pair<std::string, std::string> cases[] = {
        {"Notes - ARC", "Notes"}, {"  Padded  - Brave", "Padded"}, {"Review - Safari tips - Safari", "Review - Safari tips"},
        {"Docs \u2014 Mozilla Firefox", "Docs"}, {std::string(100, 'a'), std::string(100, 'a')},
        {std::string(150, 'b'), std::string(97, 'b') + "\u2026"},
    };
    for (const auto& [title, expected] : cases) EXPECT_EQ(BrowserActivityAdapter::cleanTitle(title), expected) << title;
}

TEST(BrowserAdapterTest, BrowserTestUsesWholeWordsForShortNames) {
    const std::pair<ProcessIdentity, bool> cases[] = {
        {app("Arc"), true},           {app("Microsoft Edge"), true},  {app("Dia"), true},
        {app("Dia Helper"), true},    {app("Search Helper"), false},  {app("Knowledge Base"), false},
        {app("Media Player"), false}, {app("Firefox", ""), true},     {app("Notes", ""), false},
        {app("Research", "com.example.research"), false},            {app("Games", "com.example.arcade"), false},
        {app("Tool", "com.example.dia.app"), true},                  {app("Web", "org.gnome.Epiphany"), true},
        // Chromium's crash handler, left alone under its own name, is no browser; a helper named
        // after the browser is.
        {app("chrome_crashpad_handler", ""), false}, {app("chrome_crashpad", ""), false},
        {app("Chrome Helper", ""), true},
    };
    for (const auto& [who, browser] : cases)
        EXPECT_EQ(BrowserActivityAdapter::isBrowser(who), browser) << who.displayName << " / " << who.bundleID.value_or("-");
    EXPECT_FALSE(BrowserActivityAdapter::isBrowser(std::nullopt));
}

TEST(BrowserAdapterTest, BrowserFamilyAndSiteFromTitle) {
    const std::pair<ProcessIdentity, std::optional<std::string>> families[] = {
        {app("Safari Web Content"), "safari"},   {app("Graphics and Media"), "safari"},  {app("Web Content"), "firefox"},
        {app("isolated web co"), "firefox"},     {app("Brave Browser", ""), "brave"},    {app("Arc"), "arc"},
        {app("x", "com.google.Chrome.beta.helper"), "chrome"}, {app("x", "COM.APPLE.SAFARI"), "safari"},
        {app("x", "google-chrome-unstable"), "chrome"}, {app("Research"), std::nullopt},
        {app("Google Chrome Helper (Renderer)"), "chrome"}, {app("Terminal", "org.gnome.Terminal"), std::nullopt},
    };
    for (const auto& [who, family] : families) EXPECT_EQ(BrowserActivityAdapter::browserFamily(who), family) << who.displayName;
    // Grouping, the adapter and the phrasing name a browser alike.
    for (const auto& [name, key, shown] : {std::tuple{"chromium-browser", "family:chromium", "chromium-browser"},
                                           std::tuple{"msedge", "family:edge", "msedge"},
                                           std::tuple{"WebKitWebProcess", "family:safari", "Safari"},
                                           std::tuple{"chrome", "family:chrome", "Google Chrome"}}) {
        const auto grouped = ProcessGrouper::group({RawProcess{5, name, std::nullopt, 1, std::nullopt, 0, true, false}},
                                                   true, SelfProcess{1, std::nullopt});
        ASSERT_EQ(grouped.size(), 1u);
        const auto family = BrowserActivityAdapter::browserFamily(app(name));
        EXPECT_EQ(std::tuple(grouped[0].identity.groupingKey, "family:" + family.value_or("none"), friendlyAppName(name)),
                  std::tuple(std::string(key), std::string(key), std::string(shown))) << name;
    }

    const std::pair<const char*, std::optional<std::string>> sites[] = {
        {"Inbox (3) - Gmail", "mail.google.com"}, {"Home / Twitter", "x.com"},    {"Home / X.com", "x.com"},
        {"status on mobile.x.com", "x.com"},      {"r/cpp on Reddit", "reddit.com"}, {"Untitled", std::nullopt},
        {"Netflix.com - Stranger Things", "netflix.com"}, {"Shared with you - dropbox.com", std::nullopt},
    };
    for (const auto& [title, host] : sites) EXPECT_EQ(BrowserActivityAdapter::siteFromTitle(title), host) << title;
}

TEST(AdapterRegistryTest, SemanticEventsInAdapterAndSignalOrder) {
    const AppAdapterRegistry registry{{std::make_shared<BrowserActivityAdapter>(), std::make_shared<BrowserActivityAdapter>()}};
    const auto e = event(Kind::titleChanged, "Clip - YouTube", "https://www.youtube.com/watch?v=1");
    std::string got;
    for (const auto& d : registry.semanticEvents(e, {})) {
        got += std::string(rawValue(d.kind)) + "/" + d.semanticLabel.value_or("-") + "=" + d.detail.value_or("-") + ";";
        EXPECT_EQ(d, (ActivityEvent{d.id, e.timestamp, d.kind, e.app, e.windowTitle, e.urlString, d.detail, d.semanticLabel}));
        EXPECT_NE(d.id, e.id);
    }
    const std::string once = "siteActivity/site=youtube.com;mediaLikelyPlaying/media_youtube=Clip;"
                             "pageNavigated/navigation=Clip - YouTube;";
    EXPECT_EQ(got, once + once);
    EXPECT_TRUE(registry.semanticEvents(event(Kind::titleChanged, "Notes", {}, app("Notes")), {}).empty());
    EXPECT_FALSE(BrowserActivityAdapter::makeEvent({"Site", "a", Date{}, std::nullopt, 8.0}, e).has_value());
}
