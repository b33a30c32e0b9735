#include "SorvikCore/JsonPieces.hpp"

#include <algorithm>
#include <cstring>
#include <string>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace sorvik::json {

namespace {

using detail::findQuoteOrBackslash;
using detail::PieceParser;

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

bool isStructural(char c) { return c == '"' || c == '{' || c == '}' || c == '[' || c == ']'; }

/// The first '"', '{', '}', '[' or ']' in [p, end), or end.
const char* findStructural(const char* p, const char* end) {
#if defined(__SSE2__)
    const __m128i quote = _mm_set1_epi8('"'), open = _mm_set1_epi8('['), close = _mm_set1_epi8(']'),
                  openBrace = _mm_set1_epi8('{'), closeBrace = _mm_set1_epi8('}');
    for (; end - p >= 16; p += 16) {
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i brackets = _mm_or_si128(_mm_cmpeq_epi8(chunk, open), _mm_cmpeq_epi8(chunk, close));
        const __m128i braces = _mm_or_si128(_mm_cmpeq_epi8(chunk, openBrace), _mm_cmpeq_epi8(chunk, closeBrace));
        const int mask = _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(chunk, quote), _mm_or_si128(brackets, braces)));
        if (mask != 0) return p + __builtin_ctz(static_cast<unsigned>(mask));
    }
#endif
    while (p < end && !isStructural(*p)) ++p;
    return p;
}

/// The text as it streams through a window of the bytes not yet passed over.
class Stream {
public:
    Stream(ReadSome read, std::size_t window)
        : read_(read), size_(std::max<std::size_t>(window, 64)), buffer_(new char[size_ + readPadding]()) {}

    /// Where the stream stands in the text.
    std::size_t position() const { return offset_ + at_; }
    [[noreturn]] void fail(std::string_view what) const { detail::syntaxErrorAt(position(), what); }

    /// The next byte that is not whitespace, the stream left on it; -1 at the end of the text.
    int peek() {
        for (;;) {
            while (at_ < filled_ && isSpace(buffer_[at_])) ++at_;
            if (at_ < filled_) return static_cast<unsigned char>(buffer_[at_]);
            if (!more()) return -1;
        }
    }
    void advance() { ++at_; }

    void skipByteOrderMark() {
        constexpr std::string_view bom = "\xEF\xBB\xBF";
        while (filled_ - at_ < bom.size() && more()) {
        }
        if (std::string_view(buffer_.get() + at_, filled_ - at_).starts_with(bom)) at_ += bom.size();
    }

    /// The value the stream stands on, whole, passed over: valid until the stream reads on.
    /// Containers end at their matching bracket, strings at their closing quote, anything
    /// else before whitespace or punctuation; the parser judges the rest.
    std::string_view cut() {
        const char first = buffer_[at_];
        std::size_t n = 1;  // bytes of the value from at_
        if (first == '{' || first == '[') {
            std::size_t depth = 1;
            bool inString = false;
            for (;;) {
                if (!reach(n)) fail(inString ? "Unterminated string" : "Unterminated object or array");
                const char* start = buffer_.get() + at_;
                const char* end = buffer_.get() + filled_;
                const char* p = (inString ? findQuoteOrBackslash : findStructural)(start + n, end);
                n = static_cast<std::size_t>(p - start);
                if (p == end) continue;
                if (inString) {
                    inString = *p != '"';
                    n += inString ? 2 : 1;
                    continue;
                }
                ++n;
                if (*p == '"') inString = true;
                else if (*p == '{' || *p == '[') ++depth;
                else if (--depth == 0) return take(n);
            }
        }
        if (first == '"') {
            for (;;) {
                if (!reach(n)) fail("Unterminated string");
                const char* start = buffer_.get() + at_;
                const char* end = buffer_.get() + filled_;
                const char* p = findQuoteOrBackslash(start + n, end);
                n = static_cast<std::size_t>(p - start);
                if (p == end) continue;
                if (*p == '"') return take(n + 1);
                n += 2;
            }
        }
        for (;; ++n) {
            if (!reach(n)) return take(n);
            const char c = buffer_[at_ + n];
            if (isSpace(c) || c == ',' || c == ':' || isStructural(c)) return take(n);
        }
    }

    /// The bytes readable from `p`, a byte of the window.
    std::size_t capacityFrom(const char* p) const {
        return size_ + readPadding - static_cast<std::size_t>(p - buffer_.get());
    }

private:
    /// Whether byte n from at_ is in the window, reading on for it.
    bool reach(std::size_t n) {
        while (at_ + n >= filled_)
            if (!more()) return false;
        return true;
    }

    /// Reads on, dropping the bytes before at_; false at the end of the text. A window that
    /// would stay mostly full grows.
    bool more() {
        if (ended_) return false;
        if (at_ > 0) {
            std::memmove(buffer_.get(), buffer_.get() + at_, filled_ - at_);
            filled_ -= at_;
            offset_ += at_;
            at_ = 0;
        }
        if (size_ - filled_ < size_ / 4) {
            const std::size_t larger = size_ * 2;
            std::unique_ptr<char[]> grown(new char[larger + readPadding]());
            std::memcpy(grown.get(), buffer_.get(), filled_);
            buffer_ = std::move(grown);
            size_ = larger;
        }
        const std::size_t n = read_(buffer_.get() + filled_, size_ - filled_);
        if (n == 0) {
            ended_ = true;
            return false;
        }
        filled_ += n;
        return true;
    }

