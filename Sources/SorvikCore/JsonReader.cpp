#include "SorvikCore/JsonReader.hpp"

#include "SorvikCore/JsonPieces.hpp"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <limits>
#include <unistd.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <simdjson.h>

namespace sorvik::json {

namespace od = simdjson::ondemand;

namespace detail {

const char* findQuoteOrBackslash(const char* p, const char* end) {
#if defined(__SSE2__)
    const __m128i quote = _mm_set1_epi8('"'), backslash = _mm_set1_epi8('\\');
    for (; end - p >= 16; p += 16) {
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const int mask =
            _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(chunk, quote), _mm_cmpeq_epi8(chunk, backslash)));
        if (mask != 0) return p + __builtin_ctz(static_cast<unsigned>(mask));
    }
#endif
    while (p < end && *p != '"' && *p != '\\') ++p;
    return p;
}

}  // namespace detail

using detail::findQuoteOrBackslash;

static_assert(readPadding >= simdjson::SIMDJSON_PADDING);

namespace {

/// Containers nested deeper than this are refused rather than followed.
constexpr int maxDepth = 1024;

const std::string formatPrefix = "The data couldn't be read because it isn't in the correct format. (";

/// The text being read, for string scanning and error positions.
struct Context {
    const char* begin = nullptr;  // first byte of the document
    const char* end = nullptr;    // one past its last byte
    std::size_t offset = 0;       // where begin sits in the whole text, for error positions
    od::document* document = nullptr;
    std::string scratch;  // unescaped strings are written here first
};

[[noreturn]] void syntaxAt(const Context& context, const char* at, std::string_view what) {
    std::string message = formatPrefix + std::string(what);
    if (at && at >= context.begin && at <= context.end)
        message += " at byte " + std::to_string(context.offset + static_cast<std::size_t>(at - context.begin));
    throw SyntaxError(message + ")");
}

/// A parser error, placed where the parser stands.
[[noreturn]] void syntax(const Context& context, simdjson::error_code error) {
    const char* at = nullptr;
    if (context.document && context.document->current_location().get(at) != simdjson::SUCCESS) at = nullptr;
    syntaxAt(context, at, simdjson::error_message(error));
}

void check(const Context& context, simdjson::error_code error) {
    if (error != simdjson::SUCCESS) syntax(context, error);
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

/// Four hexadecimal digits at p; stops at the first other character (the closing quote at the latest).
bool hex4(const char* p, unsigned& out) {
    out = 0;
    for (int i = 0; i < 4; ++i) {
        const int d = hexDigit(p[i]);
        if (d < 0) return false;
        out = out * 16 + static_cast<unsigned>(d);
    }
    return true;
}

char* appendUtf8(char* out, unsigned cp) {
    if (cp < 0x80) {
        *out++ = static_cast<char>(cp);
    } else if (cp < 0x800) {
        *out++ = static_cast<char>(0xC0 | (cp >> 6));
        *out++ = static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        *out++ = static_cast<char>(0xE0 | (cp >> 12));
        *out++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        *out++ = static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        *out++ = static_cast<char>(0xF0 | (cp >> 18));
        *out++ = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        *out++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        *out++ = static_cast<char>(0x80 | (cp & 0x3F));
    }
    return out;
}

/// The closing quote of a string whose content starts at p (past its opening quote).
const char* closingQuote(const char* p, const char* end) {
    for (;;) {
        p = findQuoteOrBackslash(p, end);
        if (p >= end || *p == '"') return p;
        p += 2;
    }
}

/// The position of the first backslash in [p, end), or end.
const char* findBackslash(const char* p, const char* end) {
    const void* at = std::memchr(p, '\\', static_cast<std::size_t>(end - p));
    return at ? static_cast<const char*>(at) : end;
}

/// Unescapes a string's content [p, end), end being its closing quote, into `scratch`
/// (grown as needed) and gives its length. The parser has already checked UTF-8, unescaped
/// control characters and where the string ends; escapes are checked here, surrogate pairs
/// included. Plain runs are copied sixteen bytes at a time: the text is readable past its
/// end, and escapes only shorten what they stand for.
std::size_t unescape(const Context& context, const char* p, const char* end, std::string& scratch) {
    const std::size_t room = static_cast<std::size_t>(end - p) + 16;
    if (scratch.size() < room) scratch.resize(room);
    char* const first = scratch.data();
    char* d = first;
    while (p < end) {
#if defined(__SSE2__)
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d), chunk);
        unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(chunk, _mm_set1_epi8('\\'))));
        if (end - p < 16) mask &= (1u << (end - p)) - 1;
        if (mask == 0) {
            const std::ptrdiff_t step = std::min<std::ptrdiff_t>(16, end - p);
            p += step;
            d += step;
            continue;
        }
        const unsigned skip = static_cast<unsigned>(__builtin_ctz(mask));
        p += skip;
        d += skip;
