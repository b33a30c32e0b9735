// Translation of finished messages: any text, however nested or long, translates without a
// crash or a hang; Chinese returns it unchanged and valid UTF-8 stays valid.
#include "Fuzz/FuzzSupport.hpp"
#include "SorvikCore/Localization.hpp"
#include "SorvikCore/UnicodeText.hpp"

using namespace sorvik;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto text = fuzz::text(data, size);
    fuzz::require(L(InLanguage{InterfaceLanguage::chinese}, text) == text);
    const std::string english = L(InLanguage{InterfaceLanguage::english}, text);
    if (unicode::isValidUTF8(text)) fuzz::require(unicode::isValidUTF8(english));
    // With arguments, placeholders are filled and nothing else is scanned again.
    (void)L(InLanguage{InterfaceLanguage::english}, text, std::string(text), 7);
    return 0;
}
