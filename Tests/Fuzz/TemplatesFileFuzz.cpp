// "templates.json": decoding never crashes, and what decodes round-trips.
#include "Fuzz/FuzzSupport.hpp"
#include "SorvikCore/Models.hpp"

using namespace sorvik;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<TemplatePreset> presets;
    try {
        presets = json::decodeArray<TemplatePreset>(json::parse(fuzz::text(data, size)), "templates",
                                                    coding::decodeTemplatePreset);
    } catch (const DecodingError&) {
        return 0;
    }
    fuzz::check("writing and reading back", [&] {
        const Json encoded = json::encodeArray(presets, [](const TemplatePreset& p) { return coding::encode(p); });
        const auto back = json::decodeArray<TemplatePreset>(json::parse(json::dumpPretty(encoded)), "templates",
                                                            coding::decodeTemplatePreset);
        fuzz::require(back.size() == presets.size());
        for (std::size_t i = 0; i < back.size(); ++i)
            fuzz::require(back[i].id == presets[i].id && back[i].templ == presets[i].templ);
    });
    return 0;
}
