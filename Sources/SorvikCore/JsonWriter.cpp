#include "SorvikCore/JsonWriter.hpp"

#include <charconv>
#include <cmath>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <simdjson.h>

#include "SorvikCore/FileSystem.hpp"
#include "SorvikCore/Models.hpp"

namespace sorvik::json {

namespace {

const std::string formatPrefix = "The data couldn't be written because it isn't in the correct format. (";

std::string hexByte(unsigned char byte) {
    static constexpr char digits[] = "0123456789ABCDEF";
    return {digits[byte >> 4], digits[byte & 0x0F]};
}

/// The message for text that is not UTF-8: the first byte no well-formed sequence can hold,
/// or the last byte of a sequence cut short at the end.
std::string utf8Problem(std::string_view text) {
    const auto invalid = [](std::size_t at, unsigned char byte) {
        return formatPrefix + "[json.exception.type_error.316] invalid UTF-8 byte at index " + std::to_string(at) +
               ": 0x" + hexByte(byte) + ")";
    };
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        if (lead < 0x80) {
            ++i;
            continue;
        }
        std::size_t follow = 0;
        unsigned char low = 0x80, high = 0xBF;
        if (lead >= 0xC2 && lead <= 0xDF) {
            follow = 1;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            follow = 2;
            if (lead == 0xE0) low = 0xA0;
            if (lead == 0xED) high = 0x9F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            follow = 3;
            if (lead == 0xF0) low = 0x90;
            if (lead == 0xF4) high = 0x8F;
        } else {
            return invalid(i, lead);
        }
        for (std::size_t k = 1; k <= follow; ++k) {
            if (i + k >= text.size())
                return formatPrefix + "[json.exception.type_error.316] incomplete UTF-8 string; last byte: 0x" +
                       hexByte(static_cast<unsigned char>(text.back())) + ")";
            const auto byte = static_cast<unsigned char>(text[i + k]);
            if (byte < low || byte > high) return invalid(i + k, byte);
            low = 0x80;
            high = 0xBF;
        }
        i += follow + 1;
    }
    return formatPrefix + "invalid UTF-8)";
}

/// The first byte at or after p that needs escaping: '"', '\\' or a control character.
/// Sets *nonAscii when a byte of 0x80 or above is passed on the way.
const char* findSpecial(const char* p, const char* end, bool* nonAscii) {
#if defined(__SSE2__)
    const __m128i quote = _mm_set1_epi8('"'), backslash = _mm_set1_epi8('\\'), control = _mm_set1_epi8(0x1F);
    for (; end - p >= 16; p += 16) {
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i special =
            _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(chunk, quote), _mm_cmpeq_epi8(chunk, backslash)),
                         _mm_cmpeq_epi8(_mm_min_epu8(chunk, control), chunk));
        const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(special));
        const unsigned high = static_cast<unsigned>(_mm_movemask_epi8(chunk));
        if (mask != 0) {
            const unsigned at = static_cast<unsigned>(__builtin_ctz(mask));
            if (high & ((1u << at) - 1)) *nonAscii = true;
            return p + at;
        }
        if (high != 0) *nonAscii = true;
    }
#endif
    for (; p < end; ++p) {
        const auto c = static_cast<unsigned char>(*p);
        if (c == '"' || c == '\\' || c < 0x20) return p;
        if (c >= 0x80) *nonAscii = true;
    }
    return end;
}

/// Appends the text escaped; tells whether it holds bytes beyond ASCII.
bool appendEscaped(std::string& out, std::string_view text) {
    bool nonAscii = false;
    const char* p = text.data();
    const char* const end = p + text.size();
    while (p < end) {
        const char* q = findSpecial(p, end, &nonAscii);
        out.append(p, static_cast<std::size_t>(q - p));
        if (q == end) break;
        const auto c = static_cast<unsigned char>(*q);
        switch (c) {
            case '\b': out += "\\b"; break;
            case '\t': out += "\\t"; break;
            case '\n': out += "\\n"; break;
            case '\f': out += "\\f"; break;
            case '\r': out += "\\r"; break;
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            default: {
                static constexpr char digits[] = "0123456789abcdef";
                const char escape[] = {'\\', 'u', '0', '0', digits[c >> 4], digits[c & 0x0F]};
                out.append(escape, sizeof escape);
                break;
            }
        }
        p = q + 1;
    }
    return nonAscii;
}

}  // namespace

