#include "engine/support/Utf8.h"

#include <utf8proc.h>

namespace velmora::utf8 {

namespace {

// Decodes one code point at `pos`; returns its length, or -1 with cp = U+FFFD over one byte when invalid.
utf8proc_ssize_t next(std::string_view text, std::size_t pos, utf8proc_int32_t& cp) {
    const auto* p = reinterpret_cast<const utf8proc_uint8_t*>(text.data() + pos);
    const utf8proc_ssize_t n = utf8proc_iterate(p, static_cast<utf8proc_ssize_t>(text.size() - pos), &cp);
    if (n < 0) {
        cp = 0xFFFD;
        return -1;
    }
    return n;
}

void append(std::string& out, utf8proc_int32_t cp) {
    utf8proc_uint8_t buf[4];
    const auto n = utf8proc_encode_char(cp, buf);
    out.append(reinterpret_cast<const char*>(buf), static_cast<std::size_t>(n));
}

bool isSpace(utf8proc_int32_t cp) {
    if (cp == '\t' || cp == '\n' || cp == '\v' || cp == '\f' || cp == '\r' || cp == 0x85) return true;
    const auto cat = utf8proc_category(cp);
    return cat == UTF8PROC_CATEGORY_ZS || cat == UTF8PROC_CATEGORY_ZL || cat == UTF8PROC_CATEGORY_ZP;
}

// Byte offsets of grapheme-cluster boundaries; calls f(start, end) for each cluster until f returns false.
template <class F>
void forEachCluster(std::string_view text, F f) {
    std::size_t pos = 0, start = 0;
    utf8proc_int32_t prev = -1;
    utf8proc_int32_t state = 0;
    while (pos < text.size()) {
        utf8proc_int32_t cp;
        utf8proc_ssize_t n = next(text, pos, cp);
        const std::size_t len = n < 0 ? 1 : static_cast<std::size_t>(n);
        if (prev != -1 && utf8proc_grapheme_break_stateful(prev, cp, &state)) {
            if (!f(start, pos)) return;
            start = pos;
        }
        prev = cp;
        pos += len;
    }
    if (prev != -1) f(start, pos);
}

}  // namespace

std::string sanitize(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t pos = 0;
    while (pos < text.size()) {
        utf8proc_int32_t cp;
        const auto n = next(text, pos, cp);
        if (n < 0) {
            append(out, 0xFFFD);
            pos += 1;
        } else {
            out.append(text.substr(pos, static_cast<std::size_t>(n)));
            pos += static_cast<std::size_t>(n);
        }
    }
    return out;
}

std::size_t characterCount(std::string_view text) {
    std::size_t count = 0;
    forEachCluster(text, [&](std::size_t, std::size_t) {
        ++count;
        return true;
    });
    return count;
}

std::string prefixCharacters(std::string_view text, std::size_t n) {
    std::size_t end = 0, taken = 0;
    if (n == 0) return {};
    forEachCluster(text, [&](std::size_t, std::size_t e) {
        end = e;
        return ++taken < n;
    });
    return std::string(text.substr(0, end));
}

std::string trim(std::string_view text) {
    std::size_t start = 0;
    while (start < text.size()) {
        utf8proc_int32_t cp;
        const auto n = next(text, start, cp);
        if (n < 0 || !isSpace(cp)) break;
        start += static_cast<std::size_t>(n);
    }
    std::size_t end = start, pos = start;
    while (pos < text.size()) {
        utf8proc_int32_t cp;
        const auto n = next(text, pos, cp);
        const std::size_t len = n < 0 ? 1 : static_cast<std::size_t>(n);
        pos += len;
        if (n < 0 || !isSpace(cp)) end = pos;
    }
    return std::string(text.substr(start, end - start));
}

std::string lower(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t pos = 0;
    while (pos < text.size()) {
        const unsigned char c = static_cast<unsigned char>(text[pos]);
        if (c < 0x80) {  // fast path for ASCII
            out.push_back(c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : static_cast<char>(c));
            ++pos;
            continue;
        }
        utf8proc_int32_t cp;
        const auto n = next(text, pos, cp);
        if (n < 0) {
            out.push_back(text[pos]);  // keep invalid bytes as they are
            pos += 1;
            continue;
        }
        append(out, utf8proc_tolower(cp));
        pos += static_cast<std::size_t>(n);
    }
    return out;
}

std::string shorten(std::string_view text, std::size_t limit, std::size_t keep) {
    std::string t = trim(text);
    if (characterCount(t) <= limit) return t;
    return prefixCharacters(t, keep) + "\u2026";
}

bool containsIgnoringCase(std::string_view haystack, std::string_view needle) {
    return lower(haystack).find(lower(needle)) != std::string::npos;
}

}  // namespace velmora::utf8
