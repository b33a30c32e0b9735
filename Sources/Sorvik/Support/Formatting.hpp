#pragma once
// Texts the views show for numbers, durations and paths. Pure; any thread.
#include <cstdint>
#include <string>
#include <string_view>

namespace sorvik::app {

/// Minutes and seconds "%02d:%02d" of a duration, minutes never folded into hours (3725 s give
/// "62:05"). Truncated toward zero; NaN and negative durations give "00:00", huge ones are held to
/// the largest whole number of seconds.
std::string shortTime(double seconds);

/// The path with the home folder written as "~" ("~" alone for the home folder itself).
std::string abbreviatingHome(std::string_view path, std::string_view home);
/// The same with this user's home folder.
std::string abbreviatingHome(std::string_view path);

/// The last path component of a stored folder path, a trailing "/" ignored.
std::string lastPathComponent(std::string_view path);

/// A file size as file viewers write it, in decimal units: "999 bytes", "1 KB", "1.2 MB",
/// "1.23 GB" (KB whole, MB one decimal, GB and above two, no padding zeros). `language` "en" or "zh-Hans" only
/// names the unit of sizes under 1 KB.
std::string byteCountText(std::int64_t bytes, std::string_view language);

}  // namespace sorvik::app
