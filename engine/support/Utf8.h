#pragma once
// Text helpers on grapheme clusters, which is what a user counts as a character.
#include <cstddef>
#include <string>
#include <string_view>

namespace velmora::utf8 {

// Replaces invalid byte sequences with U+FFFD.
std::string sanitize(std::string_view text);
// Number of grapheme clusters.
std::size_t characterCount(std::string_view text);
// The first n grapheme clusters.
std::string prefixCharacters(std::string_view text, std::size_t n);
// Removes Unicode white space and newlines at both ends.
std::string trim(std::string_view text);
// Lower-cases every code point (simple case mapping).
std::string lower(std::string_view text);
// Trims, then cuts to `keep` characters followed by "…" when longer than `limit` characters.
std::string shorten(std::string_view text, std::size_t limit, std::size_t keep);
// Case-insensitive ASCII substring test on already lower-cased haystacks is the common case;
// this one lower-cases both sides.
bool containsIgnoringCase(std::string_view haystack, std::string_view needle);

}  // namespace velmora::utf8
