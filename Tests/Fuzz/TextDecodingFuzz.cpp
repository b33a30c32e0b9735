// The text of an inspected file: UTF-8 with or without its byte-order mark, UTF-32 or UTF-16 of
// either byte order with its mark, never holding U+0000. What decodes is valid UTF-8 and says
// exactly what the bytes said; what does not is neither.
#include <unicode/unistr.h>

#include "Fuzz/FuzzSupport.hpp"
#include "SorvikCore/UnicodeText.hpp"

using namespace sorvik;

namespace {

/// Whether the bytes after a two-byte mark are whole UTF-16 units with every surrogate paired
/// and none of them zero.
bool wellFormedUTF16(std::string_view bytes, bool littleEndian) {
    if (bytes.size() % 2 != 0) return false;
    bool wantTrail = false;
    for (std::size_t i = 2; i < bytes.size(); i += 2) {
        const auto a = static_cast<unsigned char>(bytes[i]), b = static_cast<unsigned char>(bytes[i + 1]);
        const unsigned unit = littleEndian ? (a | b << 8) : (b | a << 8);
        const bool lead = unit >= 0xD800 && unit <= 0xDBFF, trail = unit >= 0xDC00 && unit <= 0xDFFF;
        if (wantTrail != trail || unit == 0) return false;
        wantTrail = lead;
    }
    return !wantTrail;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(fuzz::text(data, size));
    const auto decoded = unicode::decodeText(bytes);
    if (decoded) {
        fuzz::require(unicode::isValidUTF8(*decoded), "decoded text is valid UTF-8");
        fuzz::require(decoded->find('\0') == std::string::npos, "decoded text holds no U+0000");
    }
    if (unicode::isValidUTF8(bytes)) {
        const std::size_t mark = bytes.starts_with("\xEF\xBB\xBF") ? 3 : 0;
        if (bytes.find('\0') != std::string::npos) fuzz::require(!decoded, "UTF-8 holding U+0000 is refused");
        else fuzz::require(decoded == bytes.substr(mark), "UTF-8 read as it is, without its mark");
        return 0;
    }
    const bool little32 = bytes.starts_with(std::string_view("\xFF\xFE\0\0", 4));
    const bool big32 = bytes.starts_with(std::string_view("\0\0\xFE\xFF", 4));
    if (little32 || big32) {
        if (!decoded) return 0;
        // Written back as UTF-32 in the same byte order behind the same mark: the bytes again.
        const icu::UnicodeString units = icu::UnicodeString::fromUTF8(*decoded);
        std::string again = bytes.substr(0, 4);
        for (int32_t i = 0; i < units.length(); i = units.moveIndex32(i, 1)) {
            const auto c = static_cast<std::uint32_t>(units.char32At(i));
            for (int k = 0; k < 4; ++k) again += static_cast<char>(c >> (8 * (little32 ? k : 3 - k)) & 0xFF);
        }
        fuzz::require(again == bytes, "decoded UTF-32 is the text the bytes spell");
        return 0;
    }
    const bool little = bytes.starts_with("\xFF\xFE"), big = bytes.starts_with("\xFE\xFF");
    if (!little && !big) {
        fuzz::require(!decoded, "neither UTF-8 nor marked UTF-16 or UTF-32 is refused");
        return 0;
    }
    fuzz::require(decoded.has_value() == wellFormedUTF16(bytes, little), "marked UTF-16 decodes when well-formed");
    if (!decoded) return 0;
    // Written back as UTF-16 in the same byte order behind the same mark: the bytes again.
    const icu::UnicodeString units = icu::UnicodeString::fromUTF8(*decoded);
    std::string again = bytes.substr(0, 2);
    for (int32_t i = 0; i < units.length(); ++i) {
        const char16_t u = units.charAt(i);
        const char low = static_cast<char>(u & 0xFF), high = static_cast<char>(u >> 8);
        again += little ? low : high;
        again += little ? high : low;
    }
    fuzz::require(again == bytes, "decoded text is the text the bytes spell");
    return 0;
}
