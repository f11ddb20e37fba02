#pragma once
// Byte-level text helpers shared by grouping, categories, the browser adapter and the stories.
#include <string>
#include <string_view>

namespace velmora {

// Inline: grouping calls it for every process on every tick.
inline bool contains(std::string_view haystack, std::string_view needle) {
    return haystack.find(needle) != std::string_view::npos;
}

// `text` with every occurrence of `part` taken out.
std::string removeAll(std::string text, std::string_view part);

// ASCII letters, digits and every byte of a multi-byte UTF-8 sequence: "média" does not hold the word "dia".
bool isWordByte(unsigned char c);

// `word` appears with no byte of a word right before or after it; `inWord` says which bytes those are.
bool containsWholeWord(std::string_view haystack, std::string_view word, bool (*inWord)(unsigned char) = isWordByte);

}  // namespace velmora
