// Translation of finished messages: any text, however nested or long, translates without a
// crash or a hang; Chinese returns a text without Latin letters unchanged (only platform errors,
// written in English, get Chinese) and valid UTF-8 stays valid.
#include <algorithm>

#include "Fuzz/FuzzSupport.hpp"
#include "SorvikCore/Localization.hpp"
#include "SorvikCore/UnicodeText.hpp"

using namespace sorvik;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto text = fuzz::text(data, size);
    const std::string chinese = L(InLanguage{InterfaceLanguage::chinese}, text);
    const bool latin =
        std::any_of(text.begin(), text.end(), [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); });
    if (!latin) fuzz::require(chinese == text);
    if (unicode::isValidUTF8(text)) fuzz::require(unicode::isValidUTF8(chinese));
    const std::string english = L(InLanguage{InterfaceLanguage::english}, text);
    if (unicode::isValidUTF8(text)) fuzz::require(unicode::isValidUTF8(english));
    // With arguments, placeholders are filled and nothing else is scanned again.
    (void)L(InLanguage{InterfaceLanguage::english}, text, std::string(text), 7);
    return 0;
}
