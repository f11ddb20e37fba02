#include "engine/sampling/AppCategory.h"

#include <gtest/gtest.h>

#include "engine/detection/NoiseFilter.h"
#include "engine/sampling/CategoryTotal.h"

namespace velmora {
namespace {

ProcessIdentity named(std::string name, std::optional<std::string> bundle = std::nullopt) {
    return ProcessIdentity{bundle ? *bundle : "name:" + name, bundle, std::move(name), {1}, false};
}

TEST(AppCategory, CategoriesFollowSelfKeyNameAndBundleRulesAndHaveTheirColours) {
    const std::pair<ProcessIdentity, AppCategory> cases[] = {
        {{"io.velmora.Velmora", std::nullopt, "Slack Helper", {1}, true}, AppCategory::velmora},
        {{"family:dia", std::nullopt, "Spotify", {1}, false}, AppCategory::browser},
        {{"cli:node", std::nullopt, "Node.js (Terminal)", {1}, false}, AppCategory::developer},
        {named("Claude Code Terminal"), AppCategory::developer},  // developer before aiTools
        {named("ChatGPT"), AppCategory::aiTools}, {named("Obsidian"), AppCategory::productivity},
        {named("maild"), AppCategory::communication},  // communication before system
        {named("Spotify"), AppCategory::media}, {named("Apple TV"), AppCategory::media},
        {named("TV"), AppCategory::other},  // the keyword is " tv"
        {named("TV", "com.apple.TV"), AppCategory::system}, {named("cfprefsd"), AppCategory::system},
        {named("Frobnicator", "org.example.Frob"), AppCategory::other},
        // The desktop's own names; short words count only whole or as a prefix.
        {named("Code"), AppCategory::developer}, {named("Barcode Reader"), AppCategory::other},
        {named("Console", "org.gnome.Console"), AppCategory::developer}, {named("XTerm"), AppCategory::developer},
        {named("Game Console Tools"), AppCategory::other}, {named("Xorg"), AppCategory::system},
        {named("systemd-journald"), AppCategory::system}, {named("gsd-power"), AppCategory::system},
        {named("Bugsd-tracker"), AppCategory::other}, {named("libusb-monitor"), AppCategory::other},
        {named("Evolution", "org.gnome.Evolution"), AppCategory::other},
    };
    for (const auto& [identity, expected] : cases) EXPECT_EQ(categorize(identity), expected) << identity.displayName;

    EXPECT_EQ(allCases<AppCategory>().size(), 9u);
    EXPECT_EQ(enumFromRaw<AppCategory>("aiTools"), AppCategory::aiTools);
    EXPECT_FALSE(enumFromRaw<AppCategory>("Browser").has_value());
    EXPECT_EQ(color(AppCategory::browser), (CategoryColor{0.35, 0.55, 0.95}));
    EXPECT_EQ(color(AppCategory::velmora), (CategoryColor{0.55, 0.5, 0.95}));
    EXPECT_FALSE(color(AppCategory::other).has_value());
}

TEST(CategoryTotal, TotalsSumAndSortByCategoryAndApp) {
    EXPECT_TRUE(CategoryTotal::totals({}).empty());
    constexpr std::uint64_t MB = 1000 * 1000;
    auto app = [](std::string name, std::uint64_t bytes) {
        return AppMemorySnapshot{named(std::move(name)), bytes, {}, {}, false, {}, {}};
    };
    // Equal totals keep the order their categories first appeared in.
    const auto totals = CategoryTotal::totals({app("Docker", 100 * MB), app("Spotify", 300 * MB), app("cfprefsd", 15),
                                               app("Postman", 150 * MB), app("Slack", 5), app("Discord", 5),
                                               app("Zoom", 5)});
    ASSERT_EQ(totals.size(), 4u);
    EXPECT_EQ(totals[0].category, AppCategory::media);
    EXPECT_EQ(totals[0].totalBytes, 300 * MB);
    EXPECT_EQ(totals[1].category, AppCategory::developer);
    EXPECT_EQ(totals[1].totalBytes, 250 * MB);
    ASSERT_EQ(totals[1].apps.size(), 2u);
    EXPECT_EQ(totals[1].apps[0].identity.displayName, "Postman");
    EXPECT_EQ(totals[2].category, AppCategory::system);
    EXPECT_EQ(totals[3].totalBytes, 15u);
    std::vector<std::string> equal;  // equal footprints keep their order
    for (const auto& a : totals[3].apps) equal.push_back(a.identity.displayName);
    EXPECT_EQ(equal, (std::vector<std::string>{"Slack", "Discord", "Zoom"}));
}

// The ignore-list and the categories read one list of the desktop's daemons: each daemon is both
// hidden and system, and an app merely named like one is neither.
TEST(AppCategory, DesktopDaemonsAreIgnoredAndSystemAlike) {
    const std::pair<const char*, bool> rows[] = {
        {"xfwm4", true}, {"xfce4-panel", true}, {"ksmserver", true}, {"pipewire-pulse", true},
        {"evolution-alar", false},   // shorter than the kernel's cut: another name
        {"evolution-alarm", true},   // evolution-alarm-notify as the kernel cuts it
        {"goa-daemon", true}, {"systemdgenie", false}, {"xfwm4-themes", false}};
    for (const auto& [name, daemon] : rows) {
        const ProcessIdentity who = named(name);
        EXPECT_EQ(std::pair(NoiseFilter::isNoise(who), categorize(who) == AppCategory::system), std::pair(daemon, daemon))
            << name;
    }
}

}  // namespace
}  // namespace velmora