    std::string_view take(std::size_t n) {
        const std::string_view out(buffer_.get() + at_, n);
        at_ += n;
        return out;
    }

    ReadSome read_;
    std::size_t size_;  // bytes the window holds, readPadding more follow
    std::unique_ptr<char[]> buffer_;
    std::size_t filled_ = 0;  // bytes of the text in the window
    std::size_t at_ = 0;      // the stream's place in the window
    std::size_t offset_ = 0;  // where the window starts in the text
    bool ended_ = false;
};

/// A value of the text at the stream's place. The root object and arrays at the root or among
/// its members are followed as they stream; any other value is cut out and parsed whole.
class Streamed final : public Value {
public:
    Streamed(Stream& stream, PieceParser& pieces, int depth) : stream_(stream), pieces_(pieces), depth_(depth) {}

    Kind kind() override {
        if (!kind_) kind_ = kindAt();
        return *kind_;
    }

    void skip() override {
        if (streams()) {
            if (*kind_ == Kind::object) members([](std::string_view, Value& member) { member.skip(); });
            else elements([](Value& element) { element.skip(); });
            return;
        }
        piece().skip();
    }

    std::string string() override { return piece().string(); }
    std::string_view stringView() override { return piece().stringView(); }
    Number number() override { return piece().number(); }
    bool boolean() override { return piece().boolean(); }

    void members(FunctionRef<void(std::string_view, Value&)> visit) override {
        if (!streams()) return piece().members(visit);
        consumed_ = true;
        stream_.advance();
        int c = stream_.peek();
        if (c == '}') return stream_.advance();
        std::string key;
        for (;;) {
            if (c != '"') stream_.fail(c < 0 ? "Unexpected end of the document" : "Expected a key");
            const std::size_t offset = stream_.position();
            const std::string_view text = stream_.cut();
            key = pieces_.parse(text, stream_.capacityFrom(text.data()), offset, depth_ + 1).string();
            pieces_.finish();
            if (stream_.peek() != ':') stream_.fail("Expected ':' after a key");
            stream_.advance();
            stream_.peek();
            Streamed member(stream_, pieces_, depth_ + 1);
            visit(key, member);
            member.finish();
            c = stream_.peek();
            if (c == ',') {
                stream_.advance();
                c = stream_.peek();
                continue;
            }
            if (c == '}') return stream_.advance();
            stream_.fail(c < 0 ? "Unexpected end of the document" : "Expected ',' or '}'");
        }
    }

    /// Unknown while the array streams: 0, a hint only.
    std::size_t elementCount() override { return streams() ? 0 : piece().elementCount(); }

    void elements(FunctionRef<void(Value&)> visit) override {
        if (!streams()) return piece().elements(visit);
        consumed_ = true;
        stream_.advance();
        if (stream_.peek() == ']') return stream_.advance();
        for (;;) {
            Streamed element(stream_, pieces_, depth_ + 1);
            visit(element);
            element.finish();
            const int c = stream_.peek();
            if (c == ',') {
                stream_.advance();
                stream_.peek();
                continue;
            }
            if (c == ']') return stream_.advance();
            stream_.fail(c < 0 ? "Unexpected end of the document" : "Expected ',' or ']'");
        }
    }

    /// Validates what was left unread and passes over the value.
    void finish() {
        if (!consumed_) skip();
        if (piece_) pieces_.finish();
    }

private:
    Kind kindAt() const {
        switch (const int c = stream_.peek()) {
            case '{': return Kind::object;
            case '[': return Kind::array;
            case '"': return Kind::string;
            case 't':
            case 'f': return Kind::boolean;
            case 'n': return Kind::null;
            default:
                if (c == '-' || (c >= '0' && c <= '9')) return Kind::number;
                stream_.fail(c < 0 ? "Unexpected end of the document" : "Invalid value");
        }
    }

    /// Whether this value streams rather than being parsed whole.
    bool streams() {
        const Kind k = kind();
        return !piece_ && ((k == Kind::object && depth_ == 1) || (k == Kind::array && depth_ <= 2));
    }

    Value& piece() {
        if (!piece_) {
            kind();
            consumed_ = true;
            const std::size_t offset = stream_.position();
            const std::string_view text = stream_.cut();
            piece_ = &pieces_.parse(text, stream_.capacityFrom(text.data()), offset, depth_);
        }
        return *piece_;
    }

    Stream& stream_;
    PieceParser& pieces_;
    int depth_;
    std::optional<Kind> kind_;
    Value* piece_ = nullptr;
    bool consumed_ = false;
};

}  // namespace

void readDocumentInPieces(ReadSome read, std::string_view root, FunctionRef<void(Value&, const Path&)> decodeRoot,
                          std::size_t window) {
    Stream stream(read, window);
    stream.skipByteOrderMark();
    if (stream.peek() < 0) stream.fail("Empty document");
    PieceParser pieces;
    const Path path(root);
    Streamed value(stream, pieces, 1);
    const auto failure = deferred([&] { decodeRoot(value, path); });
    value.finish();
    if (stream.peek() >= 0) stream.fail("Bytes after the end of the document");
    if (failure) throw *failure;
}

}  // namespace sorvik::json
