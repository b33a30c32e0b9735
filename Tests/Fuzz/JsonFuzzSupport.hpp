#pragma once
// Library files and manifests under fuzzing: the strict reader is compared with the former
// nlohmann-json reader, and what it reads is written as the former writer did.
#include <string>

#include "Fuzz/FuzzSupport.hpp"
#include "Reference/ReferenceCoding.hpp"

namespace sorvik::fuzz {

/// Reads the text with both readers, requires them to agree, and gives the strict one's outcome.
template <typename ReadNew, typename ReadOld>
reference::Outcome requireSameOutcome(const std::string& text, ReadNew readNew, ReadOld readOld) {
    const auto now = reference::outcome([&] { return readNew(text); });
    require(reference::agree(text, now, reference::outcome([&] { return readOld(text); })));
    return now;
}

}  // namespace sorvik::fuzz