Writer::Writer(Style style, std::size_t expectedSize, std::stop_token stop) : style_(style), stop_(std::move(stop)) {
    if (expectedSize == 0) return;
    out_.reserve(expectedSize);
    files::prefault(out_.data(), expectedSize, stop_);
}

void Writer::newLine() {
    out_ += '\n';
    out_.append(2 * levels_.size(), ' ');
}

void Writer::beforeValue() {
    if (levels_.empty() || !levels_.back().isArray) return;
    Level& level = levels_.back();
    if (level.hasItems) out_ += ',';
    level.hasItems = true;
    if (style_ == Style::pretty) newLine();
}

Writer& Writer::open(char bracket, bool isArray) {
    if (stop_.stop_requested()) throw CancellationError();
    beforeValue();
    out_ += bracket;
    levels_.push_back({isArray, false});
    return *this;
}

Writer& Writer::close(char bracket) {
    const bool hadItems = levels_.back().hasItems;
    levels_.pop_back();
    if (hadItems && style_ == Style::pretty) newLine();
    out_ += bracket;
    return *this;
}

Writer& Writer::key(std::string_view key) {
    Level& level = levels_.back();
    const bool separate = level.hasItems;
    level.hasItems = true;
    if (style_ == Style::pretty) {
        if (separate) out_ += ',';
        newLine();
        out_ += '"';
        out_ += key;
        out_ += "\": ";
        return *this;
    }
    // Keys are short: the separator, the quoted key and the colon are appended at once.
    char text[64];
    if (key.size() + 4 > sizeof text) {
        if (separate) out_ += ',';
        out_ += '"';
        out_ += key;
        out_ += "\":";
        return *this;
    }
    std::size_t n = 0;
    if (separate) text[n++] = ',';
    text[n++] = '"';
    std::memcpy(text + n, key.data(), key.size());
    n += key.size();
    text[n++] = '"';
    text[n++] = ':';
    out_.append(text, n);
    return *this;
}

Writer& Writer::string(std::string_view text) {
    beforeValue();
    out_ += '"';
    const std::size_t start = out_.size();
    // Text beyond ASCII is checked once written, and taken back out when it is not UTF-8.
    if (appendEscaped(out_, text) && !simdjson::validate_utf8(text.data(), text.size())) {
        out_.resize(start);
        if (!invalidText_) invalidText_ = utf8Problem(text);
    }
    out_ += '"';
    return *this;
}

Writer& Writer::word(std::string_view text) {
    beforeValue();
    out_ += '"';
    out_ += text;
    out_ += '"';
    return *this;
}

Writer& Writer::uuid(const UUID& id) {
    static constexpr char digits[] = "0123456789ABCDEF";
    char text[38];
    char* p = text;
    *p++ = '"';
    const auto& bytes = id.bytes();
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) *p++ = '-';
        *p++ = digits[bytes[i] >> 4];
        *p++ = digits[bytes[i] & 0x0F];
    }
    *p++ = '"';
    beforeValue();
    out_.append(text, static_cast<std::size_t>(p - text));
    return *this;
}

Writer& Writer::integer(std::int64_t value) {
    beforeValue();
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out_.append(buffer, static_cast<std::size_t>(result.ptr - buffer));
    return *this;
}

Writer& Writer::number(double value) {
    if (!std::isfinite(value)) throw EncodingError("The data couldn't be written because a number is not finite.");
    beforeValue();
    std::array<char, 64> buffer{};
    const char* end = nlohmann::detail::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    out_.append(buffer.data(), static_cast<std::size_t>(end - buffer.data()));
    return *this;
}

Writer& Writer::boolean(bool value) {
    beforeValue();
    out_ += value ? "true" : "false";
    return *this;
}

std::string Writer::finish() {
    if (invalidText_) throw EncodingError(*invalidText_);
    return std::move(out_);
}

}  // namespace sorvik::json
