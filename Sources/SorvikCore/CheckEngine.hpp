#pragma once
// Delivery checks against a delivery's rules, and the copy-text split they share.
#include <string>
#include <utility>
#include <vector>

#include "SorvikCore/Models.hpp"

namespace sorvik::CheckEngine {

/// Every check of the delivery, in a fixed order. Pure; never fails.
std::vector<DeliveryCheck> checks(const Delivery& delivery);

/// (title, body) of a copy text: the first non-empty line and the rest, trimmed.
std::pair<std::string, std::string> titleAndBody(std::string_view text);

/// The name of an aspect ratio ("3:4", "9:16", ...).
std::string ratioLabel(double ratio);

}  // namespace sorvik::CheckEngine
