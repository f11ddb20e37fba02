#include "sensors/bridge/BridgeRequest.h"

#include <charconv>
#include <vector>

#include <utf8proc.h>

#include "engine/support/Utf8.h"

namespace velmora {

namespace {

constexpr std::string_view kTerminator = "\r\n\r\n";

// Header lines: split at each CR LF, empty lines dropped; a bare LF stays inside its line.
std::vector<std::string_view> headerLines(std::string_view text) {
    std::vector<std::string_view> lines;
    for (std::size_t pos = 0; pos <= text.size();) {
        const std::size_t end = text.find("\r\n", pos);
        const std::string_view line = text.substr(pos, end == std::string_view::npos ? std::string_view::npos : end - pos);
        if (!line.empty()) lines.push_back(line);
        if (end == std::string_view::npos) break;
        pos = end + 2;
    }
    return lines;
}

bool isHorizontalSpace(std::string_view text, std::size_t pos, std::size_t& length) {
    utf8proc_int32_t cp = 0;
    const auto n = utf8proc_iterate(reinterpret_cast<const utf8proc_uint8_t*>(text.data() + pos),
                                    static_cast<utf8proc_ssize_t>(text.size() - pos), &cp);
    length = n > 0 ? static_cast<std::size_t>(n) : 1;
    return n > 0 && (cp == '\t' || utf8proc_category(cp) == UTF8PROC_CATEGORY_ZS);
}

// Space, tab and the other Unicode space separators; not line breaks.
std::string_view trimHorizontal(std::string_view text) {
    std::size_t length = 0;
    while (!text.empty() && isHorizontalSpace(text, 0, length)) text.remove_prefix(length);
    while (!text.empty()) {
        std::size_t start = text.size() - 1;  // the last character starts after its continuation bytes
        while (start > 0 && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80 && text.size() - start < 4) --start;
        if (!isHorizontalSpace(text, start, length) || start + length != text.size()) break;
        text.remove_suffix(length);
    }
    return text;
}

struct HeaderField {
    std::string name;  // lower-cased
    std::string_view value;
};

// Split at the first ":" with empty parts dropped; a field only when both name and value remain.
std::optional<HeaderField> headerField(std::string_view line) {
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos || colon == 0 || colon + 1 == line.size()) return std::nullopt;
    return HeaderField{utf8::lower(trimHorizontal(line.substr(0, colon))), trimHorizontal(line.substr(colon + 1))};
}

// Base 10 with an optional sign; none when anything else is there or it does not fit.
std::optional<std::int64_t> parseInteger(std::string_view text) {
    if (text.size() > 1 && text.front() == '+' && text[1] != '-') text.remove_prefix(1);
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 10);
    if (error != std::errc{} || end != text.data() + text.size() || text.empty()) return std::nullopt;
    return value;
}

bool isUtf8(std::string_view text) {
    for (std::size_t pos = 0; pos < text.size();) {
        utf8proc_int32_t cp = 0;
        const auto n = utf8proc_iterate(reinterpret_cast<const utf8proc_uint8_t*>(text.data() + pos),
                                        static_cast<utf8proc_ssize_t>(text.size() - pos), &cp);
        if (n <= 0) return false;
        pos += static_cast<std::size_t>(n);
    }
    return true;
}

char asciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }

}  // namespace

std::optional<std::int64_t> BridgeRequest::contentLength(std::string_view headerText) {
    for (std::string_view line : headerLines(headerText)) {
        const auto field = headerField(line);
        if (field && field->name == "content-length") return parseInteger(field->value);
    }
    return std::nullopt;
}

BridgeRequest::State BridgeRequest::append(std::string_view chunk) {
    if (state_ != State::receiving) return state_;
    buffer_.append(chunk);
    if (buffer_.size() > requestCap) {
        buffer_.clear();
        buffer_.shrink_to_fit();
        return state_ = State::tooLarge;
    }
    if (!bodyStart_) {
        const std::size_t at = buffer_.find(kTerminator, searchFrom_);
        if (at == std::string::npos) {
            // A terminator split across chunks starts at most three bytes back.
            searchFrom_ = buffer_.size() < kTerminator.size() ? 0 : buffer_.size() - (kTerminator.size() - 1);
            return state_;
        }
        headerBlockEnded(at);
    }
    if (buffer_.size() - *bodyStart_ >= bodyLength_) state_ = State::complete;
    return state_;
}

void BridgeRequest::headerBlockEnded(std::size_t terminatorAt) {
    bodyStart_ = terminatorAt + kTerminator.size();
    std::string_view header(buffer_.data(), terminatorAt);
    if (!isUtf8(header)) header = {};  // unreadable headers: no method, no body, no callback

    // A negative or overflowing length counts as none.
    const std::int64_t declared = contentLength(header).value_or(0);
    bodyLength_ = declared < 0 ? 0 : std::min(static_cast<std::uint64_t>(declared), std::uint64_t{requestCap});

    isPost_ = header.size() >= 5;
    for (std::size_t i = 0; isPost_ && i < 5; ++i) isPost_ = asciiUpper(header[i]) == "POST "[i];

    // Any web page can post to a local port, and a rebound DNS name can pose as this host.
    const std::string portText = std::to_string(servedPort_);
    trusted_ = !header.empty();
    const auto lines = headerLines(header);
    for (std::size_t i = 1; trusted_ && i < lines.size(); ++i) {
        const auto field = headerField(lines[i]);
        if (!field) continue;
        const std::string value = utf8::lower(field->value);
        if (field->name == "origin")
            trusted_ = value.starts_with("chrome-extension://") || value.starts_with("moz-extension://");
        else if (field->name == "host")
            trusted_ = value == "127.0.0.1:" + portText || value == "localhost:" + portText || value == "[::1]:" + portText;
    }
}

std::string_view BridgeRequest::payload() const {
    if (state_ != State::complete) return {};
    return std::string_view(buffer_).substr(*bodyStart_, bodyLength_);
}

}  // namespace velmora
