#include "Sorvik/Support/Formatting.hpp"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <limits>

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

std::string byteCountText(std::int64_t bytes, std::string_view language) {
    const bool english = language == "en";
    if (bytes < 0) bytes = 0;
    if (bytes == 0) return english ? "Zero KB" : "0 KB";
    if (bytes < 1000) {
        if (english) return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
        return std::to_string(bytes) + " 字节";
    }
    static constexpr const char* units[] = {"KB", "MB", "GB", "TB", "PB", "EB"};
    static constexpr int decimals[] = {0, 1, 2, 2, 2, 2};
    double value = static_cast<double>(bytes) / 1000.0;
    std::size_t unit = 0;
    // A value that rounds up to 1000 of one unit is written in the next one.
    while (unit + 1 < std::size(units)) {
        const double scale = std::pow(10.0, decimals[unit]);
        if (std::round(value * scale) / scale < 1000.0) break;
        value /= 1000.0;
        ++unit;
    }
    char number[40];
    std::snprintf(number, sizeof number, "%.*f", decimals[unit], value);
    // No padding zeros: "1 MB", "1.2 GB".
    std::string text = number;
    if (text.find('.') != std::string::npos) {
        while (text.back() == '0') text.pop_back();
        if (text.back() == '.') text.pop_back();
    }
    return text + " " + units[unit];
}

}  // namespace sorvik::app
