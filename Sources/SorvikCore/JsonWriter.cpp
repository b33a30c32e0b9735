#include "SorvikCore/JsonWriter.hpp"

#include <charconv>
#include <cmath>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <simdjson.h>

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
const char* findSpecial(const char* p, const char* end) {
#if defined(__SSE2__)
    const __m128i quote = _mm_set1_epi8('"'), backslash = _mm_set1_epi8('\\'), control = _mm_set1_epi8(0x1F);
    for (; end - p >= 16; p += 16) {
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i special = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(chunk, quote), _mm_cmpeq_epi8(chunk, backslash)),
                                             _mm_cmpeq_epi8(_mm_min_epu8(chunk, control), chunk));
        const int mask = _mm_movemask_epi8(special);
        if (mask != 0) return p + __builtin_ctz(static_cast<unsigned>(mask));
    }
#endif
    for (; p < end; ++p) {
        const auto c = static_cast<unsigned char>(*p);
        if (c == '"' || c == '\\' || c < 0x20) return p;
    }
    return end;
}

void appendEscaped(std::string& out, std::string_view text) {
    const char* p = text.data();
    const char* const end = p + text.size();
    while (p < end) {
        const char* q = findSpecial(p, end);
        out.append(p, q);
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
}

}  // namespace

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

Writer& Writer::beginObject() {
    beforeValue();
    out_ += '{';
    levels_.push_back({false, false});
    return *this;
}

Writer& Writer::endObject() {
    const bool hadItems = levels_.back().hasItems;
    levels_.pop_back();
    if (hadItems && style_ == Style::pretty) newLine();
    out_ += '}';
    return *this;
}

Writer& Writer::beginArray() {
    beforeValue();
    out_ += '[';
    levels_.push_back({true, false});
    return *this;
}

Writer& Writer::endArray() {
    const bool hadItems = levels_.back().hasItems;
    levels_.pop_back();
    if (hadItems && style_ == Style::pretty) newLine();
    out_ += ']';
    return *this;
}

Writer& Writer::key(std::string_view key) {
    Level& level = levels_.back();
    if (level.hasItems) out_ += ',';
    level.hasItems = true;
    if (style_ == Style::pretty) newLine();
    out_ += '"';
    out_ += key;
    out_ += style_ == Style::pretty ? "\": " : "\":";
    return *this;
}

Writer& Writer::string(std::string_view text) {
    beforeValue();
    out_ += '"';
    if (simdjson::validate_utf8(text.data(), text.size()))
        appendEscaped(out_, text);
    else if (!invalidText_)
        invalidText_ = utf8Problem(text);
    out_ += '"';
    return *this;
}

Writer& Writer::integer(std::int64_t value) {
    beforeValue();
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out_.append(buffer, result.ptr);
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
