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
    if (text.size() != 36) return std::nullopt;
    std::array<std::uint8_t, 16> bytes{};
    std::size_t byte = 0;
    for (std::size_t i = 0; i < text.size();) {
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            if (text[i++] != '-') return std::nullopt;
            continue;
        }
        const int high = hexValue(text[i]), low = hexValue(text[i + 1]);
        if (high < 0 || low < 0) return std::nullopt;
        bytes[byte++] = static_cast<std::uint8_t>(high << 4 | low);
        i += 2;
    }
    return UUID(bytes);
}

std::string UUID::string() const {
    char out[37];
    uuid_unparse_upper(bytes_.data(), out);
    return std::string(out, 36);
}

}  // namespace sorvik
