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

/// A byte count in decimal units the way file managers write it: "Zero KB", "1 byte", "999 bytes",
/// then KB without decimals, MB with one and GB and above with two, trailing zeros dropped
/// (1 234 567 bytes read "1.2 MB"). The words come from the catalogue in the given language.
std::string fileSizeText(std::int64_t bytes, std::string_view language);
/// The same in the interface language.
std::string fileSizeText(std::int64_t bytes);

}  // namespace sorvik::app
