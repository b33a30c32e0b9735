#include "Sorvik/Support/Formatting.hpp"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <limits>

#include "SorvikCore/Localization.hpp"

namespace sorvik::app {

std::string shortTime(double seconds) {
    std::int64_t whole = 0;
    if (std::isnan(seconds) || seconds <= 0) {
        whole = 0;
    } else if (seconds >= 9.2e18) {
        whole = std::numeric_limits<std::int64_t>::max();
    } else {
        whole = static_cast<std::int64_t>(seconds);
    }
    char text[48];
    std::snprintf(text, sizeof text, "%02lld:%02lld", static_cast<long long>(whole / 60),
                  static_cast<long long>(whole % 60));
    return text;
}

std::string abbreviatingHome(std::string_view path, std::string_view home) {
    while (home.size() > 1 && home.back() == '/') home.remove_suffix(1);
    if (home.empty() || home == "/") return std::string(path);
    if (path == home) return "~";
    if (path.size() > home.size() && path.starts_with(home) && path[home.size()] == '/') {
        return "~" + std::string(path.substr(home.size()));
    }
    return std::string(path);
}

std::string abbreviatingHome(std::string_view path) {
    const char* home = std::getenv("HOME");
    return abbreviatingHome(path, home ? home : "");
}

std::string lastPathComponent(std::string_view path) {
    while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
    if (path == "/") return "/";
    const auto slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

namespace {

/// The value with `digits` decimals, trailing zeros and a bare point removed; always a full stop,
/// whatever the process locale says.
std::string decimal(double value, int digits) {
    char text[64];
    const auto written = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, digits);
    std::string out(text, written.ptr);
    if (out.find('.') != std::string::npos) {
        while (out.back() == '0') out.pop_back();
        if (out.back() == '.') out.pop_back();
    }
    return out;
}

}  // namespace

std::string fileSizeText(std::int64_t bytes, std::string_view language) {
    const InLanguage in{language};
    // Sizes come from the file system and are never negative; a corrupt record reads as empty.
    if (bytes <= 0) return L(in, "零 KB");
    if (bytes == 1) return L(in, "1 字节");
    if (bytes < 1000) return L(in, "{0} 字节", {std::to_string(bytes)});
    static constexpr std::array<const char*, 6> units{"KB", "MB", "GB", "TB", "PB", "EB"};
    static constexpr std::array<int, 6> digits{0, 1, 2, 2, 2, 2};
    // As a double: exact below 2^53, and the text needs no more.
    double value = static_cast<double>(bytes) / 1000;
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

std::string fileSizeText(std::int64_t bytes) { return fileSizeText(bytes, InterfaceLanguage::code()); }

}  // namespace sorvik::app
