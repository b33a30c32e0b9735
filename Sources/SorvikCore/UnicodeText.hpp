#pragma once
// Unicode text helpers on ICU: user-perceived characters (extended grapheme clusters).
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sorvik::unicode {

/// Whether the bytes are well-formed UTF-8.
bool isValidUTF8(std::string_view text);
/// The text of a file's bytes: well-formed UTF-8 without a leading byte-order mark, or UTF-32
/// or UTF-16 of either byte order that starts with its byte-order mark (without one, almost any
/// even number of bytes would "decode"), as UTF-8. None for anything else, and for a text that
/// holds U+0000 (what UTF-16 or UTF-32 without a mark reads as in UTF-8).
std::optional<std::string> decodeText(std::string bytes);
/// Number of extended grapheme clusters.
std::size_t graphemeCount(std::string_view text);
/// The first `count` grapheme clusters of the text.
std::string graphemePrefix(std::string_view text, std::size_t count);

/// Removes white space and newlines (the Unicode White_Space property) from both ends.
std::string_view trimWhitespaceAndNewlines(std::string_view text);
/// Splits at every line feed, vertical tab, form feed, carriage return, U+0085, U+2028 and
/// U+2029; each is a separator of its own (CR LF leaves an empty line between).
std::vector<std::string_view> splitLines(std::string_view text);

}  // namespace sorvik::unicode
