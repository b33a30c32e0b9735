#pragma once
// Shared pieces of the fuzz targets.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace sorvik::fuzz {

inline std::string_view text(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

/// A property that must hold for every input; a violation is a finding.
inline void require(bool condition) {
    if (!condition) std::abort();
}

}  // namespace sorvik::fuzz
