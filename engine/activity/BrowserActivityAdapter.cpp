#include "engine/activity/BrowserActivityAdapter.h"

#include <array>

#include "engine/activity/ActivityEventBus.h"
#include "engine/sampling/BrowserFamily.h"
#include "engine/support/Text.h"
#include "engine/support/Utf8.h"

namespace velmora {

namespace {

// Firefox names its child processes like this on Linux; "Web Content" would otherwise read as Safari.
constexpr std::array<std::string_view, 11> kFirefoxProcessNames{
    "web content",   "webextensions", "isolated web co", "isolated servic", "privileged cont", "file content",
    "rdd process",   "socket process", "utility process", "gpu process",    "forkserver"};

// Removed only where they end the title, in this order.
constexpr auto kTitleSuffixes = std::to_array<std::string_view>({
    " - Google Chrome", " \u2014 Google Chrome", " - Chrome", " - Safari", " \u2014 Safari",
    " - Arc",           " \u2014 Arc",           " - Dia",    " \u2014 Dia", " - Brave",
    " - Firefox",       " - Microsoft Edge",     " \u2014 Mozilla Firefox", " - Chromium",
    " - Mozilla Firefox", " \u2014 Firefox",     " - Vivaldi", " - Opera",
});

constexpr std::array<std::string_view, 3> kVideoSuffixes{" - YouTube", " \u2014 YouTube", " | YouTube"};

constexpr std::array<std::string_view, 8> kMediaWords{"vimeo", "netflix", "twitch", "disney+",
                                                      "hulu",  "prime video", "video", "watch"};

struct TitleKeyword {
    std::string_view keyword;
    std::string_view host;
    bool isHostName;  // matched as that host or one of its subdomains, never inside a longer name
};

constexpr std::array<TitleKeyword, 7> kTitleKeywords{{
    {"youtube", "youtube.com", false},
    {"gmail", "mail.google.com", false},
    {"github", "github.com", false},
    {"twitter", "x.com", false},
    {"x.com", "x.com", true},
    {"reddit", "reddit.com", false},
    {"netflix", "netflix.com", false},
}};

constexpr std::array<std::string_view, 2> kYouTubeHosts{"youtube.com", "youtu.be"};

// The host itself or a subdomain of it: "x.com" and "mobile.x.com", never "netflix.com".
bool containsHostName(std::string_view haystack, std::string_view host) {
    return containsWholeWord(haystack, host, [](unsigned char c) { return isWordByte(c) || c == '-'; });
}

char asciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

// Letter case is folded for ASCII only, so byte offsets stay those of the original text.
bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (asciiLower(a[i]) != asciiLower(b[i])) return false;
    return true;
}

std::size_t findIgnoringAsciiCase(std::string_view haystack, std::string_view needle) {
    if (needle.size() > haystack.size()) return std::string_view::npos;
    for (std::size_t i = 0; i + needle.size() <= haystack.size(); ++i)
        if (equalsIgnoringAsciiCase(haystack.substr(i, needle.size()), needle)) return i;
    return std::string_view::npos;
}

// `lowered` is already lower-case; the table rows are ASCII of any case.
bool startsWithIgnoringAsciiCase(std::string_view lowered, std::string_view prefix) {
    return lowered.size() >= prefix.size() && equalsIgnoringAsciiCase(lowered.substr(0, prefix.size()), prefix);
}

bool endsWithIgnoringAsciiCase(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() && equalsIgnoringAsciiCase(text.substr(text.size() - suffix.size()), suffix);
}

bool mentionsBrowser(std::string_view lowered) {
    if (contains(lowered, "browser")) return true;
    for (const auto& family : browserFamilies())
        if (family.namesBrowser && mentionsFamily(lowered, family)) return true;
    return false;
}

bool isNavigationKind(ActivityEventKind kind) {
    return kind == ActivityEventKind::windowOpened || kind == ActivityEventKind::titleChanged ||
           kind == ActivityEventKind::pageNavigated;
}

}  // namespace

bool BrowserActivityAdapter::isBrowser(const std::optional<ProcessIdentity>& app) {
    if (!app) return false;
    if (auto bundleID = usableBundleID(app->bundleID)) {
        for (const auto& family : browserFamilies())
            for (const auto id : family.bundleIDs)
                if (*bundleID == id) return true;
        if (mentionsBrowser(utf8::lower(*bundleID))) return true;
    }
    const std::string name = utf8::lower(app->displayName);
    return mentionsBrowser(name) && !isChromiumSharedFile(name);
}

std::optional<std::string> BrowserActivityAdapter::browserFamily(const ProcessIdentity& identity) {
    if (auto bundleID = usableBundleID(identity.bundleID)) {
        const std::string lowered = utf8::lower(*bundleID);
        for (const auto& family : browserFamilies())
            for (const auto id : family.bundleIDs)
                if (startsWithIgnoringAsciiCase(lowered, id)) return std::string(family.word);
    }
    if (isFirefoxContentProcess(identity.displayName)) return std::string("firefox");
    const std::string name = utf8::lower(identity.displayName);
    for (const auto& family : browserFamilies())
        if (namesFamily(name, family)) return std::string(family.word);
    if (contains(name, "web content") || contains(name, "graphics and media")) return std::string("safari");
    return std::nullopt;
}

bool BrowserActivityAdapter::isFirefoxContentProcess(std::string_view name) {
    for (auto row : kFirefoxProcessNames)
        if (equalsIgnoringAsciiCase(name, row)) return true;
    return false;
}

