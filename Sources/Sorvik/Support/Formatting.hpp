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

/// A file size as the file manager shows it: decimal units ("1.2 MB", "4 KB", "2.15 GB"), whole
/// kilobytes, one digit for megabytes, two above, trailing zeros dropped; "512 bytes" below a
/// kilobyte and "Zero KB" for nothing. `languageCode` "zh-Hans" gives "512 字节" and "零 KB".
std::string byteCount(std::int64_t bytes, std::string_view languageCode);
/// The same in the interface language.
std::string byteCount(std::int64_t bytes);

}  // namespace sorvik::app