#else
        const char* q = findBackslash(p, end);
        std::memcpy(d, p, static_cast<std::size_t>(q - p));
        d += q - p;
        p = q;
        if (p == end) break;
#endif
        const char* escape = p;
        p += 2;
        switch (escape[1]) {
            case '"': *d++ = '"'; break;
            case '\\': *d++ = '\\'; break;
            case '/': *d++ = '/'; break;
            case 'b': *d++ = '\b'; break;
            case 'f': *d++ = '\f'; break;
            case 'n': *d++ = '\n'; break;
            case 'r': *d++ = '\r'; break;
            case 't': *d++ = '\t'; break;
            case 'u': {
                unsigned cp = 0;
                if (!hex4(p, cp)) syntaxAt(context, escape, "Invalid \\u escape in a string");
                p += 4;
                if (cp >= 0xD800 && cp <= 0xDBFF) {
                    unsigned low = 0;
                    if (p[0] != '\\' || p[1] != 'u' || !hex4(p + 2, low) || low < 0xDC00 || low > 0xDFFF)
                        syntaxAt(context, escape, "Unpaired surrogate in a string");
                    cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                    p += 6;
                } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
                    syntaxAt(context, escape, "Unpaired surrogate in a string");
                }
                d = appendUtf8(d, cp);
                break;
            }
            default: syntaxAt(context, escape, "Invalid escape in a string");
        }
    }
    return static_cast<std::size_t>(d - first);
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

