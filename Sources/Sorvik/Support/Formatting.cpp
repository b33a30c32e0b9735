#include "Sorvik/Support/Formatting.hpp"

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

std::string byteCount(std::int64_t bytes, std::string_view languageCode) {
    const bool chinese = languageCode != InterfaceLanguage::english;
    if (bytes == 0) return chinese ? "零 KB" : "Zero KB";
    // The magnitude as an unsigned number, so the smallest 64-bit value has one too.
    const std::uint64_t magnitude = bytes < 0 ? 0 - static_cast<std::uint64_t>(bytes) : static_cast<std::uint64_t>(bytes);
    const std::string sign = bytes < 0 ? "-" : "";
    if (magnitude < 1000) {
        if (chinese) return sign + std::to_string(magnitude) + " 字节";
        return sign + std::to_string(magnitude) + (magnitude == 1 ? " byte" : " bytes");
    }
    static constexpr const char* units[] = {"KB", "MB", "GB", "TB", "PB", "EB"};
    static constexpr int digits[] = {0, 1, 2, 2, 2, 2};
    double value = double(magnitude) / 1000.0;
    std::size_t unit = 0;
    double rounded = 0;
    for (;;) {
        const double scale = std::pow(10.0, digits[unit]);
        rounded = std::round(value * scale) / scale;
        // 999,999 bytes round to 1,000 KB: shown as 1 MB.
        if (rounded < 1000 || unit + 1 == std::size(units)) break;
        value /= 1000.0;
        ++unit;
    }
    // Independent of the process locale: always a full stop.
    char text[64];
    const auto written = std::to_chars(text, text + sizeof text, rounded, std::chars_format::fixed, digits[unit]);
    std::string number(text, written.ptr);
    if (number.find('.') != std::string::npos) {
        while (number.back() == '0') number.pop_back();
        if (number.back() == '.') number.pop_back();
    }
    return sign + number + " " + units[unit];
}

std::string byteCount(std::int64_t bytes) { return byteCount(bytes, InterfaceLanguage::code()); }

}  // namespace sorvik::app
