#include "SorvikCore/UnicodeText.hpp"

#include <cstdint>
#include <memory>

#include <unicode/brkiter.h>
#include <unicode/uchar.h>
#include <unicode/utext.h>
#include <unicode/utf16.h>
#include <unicode/utf8.h>

namespace sorvik::unicode {

namespace {
struct UTextCloser {
    void operator()(UText* t) const { utext_close(t); }
};

/// Calls visit(byteOffset) at every grapheme boundary after the start; stops when it returns false.
template <typename F>
void forEachBoundary(std::string_view text, F visit) {
    if (text.empty()) return;
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<UText, UTextCloser> ut(
        utext_openUTF8(nullptr, text.data(), static_cast<int64_t>(text.size()), &status));
    if (U_FAILURE(status)) return;
    std::unique_ptr<icu::BreakIterator> it(icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    if (U_FAILURE(status)) return;
    it->setText(ut.get(), status);
    if (U_FAILURE(status)) return;
    it->first();
    for (int32_t b = it->next(); b != icu::BreakIterator::DONE; b = it->next())
        if (!visit(static_cast<std::size_t>(b))) return;
}
}  // namespace

bool isValidUTF8(std::string_view text) {
    const auto* s = reinterpret_cast<const uint8_t*>(text.data());
    const int32_t length = static_cast<int32_t>(text.size());
    if (text.size() > static_cast<std::size_t>(INT32_MAX)) return false;
    int32_t i = 0;
    while (i < length) {
        UChar32 c;
        U8_NEXT(s, i, length, c);
        if (c < 0) return false;
    }
    return true;
}

namespace {
void appendUTF8(std::string& out, UChar32 c) {
    uint8_t buffer[U8_MAX_LENGTH];
    int32_t length = 0;
    U8_APPEND_UNSAFE(buffer, length, c);
    out.append(reinterpret_cast<const char*>(buffer), static_cast<std::size_t>(length));
}

/// UTF-32 of either byte order after its byte-order mark, as UTF-8; none without the mark.
std::optional<std::string> decodeUTF32WithBOM(std::string_view bytes) {
    if (bytes.size() < 4 || bytes.size() % 4 != 0) return std::nullopt;
    const auto byte = [&](std::size_t i) { return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i])); };
    const auto unit = [&](std::size_t i, bool littleEndian) {
        return littleEndian ? byte(i) | byte(i + 1) << 8 | byte(i + 2) << 16 | byte(i + 3) << 24
                            : byte(i) << 24 | byte(i + 1) << 16 | byte(i + 2) << 8 | byte(i + 3);
    };
    bool littleEndian;
    if (unit(0, true) == 0xFEFF) littleEndian = true;
    else if (unit(0, false) == 0xFEFF) littleEndian = false;
    else return std::nullopt;
    std::string out;
    out.reserve(bytes.size());
    for (std::size_t i = 4; i < bytes.size(); i += 4) {
        const std::uint32_t c = unit(i, littleEndian);
        if (c > 0x10FFFF || U_IS_SURROGATE(c)) return std::nullopt;
        appendUTF8(out, static_cast<UChar32>(c));
    }
    return out;
}

std::optional<std::string> decodeUTF16WithBOM(std::string_view bytes) {
    if (bytes.size() < 2 || bytes.size() % 2 != 0) return std::nullopt;
    const auto b0 = static_cast<unsigned char>(bytes[0]), b1 = static_cast<unsigned char>(bytes[1]);
    bool littleEndian;
    if (b0 == 0xFF && b1 == 0xFE) littleEndian = true;
    else if (b0 == 0xFE && b1 == 0xFF) littleEndian = false;
    else return std::nullopt;
    auto unit = [&](std::size_t i) -> char16_t {
        const auto lo = static_cast<unsigned char>(bytes[i]), hi = static_cast<unsigned char>(bytes[i + 1]);
        return littleEndian ? static_cast<char16_t>(lo | (hi << 8)) : static_cast<char16_t>(hi | (lo << 8));
    };
    std::string out;
    out.reserve(bytes.size() * 3 / 2);
    auto append = [&](UChar32 c) { appendUTF8(out, c); };
    for (std::size_t i = 2; i < bytes.size(); i += 2) {
        const char16_t u = unit(i);
        if (U16_IS_LEAD(u)) {
            if (i + 2 >= bytes.size()) return std::nullopt;
            const char16_t low = unit(i + 2);
            if (!U16_IS_TRAIL(low)) return std::nullopt;
            append(U16_GET_SUPPLEMENTARY(u, low));
            i += 2;
        } else if (U16_IS_TRAIL(u)) {
            return std::nullopt;
        } else {
            append(u);
        }
    }
    return out;
}
}  // namespace

