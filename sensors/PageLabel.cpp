#include "sensors/PageLabel.h"

#include <algorithm>
#include <array>
#include <utility>

#include <uriparser/Uri.h>

#include "engine/activity/BrowserActivityAdapter.h"
#include "engine/support/Text.h"
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

bool looksLikeHost(std::string_view text) { return contains(text, ".") && !contains(text, " "); }

bool isAsciiAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isAsciiDigit(char c) { return c >= '0' && c <= '9'; }
bool isHexDigit(char c) { return isAsciiDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
int hexValue(char c) { return isAsciiDigit(c) ? c - '0' : (c | 0x20) - 'a' + 10; }
bool isBeyondAscii(char c) { return static_cast<unsigned char>(c) >= 0x80; }

// "%" and two hex digits at `i`.
bool isEscapeAt(std::string_view text, std::size_t i) {
    return text[i] == '%' && i + 2 < text.size() && isHexDigit(text[i + 1]) && isHexDigit(text[i + 2]);
}

// What may stand unescaped in a path, query or fragment besides an escape.
bool allowedAfterHost(char c) {
    return isAsciiAlpha(c) || isAsciiDigit(c) || contains("-._~!$&'()*+,;=:@/?", std::string_view(&c, 1));
}

void appendEscaped(std::string& out, char c) {
    static constexpr char hex[] = "0123456789ABCDEF";
    const auto byte = static_cast<unsigned char>(c);
    out += {'%', hex[byte >> 4], hex[byte & 15]};
}

// Where the part after the scheme begins: 0 without a scheme.
std::size_t afterScheme(std::string_view text) {
    if (text.empty() || !isAsciiAlpha(text[0])) return 0;
    std::size_t i = 1;
    while (i < text.size() && (isAsciiAlpha(text[i]) || isAsciiDigit(text[i]) || contains("+-.", text.substr(i, 1)))) ++i;
    return i < text.size() && text[i] == ':' ? i + 1 : 0;
}

// Browsers report addresses as the user reads them: "?filter[color]=red", "q=a|b", "{}", "^",
// letters beyond ASCII or a lone "%" stand there unescaped, and the URI grammar refuses them.
// They are escaped here so the host can still be read. Of the host itself only bytes beyond
// ASCII are (a name in another script): one wrong in another way, a space say, still fails.
std::string escapedForParsing(std::string_view text) {
    std::size_t i = afterScheme(text);
    std::string out(text.substr(0, i));
    out.reserve(text.size() + text.size() / 4);
    if (text.substr(i, 2) == "//") {
        out += "//";
        const std::size_t end = std::min(text.find_first_of("/?#", i + 2), text.size());
        // A user part ("user:pass@") is never the host, whatever it holds.
        const std::size_t at = text.substr(0, end).rfind('@');
        for (i += 2; at != std::string_view::npos && i < at; ++i)
            if (isEscapeAt(text, i) || (allowedAfterHost(text[i]) && text[i] != '@'))
                out += text[i];
            else
                appendEscaped(out, text[i]);
        for (; i < end; ++i)
            if (isBeyondAscii(text[i])) appendEscaped(out, text[i]);
            else out += text[i];
    }
    bool inFragment = false;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        const bool keep = c == '%' ? isEscapeAt(text, i) : allowedAfterHost(c) || (c == '#' && !inFragment);
        inFragment = inFragment || c == '#';
        if (keep) out += c;
        else appendEscaped(out, c);
    }
    return out;
}

// A host with the bytes beyond ASCII it was written with; none when they are no UTF-8.
std::optional<std::string> unescapedHost(std::string_view host) {
    std::string out;
    out.reserve(host.size());
    for (std::size_t i = 0; i < host.size(); ++i) {
        if (isEscapeAt(host, i) && hexValue(host[i + 1]) >= 8) {
            out += static_cast<char>(hexValue(host[i + 1]) * 16 + hexValue(host[i + 2]));
            i += 2;
        } else {
            out += host[i];
        }
    }
    if (utf8::sanitize(out) != out) return std::nullopt;
    return out;
}

std::optional<std::string_view> aiChatSiteLabel(std::string_view host) {
    const std::string key = utf8::lower(host);
    for (const auto& [siteHost, label] : kAiChatSiteLabels)
        if (siteHost == key) return label;
    return std::nullopt;
}

}  // namespace

std::optional<std::string> addressHost(std::string_view address) {
    const std::string escaped = escapedForParsing(address);
    UriUriA uri;
    const char* errorPos = nullptr;
    if (uriParseSingleUriExA(&uri, escaped.data(), escaped.data() + escaped.size(), &errorPos) != URI_SUCCESS)
        return std::nullopt;
    std::optional<std::string> host;
    if (uri.hostText.first != nullptr && uri.hostText.afterLast != uri.hostText.first)
        host = unescapedHost(std::string_view(uri.hostText.first, uri.hostText.afterLast));
    uriFreeUriMembersA(&uri);
    return host;
}

std::optional<std::string> hostWithoutWWW(std::optional<std::string_view> text) {
    if (!text || text->empty()) return std::nullopt;
    if (auto host = addressHost(*text)) return removeAll(std::move(*host), "www.");
    if (looksLikeHost(*text)) return removeAll(std::string(*text), "www.");
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
    if (!siteHost && host && looksLikeHost(*host)) siteHost = removeAll(std::string(*host), "www.");
    if (siteHost && !siteHost->empty()) {
        if (auto label = aiChatSiteLabel(*siteHost)) return std::string(*label);
        return siteHost;
    }
    if (host && !host->empty() && !isPlaceholderTitle(*host) && !contains(utf8::lower(*host), "tabs")) {
        if (contains(*host, ".")) return std::string(*host);
        return utf8::shorten(*host, kLabelLimit, kLabelKeep);
    }
    if (title) {
        std::string trimmed = utf8::trim(BrowserActivityAdapter::withoutBrowserSuffix(utf8::trim(*title)));
        if (!trimmed.empty() && !isPlaceholderTitle(trimmed)) return utf8::shorten(trimmed, kLabelLimit, kLabelKeep);
    }
    return siteHost;
}

}  // namespace velmora
