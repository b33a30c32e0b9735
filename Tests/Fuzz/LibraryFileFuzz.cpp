// "library.json": decoding never crashes, and what decodes round-trips.
#include "Fuzz/FuzzSupport.hpp"
#include "SorvikCore/Models.hpp"

using namespace sorvik;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<Delivery> deliveries;
    try {
        deliveries = json::decodeArray<Delivery>(json::parse(fuzz::text(data, size)), "library", coding::decodeDelivery);
    } catch (const DecodingError&) {
        return 0;
    }
    fuzz::check("writing and reading back", [&] {
        const Json encoded = json::encodeArray(deliveries, [](const Delivery& d) { return coding::encode(d); });
        const auto back = json::decodeArray<Delivery>(json::parse(json::dumpPretty(encoded)), "library",
                                                      coding::decodeDelivery);
        fuzz::require(back.size() == deliveries.size());
        for (std::size_t i = 0; i < back.size(); ++i) fuzz::require(back[i].files == deliveries[i].files);
    });
    return 0;
}
