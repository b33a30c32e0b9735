#pragma once
// Reading a document in bounded pieces, for library files far larger than their records. The
// root and the arrays among its members are followed by a small scanner as the text streams
// past through a window; every other value (a record, say) is cut out whole and parsed on its
// own. Memory holds the window and the largest such value, not the whole text. The contract
// is readDocument's: every value validated, the same decoding errors and paths, a syntax
// error anywhere first, nothing but whitespace after the document.
#include <cstddef>
#include <memory>
#include <optional>
#include <string_view>
#include <utility>

#include "SorvikCore/JsonReader.hpp"

namespace sorvik::json {

/// The bytes the window starts with; it grows to hold a larger value whole.
inline constexpr std::size_t pieceWindow = std::size_t{1} << 20;

/// Fills the buffer with the next bytes of the text and gives how many; 0 at its end.
using ReadSome = FunctionRef<std::size_t(char* into, std::size_t room)>;

/// Reads the text `read` gives, in pieces, and hands its root value to decodeRoot.
void readDocumentInPieces(ReadSome read, std::string_view root, FunctionRef<void(Value&, const Path&)> decodeRoot,
                          std::size_t window = pieceWindow);

template <typename Decode>
auto readDocumentInPieces(ReadSome read, std::string_view root, Decode decode, std::size_t window = pieceWindow) {
    using T = decltype(decode(std::declval<Value&>(), std::declval<const Path&>()));
    std::optional<T> out;
    readDocumentInPieces(read, root, FunctionRef<void(Value&, const Path&)>([&](Value& value, const Path& path) {
                             out.emplace(decode(value, path));
                         }),
                         window);
    return std::move(*out);
}

namespace detail {

/// Throws the SyntaxError for `what` at byte `position` of the text.
[[noreturn]] void syntaxErrorAt(std::size_t position, std::string_view what);

/// Parses one value cut out of a larger text, as readDocument would read it in place.
class PieceParser {
public:
    PieceParser();
    ~PieceParser();
    PieceParser(const PieceParser&) = delete;
    PieceParser& operator=(const PieceParser&) = delete;

    /// The value that is exactly `text` (readable up to `capacity` bytes from its start, at
    /// least readPadding past it), which starts at byte `offset` of the whole text and sits
    /// at nesting `depth`. Valid until finish().
    Value& parse(std::string_view text, std::size_t capacity, std::size_t offset, int depth);
    /// Validates what the value's reader left unread.
    void finish();

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace detail

}  // namespace sorvik::json