std::string_view BrowserActivityAdapter::withoutBrowserSuffix(std::string_view title) {
    for (auto suffix : kTitleSuffixes)
        if (endsWithIgnoringAsciiCase(title, suffix)) title.remove_suffix(suffix.size());
    return title;
}

std::string BrowserActivityAdapter::cleanTitle(std::string_view title) {
    std::string result(withoutBrowserSuffix(title));
    if (utf8::characterCount(result) > 100) result = utf8::prefixCharacters(result, 97) + "\u2026";
    return utf8::trim(result);
}

std::optional<std::string> BrowserActivityAdapter::siteFromTitle(std::string_view title) {
    const std::string lowered = utf8::lower(title);
    for (const auto& row : kTitleKeywords) {
        const bool found = row.isHostName ? containsHostName(lowered, row.keyword) : contains(lowered, row.keyword);
        if (found) return std::string(row.host);
    }
    return std::nullopt;
}

bool BrowserActivityAdapter::isYouTube(std::string_view title, std::string_view address) {
    if (contains(utf8::lower(title), "youtube")) return true;
    const std::string lowered = utf8::lower(address);
    for (auto host : kYouTubeHosts)
        if (contains(lowered, host)) return true;
    return false;
}

bool BrowserActivityAdapter::isMediaSite(std::string_view title, std::string_view address) {
    const std::string t = utf8::lower(title);
    const std::string a = utf8::lower(address);
    for (auto word : kMediaWords)
        if (contains(t, word) || contains(a, word)) return true;
    return false;
}

std::optional<std::string> BrowserActivityAdapter::urlHost(std::string_view address) {
    const std::size_t schemeEnd = address.find("://");
    if (schemeEnd == std::string_view::npos || schemeEnd == 0) return std::nullopt;
    const std::string_view scheme = address.substr(0, schemeEnd);
    auto schemeByte = [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '+' || c == '-' ||
               c == '.';
    };
    if (!((scheme[0] >= 'a' && scheme[0] <= 'z') || (scheme[0] >= 'A' && scheme[0] <= 'Z'))) return std::nullopt;
    for (char c : scheme)
        if (!schemeByte(c)) return std::nullopt;

    std::string_view authority = address.substr(schemeEnd + 3);
    authority = authority.substr(0, authority.find_first_of("/?#"));
    if (const auto at = authority.rfind('@'); at != std::string_view::npos) authority.remove_prefix(at + 1);

    std::string_view host;
    if (!authority.empty() && authority.front() == '[') {
        const auto close = authority.find(']');
        if (close == std::string_view::npos) return std::nullopt;
        host = authority.substr(1, close - 1);
    } else {
        host = authority.substr(0, authority.find(':'));
    }
    if (host.empty()) return std::nullopt;
    for (unsigned char c : host)
        if (c <= ' ' || c == 0x7f) return std::nullopt;
    return std::string(host);
}

std::vector<StructuredSignal> BrowserActivityAdapter::signalsForEvent(const ActivityEvent& event,
                                                                      const SamplingContext&) {
    if (!isBrowser(event.app)) return {};
    const std::string title = event.windowTitle.value_or("");
    const std::string address = event.urlString.value_or("");
    if (utf8::trim(title + " " + address).empty()) return {};
    if (ActivityEventBus::isPrivateWindowTitle(title)) return {};

    std::optional<std::string> bundleID;
    if (auto usable = usableBundleID(event.app->bundleID)) bundleID = std::string(*usable);
    std::vector<StructuredSignal> out;
    auto add = [&](std::string_view name, std::optional<std::string> detail, double weight) {
        out.push_back(StructuredSignal{std::string(name), std::move(detail), event.timestamp, bundleID, weight});
    };

    std::optional<std::string> site;
    if (auto host = urlHost(address)) {
        std::string bare = removeAll(*host, "www.");
        if (!bare.empty()) site = std::move(bare);
    }
    if (!site) site = siteFromTitle(title);
    if (site) add("site", site, 8.0);

    if (isYouTube(title, address)) {
        std::string_view videoName = title;
        for (auto suffix : kVideoSuffixes) {
            const std::size_t pos = findIgnoringAsciiCase(videoName, suffix);
            if (pos != std::string_view::npos) {
                videoName = videoName.substr(0, pos);
                break;
            }
        }
        add("media_youtube", cleanTitle(videoName), 10.0);
    } else if (isMediaSite(title, address)) {
        add("media_video", cleanTitle(title), 9.0);
    }

    if (isNavigationKind(event.kind) && (event.windowTitle || event.urlString))
        add("navigation", cleanTitle(title), 8.0);
    return out;
}

std::optional<ActivityEvent> BrowserActivityAdapter::makeEvent(const StructuredSignal& signal, const ActivityEvent& source) {
    ActivityEventKind kind;
    if (signal.name == "site") kind = ActivityEventKind::siteActivity;
    else if (signal.name == "media_youtube" || signal.name == "media_video") kind = ActivityEventKind::mediaLikelyPlaying;
    else if (signal.name == "navigation") kind = ActivityEventKind::pageNavigated;
    else return std::nullopt;
    return ActivityEvent{Uuid::random(), signal.timestamp, kind,          source.app, source.windowTitle,
                         source.urlString, signal.detail,   signal.name};
}

}  // namespace velmora
