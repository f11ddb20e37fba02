#include "engine/support/Text.h"

namespace velmora {

std::string removeAll(std::string text, std::string_view part) {
    if (part.empty()) return text;
    for (std::size_t pos = text.find(part); pos != std::string::npos; pos = text.find(part, pos)) text.erase(pos, part.size());
    return text;
}

bool isWordByte(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c >= 0x80;
}

bool containsWholeWord(std::string_view haystack, std::string_view word, bool (*inWord)(unsigned char)) {
    if (word.empty()) return false;
    for (std::size_t pos = haystack.find(word); pos != std::string_view::npos; pos = haystack.find(word, pos + 1)) {
        const bool startOk = pos == 0 || !inWord(static_cast<unsigned char>(haystack[pos - 1]));
        const std::size_t end = pos + word.size();
        const bool endOk = end == haystack.size() || !inWord(static_cast<unsigned char>(haystack[end]));
        if (startOk && endOk) return true;
    }
    return false;
}

}  // namespace velmora
