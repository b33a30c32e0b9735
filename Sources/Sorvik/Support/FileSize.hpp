#pragma once
// The size of a file as people read it. Pure; any thread.
#include <cstdint>
#include <string>

namespace sorvik::app {

/// A byte count in decimal units the way file managers write it: "Zero KB", "1 byte", "999 bytes",
/// then KB without decimals, MB with one and GB and above with two, trailing zeros dropped
/// (1 234 567 bytes read "1.2 MB"). The word texts are translated through the catalogue.
std::string fileSizeText(std::int64_t bytes);

}  // namespace sorvik::app
