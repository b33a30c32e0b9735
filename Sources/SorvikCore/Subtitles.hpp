#pragma once
// SubRip (SRT) subtitle text: parsing into cues, clipping to a video's length, timestamps.
#include <string>
#include <string_view>
#include <vector>

namespace sorvik {

/// One cue: times in seconds from the start of the video, text lines joined with line feeds.
struct SubtitleCue {
    double start = 0;
    double end = 0;
    std::string body;

    friend bool operator==(const SubtitleCue&, const SubtitleCue&) = default;
};

namespace Subtitles {

/// The cues in text order: at least one, finite times with start < end, no empty body,
/// starts never decreasing. Throws SorvikError naming the first offending block.
/// Times whose milliseconds do not fit a signed 64-bit integer are invalid like any
/// other out-of-range time. Linear in the text.
std::vector<SubtitleCue> parse(std::string_view text);

/// The cues starting before `duration`, renumbered from 1, ends clamped to the duration,
/// written back as SRT with line feeds and a final line feed. The text always parses again:
/// a cue whose written times read back with its end not after its start, out of range, or
/// starting before the cue written before it is left out. Throws SorvikError.
std::string clipped(std::string_view text, double duration);

/// "HH:MM:SS,mmm" with whole milliseconds rounded down; hours take as many digits as
/// they need. Negative and NaN give zero; values past the 64-bit millisecond range are
/// clamped to it.
std::string timestamp(double seconds);

}  // namespace Subtitles

}  // namespace sorvik
