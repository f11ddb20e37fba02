#pragma once
#include <optional>
#include <string>
#include <string_view>

namespace velmora {

// What the browser extension says about the current tab.
struct TabReport {
    std::string browser = "chrome";  // the extension's short browser name
    std::optional<std::string> title;
    std::optional<std::string> url;
    std::optional<std::string> host;

    bool operator==(const TabReport&) const = default;

    // Longest kept value of each field, in characters, and in bytes: one character can carry any
    // number of combining marks. The byte cap keeps 2000 four-byte characters whole.
    static constexpr std::size_t fieldCap = 2000;
    static constexpr std::size_t fieldByteCap = 8192;
    // Deeper JSON is refused before it is parsed.
    static constexpr int maxNesting = 64;

    // A JSON object with the optional string keys "browser", "title", "url" and "host"; other
    // keys and values of other types are ignored. None for anything that is not a JSON object.
    static std::optional<TabReport> decode(std::string_view body);
};

}  // namespace velmora
