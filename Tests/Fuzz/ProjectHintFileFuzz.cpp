// "project.json" hint files: any content gives a hint or none, never a crash or an exception.
#include "Fuzz/FuzzSupport.hpp"
#include "SorvikCore/ProjectHintFile.hpp"
#include "SorvikCore/UnicodeText.hpp"

using namespace sorvik;
namespace fs = std::filesystem;

namespace {
const fs::path& folder() {
    static const fuzz::TemporaryFolder folder("sorvik-hint-fuzz");
    return folder.path();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::writeFile(folder() / "project.json", fuzz::text(data, size));
    const auto hint = ProjectHintFile::read(folder());
    if (hint) {
        fuzz::require(size < ProjectHintFile::sizeLimit);
        fuzz::require(unicode::isValidUTF8(*hint) && !hint->empty());
    }
    return 0;
}
