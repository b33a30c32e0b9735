// Subtitle parsing and clipping: never crash, cues keep their promises, clipped text parses again.
#include <cmath>
#include <cstring>

#include "Fuzz/FuzzSupport.hpp"
#include "SorvikCore/Models.hpp"
#include "SorvikCore/Subtitles.hpp"

using namespace sorvik;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    double duration = 0;
    if (size >= sizeof duration) {
        std::memcpy(&duration, data, sizeof duration);
        data += sizeof duration;
        size -= sizeof duration;
    }
    const auto text = fuzz::text(data, size);
    std::vector<SubtitleCue> cues;
    try {
        cues = Subtitles::parse(text);
    } catch (const SorvikError&) {
        return 0;
    }
    fuzz::require(!cues.empty());
    for (std::size_t i = 0; i < cues.size(); ++i) {
        fuzz::require(std::isfinite(cues[i].start) && std::isfinite(cues[i].end) && cues[i].start < cues[i].end);
        if (i > 0) fuzz::require(cues[i - 1].start <= cues[i].start);
    }
    std::string clipped;
    try {
        clipped = Subtitles::clipped(text, duration);
    } catch (const SorvikError&) {
        return 0;
    }
    fuzz::check("parsing the clipped text", [&] {
        const auto again = Subtitles::parse(clipped);
        fuzz::require(!again.empty() && again.size() <= cues.size());
    });
    return 0;
}
