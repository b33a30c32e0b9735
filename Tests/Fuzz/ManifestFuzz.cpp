// Manifest files: reading never crashes and agrees with the former reader; what it reads
// writes and reads back the same.
#include "Fuzz/JsonFuzzSupport.hpp"
#include "Reference/ReferenceCoding.hpp"

using namespace sorvik;

namespace {
std::string readAndWrite(const std::string& text) { return encodeManifestFile(decodeManifestFile(text)); }
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(fuzz::text(data, size));
    const auto read = fuzz::requireSameOutcome(
        text, readAndWrite, [](const std::string& t) { return encodeManifestFile(reference::readManifest(t)); });
    if (read.ok) {
        fuzz::check("writing and reading back", [&] {
            fuzz::require(readAndWrite(read.text) == read.text, "the written text reads back to itself");
        });
    }
    return 0;
}
