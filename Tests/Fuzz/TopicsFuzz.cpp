// Topics, keys and matching on arbitrary names and texts: no crash, no hang, valid UTF-8 out,
// keys stable under a second folding.
#include "Fuzz/FuzzSupport.hpp"
#include "SorvikCore/ProjectMatcher.hpp"
#include "SorvikCore/UnicodeText.hpp"

using namespace sorvik;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto input = fuzz::text(data, size);
    const auto split = input.find('\0');
    const std::string_view first = input.substr(0, split);
    const std::string_view second = split == std::string_view::npos ? std::string_view{} : input.substr(split + 1);

    const std::string key = ProjectMatcher::key(first);
    fuzz::require(unicode::isValidUTF8(key));
    fuzz::require(ProjectMatcher::key(key) == key);
    if (const auto topic = ProjectMatcher::topic(first)) fuzz::require(unicode::isValidUTF8(*topic) && !topic->empty());
    if (const auto topic = ProjectMatcher::folderTopic(first)) fuzz::require(unicode::isValidUTF8(*topic));
    // Matching a term in itself, and in any text, must neither crash nor hang.
    (void)ProjectMatcher::matches(first, second);
    return 0;
}
