#pragma once
// The English message catalogue: every Chinese interface text and its English.
#include <optional>
#include <span>
#include <string_view>

namespace sorvik {

/// One catalogue entry. The Chinese text is its own key; placeholders are {0}, {1}, {2}.
struct MessagePair {
    std::string_view chinese;
    std::string_view english;
};

/// An entry whose English depends on where the text stands; `context` names the place.
struct ContextualPair {
    std::string_view context;
    std::string_view chinese;
    std::string_view english;
};

namespace EnglishMessages {

/// Every entry, in catalogue order. Keys are unique.
std::span<const MessagePair> values();

/// The English of a key; absent when the key is not in the catalogue.
std::optional<std::string_view> english(std::string_view key);

/// The English of a key where `context` places it; absent when that place has no entry of its own.
std::optional<std::string_view> english(std::string_view context, std::string_view key);

/// Every entry of a place of its own.
std::span<const ContextualPair> contextual();

/// Byte length of the longest key.
std::size_t longestKeyLength();

}  // namespace EnglishMessages

}  // namespace sorvik
