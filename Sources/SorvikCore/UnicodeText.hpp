#pragma once
// Unicode text helpers on ICU: user-perceived characters (extended grapheme clusters).
#include <cstddef>
#include <string>
#include <string_view>

namespace sorvik::unicode {

/// Whether the bytes are well-formed UTF-8.
bool isValidUTF8(std::string_view text);
/// Number of extended grapheme clusters.
std::size_t graphemeCount(std::string_view text);
/// The first `count` grapheme clusters of the text.
std::string graphemePrefix(std::string_view text, std::size_t count);

}  // namespace sorvik::unicode