/// The power of ten of the first significant digit of a number's text (its sign and digits
/// from `digits`, the integer part ending at integerEnd, the whole at end); 0 for zero.
long decimalExponent(const char* digits, const char* integerEnd, const char* end) {
    const char* mantissaEnd = std::find_if(digits, end, [](char c) { return c == 'e' || c == 'E'; });
    const char* first = digits;
    while (first < mantissaEnd && (*first == '0' || *first == '.')) ++first;
    if (first == mantissaEnd) return 0;
    long exponent = first < integerEnd ? integerEnd - first - 1 : -(first - integerEnd);
    if (mantissaEnd != end) {
        const char* e = mantissaEnd + 1;
        const bool negative = *e == '-';
        if (*e == '-' || *e == '+') ++e;
        long written = 0;
        for (; e < end && written < 1'000'000'000; ++e) written = written * 10 + (*e - '0');
        exponent += negative ? -written : written;
    }
    return exponent;
}

/// The number whose text starts at `start`, read by the JSON grammar. Integral texts within
/// 64 bits keep their integer value; fractions, exponents and larger integers are doubles,
/// correctly rounded, too large ones refused. (simdjson 3.0's own number getters misread
/// long mantissas: simdjson issues 2093 and 2099.)
Number readNumber(const Context& context, const char* start) {
    const char* p = start;
    const bool negative = *p == '-';
    if (negative) ++p;
    const char* digits = p;
    if (*p == '0') {
        ++p;
    } else if (isDigit(*p)) {
        while (isDigit(*p)) ++p;
    } else {
        syntaxAt(context, start, "Invalid number");
    }
    const char* integerEnd = p;
    bool integral = true;
    if (*p == '.') {
        integral = false;
        ++p;
        if (!isDigit(*p)) syntaxAt(context, start, "Invalid number");
        while (isDigit(*p)) ++p;
    }
    if (*p == 'e' || *p == 'E') {
        integral = false;
        ++p;
        if (*p == '+' || *p == '-') ++p;
        if (!isDigit(*p)) syntaxAt(context, start, "Invalid number");
        while (isDigit(*p)) ++p;
    }
    switch (*p) {
        case ' ':
        case '\t':
        case '\n':
        case '\r':
        case ',':
        case ']':
        case '}': break;
        default: syntaxAt(context, start, "Invalid number");
    }

    Number out;
    if (integral) {
        std::uint64_t magnitude = 0;
        const auto [end, error] = std::from_chars(digits, integerEnd, magnitude);
        if (error == std::errc() && end == integerEnd) {
            constexpr std::uint64_t signedLimit = std::uint64_t{1} << 63;
            if (!negative && magnitude < signedLimit) {
                out.signedValue = static_cast<std::int64_t>(magnitude);
                return out;
            }
            if (!negative) {
                out.type = Number::Type::unsignedInteger;
                out.unsignedValue = magnitude;
                return out;
            }
            if (magnitude <= signedLimit) {
                out.signedValue = magnitude == signedLimit ? std::numeric_limits<std::int64_t>::min()
                                                           : -static_cast<std::int64_t>(magnitude);
                return out;
            }
        }
    }
    out.type = Number::Type::floating;
    const auto [end, error] = std::from_chars(start, p, out.floatingValue);
    if (error == std::errc::result_out_of_range) {
        // Beyond the doubles: too small rounds to zero, too large is refused. The decimal
        // exponent of the first significant digit tells which.
        if (decimalExponent(digits, integerEnd, p) >= 0) syntaxAt(context, start, "Number out of range");
        out.floatingValue = negative ? -0.0 : 0.0;
    } else if (error != std::errc() || end != p) {
        syntaxAt(context, start, "Invalid number");
    }
    return out;
}

Kind kindOf(od::json_type type) {
    switch (type) {
        case od::json_type::array: return Kind::array;
        case od::json_type::object: return Kind::object;
        case od::json_type::number: return Kind::number;
        case od::json_type::string: return Kind::string;
        case od::json_type::boolean: return Kind::boolean;
        case od::json_type::null: return Kind::null;
    }
    return Kind::null;
}

/// A value inside the document (the root included, when it is an array or an object).
class Cursor final : public Value {
public:
    Cursor(Context& context, od::value value, int depth) : context_(context), value_(value), depth_(depth) {}

    bool consumed() const { return consumed_; }

    Kind kind() override {
        if (!kind_) {
            od::json_type type{};
            check(context_, value_.type().get(type));
            kind_ = kindOf(type);
        }
        return *kind_;
    }

    void skip() override {
        switch (kind()) {
            case Kind::object: members([](std::string_view, Value& member) { member.skip(); }); break;
            case Kind::array: elements([](Value& element) { element.skip(); }); break;
            case Kind::string: readRaw(); break;
            case Kind::number: number(); break;
            case Kind::boolean: boolean(); break;
            case Kind::null: {
                consumed_ = true;
                bool isNull = false;
                if (value_.is_null().get(isNull) != simdjson::SUCCESS || !isNull)
                    syntaxAt(context_, value_.raw_json_token().data(), "Invalid literal");
                break;
            }
        }
    }

    std::string string() override { return std::string(stringView()); }

    std::string_view stringView() override { return readRaw(); }

    Number number() override {
        consumed_ = true;
        return readNumber(context_, value_.raw_json_token().data());
    }

    bool boolean() override {
        consumed_ = true;
        bool out = false;
        if (value_.get_bool().get(out) != simdjson::SUCCESS)
            syntaxAt(context_, value_.raw_json_token().data(), "Invalid literal");
        return out;
    }

    void members(FunctionRef<void(std::string_view, Value&)> visit) override {
        consumed_ = true;
        if (depth_ >= maxDepth) tooDeep();
        od::object object;
        check(context_, value_.get_object().get(object));
        std::string escapedKey;
        for (auto member : object) {
            od::field field;
            check(context_, std::move(member).get(field));
            const char* start = field.key().raw();
            const char* q = findQuoteOrBackslash(start, context_.end);
            std::string_view key(start, static_cast<std::size_t>(q - start));
            if (q < context_.end && *q == '\\') {
                const std::size_t length =
                    unescape(context_, start, closingQuote(start, context_.end), context_.scratch);
                escapedKey.assign(context_.scratch.data(), length);
                key = escapedKey;
            }
            Cursor child(context_, field.value(), depth_ + 1);
            visit(key, child);
            if (!child.consumed()) child.skip();
        }
    }

    std::size_t elementCount() override {
        std::size_t count = 0;
        check(context_, array().count_elements().get(count));
        return count;
    }

    void elements(FunctionRef<void(Value&)> visit) override {
        for (auto element : array()) {
            od::value value;
            check(context_, std::move(element).get(value));
            Cursor child(context_, value, depth_ + 1);
            visit(child);
            if (!child.consumed()) child.skip();
        }
    }

private:
    /// The array this value is, entered once.
    od::array& array() {
        if (!array_) {
            consumed_ = true;
            if (depth_ >= maxDepth) tooDeep();
            check(context_, value_.get_array().get(array_.emplace()));
        }
        return *array_;
    }

    [[noreturn]] void tooDeep() const {
        syntaxAt(context_, nullptr, "Nested deeper than " + std::to_string(maxDepth) + " levels");
    }

    /// A string's content, in the document or unescaped into the scratch buffer: the text up to
    /// the next token is the string and whitespace, so its last quote closes it.
    std::string_view readRaw() {
        consumed_ = true;
        const std::string_view token = value_.raw_json_token();
        od::raw_json_string raw;
        check(context_, value_.get_raw_json_string().get(raw));
        const char* begin = raw.raw();
        const char* end = token.data() + token.size();
        while (end > begin && end[-1] != '"') --end;
        if (end == begin) syntaxAt(context_, begin, "Unterminated string");
        --end;
        if (findBackslash(begin, end) == end) return std::string_view(begin, static_cast<std::size_t>(end - begin));
        const std::size_t length = unescape(context_, begin, end, context_.scratch);
        return std::string_view(context_.scratch.data(), length);
    }

    Context& context_;
    od::value value_;
    int depth_;
    std::optional<Kind> kind_;
    std::optional<od::array> array_;
    bool consumed_ = false;
};

/// Runs decodeRoot on the root value: syntax errors win, then bytes after the document,
/// then the decoder's own error.
void decodeWhole(Context& context, od::value root, const Path& path,
                 FunctionRef<void(Value&, const Path&)> decodeRoot) {
    Cursor cursor(context, root, 1);
    const auto failure = deferred([&] { decodeRoot(cursor, path); });
    if (!cursor.consumed()) cursor.skip();
    const char* after = nullptr;
    if (context.document->current_location().get(after) == simdjson::SUCCESS)
        syntaxAt(context, after, "Bytes after the end of the document");
    if (failure) throw *failure;
}

}  // namespace

