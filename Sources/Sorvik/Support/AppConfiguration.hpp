#pragma once
// Values fixed when the app is built: the version text and the scan interval.
#include <optional>
#include <string>
#include <string_view>

namespace sorvik::app::AppConfiguration {

/// The version the app was built as, else "开发版".
const std::string& version();
/// Seconds between silent scans: the build's value when it is a number, else 30; held to 15...600.
double scanInterval();

/// The rules behind the two values, for any raw value.
std::string versionFrom(std::optional<std::string_view> raw);
double scanIntervalFrom(std::optional<std::string_view> raw);

}  // namespace sorvik::app::AppConfiguration
