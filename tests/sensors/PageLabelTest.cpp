#include <gtest/gtest.h>

#include "sensors/PageLabel.h"

using namespace velmora;

namespace {

using Opt = std::optional<std::string_view>;
constexpr auto none = std::nullopt;

std::string repeat(std::string_view unit, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += unit;
    return out;
}

}  // namespace

TEST(PageLabelTest, LabelsFromAddressHostAndTitle) {
    const std::string t60 = repeat("é", 60), t61 = repeat("e\u0301", 61);  // 61 clusters, 122 code points
    const std::string cut57 = repeat("e\u0301", 57) + "\u2026";
    const std::string h70 = repeat("h", 70);
    struct Case {
        Opt title, url, host;
        std::optional<std::string> expected;
    };
    const Case cases[] = {
        // The address decides whatever the title says; "www." goes wherever it stands.
        {"Some chat", "https://www.Example.COM/a?b", none, "Example.COM"},
        {"Anything", "https://mail.www.example.org/", none, "mail.example.org"},
        {"Writing", "https://CHATGPT.com/c/1", none, "ChatGPT"},
        {none, "https://www.chat.openai.com/", none, "ChatGPT"},
        {none, "https://claude.ai/new", none, "Claude"},
        {none, "https://grok.x.ai/", none, "Grok"},
        {none, "https://sub.claude.ai/", none, "sub.claude.ai"},
        {none, "http://[::1]:8080/x", none, "::1"},
        // No scheme: the whole text, as long as it has a dot and no space.
        {"Title", "www.example.com/path", none, "example.com/path"},
        {"Title", "not a url.com", none, "Title"},
        {"Title", "", none, "Title"},
        // The host argument when the address gives nothing.
        {"Title", none, "www.perplexity.ai", "Perplexity"},
        {"Title", "garbage", "docs.example.net", "docs.example.net"},
        {"Title", none, "my site.com ", "my site.com "},
        {"Title", none, "  Sidebar  ", "Sidebar"},
        {"Title", none, h70, repeat("h", 57) + "\u2026"},
        {"Title", none, "3 TABS visible", "Title"},
        {"Title", none, "New Tab", "Title"},
        {"Title", none, "", "Title"},
        // The title alone.
        {"  Quarterly report \n", none, none, "Quarterly report"},
        {t60, none, none, t60},
        {t61, none, none, cut57},
        {"NEW TAB", none, none, none},
        {"Untitled 3", none, none, none},
        {"Settings - Privacy", none, none, none},
        {"about:blank", none, none, none},
        {"Private Browsing", none, none, none},
        {"INCOGNITO", none, none, none},
        {"Incognito mode explained", none, none, "Incognito mode explained"},
        {" \t", none, none, none},
        {none, none, none, none},
        // A host that is nothing but "www." gives way to the title, else leaves an empty label.
        {"Title", "www.", none, "Title"},
        {none, "www.", none, ""},
        // Bytes that are not UTF-8 never break anything.
        {"\xff\xfe", "http://\xc3(/", none, "\xff\xfe"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(pageLabel(c.title, c.url, c.host), c.expected)
            << c.title.value_or("-") << " | " << c.url.value_or("-") << " | " << c.host.value_or("-");
}

TEST(PageLabelTest, HostWithoutWWWAndPlaceholders) {
    EXPECT_EQ(hostWithoutWWW("https://www.www.a.org"), "a.org");
    EXPECT_EQ(hostWithoutWWW("file:///home/me/notes.txt"), "file:///home/me/notes.txt");
    EXPECT_EQ(hostWithoutWWW("no dots here"), std::nullopt);
    EXPECT_EQ(hostWithoutWWW(std::nullopt), std::nullopt);
    for (const char* title : {"Untitled \u2014 Notes", "Downloads", "Extensions \u2013 uBlock", "startpage search"})
        EXPECT_TRUE(isPlaceholderTitle(title)) << title;
    for (const char* title : {"My settings", "Incognito tabs", "private browsing tips"})
        EXPECT_FALSE(isPlaceholderTitle(title)) << title;
}