std::string Path::string() const {
    if (!parent_) return std::string(name_);
    if (isIndex_) return parent_->string() + "[" + std::to_string(index_) + "]";
    return parent_->string() + "." + std::string(name_);
}

void typeMismatch(const Path& path, std::string_view expected) {
    throw DecodingError(formatPrefix + "Expected " + std::string(expected) + " at " + path.string() + ")");
}

void missing(const Path& object, std::string_view key) {
    throw DecodingError("The data couldn't be read because it is missing. (No value for key \"" + std::string(key) +
                        "\" at " + object.string() + ")");
}

void duplicateKey(const Path& object, std::string_view key) {
    throw DecodingError(formatPrefix + "Duplicate key \"" + std::string(key) + "\" at " + object.string() + ")");
}

double Number::asDouble() const {
    switch (type) {
        case Type::signedInteger: return static_cast<double>(signedValue);
        case Type::unsignedInteger: return static_cast<double>(unsignedValue);
        case Type::floating: return floatingValue;
    }
    return floatingValue;
}

void readDocument(Source source, std::string_view root, FunctionRef<void(Value&, const Path&)> decodeRoot) {
    std::string_view text = source.text;
    std::size_t capacity = source.capacity;
    // A leading byte order mark is passed over.
    constexpr std::string_view bom = "\xEF\xBB\xBF";
    if (text.starts_with(bom)) {
        text.remove_prefix(bom.size());
        capacity = capacity >= bom.size() ? capacity - bom.size() : 0;
    }
    simdjson::padded_string copy;
    simdjson::padded_string_view view(text, capacity);
    if (capacity < text.size() + simdjson::SIMDJSON_PADDING) {
        copy = simdjson::padded_string(text);
        view = simdjson::padded_string_view(copy);
    }
    const Path path(root);
    Context context;
    context.begin = view.data();
    context.end = view.data() + view.size();
    od::parser parser;
    od::document document;
    check(context, parser.iterate(view).get(document));
    context.document = &document;

    od::json_type type{};
    check(context, document.type().get(type));
    if (type == od::json_type::object || type == od::json_type::array) {
        od::value value;
        check(context, document.get_value().get(value));
        return decodeWhole(context, value, path, decodeRoot);
    }

    // A scalar document is read as the one element of an array around it, which On Demand
    // reads like any other value; a second element means bytes after the document.
    std::string wrapped;
    wrapped.reserve(view.size() + 2 + simdjson::SIMDJSON_PADDING);
    wrapped += '[';
    wrapped += view;
    wrapped += ']';
    const simdjson::padded_string_view wrappedView(wrapped);
    od::document wrappedDocument;
    Context inner;
    inner.begin = wrapped.data() + 1;
    inner.end = wrapped.data() + wrapped.size() - 1;
    check(inner, parser.iterate(wrappedView).get(wrappedDocument));
    inner.document = &wrappedDocument;
    od::value array;
    check(inner, wrappedDocument.get_value().get(array));
    std::optional<DecodingError> failure;
    bool first = true;
    Cursor(inner, array, 0).elements([&](Value& element) {
        if (!first) syntaxAt(inner, nullptr, "Bytes after the end of the document");
        first = false;
        failure = deferred([&] { decodeRoot(element, path); });
    });
    const char* after = nullptr;
    if (wrappedDocument.current_location().get(after) == simdjson::SUCCESS)
        syntaxAt(inner, after, "Bytes after the end of the document");
    if (failure) throw *failure;
}

