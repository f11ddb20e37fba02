#include "sensors/bridge/TabReport.h"

#include "engine/support/Json.h"
#include "engine/support/Utf8.h"

namespace velmora {

namespace {

// Bracket depth outside strings, so a body of brackets cannot drive the parser deep.
bool nestsDeeperThan(std::string_view text, int limit) {
    int depth = 0;
    bool inString = false, escaped = false;
    for (char c : text) {
        if (inString) {
            if (escaped) escaped = false;
            else if (c == '\\') escaped = true;
            else if (c == '"') inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > limit) return true;
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return false;
}

// At most `cap` bytes, never ending inside a multi-byte sequence.
std::string_view prefixBytes(std::string_view text, std::size_t cap) {
    if (text.size() <= cap) return text;
    std::size_t end = cap;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    return text.substr(0, end);
}

std::optional<std::string> stringField(const Json& object, const char* key) {
    const auto it = object.find(key);
    if (it == object.end() || !it->is_string()) return std::nullopt;
    // Bytes first, so counting characters never walks more than the byte cap.
    const std::string_view text = prefixBytes(it->get_ref<const std::string&>(), TabReport::fieldByteCap);
    if (text.size() <= TabReport::fieldCap) return std::string(text);  // bytes bound characters
    return utf8::prefixCharacters(text, TabReport::fieldCap);
}

}  // namespace

std::optional<TabReport> TabReport::decode(std::string_view body) {
    if (nestsDeeperThan(body, maxNesting)) return std::nullopt;
    const Json parsed = Json::parse(body.begin(), body.end(), nullptr, /*allow_exceptions=*/false);
    if (!parsed.is_object()) return std::nullopt;  // a failed parse is "discarded", not an object
    TabReport report;
    if (auto browser = stringField(parsed, "browser")) report.browser = std::move(*browser);
    report.title = stringField(parsed, "title");
    report.url = stringField(parsed, "url");
    report.host = stringField(parsed, "host");
    return report;
}

}  // namespace velmora
