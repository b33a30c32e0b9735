#include "Sorvik/Support/AppConfiguration.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>

#ifndef SORVIK_APP_VERSION
#define SORVIK_APP_VERSION ""
#endif
#ifndef SORVIK_SCAN_INTERVAL_SECONDS
#define SORVIK_SCAN_INTERVAL_SECONDS ""
#endif

namespace sorvik::app::AppConfiguration {

namespace {
std::optional<std::string_view> configured(std::string_view value) {
    if (value.empty()) return std::nullopt;
    return value;
}
}  // namespace

std::string versionFrom(std::optional<std::string_view> raw) {
    if (!raw) return "开发版";
    return std::string(*raw);
}

double scanIntervalFrom(std::optional<std::string_view> raw) {
    constexpr double fallback = 30;
    if (!raw) return fallback;
    double value = 0;
    const char* end = raw->data() + raw->size();
    const auto [ptr, ec] = std::from_chars(raw->data(), end, value);
    if (ec == std::errc::result_out_of_range) {
        // A number too large (or too small) for a double: still a number, held to the range.
        return raw->starts_with('-') ? 15.0 : 600.0;
    }
    if (ec != std::errc() || ptr != end || std::isnan(value)) return fallback;
    return std::clamp(value, 15.0, 600.0);
}

const std::string& version() {
    static const std::string value = versionFrom(configured(SORVIK_APP_VERSION));
    return value;
}

double scanInterval() {
    static const double value = scanIntervalFrom(configured(SORVIK_SCAN_INTERVAL_SECONDS));
    return value;
}

}  // namespace sorvik::app::AppConfiguration
