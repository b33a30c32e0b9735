// "project.json" hint files: any content gives a hint or none, never a crash or an exception.
#include "Fuzz/FuzzSupport.hpp"
#include "SorvikCore/ProjectHintFile.hpp"
#include "SorvikCore/UnicodeText.hpp"

using namespace sorvik;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const fuzz::TemporaryFolder folder("sorvik-hint-fuzz");
    fuzz::writeFile(folder.path() / "project.json", fuzz::text(data, size));
    const auto hint = ProjectHintFile::read(folder.path());
    if (hint) {
        fuzz::require(size < ProjectHintFile::sizeLimit);
        fuzz::require(unicode::isValidUTF8(*hint) && !hint->empty());
    }
    return 0;
}
