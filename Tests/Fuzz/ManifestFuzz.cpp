// Manifest files: decoding never crashes, and what decodes writes and reads back the same.
#include "Fuzz/FuzzSupport.hpp"
#include "SorvikCore/ExportManifest.hpp"

using namespace sorvik;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ExportManifest manifest;
    try {
        manifest = decodeManifestFile(fuzz::text(data, size));
    } catch (const DecodingError&) {
        return 0;
    }
    fuzz::check("writing and reading back", [&] {
        const std::string once = encodeManifestFile(manifest);
        fuzz::require(encodeManifestFile(decodeManifestFile(once)) == once);
    });
    return 0;
}
