#include "SorvikCore/Identifier.hpp"

#include <cctype>

#include <uuid/uuid.h>

namespace sorvik {

UUID UUID::make() {
    std::array<std::uint8_t, 16> bytes{};
    uuid_generate_random(bytes.data());
    return UUID(bytes);
}

std::optional<UUID> UUID::parse(std::string_view text) {
    if (text.size() != 36) return std::nullopt;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        if (dash ? c != '-' : !std::isxdigit(static_cast<unsigned char>(c))) return std::nullopt;
    }
    const std::string copy(text);
    std::array<std::uint8_t, 16> bytes{};
    if (uuid_parse(copy.c_str(), bytes.data()) != 0) return std::nullopt;
    return UUID(bytes);
}

std::string UUID::string() const {
    char out[37];
    uuid_unparse_upper(bytes_.data(), out);
    return std::string(out, 36);
}

}  // namespace sorvik
