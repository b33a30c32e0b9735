#include "Sorvik/Support/FileSize.hpp"

#include <array>
#include <cmath>
#include <cstdio>
#include <vector>

#include "SorvikCore/Localization.hpp"

namespace sorvik::app {

namespace {

/// The value with `digits` decimals, trailing zeros and a bare point removed.
std::string decimal(double value, int digits) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", digits, value);
    std::string out = text;
    if (out.find('.') != std::string::npos) {
        while (out.back() == '0') out.pop_back();
        if (out.back() == '.') out.pop_back();
    }
    return out;
}

}  // namespace

std::string fileSizeText(std::int64_t bytes) {
    // Sizes come from the file system and are never negative; a corrupt record reads as empty.
    if (bytes <= 0) return L("零 KB");
    if (bytes == 1) return L("1 字节");
    if (bytes < 1000) return L("{0} 字节", {std::to_string(bytes)});
    // As a double: exact below 2^53, and the text needs no more.
    const double magnitude = static_cast<double>(bytes);
    static constexpr std::array<const char*, 6> units{"KB", "MB", "GB", "TB", "PB", "EB"};
    static constexpr std::array<int, 6> digits{0, 1, 2, 2, 2, 2};
    double value = magnitude / 1000;
    std::size_t unit = 0;
    // A value that rounds up to 1000 is written in the next unit ("1 MB", not "1000 KB").
    while (unit + 1 < units.size()) {
        const double scale = std::pow(10.0, digits[unit]);
        if (std::round(value * scale) / scale < 1000) break;
        value /= 1000;
        ++unit;
    }
    return decimal(value, digits[unit]) + " " + units[unit];
}

}  // namespace sorvik::app
