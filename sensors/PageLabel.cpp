#include "sensors/PageLabel.h"

#include <array>
#include <utility>

#include <uriparser/Uri.h>

#include "engine/support/Utf8.h"

namespace velmora {

namespace {

constexpr std::array<std::string_view, 9> kPlaceholderTitles{
    "untitled", "untitled \u2014", "new tab",    "new tab page", "startpage",
    "about:blank", "settings",      "extensions", "downloads"};

// Hosts on which each service offers its chat, lower case and without "www.".
constexpr std::array<std::pair<std::string_view, std::string_view>, 14> kAiChatSiteLabels{{
    {"chatgpt.com", "ChatGPT"},
    {"chat.openai.com", "ChatGPT"},
    {"claude.ai", "Claude"},
    {"gemini.google.com", "Gemini"},
    {"bard.google.com", "Gemini"},
    {"copilot.microsoft.com", "Copilot"},
    {"perplexity.ai", "Perplexity"},
    {"poe.com", "Poe"},
    {"chat.mistral.ai", "Mistral"},
    {"grok.com", "Grok"},
    {"grok.x.ai", "Grok"},
    {"huggingface.co", "Hugging Face"},
    {"chat.deepseek.com", "DeepSeek"},
    {"notebooklm.google.com", "NotebookLM"},
}};

// Shortened for display: 61 characters or more become 57 and "…".
constexpr std::size_t kLabelLimit = 60;
constexpr std::size_t kLabelKeep = 57;

bool contains(std::string_view text, std::string_view part) { return text.find(part) != std::string_view::npos; }

// Every "www.", wherever it stands.
std::string withoutWWW(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t pos = 0;;) {
        const std::size_t at = text.find("www.", pos);
        out.append(text.substr(pos, at == std::string_view::npos ? std::string_view::npos : at - pos));
        if (at == std::string_view::npos) return out;
        pos = at + 4;
    }
}

bool looksLikeHost(std::string_view text) { return contains(text, ".") && !contains(text, " "); }

std::optional<std::string> parsedHost(std::string_view text) {
    UriUriA uri;
    const char* errorPos = nullptr;
    if (uriParseSingleUriExA(&uri, text.data(), text.data() + text.size(), &errorPos) != URI_SUCCESS)
        return std::nullopt;
    std::optional<std::string> host;
    if (uri.hostText.first != nullptr && uri.hostText.afterLast != uri.hostText.first)
        host.emplace(uri.hostText.first, uri.hostText.afterLast);
    uriFreeUriMembersA(&uri);
    return host;
}

std::optional<std::string_view> aiChatSiteLabel(std::string_view host) {
    const std::string key = utf8::lower(host);
    for (const auto& [siteHost, label] : kAiChatSiteLabels)
        if (siteHost == key) return label;
    return std::nullopt;
}

}  // namespace

std::optional<std::string> hostWithoutWWW(std::optional<std::string_view> text) {
    if (!text || text->empty()) return std::nullopt;
    if (auto host = parsedHost(*text)) return withoutWWW(*host);
    if (looksLikeHost(*text)) return withoutWWW(*text);
    return std::nullopt;
}

bool isPlaceholderTitle(std::string_view title) {
    const std::string t = utf8::lower(utf8::trim(title));
    if (t.empty() || t.starts_with("untitled")) return true;
    for (std::string_view placeholder : kPlaceholderTitles)
        if (t.starts_with(placeholder)) return true;
    return t == "private browsing" || t == "incognito";
}

std::optional<std::string> pageLabel(std::optional<std::string_view> title, std::optional<std::string_view> url,
                                     std::optional<std::string_view> host) {
    std::optional<std::string> siteHost = hostWithoutWWW(url);
    if (!siteHost && host && looksLikeHost(*host)) siteHost = withoutWWW(*host);
    if (siteHost && !siteHost->empty()) {
        if (auto label = aiChatSiteLabel(*siteHost)) return std::string(*label);
        return siteHost;
    }
    if (host && !host->empty() && !isPlaceholderTitle(*host) && !contains(utf8::lower(*host), "tabs")) {
        if (contains(*host, ".")) return std::string(*host);
        return utf8::shorten(*host, kLabelLimit, kLabelKeep);
    }
    if (title) {
        std::string trimmed = utf8::trim(*title);
        if (!trimmed.empty() && !isPlaceholderTitle(trimmed)) return utf8::shorten(trimmed, kLabelLimit, kLabelKeep);
    }
    return siteHost;
}

}  // namespace velmora
