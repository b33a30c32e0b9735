// ISO 8601 date-times as manifests carry them: any text reads as a date or none, a date read
// writes back as text that reads as the same date, and any date writes as text that reads.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "Fuzz/FuzzSupport.hpp"
#include "SorvikCore/ExportManifest.hpp"

using namespace sorvik;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto input = fuzz::text(data, size);
    if (const auto date = parseISO8601(input)) {
        fuzz::require(std::isfinite(date->seconds) && date->seconds == std::floor(date->seconds), "whole seconds");
        const std::string written = iso8601(*date);
        fuzz::require(parseISO8601(written) == date, "the date written reads back");
        if (input.size() == 20) {
            // Text in UTC is written as it was read, but for the case of "T" and "Z".
            std::string upper(input);
            upper[10] = 'T';
            upper[19] = 'Z';
            fuzz::require(written == upper, "UTC text written as it was read");
        }
    }

    // The first eight bytes as a date: written in whole seconds, held to four-digit years.
    if (size >= sizeof(double)) {
        double seconds;
        std::memcpy(&seconds, data, sizeof seconds);
        const Date date{seconds};
        const auto back = parseISO8601(iso8601(date));
        fuzz::require(back.has_value(), "any date writes as text that reads");
        constexpr double first = -62167219200.0, last = 253402300799.0;
        const double unix = std::floor(date.unixSeconds());
        const double expected = std::isfinite(unix) ? std::clamp(unix, first, last) : 0;
        fuzz::require(back->unixSeconds() == expected, "the date written is the date in whole seconds");
    }
    return 0;
}
