#pragma once
#include <optional>
#include <string>
#include <string_view>

namespace velmora {

// One short, human label for "the page" a browser shows: a known AI-chat site's name, else the
// site's host, else a cleaned-up tab title. Pure; absent when nothing usable is given.
std::optional<std::string> pageLabel(std::optional<std::string_view> title, std::optional<std::string_view> url,
                                     std::optional<std::string_view> host);

// The host an address names as written (an IPv6 literal without its brackets), or nothing when
// it has none or cannot be read as an address. Bytes a browser shows unescaped are allowed.
std::optional<std::string> addressHost(std::string_view address);

// The host an address names, with every "www." removed; a scheme-less "example.com/path" is
// taken whole.
std::optional<std::string> hostWithoutWWW(std::optional<std::string_view> text);

// Titles such as "New Tab", "Untitled 3" or "Incognito" that say nothing about the page.
bool isPlaceholderTitle(std::string_view title);

}  // namespace velmora
