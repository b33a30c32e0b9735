// "workspace.json": decoding never crashes, and what decodes writes and reads back the same.
#include "Fuzz/FuzzSupport.hpp"
#include "SorvikCore/WorkspaceModels.hpp"

using namespace sorvik;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    WorkspaceState state;
    try {
        state = coding::decodeWorkspaceState(json::parse(fuzz::text(data, size)));
    } catch (const DecodingError&) {
        return 0;
    }
    fuzz::check("writing and reading back", [&] {
        const std::string once = json::dumpCompact(coding::encode(state));
        const std::string twice = json::dumpCompact(coding::encode(coding::decodeWorkspaceState(json::parse(once))));
        fuzz::require(once == twice);
    });
    return 0;
}
