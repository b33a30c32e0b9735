// Base64 as library files carry bookmarks: any bytes encode to text that decodes to them, and
// text decodes exactly when it is well-formed Base64, to the bytes it spells.
#include <optional>
#include <vector>

#include "Fuzz/FuzzSupport.hpp"
#include "SorvikCore/Json.hpp"

using namespace sorvik;

namespace {

int sextet(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

/// Groups of four characters of the standard alphabet; the last may end in "=" or "==". Bits
/// after the last whole byte are dropped, whatever they hold.
std::optional<std::vector<std::uint8_t>> plainDecode(std::string_view text) {
    if (text.size() % 4 != 0) return std::nullopt;
    std::vector<std::uint8_t> out;
    for (std::size_t group = 0; group < text.size(); group += 4) {
        const bool last = group + 4 == text.size();
        std::size_t padding = 0;
        if (last && text[group + 3] == '=') padding = text[group + 2] == '=' ? 2 : 1;
        std::uint32_t bits = 0;
        for (std::size_t k = 0; k < 4; ++k) {
            const int value = k < 4 - padding ? sextet(text[group + k]) : 0;
            if (value < 0) return std::nullopt;
            bits = bits << 6 | static_cast<std::uint32_t>(value);
        }
        for (std::size_t k = 0; k < 3 - padding; ++k) out.push_back(static_cast<std::uint8_t>(bits >> (16 - 8 * k)));
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::uint8_t> bytes(data, data + size);
    const std::string encoded = json::base64Encode(bytes);
    fuzz::require(encoded.size() == (size + 2) / 3 * 4, "encoded length");
    fuzz::require(json::base64Decode(encoded) == bytes, "encoded bytes decode back");

    const auto input = fuzz::text(data, size);
    const auto decoded = json::base64Decode(input);
    fuzz::require(decoded == plainDecode(input), "decoded as spelled");
    if (decoded) fuzz::require(json::base64Encode(*decoded).size() == size, "decoded bytes encode to the same length");
    return 0;
}
