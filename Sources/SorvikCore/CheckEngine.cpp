#include "SorvikCore/CheckEngine.hpp"

#include "SorvikCore/UnicodeText.hpp"

namespace sorvik::CheckEngine {

std::pair<std::string, std::string> titleAndBody(std::string_view text) {
    const auto lines = unicode::splitLines(text);
    std::size_t index = 0;
    while (index < lines.size() && unicode::trimWhitespaceAndNewlines(lines[index]).empty()) ++index;
    if (index == lines.size()) return {};

    std::string_view title = lines[index];
    auto strip = [](char c) { return c == '#' || c == ' ' || c == '\t'; };
    while (!title.empty() && strip(title.front())) title.remove_prefix(1);
    while (!title.empty() && strip(title.back())) title.remove_suffix(1);

    std::string body;
    for (std::size_t i = index + 1; i < lines.size(); ++i) {
        if (i > index + 1) body += '\n';
        body += lines[i];
    }
    return {std::string(title), std::string(unicode::trimWhitespaceAndNewlines(body))};
}

}  // namespace sorvik::CheckEngine
