#include "SorvikCore/Identifier.hpp"

#include <uuid/uuid.h>

namespace sorvik {

UUID UUID::make() {
    std::array<std::uint8_t, 16> bytes{};
    uuid_generate_random(bytes.data());
    return UUID(bytes);
}

namespace {
/// The value of each hexadecimal digit, either case; -1 for every other byte.
constexpr std::array<std::int8_t, 256> hexValues = [] {
    std::array<std::int8_t, 256> table{};
    table.fill(-1);
    for (int i = 0; i < 10; ++i) table['0' + i] = static_cast<std::int8_t>(i);
    for (int i = 0; i < 6; ++i) table['a' + i] = table['A' + i] = static_cast<std::int8_t>(10 + i);
    return table;
}();

int hexValue(char c) { return hexValues[static_cast<unsigned char>(c)]; }
}  // namespace

std::optional<UUID> UUID::parse(std::string_view text) {
    // Where each byte's two digits start: 8-4-4-4-12 digits with a dash between the groups.
    static constexpr std::array<std::uint8_t, 16> starts{0, 2, 4, 6, 9, 11, 14, 16, 19, 21, 24, 26, 28, 30, 32, 34};
    if (text.size() != 36 || text[8] != '-' || text[13] != '-' || text[18] != '-' || text[23] != '-')
        return std::nullopt;
    std::array<std::uint8_t, 16> bytes{};
    int invalid = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const int high = hexValue(text[starts[i]]), low = hexValue(text[starts[i] + 1]);
        invalid |= high | low;
        bytes[i] = static_cast<std::uint8_t>((high & 0x0F) << 4 | (low & 0x0F));
    }
    if (invalid < 0) return std::nullopt;
    return UUID(bytes);
}

std::string UUID::string() const {
    char out[37];
    uuid_unparse_upper(bytes_.data(), out);
    return std::string(out, 36);
}

}  // namespace sorvik
