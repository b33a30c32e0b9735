#include "SorvikCore/Subtitles.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <optional>

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include "SorvikCore/Models.hpp"
#include "SorvikCore/UnicodeText.hpp"

namespace sorvik::Subtitles {

namespace {

constexpr std::string_view kEmptyFile = "字幕文件为空";
constexpr std::string_view kBadTiming = "第 {0} 段字幕时间格式无效，请使用 SRT";
constexpr std::string_view kBadRange = "第 {0} 段字幕为空或时间范围无效";
constexpr std::string_view kUnordered = "第 {0} 段字幕未按时间排序";
constexpr std::string_view kNoCues = "未找到有效字幕";
constexpr std::string_view kNothingInside = "没有位于视频时长以内的字幕，请手动调整时间轴";

/// 2^63: the first value of milliseconds a signed 64-bit integer cannot hold.
constexpr double kMillisecondLimit = 9223372036854775808.0;

SorvikError blockError(std::string_view templ, std::size_t number) {
    std::string message;
    const auto at = templ.find("{0}");
    message.append(templ.substr(0, at)).append(std::to_string(number)).append(templ.substr(at + 3));
    return SorvikError(std::move(message));
}

/// CR LF and lone CR become LF; every U+FEFF (EF BB BF) is removed.
std::string normalised(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r') {
            out += '\n';
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else if (c == '\xEF' && i + 2 < text.size() && text[i + 1] == '\xBB' && text[i + 2] == '\xBF') {
            i += 2;
        } else {
            out += c;
        }
    }
    return out;
}

bool isSpace(UChar32 c) { return c == '\t' || u_charType(c) == U_SPACE_SEPARATOR; }

/// Trims tabs and space separators (no newlines) from both ends.
std::string_view trimSpaces(std::string_view text) {
    const auto* s = reinterpret_cast<const uint8_t*>(text.data());
    const auto length = static_cast<int32_t>(text.size());
    int32_t begin = 0;
    while (begin < length) {
        int32_t after = begin;
        UChar32 c;
        U8_NEXT_OR_FFFD(s, after, length, c);
        if (!isSpace(c)) break;
        begin = after;
    }
    int32_t end = length;
    while (end > begin) {
        int32_t before = end;
        UChar32 c;
        U8_PREV_OR_FFFD(s, begin, before, c);
        if (!isSpace(c)) break;
        end = before;
    }
    return text.substr(static_cast<std::size_t>(begin), static_cast<std::size_t>(end - begin));
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

/// A whole decimal integer with optional sign, within the signed 64-bit range.
bool isIndexLine(std::string_view line) {
    bool negative = false;
    if (!line.empty() && (line.front() == '+' || line.front() == '-')) {
        negative = line.front() == '-';
        line.remove_prefix(1);
    }
    if (line.empty()) return false;
    const std::uint64_t limit = negative ? std::uint64_t{1} << 63 : (std::uint64_t{1} << 63) - 1;
    std::uint64_t value = 0;
    for (char c : line) {
        if (!isDigit(c)) return false;
        const auto digit = static_cast<std::uint64_t>(c - '0');
        if (value > (limit - digit) / 10) return false;
        value = value * 10 + digit;
    }
    return true;
}

/// One side of a timing line. Hours saturate instead of overflowing; any saturated
/// value is far past the millisecond range and so rejected later.
struct ClockTime {
    std::uint64_t hours = 0;
    int minutes = 0, seconds = 0, millis = 0;

    double inSeconds() const {
        double sum = static_cast<double>(hours) * 3600 + static_cast<double>(minutes) * 60;
        sum = static_cast<double>(seconds) + sum;
        return sum + static_cast<double>(millis) / 1000;
    }
};

class LineReader {
public:
    explicit LineReader(std::string_view line) : line_(line) {}

    bool atEnd() const { return at_ == line_.size(); }
    bool take(char c) {
        if (at_ < line_.size() && line_[at_] == c) return ++at_, true;
        return false;
    }
    bool takeBlanks() {
        const auto start = at_;
        while (at_ < line_.size() && (line_[at_] == ' ' || line_[at_] == '\t')) ++at_;
        return at_ > start;
    }
    bool takeArrow() { return take('-') && take('-') && take('>'); }

    /// HH+:[0-5]d:[0-5]d[,.]ddd
    std::optional<ClockTime> takeTime() {
        ClockTime t;
        const auto start = at_;
        for (; at_ < line_.size() && isDigit(line_[at_]); ++at_) {
            const auto digit = static_cast<std::uint64_t>(line_[at_] - '0');
            constexpr auto max = std::numeric_limits<std::uint64_t>::max();
            t.hours = t.hours > (max - digit) / 10 ? max : t.hours * 10 + digit;
        }
        if (at_ - start < 2 || !take(':')) return std::nullopt;
        auto sexagesimal = [&](int& out) {
            if (at_ + 2 > line_.size()) return false;
            const char tens = line_[at_], units = line_[at_ + 1];
            if (tens < '0' || tens > '5' || !isDigit(units)) return false;
            out = (tens - '0') * 10 + (units - '0');
            at_ += 2;
            return true;
        };
        if (!sexagesimal(t.minutes) || !take(':') || !sexagesimal(t.seconds)) return std::nullopt;
        if (!take(',') && !take('.')) return std::nullopt;
        if (at_ + 3 > line_.size()) return std::nullopt;
        for (int k = 0; k < 3; ++k, ++at_) {
            if (!isDigit(line_[at_])) return std::nullopt;
            t.millis = t.millis * 10 + (line_[at_] - '0');
        }
        return t;
    }

private:
    std::string_view line_;
    std::size_t at_ = 0;
};

struct Timing {
    double start, end;
};

std::optional<Timing> readTimingLine(std::string_view line) {
    LineReader reader(line);
    const auto start = reader.takeTime();
    if (!start || !reader.takeBlanks() || !reader.takeArrow() || !reader.takeBlanks()) return std::nullopt;
    const auto end = reader.takeTime();
    if (!end || !reader.atEnd()) return std::nullopt;
    return Timing{start->inSeconds(), end->inSeconds()};
}

bool inRange(double seconds) { return std::isfinite(seconds) && std::abs(seconds * 1000) < kMillisecondLimit; }

/// Calls visit(block) for every block: blocks are separated by "\n[ \t]*\n" (matched left to
/// right without overlap) and by U+001E.
template <typename Visit>
void forEachBlock(std::string_view text, Visit visit) {
    std::size_t start = 0, i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (c == '\x1E') {
            visit(text.substr(start, i - start));
            start = ++i;
        } else if (c == '\n') {
            std::size_t j = i + 1;
            while (j < text.size() && (text[j] == ' ' || text[j] == '\t')) ++j;
            if (j < text.size() && text[j] == '\n') {
                visit(text.substr(start, i - start));
                start = i = j + 1;
            } else {
                i = j;
            }
        } else {
            ++i;
        }
    }
    visit(text.substr(start));
}

std::pair<std::string_view, std::optional<std::string_view>> firstLine(std::string_view text) {
    const auto newline = text.find('\n');
    if (newline == std::string_view::npos) return {text, std::nullopt};
    return {text.substr(0, newline), text.substr(newline + 1)};
}

void readBlock(std::string_view block, std::size_t number, std::vector<SubtitleCue>& cues) {
    auto [first, rest] = firstLine(block);
    std::string_view lines = block;
    if (isIndexLine(trimSpaces(first))) {
        if (!rest) return;  // only an index line
        lines = *rest;
    }
    auto [timingLine, bodyLines] = firstLine(lines);
    const auto timing = readTimingLine(trimSpaces(timingLine));
    if (!timing) throw blockError(kBadTiming, number);

    const auto body = bodyLines ? unicode::trimWhitespaceAndNewlines(*bodyLines) : std::string_view{};
    if (!inRange(timing->start) || !inRange(timing->end) || !(timing->end > timing->start) || body.empty())
        throw blockError(kBadRange, number);
    if (!cues.empty() && timing->start < cues.back().start) throw blockError(kUnordered, number);
    cues.push_back({timing->start, timing->end, std::string(body)});
}

}  // namespace

