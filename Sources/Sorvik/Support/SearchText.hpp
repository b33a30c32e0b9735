#pragma once
// The search text of the lists: a text contains it when it does with letter case ignored (full
// Unicode case folding). The text is used as typed, never trimmed.
#include <string>
#include <string_view>

namespace sorvik::app {

class SearchText {
public:
    explicit SearchText(std::string_view typed);
    bool empty() const { return folded_.empty(); }
    /// Whether `text` contains the search text; the empty search text is in every text.
    bool foundIn(std::string_view text) const;
    /// The same for a text folded already with `fold`.
    bool foundInFolded(std::string_view folded) const;
    /// The comparison form of a text.
    static std::string fold(std::string_view text);

private:
    std::string folded_;
};

}  // namespace sorvik::app
