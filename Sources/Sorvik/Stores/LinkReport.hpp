#pragma once
// The lines that report files that could not be linked.
#include <string>
#include <vector>

namespace sorvik::app {

/// A failure line "name: message" with the message in the interface language. The name is the
/// longest of `names` the line starts with, so a name holding ": " stays whole; a line that
/// starts with none of them is translated whole.
std::string linkFailureLine(const std::string& failure, const std::vector<std::string>& names);

}  // namespace sorvik::app
