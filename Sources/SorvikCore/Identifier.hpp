#pragma once
// 128-bit identifiers (libuuid), written as upper-case canonical text.
#include <array>
#include <compare>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace sorvik {

class UUID {
public:
    UUID() = default;  // the nil identifier
    explicit UUID(const std::array<std::uint8_t, 16>& bytes) : bytes_(bytes) {}

    /// A fresh random identifier.
    static UUID make();
    /// The canonical 8-4-4-4-12 hexadecimal form, either letter case, nothing around it.
    static std::optional<UUID> parse(std::string_view text);

    /// Upper-case canonical text of 36 characters.
    std::string string() const;
    const std::array<std::uint8_t, 16>& bytes() const { return bytes_; }

    friend auto operator<=>(const UUID&, const UUID&) = default;
    friend bool operator==(const UUID&, const UUID&) = default;

private:
    std::array<std::uint8_t, 16> bytes_{};
};

}  // namespace sorvik

template <>
struct std::hash<sorvik::UUID> {
    std::size_t operator()(const sorvik::UUID& id) const noexcept {
        std::size_t h = 1469598103934665603ULL;
        for (auto b : id.bytes()) h = (h ^ b) * 1099511628211ULL;
        return h;
    }
};
