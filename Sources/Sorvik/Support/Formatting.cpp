#include "Sorvik/Support/Formatting.hpp"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
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

}  // namespace sorvik::app
