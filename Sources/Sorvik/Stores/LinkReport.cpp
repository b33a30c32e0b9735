#include "Sorvik/Stores/LinkReport.hpp"

#include <string_view>

#include "SorvikCore/Localization.hpp"

namespace sorvik::app {

std::string linkFailureLine(const std::string& failure, const std::vector<std::string>& names) {
    std::size_t split = std::string::npos;
    for (const std::string& name : names) {
        if (failure.size() > name.size() + 1 && failure.starts_with(name) &&
            failure.compare(name.size(), 2, ": ") == 0 && (split == std::string::npos || name.size() > split)) {
            split = name.size();
        }
    }
    if (split == std::string::npos) return L(failure);
    return failure.substr(0, split + 2) + L(std::string_view(failure).substr(split + 2));
}

}  // namespace sorvik::app