std::optional<std::string> decodeText(std::string bytes) {
    std::optional<std::string> text;
    if (isValidUTF8(bytes)) {
        // A leading UTF-8 byte-order mark is no part of the text, as the UTF-16 one is not.
        if (bytes.starts_with("\xEF\xBB\xBF")) bytes.erase(0, 3);
        text = std::move(bytes);
    } else if (!(text = decodeUTF32WithBOM(bytes))) {
        // After UTF-32: its little-endian mark begins with the UTF-16 one.
        text = decodeUTF16WithBOM(bytes);
    }
    // U+0000 is no character of a text: UTF-16 or UTF-32 without a mark, or binary data.
    if (text && text->find('\0') != std::string::npos) return std::nullopt;
    return text;
}

std::size_t graphemeCount(std::string_view text) {
    std::size_t count = 0;
    forEachBoundary(text, [&](std::size_t) {
        ++count;
        return true;
    });
    return count;
}

std::string graphemePrefix(std::string_view text, std::size_t count) {
    if (count == 0) return {};
    std::size_t seen = 0, end = text.size();
    forEachBoundary(text, [&](std::size_t offset) {
        if (++seen == count) {
            end = offset;
            return false;
        }
        return true;
    });
    return std::string(text.substr(0, end));
}

namespace {
/// Decodes the code point starting at i (U+FFFD for an ill-formed sequence) and advances i.
UChar32 next(std::string_view text, std::size_t& i) {
    const auto* s = reinterpret_cast<const uint8_t*>(text.data());
    int32_t at = static_cast<int32_t>(i);
    UChar32 c;
    U8_NEXT_OR_FFFD(s, at, static_cast<int32_t>(text.size()), c);
    i = static_cast<std::size_t>(at);
    return c;
}

UChar32 previous(std::string_view text, std::size_t& i) {
    const auto* s = reinterpret_cast<const uint8_t*>(text.data());
    int32_t at = static_cast<int32_t>(i);
    UChar32 c;
    U8_PREV_OR_FFFD(s, 0, at, c);
    i = static_cast<std::size_t>(at);
    return c;
}

bool isLineSeparator(UChar32 c) { return (c >= 0x0A && c <= 0x0D) || c == 0x85 || c == 0x2028 || c == 0x2029; }
}  // namespace

std::string_view trimWhitespaceAndNewlines(std::string_view text) {
    std::size_t begin = 0;
    while (begin < text.size()) {
        std::size_t after = begin;
        if (!u_isUWhiteSpace(next(text, after))) break;
        begin = after;
    }
    std::size_t end = text.size();
    while (end > begin) {
        std::size_t before = end;
        if (!u_isUWhiteSpace(previous(text, before))) break;
        end = before;
    }
    return text.substr(begin, end - begin);
}

std::vector<std::string_view> splitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0, i = 0;
    while (i < text.size()) {
        const std::size_t at = i;
        // ASCII fast path; multi-byte separators are U+0085, U+2028 and U+2029.
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte < 0x80) {
            ++i;
            if (byte >= 0x0A && byte <= 0x0D) {
                lines.push_back(text.substr(start, at - start));
                start = i;
            }
            continue;
        }
        if (isLineSeparator(next(text, i))) {
            lines.push_back(text.substr(start, at - start));
            start = i;
        }
    }
    lines.push_back(text.substr(start));
    return lines;
}

}  // namespace sorvik::unicode