namespace detail {

void syntaxErrorAt(std::size_t position, std::string_view what) {
    throw SyntaxError(formatPrefix + std::string(what) + " at byte " + std::to_string(position) + ")");
}

struct PieceParser::State {
    od::parser parser;
    od::document document;
    Context context;
    std::string wrapped;  // a scalar piece, as the one element of an array
    od::array array;
    std::optional<Cursor> cursor;
    bool isScalar = false;
};

PieceParser::PieceParser() : state_(std::make_unique<State>()) {}
PieceParser::~PieceParser() = default;

Value& PieceParser::parse(std::string_view text, std::size_t capacity, std::size_t offset, int depth) {
    State& s = *state_;
    s.cursor.reset();
    s.context.offset = offset;
    s.context.document = nullptr;
    s.isScalar = text.front() != '{' && text.front() != '[';
    od::value value;
    if (!s.isScalar) {
        s.context.begin = text.data();
        s.context.end = text.data() + text.size();
        check(s.context,
              s.parser.iterate(simdjson::padded_string_view(text.data(), text.size(), capacity)).get(s.document));
        s.context.document = &s.document;
        check(s.context, s.document.get_value().get(value));
    } else {
        // A scalar is read as the one element of an array around it, which On Demand reads
        // like any other value.
        s.wrapped.clear();
        s.wrapped.reserve(text.size() + 2 + simdjson::SIMDJSON_PADDING);
        s.wrapped += '[';
        s.wrapped += text;
        s.wrapped += ']';
        s.context.begin = s.wrapped.data() + 1;
        s.context.end = s.wrapped.data() + 1 + text.size();
        check(s.context, s.parser.iterate(simdjson::padded_string_view(s.wrapped)).get(s.document));
        s.context.document = &s.document;
        check(s.context, s.document.get_array().get(s.array));
        od::array_iterator first;
        check(s.context, s.array.begin().get(first));
        check(s.context, (*first).get(value));
    }
    return s.cursor.emplace(s.context, value, depth);
}

void PieceParser::finish() {
    State& s = *state_;
    if (!s.cursor) return;
    if (!s.cursor->consumed()) s.cursor->skip();
    s.cursor.reset();
    // The piece was cut at the end of its value: the parser must have met that end too.
    const char* after = nullptr;
    if (!s.isScalar && s.document.current_location().get(after) == simdjson::SUCCESS)
        syntaxAt(s.context, after, "Bytes after the end of a value");
}

}  // namespace detail

}  // namespace sorvik::json
