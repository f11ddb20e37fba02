#include "engine/sampling/AppCategory.h"

#include <string>

#include "engine/sampling/DesktopDaemons.h"
#include "engine/support/Text.h"
#include "engine/support/Utf8.h"

namespace velmora {

namespace {

enum class Match { contains, prefix, word, exact };

struct Keyword {
    std::string_view text;
    Match match = Match::contains;
};

// The desktop's own names sit in rows of their own after each table's common rows. Short or
// everyday words among them ("code", "console", "xterm") match only the whole name or a whole
// word, so "Barcode Reader" or "Steam Console Helper" stay where they are.
constexpr auto developerKeywords = std::to_array<Keyword>({
    {"xcode"}, {"docker"}, {"postman"}, {"terminal"}, {"iterm"}, {"warp"}, {"hyper"}, {"kitty"}, {"alacritty"},
    {"wezterm"}, {"visual studio code"}, {"code helper"}, {"antigravity"}, {"android studio"}, {"sourcetree"},
    {"github desktop"}, {"insomnia"}, {"sequel"}, {"tableplus"}, {"postico"}, {"hammerspoon"}, {"codex"},
    {"simulator"}, {"simrenderserver"}, {"simmetalhost"}, {"figma"},
    // Linux: VS Code without its desktop entry is shown by its window class "Code".
    {"code", Match::exact}, {"vscodium"}, {"konsole"}, {"tilix"}, {"ptyxis"}, {"console", Match::exact},
    {"terminator", Match::word}, {"xterm", Match::word}, {"intellij"}, {"pycharm"}, {"qt creator"}, {"dbeaver"},
});

constexpr auto aiToolsKeywords = std::to_array<Keyword>({
    {"chatgpt"}, {"claude"}, {"perplexity"}, {"copilot"}, {"midjourney"},
    {"gemini"}, {"otter"}, {"granola"}, {"dayflow"}, {"elevenlabs"},
});

constexpr auto productivityKeywords = std::to_array<Keyword>({
    {"raycast"}, {"alfred"}, {"notion"}, {"obsidian"}, {"bear"}, {"craft"}, {"things"}, {"todoist"}, {"fantastical"},
    {"typeless"}, {"buzz"}, {"superhuman"}, {"linear"}, {"asana"}, {"trello"}, {"1password"}, {"hazel"},
});

constexpr auto communicationKeywords = std::to_array<Keyword>({
    {"messages"}, {"whatsapp"}, {"slack"}, {"discord"}, {"zoom"},
    {"teams"}, {"mail"}, {"telegram"}, {"signal"}, {"facetime"},
});

constexpr auto mediaKeywords = std::to_array<Keyword>({
    {"spotify"}, {"music"}, {" tv"}, {"photos"}, {"vlc"}, {"quicktime"},
});

constexpr auto systemKeywords = std::to_array<Keyword>({
    {"springboard"}, {"chronod"}, {"posterboard"}, {"iconservicesagent"}, {"maild"}, {"coreduetd"}, {"replayd"},
    {"coreservicesd"}, {"cloudd"}, {"distnoted"}, {"useractivityd"}, {"backgroundtaskmanagementagent"}, {"akd"},
    {"containermanagerd"}, {"mdworker"}, {"mds_stores"}, {"cfprefsd"}, {"trustd"}, {"secd"}, {"nsurlsessiond"},
    {"cfnetworkagent"}, {"biomesyncd"}, {"sharingd"}, {"rapportd"}, {"bluetoothd"}, {"cloudphotod"},
    {"photoanalysisd"}, {"photolibraryd"}, {"collectionsposter"}, {"passwords"}, {"systemuiserver"}, {"widgetkit"},
    {"wifianalyticsd"},
});

bool matches(std::string_view name, const Keyword& k) {
    switch (k.match) {
        case Match::contains: return contains(name, k.text);
        case Match::prefix: return name.starts_with(k.text);
        case Match::exact: return name == k.text;
        case Match::word: return containsWholeWord(name, k.text);
    }
    return false;
}

template <std::size_t N>
bool matchesAny(std::string_view name, const std::array<Keyword, N>& table) {
    for (const auto& k : table) {
        if (matches(name, k)) return true;
    }
    return false;
}

}  // namespace

AppCategory categorize(const ProcessIdentity& identity) {
    if (identity.isSelf) return AppCategory::velmora;
    if (identity.groupingKey.starts_with("family:")) return AppCategory::browser;
    if (identity.groupingKey.starts_with("cli:")) return AppCategory::developer;
    const std::string name = utf8::lower(identity.displayName);
    if (matchesAny(name, developerKeywords)) return AppCategory::developer;
    if (matchesAny(name, aiToolsKeywords)) return AppCategory::aiTools;
    if (matchesAny(name, productivityKeywords)) return AppCategory::productivity;
    if (matchesAny(name, communicationKeywords)) return AppCategory::communication;
    if (matchesAny(name, mediaKeywords)) return AppCategory::media;
    if (matchesAny(name, systemKeywords) || isDesktopDaemon(name)) return AppCategory::system;
    if (identity.bundleID && identity.bundleID->starts_with("com.apple.")) return AppCategory::system;
    return AppCategory::other;
}

std::optional<CategoryColor> color(AppCategory category) {
    switch (category) {
        case AppCategory::browser: return CategoryColor{0.35, 0.55, 0.95};
        case AppCategory::aiTools: return CategoryColor{0.65, 0.45, 0.95};
        case AppCategory::developer: return CategoryColor{0.3, 0.75, 0.75};
        case AppCategory::productivity: return CategoryColor{0.9, 0.65, 0.3};
        case AppCategory::communication: return CategoryColor{0.4, 0.8, 0.55};
        case AppCategory::media: return CategoryColor{0.95, 0.45, 0.65};
        case AppCategory::system: return CategoryColor{0.55, 0.6, 0.65};
        case AppCategory::velmora: return CategoryColor{0.55, 0.5, 0.95};
        case AppCategory::other: return std::nullopt;
    }
    return std::nullopt;
}

}  // namespace velmora
