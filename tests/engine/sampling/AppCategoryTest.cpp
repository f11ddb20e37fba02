#include "engine/sampling/AppCategory.h"

#include <gtest/gtest.h>

#include "engine/sampling/CategoryTotal.h"

namespace velmora {
namespace {

struct CategoryCase {
    const char* label;
    ProcessIdentity identity;
    AppCategory expected;
};

ProcessIdentity named(std::string name, std::optional<std::string> bundle = std::nullopt) {
    return ProcessIdentity{bundle ? *bundle : "name:" + name, bundle, std::move(name), {1}, false};
}

TEST(AppCategory, CategorizeFollowsSelfKeyNameAndBundleRules) {
    const std::vector<CategoryCase> cases = {
        {"self beats keywords", ProcessIdentity{"io.velmora.Velmora", std::nullopt, "Slack Helper", {1}, true},
         AppCategory::velmora},
        {"family key", ProcessIdentity{"family:dia", std::nullopt, "Spotify", {1}, false}, AppCategory::browser},
        {"cli key", ProcessIdentity{"cli:node", std::nullopt, "Node.js (Terminal)", {1}, false}, AppCategory::developer},
        {"developer keyword", named("Visual Studio Code", "code"), AppCategory::developer},
        {"case-insensitive", named("ChatGPT"), AppCategory::aiTools},
        {"developer before ai", named("Claude Code Terminal"), AppCategory::developer},
        {"productivity", named("Obsidian"), AppCategory::productivity},
        {"communication before system", named("maild"), AppCategory::communication},
        {"media", named("Spotify"), AppCategory::media},
        {"tv needs its leading space", named("TV"), AppCategory::other},
        {"tv by the apple bundle rule", named("TV", "com.apple.TV"), AppCategory::system},
        {"apple tv keyword", named("Apple TV"), AppCategory::media},
        {"system keyword", named("cfprefsd"), AppCategory::system},
        {"no keyword, no bundle", named("Frobnicator"), AppCategory::other},
        {"bundle without apple prefix", named("Frobnicator", "org.example.Frob"), AppCategory::other},
        // Linux rows.
        {"vs code by window class", named("Code"), AppCategory::developer},
        {"code inside a word", named("Barcode Reader"), AppCategory::other},
        {"konsole", named("Konsole", "org.kde.konsole"), AppCategory::developer},
        {"gnome terminal", named("Terminal", "org.gnome.Terminal"), AppCategory::developer},
        {"xterm word", named("XTerm"), AppCategory::developer},
        {"console exact", named("Console", "org.gnome.Console"), AppCategory::developer},
        {"console inside a name", named("Game Console Tools"), AppCategory::other},
        {"systemd unit", named("systemd-journald"), AppCategory::system},
        {"pipewire", named("pipewire-pulse"), AppCategory::system},
        {"gnome settings daemon", named("gsd-power"), AppCategory::system},
        {"gsd only as a prefix", named("Bugsd-tracker"), AppCategory::other},
        {"ibus daemon", named("ibus-daemon"), AppCategory::system},
        {"libusb is not ibus", named("libusb-monitor"), AppCategory::other},
        {"kwin", named("kwin_wayland"), AppCategory::system},
        {"xorg", named("Xorg"), AppCategory::system},
        {"portal", named("xdg-desktop-portal-gtk"), AppCategory::system},
        {"evolution daemon", named("evolution-calendar-factory"), AppCategory::system},
        {"evolution mail app", named("Evolution", "org.gnome.Evolution"), AppCategory::other},
    };
    for (const auto& c : cases) EXPECT_EQ(categorize(c.identity), c.expected) << c.label;
}

TEST(AppCategory, RawValuesAndColours) {
    EXPECT_EQ(allCases<AppCategory>().size(), 9u);
    EXPECT_EQ(rawValue(AppCategory::aiTools), "aiTools");
    EXPECT_EQ(enumFromRaw<AppCategory>("velmora"), AppCategory::velmora);
    EXPECT_FALSE(enumFromRaw<AppCategory>("Browser").has_value());
    EXPECT_EQ(color(AppCategory::browser), (CategoryColor{0.35, 0.55, 0.95}));
    EXPECT_EQ(color(AppCategory::velmora), (CategoryColor{0.55, 0.5, 0.95}));
    EXPECT_FALSE(color(AppCategory::other).has_value());
    for (auto c : allCases<AppCategory>()) {
        if (c != AppCategory::other) EXPECT_TRUE(color(c).has_value()) << rawValue(c);
    }
}

AppMemorySnapshot snapshot(std::string name, std::uint64_t bytes) {
    AppMemorySnapshot s;
    s.identity = named(std::move(name));
    s.footprintBytes = bytes;
    return s;
}

TEST(CategoryTotal, TotalsSumAndSortByCategoryAndApp) {
    EXPECT_TRUE(CategoryTotal::totals({}).empty());

    constexpr std::uint64_t MB = 1000 * 1000;
    const auto totals = CategoryTotal::totals({
        snapshot("Docker", 100 * MB),
        snapshot("Spotify", 300 * MB),
        snapshot("Postman", 150 * MB),
    });
    ASSERT_EQ(totals.size(), 2u);
    EXPECT_EQ(totals[0].category, AppCategory::media);
    EXPECT_EQ(totals[0].totalBytes, 300 * MB);
    EXPECT_EQ(totals[0].id(), "media");
    EXPECT_EQ(totals[1].category, AppCategory::developer);
    EXPECT_EQ(totals[1].totalBytes, 250 * MB);
    ASSERT_EQ(totals[1].apps.size(), 2u);
    EXPECT_EQ(totals[1].apps[0].identity.displayName, "Postman");
    EXPECT_EQ(totals[1].apps[1].identity.displayName, "Docker");
}

TEST(CategoryTotal, EqualFootprintsKeepInputOrder) {
    const auto totals = CategoryTotal::totals({snapshot("Slack", 5), snapshot("Discord", 5), snapshot("Zoom", 5)});
    ASSERT_EQ(totals.size(), 1u);
    ASSERT_EQ(totals[0].apps.size(), 3u);
    EXPECT_EQ(totals[0].apps[0].identity.displayName, "Slack");
    EXPECT_EQ(totals[0].apps[2].identity.displayName, "Zoom");
}

}  // namespace
}  // namespace velmora
