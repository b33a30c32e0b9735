#include "Sorvik/Support/SearchText.hpp"

#include "SorvikCore/TextMatching.hpp"

namespace sorvik::app {

SearchText::SearchText(std::string_view typed) : folded_(fold(typed)) {}

std::string SearchText::fold(std::string_view text) { return text::foldCase(text); }

bool SearchText::foundIn(std::string_view text) const {
    if (folded_.empty()) return true;
    return foundInFolded(fold(text));
}

bool SearchText::foundInFolded(std::string_view folded) const {
    return folded_.empty() || folded.find(folded_) != std::string_view::npos;
}

}  // namespace sorvik::app