std::vector<SubtitleCue> parse(std::string_view text) {
    const std::string normal = normalised(text);
    const auto trimmed = unicode::trimWhitespaceAndNewlines(normal);
    if (trimmed.empty()) throw SorvikError(std::string(kEmptyFile));

    std::vector<SubtitleCue> cues;
    std::size_t number = 0;
    forEachBlock(trimmed, [&](std::string_view block) { readBlock(block, ++number, cues); });
    if (cues.empty()) throw SorvikError(std::string(kNoCues));
    return cues;
}

namespace {

/// The floor of seconds × 1000, zero for negative and NaN, held at the 64-bit limit.
long long wholeMilliseconds(double seconds) {
    const double scaled = std::floor(seconds * 1000);
    if (scaled >= kMillisecondLimit) return std::numeric_limits<long long>::max();
    if (scaled > 0) return static_cast<long long>(scaled);  // false for NaN
    return 0;
}

ClockTime clockTime(long long ms) {
    return ClockTime{static_cast<std::uint64_t>(ms / 3600000), static_cast<int>((ms / 60000) % 60),
                     static_cast<int>((ms / 1000) % 60), static_cast<int>(ms % 1000)};
}

std::string written(long long ms) {
    const ClockTime t = clockTime(ms);
    char buffer[48];
    const int length = std::snprintf(buffer, sizeof buffer, "%02llu:%02d:%02d,%03d",
                                     static_cast<unsigned long long>(t.hours), t.minutes, t.seconds, t.millis);
    return std::string(buffer, static_cast<std::size_t>(length));
}

}  // namespace

std::string clipped(std::string_view text, double duration) {
    const auto cues = parse(text);
    std::string out;
    std::size_t kept = 0;
    double lastStart = 0;
    for (const auto& cue : cues) {
        if (!(cue.start < duration)) continue;
        // Kept or dropped by the times its written timestamps read back as, so that the text
        // written parses again. Whole milliseconds alone do not tell: a duration inside the
        // cue's first millisecond writes its end equal to its start, and where a double no
        // longer holds milliseconds (about 2^43 seconds and above) two different written
        // times can read back equal, out of order or out of range.
        const long long startMs = wholeMilliseconds(cue.start);
        const long long endMs = wholeMilliseconds(std::min(cue.end, duration));
        const double start = clockTime(startMs).inSeconds(), end = clockTime(endMs).inSeconds();
        if (!inRange(start) || !inRange(end) || !(end > start)) continue;
        if (kept > 0 && start < lastStart) continue;
        lastStart = start;
        if (kept > 0) out += "\n\n";
        out += std::to_string(++kept);
        out += '\n';
        out += written(startMs);
        out += " --> ";
        out += written(endMs);
        out += '\n';
        out += cue.body;
    }
    if (kept == 0) throw SorvikError(std::string(kNothingInside));
    out += '\n';
    return out;
}

std::string timestamp(double seconds) { return written(wholeMilliseconds(seconds)); }

}  // namespace sorvik::Subtitles
